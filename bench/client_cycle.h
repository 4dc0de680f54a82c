// One cycle of the Key in a running Notes client with Tolvik (build 190), as the benchmarks and
// the soak drive it: the Key pulled until the client is locked, put back, its PIN answered as soon
// as the prompt shows, until the client is back on the Key's ID. Times in milliseconds, -1 where
// a step did not come within 30 s.
#pragma once

#include <windows.h>

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

struct CycleTimes {
    double lock = -1;     // pulled -> client locked (Logout Screen shown and disabled)
    double prompt = -1;   // put back -> PIN prompt visible
    double logon = -1;    // PIN confirmed -> client on the Key's ID (Logout Screen gone)
    double back = -1;     // put back -> client on the Key's ID, the PIN typed at once
    double logonIo = -1;  // of `logon`: the time spent inside the Key library's calls
};

// False when the prompt never came (the scenario cannot go on).
inline bool RunClientCycle(testkit::NotesScenario &s, int key, const char *pin, const char *idFile,
                           CycleTimes *t)
{
    double start = Now();
    s.Pull(key);
    HWND logout = nullptr;
    t->lock = Measure(start, [&] {
        if (logout == nullptr)
            logout = s.Find(nullptr, "Logout Screen", 0);
        return logout != nullptr && !IsWindowEnabled(logout);
    });
    // The removal finishes (temporary ID deleted) before the Key returns.
    Measure(Now(), [&] { return !testkit::FileExists(s.TempFile(idFile)); });
    double inserted = Now();
    s.Insert(key);
    HWND prompt = nullptr;
    t->prompt = Measure(inserted, [&] { return (prompt = s.WaitPinPrompt(0)) != nullptr; });
    if (prompt == nullptr)
        return false;
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
