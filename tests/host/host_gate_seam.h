// The monitor gate's seam on the host: a std::mutex for its lock, condition variables for the
// monitor's wake-up (auto-reset) and the borrowers' go-ahead (manual-reset), the steady clock.
// Counts what the gate asked of it, for the tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "monitor_gate.h"

class HostGateSeam : public keygate::GateSeam {
public:
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }
    void WakeMonitor() override
    {
        std::lock_guard<std::mutex> guard(events_);
        monitorWake_ = true;
        monitorCv_.notify_all();
    }
    void WaitMonitor(uint32_t ms) override
    {
        std::unique_lock<std::mutex> guard(events_);
        monitorCv_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return monitorWake_; });
        monitorWake_ = false;
    }
    void SetBorrowersGo(bool go) override
    {
        std::lock_guard<std::mutex> guard(events_);
        go_ = go;
        if (go)
            borrowersCv_.notify_all();
    }
    void WaitBorrower(uint32_t ms) override
    {
        std::unique_lock<std::mutex> guard(events_);
        borrowersCv_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return go_; });
        borrowerWaits.fetch_add(1);
    }
    uint32_t NowMs() override
    {
        using namespace std::chrono;
        return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    bool MonitorGone() override { return gone.load(); }

    bool BorrowersMayGo()
    {
        std::lock_guard<std::mutex> guard(events_);
        return go_;
    }

    std::atomic<bool> gone{false};          // the monitor thread "ended without saying so"
    std::atomic<long> borrowerWaits{0};

private:
    std::mutex lock_;
    std::mutex events_;
    std::condition_variable monitorCv_, borrowersCv_;
    bool monitorWake_ = false;
    bool go_ = true;  // no monitor yet: nothing to wait for
};
