// Prints the latencies a user of the Notes client with Tolvik meets, over N cycles of pulling and
// re-inserting the Key in a running client (build 190), at the stand-in's own speed and at a real
// card's speed (30 ms a call, 9600 bytes a second), as median and maximum in milliseconds:
//   inserted -> PIN prompt visible; PIN confirmed -> client on the Key's ID (Logout Screen gone);
//   pulled -> client locked (F5 seen by the client: Logout Screen shown and disabled);
//   re-inserted -> client back on the Key's ID (the PIN typed as soon as the prompt shows).
// Usage: bench_tolvik [cycles, default 30]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../client_cycle.h"
#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"

namespace {

struct Figures {
    std::vector<double> prompt, logon, logonIo, beyondIo, lock, back;
};

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
        bench::CycleTimes t;
        if (!bench::RunClientCycle(s, key, "1234", "anna.id", &t))
            return false;
        if (t.lock >= 0)
            f->lock.push_back(t.lock);
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

}  // namespace

int main(int argc, char **argv)
{
    int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
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
        Print(speed.name, "  of it inside the Key library's calls", f.logonIo);
        Print(speed.name, "  of it beyond the Key library's calls", f.beyondIo);
        Print(speed.name, "Key pulled -> client locked", f.lock);
        Print(speed.name, "re-inserted -> client back on Key's ID", f.back);
    }
    return status;
}
