// Prints what the console's Key commands take, median of N rounds each, timed from the user's last
// answer (the password typed, the notes.ini chosen, the new PIN confirmed) until the console shows
// the result: attach of a 2 KB and of a 16 KB ID file (the Key's row shows its user), the Notes
// password change (the Key holds the new password), the PIN change (the console's success box).
// At the stand-in's own speed and at a real card's (30 ms a call, 9600 bytes a second).
// Usage: bench_console_ops [rounds, default 10]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../bench_clock.h"
#include "arbolin_res.h"
#include "arbolin_window.h"
#include "idfile.h"
#include "key_records.h"
#include "quorel_control.h"
#include "testkit.h"
#include "virtual_keys.h"

namespace {

using testkit::ArbolinConsole;
using testkit::WaitUntil;

const char kChooseId[] = "Change ID file - Select ID file";
const char kChooseIni[] = "Initialize Notes - Select \"notes.ini\"";
const char kPasswordDialog[] = "Get Password Dialog";
const char kPasDialog[] = "Change current Lotus Notes password";
const char kPinDialog[] = "Change PIN Dialog";

void Row(const char *speed, const std::string &what, std::vector<double> v, int rounds)
{
    if (v.empty()) {
        std::printf("| %-22s | %-40s | no figures | | |\n", speed, what.c_str());
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("| %-22s | %-40s | %7.1f ms | %7.1f ms | %zu of %d rounds |\n", speed, what.c_str(), v[v.size() / 2],
                v.back(), v.size(), rounds);
    std::fflush(stdout);
}

std::string IdFile(const testkit::TempDir &dir, const std::string &name, const std::string &user, size_t size)
{
    nsim::IdContents contents{user, std::string(size > 200 ? size - 200 : 0, 'k')};
    uint8_t salt[nsim::kIdSaltSize] = {1, 2, 3};
    std::string bytes = nsim::EncodeIdFile(contents, "pw-0", salt);
    std::string path = dir.file(name);
    testkit::WriteFileBytes(path, bytes);
    return path;
}

// Answers any box the command left, without timing it.
void TakeBoxes(ArbolinConsole &c)
{
    while (c.WaitBox(300) != nullptr)
        c.TakeBoxWith(IDOK, 1000);
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    testkit::TempDir files;
    ArbolinConsole c;
    QsimAddReader("Reader A");
    int key = ArbolinConsole::MakeKey("Bench", "1234");
    QsimSetCapacity(key, 65536, 40000, 4096);
    std::string ini = files.file("notes.ini");
    testkit::WriteFileBytes(ini, "[Notes]\r\nDirectory=" + files.path() + "\r\nKeyFileName=anna.id\r\n");
    if (!c.StartWithKey(key, "Reader A")) {
        std::printf("the console did not start\n");
        return 1;
    }
    // The PIN, as a user gives it, then the commands are offered.
    WaitUntil([&] { return c.Enabled(IDC_PIN_ENTER); });
    testkit::SetControlText(c.Item(IDC_PIN_EDIT), "1234");
    c.Click(IDC_PIN_ENTER);
    TakeBoxes(c);
    if (!WaitUntil([&] { return c.Enabled(IDC_CHANGE_ID); })) {
        std::printf("the console offers no attach\n");
        return 1;
    }
    struct {
        const char *name;
        DWORD ms, bps;
    } speeds[] = {{"stand-in speed", 0, 0}, {"real card (30ms,9600)", 30, 9600}};
    int status = 0;
    std::string password = "pw-0", pin = "1234";
    int serial = 0;
    for (const auto &speed : speeds) {
        for (size_t size : {2048u, 16384u}) {
            std::vector<double> v;
            for (int r = 0; r < rounds; ++r) {
                std::string user = "User " + std::to_string(++serial) + "/Morvath";
                std::string id = IdFile(files, "anna.id", user, size);
                c.Click(IDC_CHANGE_ID);
                if (!c.AnswerFileDialog(kChooseId, id) || !c.AnswerFileDialog(kChooseIni, ini))
                    break;
                HWND dialog = c.WaitInput(kPasswordDialog);
                if (dialog == nullptr)
                    break;
                QsimSetLatency(speed.ms, speed.bps);
                double t = bench::Now();
                ArbolinConsole::AnswerInput(dialog, "pw-0");
                bool shown = WaitUntil([&] { return !c.Rows().empty() && c.Rows()[0].info == user && c.Enabled(IDC_SHOW_BT); }, 60000);
                double took = bench::Now() - t;
                QsimSetLatency(0, 0);
                if (!shown)
                    break;
                v.push_back(took);
                TakeBoxes(c);
                password = "pw-0";
            }
            Row(speed.name, "console: attach of a " + std::to_string(size / 1024) + " KB ID file", v, rounds);
            status |= static_cast<int>(v.size()) != rounds;
        }
        std::vector<double> v;
        for (int r = 0; r < rounds; ++r) {
            std::string next = "pw-" + std::to_string(++serial);
            c.Click(IDC_CHANGE_LN_PASSWORD);
            if (!c.AnswerInput(kPasDialog, next.c_str()) || !c.AnswerInput(kPasDialog, next.c_str()))
                break;
            QsimSetLatency(speed.ms, speed.bps);
            double t = bench::Now();
            if (!c.AnswerFileDialog(kChooseIni, ini))
                break;
            bool changed = WaitUntil([&] { return testkit::GetKeyRecord(key).password == next; }, 60000);
            double took = bench::Now() - t;
            QsimSetLatency(0, 0);
            if (!changed)
                break;
            v.push_back(took);
            password = next;
            TakeBoxes(c);
        }
        Row(speed.name, "console: Notes password change (16 KB)", v, rounds);
        status |= static_cast<int>(v.size()) != rounds;
        v.clear();
        for (int r = 0; r < rounds; ++r) {
            std::string next = std::to_string(1000 + (++serial % 9000));
            c.Click(IDC_CHANGE_PIN);
            if (!c.AnswerInput(kPinDialog, next.c_str()))
                break;
            HWND confirm = c.WaitInput(kPinDialog);
            if (confirm == nullptr)
                break;
            QsimSetLatency(speed.ms, speed.bps);
            double t = bench::Now();
            ArbolinConsole::AnswerInput(confirm, next.c_str());
            HWND box = c.WaitBox(60000);
            double took = bench::Now() - t;
            QsimSetLatency(0, 0);
            if (box == nullptr || std::string(testkit::VirtualKeys::State(key).pin) != next)
                break;
            v.push_back(took);
            pin = next;
            TakeBoxes(c);
        }
        Row(speed.name, "console: PIN change", v, rounds);
        status |= static_cast<int>(v.size()) != rounds;
    }
    c.Close();
    return status;
}
