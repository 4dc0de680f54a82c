// The monitor gate's seam on Windows: a critical section for its lock, an auto-reset event that
// wakes the monitor, a manual-reset event that lets the borrowers go, GetTickCount for the clock.
// A borrower's wait serves the messages sent to its thread, so an event handler that sends to a
// window of that thread cannot deadlock with it.
#pragma once

#include <windows.h>

#include "monitor_gate.h"

class WinGateSeam : public keygate::GateSeam {
public:
    WinGateSeam();
    ~WinGateSeam() override;
    WinGateSeam(const WinGateSeam &) = delete;
    WinGateSeam &operator=(const WinGateSeam &) = delete;

    void Lock() override { EnterCriticalSection(&lock_); }
    void Unlock() override { LeaveCriticalSection(&lock_); }
    void WakeMonitor() override;
    void WaitMonitor(uint32_t ms) override;
    void SetBorrowersGo(bool go) override;
    void WaitBorrower(uint32_t ms) override;
    uint32_t NowMs() override { return GetTickCount(); }
    bool MonitorGone() override;

    // The monitor thread to watch (a copy of the handle is kept), or INVALID_HANDLE_VALUE.
    void Watch(HANDLE thread);

private:
    CRITICAL_SECTION lock_;
    HANDLE monitorWake_ = nullptr;
    HANDLE borrowersGo_ = nullptr;
    HANDLE thread_ = nullptr;  // guarded by lock_
};
