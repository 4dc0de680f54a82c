// One cycle of the Key in a running Notes client with Tolvik (build 190), as the benchmarks and
// the soak drive it: the Key pulled until the client is locked, put back, its PIN answered as soon
// as the prompt shows, until the client is back on the Key's ID. Times in milliseconds, -1 where
// a step did not come within 30 s.
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

#include "bench_clock.h"
#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"

namespace bench {

// Polls `done` every few milliseconds for at most 30 s; the time it took from `start`, or -1.
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

// The Key calls traced by the stand-in that started in [from, to) (its clock, microseconds), all
// processes, oldest first.
inline std::vector<QsimTraceEntry> TracedCalls(LONGLONG from, LONGLONG to)
{
    std::vector<QsimTraceEntry> all(512);
    all.resize(QsimGetTrace(all.data(), static_cast<DWORD>(all.size())));
    std::vector<QsimTraceEntry> calls;
    for (const QsimTraceEntry &e : all)
        if (e.startMicros >= from && e.startMicros < to)
            calls.push_back(e);
    return calls;
}

struct CycleTimes {
    double lock = -1;     // pulled -> client locked (Logout Screen shown and disabled)
    double lockSeen = -1; // of `lock`: pulled -> the end of the first InitCard after it (the pass sees it)
    double lockShown = -1;  // of `lock`: pulled -> the client's Logout Screen seen (not yet disabled)
    std::vector<QsimTraceEntry> promptCalls;  // the Key calls from the insertion to the prompt
    std::vector<QsimTraceEntry> lockCalls;    // the Key calls from the pull to the lock
    double prompt = -1;   // put back -> PIN prompt visible
    double logon = -1;    // PIN confirmed -> client on the Key's ID (Logout Screen gone)
    double back = -1;     // put back -> client on the Key's ID, the PIN typed at once
    double logonIo = -1;  // of `logon`: the time spent inside the Key library's calls
};

// False when the prompt never came (the scenario cannot go on).
// `pullAfter` and `insertAfter` (ms) let the client run that long before the pull and before the
// Key goes back: without them each step comes at the same point of the monitor's pass, cycle after
// cycle (the logon and the lock both follow a pass), where a user's hand comes at any point of it.
inline bool RunClientCycle(testkit::NotesScenario &s, int key, const char *pin, const char *idFile,
                           CycleTimes *t, DWORD pullAfter = 0, DWORD insertAfter = 0)
{
    if (pullAfter != 0)
        testkit::PumpMessages(pullAfter);
    QsimTraceCalls(TRUE);
    LONGLONG pulledAt = QsimNowMicros();
    double start = Now();
    s.Pull(key);
    HWND logout = nullptr;
    t->lock = Measure(start, [&] {
        if (logout == nullptr && (logout = s.Find(nullptr, "Logout Screen", 0)) != nullptr)
            t->lockShown = Now() - start;
        return logout != nullptr && !IsWindowEnabled(logout);
    });
    if (t->lock >= 0) {
        std::vector<QsimTraceEntry> after = TracedCalls(pulledAt, QsimNowMicros());
        t->lockCalls = after;
        for (const QsimTraceEntry &e : after) {
            if (std::strcmp(QsimEntryName(e.entry), "InitCard") == 0) {  // the visit that meets the Key gone
                t->lockSeen = static_cast<double>(e.startMicros + e.micros - pulledAt) / 1000.0;
                break;
            }
        }
    }
    // The removal finishes (temporary ID deleted) before the Key returns.
    Measure(Now(), [&] { return !testkit::FileExists(s.TempFile(idFile)); });
    if (insertAfter != 0)
        testkit::PumpMessages(insertAfter);
    QsimTraceCalls(TRUE);
    LONGLONG insertedAt = QsimNowMicros();
    double inserted = Now();
    s.Insert(key);
    HWND prompt = nullptr;
    t->prompt = Measure(inserted, [&] { return (prompt = s.WaitPinPrompt(0)) != nullptr; });
    if (prompt == nullptr)
        return false;
    t->promptCalls = TracedCalls(insertedAt, QsimNowMicros());
    QsimTraceCalls(FALSE);
    testkit::SetControlText(GetDlgItem(prompt, 101), pin);
    double confirmed = Now();
    ULONGLONG ioBefore = QsimCallMicros();
    testkit::ClickDialogButton(prompt, IDOK);
    t->logon = Measure(confirmed, [&] { return logout != nullptr && !IsWindow(logout); });
    if (t->logon >= 0)
        t->logonIo = static_cast<double>(QsimCallMicros() - ioBefore) / 1000.0;
    t->back = t->logon >= 0 ? Now() - inserted : -1;
    return true;
}

}  // namespace bench
