// Prints the latencies a user of the Notes client with Tolvik meets, over N cycles of pulling and
// re-inserting the Key in a running client (build 190), at the stand-in's own speed and at a real
// card's speed (30 ms a call, 9600 bytes a second), as median and maximum in milliseconds:
//   inserted -> PIN prompt visible; PIN confirmed -> client on the Key's ID (Logout Screen gone);
//   pulled -> client locked (F5 seen by the client: Logout Screen shown and disabled);
//   re-inserted -> client back on the Key's ID (the PIN typed as soon as the prompt shows).
// The pull and the insertion come at points spread over the monitor's pass. The pull's time is
// split at the end of the monitor's first InitCard after it (the pass that sees the Key gone) and
// at the Logout Screen's appearance; the Key calls up to the prompt are counted and, for the first
// cycle, listed (the stand-in traces them), with those from the pull to the lock.
// Then, at a real card's speed, the Key pulled while "Save ID file" writes the record onto it:
// pulled -> client locked, and when the write's running Key call returned.
// Usage: bench_tolvik [cycles, default 30] [write: only the pull during a write, cycles/5 rounds]
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../client_cycle.h"
#include "idfile.h"
#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"

namespace {

struct Figures {
    std::vector<double> prompt, logon, logonIo, beyondIo, lock, lockSeen, lockAfter, lockDisable, back;
    std::vector<double> promptCalls, promptIo;
    std::vector<QsimTraceEntry> firstPromptCalls, firstLockCalls;  // those of the first cycle, listed
};

void PrintCount(const char *speed, const char *what, std::vector<double> v)
{
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    std::printf("| %-22s | %-40s | %7.0f calls | %7.0f calls | %zu cycles |\n", speed, what, v[v.size() / 2], v.back(),
                v.size());
}

// The Key calls of one insertion up to the prompt, in order: who made them and how long they took.
void ListCalls(const char *speed, const char *what, const std::vector<QsimTraceEntry> &calls)
{
    if (calls.empty())
        return;
    std::printf("%s: the Key calls %s (first cycle):\n", speed, what);
    LONGLONG first = calls.front().startMicros;
    for (const QsimTraceEntry &e : calls)
        std::printf("  +%7.1f ms  %-18s %6.1f ms  thread %lu\n", (e.startMicros - first) / 1000.0, QsimEntryName(e.entry),
                    e.micros / 1000.0, static_cast<unsigned long>(e.thread));
}

void Print(const char *speed, const char *what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("| %-22s | %-40s | no figures | | |\n", speed, what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("| %-22s | %-40s | %7.1f ms | %7.1f ms | %zu cycles |\n", speed, what, v[v.size() / 2],
                v.back(), v.size());
}

const testkit::NotesKeyRecord kBenchRecord = {"Anna Berg/Morvath", "pw-anna-key", "anna.id"};

// The user's own ID file and the bench's Key (PIN 1234, Anna's record) inserted; the Key, 0 on failure.
int InsertBenchKey(testkit::NotesScenario &s)
{
    if (s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty())
        return 0;
    int key = s.MakeKey("Bench Key", "1234", &kBenchRecord);
    return key != 0 && s.Insert(key) ? key : 0;
}

bool RunCycles(int cycles, DWORD msPerCall, DWORD bytesPerSecond, Figures *f)
{
    testkit::NotesScenario s;
    int key = InsertBenchKey(s);
    if (key == 0)
        return false;
    QsimSetLatency(msPerCall, bytesPerSecond);
    s.Start(190, "own.id");
    if (!s.AnswerPin("1234") || s.WaitMain() == nullptr || !s.WaitStatus("State=open"))
        return false;
    for (int i = 0; i < cycles; ++i) {
        // The pull and the insertion at points spread over the monitor's pass (250 ms of pause
        // and the visit of the Key, one InitCard), as a user's hand comes at any point of it.
        DWORD period = 250 + msPerCall;
        DWORD pullAfter = static_cast<DWORD>(std::fmod(i * 0.6180339887, 1.0) * period);
        DWORD insertAfter = static_cast<DWORD>(std::fmod(i * 0.7548776662 + 0.5, 1.0) * period);
        bench::CycleTimes t;
        if (!bench::RunClientCycle(s, key, "1234", "anna.id", &t, pullAfter, insertAfter))
            return false;
        if (t.lock >= 0)
            f->lock.push_back(t.lock);
        if (t.lock >= 0 && t.lockSeen >= 0) {
            f->lockSeen.push_back(t.lockSeen);
            f->lockAfter.push_back(t.lock - t.lockSeen);
        }
        if (t.lock >= 0 && t.lockShown >= 0)
            f->lockDisable.push_back(t.lock - t.lockShown);
        if (t.prompt >= 0) {
            double io = 0;
            for (const QsimTraceEntry &e : t.promptCalls)
                io += e.micros / 1000.0;
            f->promptCalls.push_back(static_cast<double>(t.promptCalls.size()));
            f->promptIo.push_back(io);
            if (i == 0) {
                f->firstPromptCalls = t.promptCalls;
                f->firstLockCalls = t.lockCalls;
            }
        }
        if (t.prompt >= 0)
            f->prompt.push_back(t.prompt);
        if (t.logon >= 0) {
            f->logon.push_back(t.logon);
            f->logonIo.push_back(t.logonIo);
            f->beyondIo.push_back(t.logon - t.logonIo);
        }
        if (t.back >= 0)
            f->back.push_back(t.back);
    }
    QsimSetLatency(0, 0);
    return s.Close() == 0;
}

// The Key pulled while "Save ID file" writes the record onto it at a real card's speed, `rounds`
// times: the client locked (Logout Screen disabled) after the pull, and the write's Key call that
// was running at the pull returned after it. `atCallStart`: the Key leaves as the write's first
// data call begins and the call meets it gone, failing at once, as a real card's does (the time
// counts from that call's start); else it is pulled some 200 to 500 ms into the write, and the
// stand-in finishes the running call first. A lock that does not come within 10 s (a box left
// waiting for its user) is counted apart, its box answered.
struct WriteFigures {
    std::vector<double> locks, callEnds;
    int notLocked = 0;
};

bool PullDuringWrite(int rounds, bool atCallStart, WriteFigures *w)
{
    testkit::NotesScenario s;
    int key = InsertBenchKey(s);
    if (key == 0)
        return false;
    s.Start(190, "own.id", "AddInMenus=" + testkit::ExeDir() + "TolvikM.dll\r\n");
    if (!s.AnswerPin("1234") || s.WaitMain() == nullptr || !s.WaitStatus("State=open"))
        return false;
    // A 16 000-byte ID file of the Key's user to save (about 1.7 s at that speed), and the Key's
    // own record, put back on it after each round whatever the pulled write left.
    nsim::IdContents contents = {kBenchRecord.user, std::string(16000 - 120, 'k')};
    const uint8_t salt[nsim::kIdSaltSize] = {7};
    std::string big = s.dir().file("big.id");
    std::string bytes = nsim::EncodeIdFile(contents, kBenchRecord.password, salt);
    FILE *f = std::fopen(big.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        return false;
    std::vector<char> own(QsimGetData(key, 225, nullptr, 0));
    QsimGetData(key, 225, own.data(), static_cast<DWORD>(own.size()));
    QsimSetLatency(30, 9600);
    for (int i = 0; i < rounds; ++i) {
        if (!s.SetIniValue("KeyFileName", big) || s.OpenTools().empty() || !s.ChooseTool(testkit::kToolSaveIdFile))
            return false;
        HWND question = s.WaitBox();
        DWORD writes = QsimCallCount("WriteData");
        QsimTraceCalls(TRUE);
        if (atCallStart && !QsimPullOnCall("WriteData", 0, key))
            return false;
        if (question == nullptr || !testkit::NotesScenario::AnswerBox(question, IDYES))
            return false;
        if (bench::Measure(bench::Now(), [&] { return QsimCallCount("WriteData") != writes; }) < 0)
            return false;
        LONGLONG pulledAt = 0;
        double start = bench::Now();
        if (!atCallStart) {
            testkit::PumpMessages(200 + 97 * (i % 4));  // well inside the write
            pulledAt = QsimNowMicros();
            start = bench::Now();
            s.Pull(key);
        }
        HWND logout = nullptr;
        double lock = -1;
        while (bench::Now() - start < 10000) {
            if (logout == nullptr)
                logout = s.Find(nullptr, "Logout Screen", 0);
            if (logout != nullptr && !IsWindowEnabled(logout)) {
                lock = bench::Now() - start;
                break;
            }
            testkit::PumpMessages(2);
        }
        LONGLONG lockedAt = QsimNowMicros() - static_cast<LONGLONG>((bench::Now() - start - lock) * 1000);
        for (const QsimTraceEntry &e : bench::TracedCalls(0, QsimNowMicros())) {
            if (std::strcmp(QsimEntryName(e.entry), "WriteData") != 0)
                continue;
            if (atCallStart) {  // the pull is that call's start
                pulledAt = e.startMicros;
                if (lock >= 0)
                    lock = static_cast<double>(lockedAt - pulledAt) / 1000.0;
            }
            if (e.startMicros <= pulledAt && e.startMicros + e.micros >= pulledAt) {
                w->callEnds.push_back(static_cast<double>(e.startMicros + e.micros - pulledAt) / 1000.0);
                break;
            }
        }
        QsimTraceCalls(FALSE);
        if (lock >= 0) {
            w->locks.push_back(lock);
        } else {
            ++w->notLocked;
            while (HWND box = s.WaitBox(500))
                testkit::NotesScenario::AnswerBox(box);
            if (!s.WaitStatus("State=locked"))
                return false;
        }
        bench::Measure(bench::Now(), [&] { return !testkit::FileExists(s.TempFile("anna.id")); });
        QsimSetData(key, 225, own.data(), static_cast<DWORD>(own.size()));
        if (!s.Insert(key) || !s.AnswerPin("1234") || !s.WaitStatus("State=open"))
            return false;
        while (HWND box = s.WaitBox(0))  // nothing of the last round left open
            testkit::NotesScenario::AnswerBox(box);
    }
    QsimSetLatency(0, 0);
    return s.Close() == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    bool writeOnly = argc > 2 && std::strcmp(argv[2], "write") == 0;
    struct {
        const char *name;
        DWORD ms, bps;
    } speeds[] = {{"stand-in speed", 0, 0}, {"real card (30ms,9600)", 30, 9600}};
    int status = 0;
    for (const auto &speed : speeds) {
        if (writeOnly)
            break;
        Figures f;
        if (!RunCycles(cycles, speed.ms, speed.bps, &f)) {
            std::printf("%s: the scenario did not run through\n", speed.name);
            status = 1;
        }
        Print(speed.name, "Key inserted -> PIN prompt visible", f.prompt);
        PrintCount(speed.name, "  Key calls up to the prompt", f.promptCalls);
        Print(speed.name, "  of it inside the Key library's calls", f.promptIo);
        Print(speed.name, "PIN confirmed -> client on Key's ID", f.logon);
        Print(speed.name, "  of it inside the Key library's calls", f.logonIo);
        Print(speed.name, "  of it beyond the Key library's calls", f.beyondIo);
        Print(speed.name, "Key pulled -> client locked", f.lock);
        Print(speed.name, "  of it up to the monitor's pass seeing it", f.lockSeen);
        Print(speed.name, "  of it from that pass to the lock", f.lockAfter);
        Print(speed.name, "  of it from Logout Screen shown to locked", f.lockDisable);
        Print(speed.name, "re-inserted -> client back on Key's ID", f.back);
        ListCalls(speed.name, "from the pull to the lock", f.firstLockCalls);
        ListCalls(speed.name, "from the insertion to the PIN prompt", f.firstPromptCalls);
    }
    const char *card = "real card (30ms,9600)";
    for (bool atCallStart : {false, true}) {
        WriteFigures w;
        if (!PullDuringWrite(std::max(3, cycles / 5), atCallStart, &w)) {
            std::printf("pull during a write: the scenario did not run through\n");
            status = 1;
        }
        Print(card, atCallStart ? "Key leaves as the write's call begins" : "pulled during a record write -> locked",
              w.locks);
        Print(card, "  the write's call returned after pull", w.callEnds);
        if (w.notLocked != 0)
            std::printf("| %-22s | %-40s | %d rounds | | |\n", card, "  not locked within 10 s", w.notLocked);
    }
    return status;
}
