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
// Usage: bench_tolvik [cycles, default 30]
#include <windows.h>

#include <algorithm>
#include <cmath>
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
    return status;
}
