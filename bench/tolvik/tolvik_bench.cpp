// Prints the latencies a user of the Notes client with Tolvik meets, over N cycles of pulling and
// re-inserting the Key in a running client (build 190), at the stand-in's own speed and at a real
// card's speed (30 ms a call, 9600 bytes a second), as median and maximum in milliseconds:
//   inserted -> PIN prompt visible; PIN confirmed -> client on the Key's ID (Logout Screen gone);
//   pulled -> client locked (F5 seen by the client: Logout Screen shown and disabled).
// Usage: bench_tolvik [cycles, default 30]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"

namespace {

LARGE_INTEGER g_frequency;

double Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

// Polls `done` every few milliseconds for at most 30 s; the time it took, or -1.
template <typename F>
double Measure(double start, F done)
{
    while (!done()) {
        if (Now() - start > 30000)
            return -1;
        testkit::PumpMessages(2);
    }
    return Now() - start;
}

struct Figures {
    std::vector<double> prompt, logon, lock;
};

void Print(const char *speed, const char *what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("%-22s %-36s no figures\n", speed, what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%-22s %-36s median %7.1f ms   max %7.1f ms   (%zu cycles)\n", speed, what, v[v.size() / 2],
                v.back(), v.size());
}

bool RunCycles(int cycles, DWORD msPerCall, DWORD bytesPerSecond, Figures *f)
{
    testkit::NotesScenario s;
    if (s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty())
        return false;
    const testkit::NotesKeyRecord record = {"Anna Berg/Morvath", "pw-anna-key", "anna.id"};
    int key = s.MakeKey("Bench Key", "1234", &record);
    if (key == 0 || !s.Insert(key))
        return false;
    QsimSetLatency(msPerCall, bytesPerSecond);
    s.Start(190, "own.id");
    if (!s.AnswerPin("1234") || s.WaitMain() == nullptr || !s.WaitStatus("State=open"))
        return false;
    for (int i = 0; i < cycles; ++i) {
        double t = Now();
        s.Pull(key);
        HWND logout = nullptr;
        double lock = Measure(t, [&] {
            if (logout == nullptr)
                logout = s.Find(nullptr, "Logout Screen", 0);
            return logout != nullptr && !IsWindowEnabled(logout);
        });
        // Let the removal finish (temporary ID deleted) before the Key returns.
        Measure(Now(), [&] { return !testkit::FileExists(s.TempFile("anna.id")); });
        t = Now();
        s.Insert(key);
        HWND prompt = nullptr;
        double shown = Measure(t, [&] { return (prompt = s.WaitPinPrompt(0)) != nullptr; });
        if (prompt == nullptr)
            return false;
        testkit::SetControlText(GetDlgItem(prompt, 101), "1234");
        t = Now();
        testkit::ClickDialogButton(prompt, IDOK);
        double logon = Measure(t, [&] { return logout != nullptr && !IsWindow(logout); });
        if (lock >= 0)
            f->lock.push_back(lock);
        if (shown >= 0)
            f->prompt.push_back(shown);
        if (logon >= 0)
            f->logon.push_back(logon);
    }
    QsimSetLatency(0, 0);
    return s.Close() == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QueryPerformanceFrequency(&g_frequency);
    struct {
        const char *name;
        DWORD ms, bps;
    } speeds[] = {{"stand-in speed", 0, 0}, {"real card (30ms,9600)", 30, 9600}};
    int status = 0;
    for (const auto &speed : speeds) {
        Figures f;
        if (!RunCycles(cycles, speed.ms, speed.bps, &f)) {
            std::printf("%s: the scenario did not run through\n", speed.name);
            status = 1;
        }
        Print(speed.name, "Key inserted -> PIN prompt visible", f.prompt);
        Print(speed.name, "PIN confirmed -> client on Key's ID", f.logon);
        Print(speed.name, "Key pulled -> client locked", f.lock);
    }
    return status;
}
