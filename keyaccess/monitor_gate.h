// MonitorGate: how the reader monitor and the Key operations take turns with the Keys. One object,
// its state in one place behind one lock: the monitor's phase (no monitor, running, in a handler,
// parked, exited), whether a stop is asked, how many operations wait for the park and how many
// hold it. Whether the monitor must hold still is computed from those, never stored.
//
// The rules it keeps:
//  - The monitor visits no reader while an operation holds the park: it parks at its checkpoint
//    (between readers, between passes) whenever an operation waits or holds, and goes on only
//    when the last one has given the park back.
//  - Operations are not serialised against each other: one that comes while the monitor is parked
//    shares the park; the monitor waits for every holder.
//  - An operation on the monitor thread itself (inside an event handler) neither waits nor holds.
//    An operation of another thread that meets a handler waits for it: a handler returns at once
//    (it never shows a window, waits for a user or borrows a Key across a dialog).
//  - A stop always ends: it ends a monitor's sleep, and at the next checkpoint the monitor ends
//    rather than parking for operations still waiting (they go on without the park, the monitor
//    being gone); only operations already holding the park are waited for.
//
// No Windows here: the lock, the two wake-ups and the clock come through GateSeam, so the same
// logic runs in the product and in the host's stress test.
#pragma once

#include <cstdint>

namespace keygate {

// What the gate needs of its platform. Lock/Unlock guard the gate's state; the waits are called
// with it released.
class GateSeam {
public:
    virtual ~GateSeam() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // The monitor's wake-up (auto-reset): ends the monitor's sleep or its wait while parked.
    virtual void WakeMonitor() = 0;
    virtual void WaitMonitor(uint32_t ms) = 0;
    // The borrowers' go-ahead (manual-reset): set while the monitor is parked or gone. A
    // borrower's wait ends when it is set or after `ms`; it serves messages sent to the
    // waiting thread meanwhile where the platform has them.
    virtual void SetBorrowersGo(bool go) = 0;
    virtual void WaitBorrower(uint32_t ms) = 0;
    virtual uint32_t NowMs() = 0;
    // The monitor thread has ended without saying so (killed with its process).
    virtual bool MonitorGone() = 0;
};

enum class GateState {
    kNoMonitor,  // no monitor thread: operations go on without a park
    kRunning,    // the monitor visits readers or sleeps between passes
    kInHandler,  // the monitor thread runs an event handler
    kParked,     // the monitor sits at its checkpoint for the operations holding the park
    kStopping,   // a stop is asked; the monitor ends at its next checkpoint
    kExited,     // the monitor thread has ended
};

const char *GateStateName(GateState state);

// What a borrower got: the park (a share of it, given back with GiveBack), or nothing to give
// back (no monitor, the monitor gone, the caller is the monitor thread, or the park was taken).
enum class Loan { kNone, kParked };

struct GateSnapshot {
    GateState state;
    int handlerDepth;  // event handlers running on the monitor thread, nested
    int waiting;       // operations waiting for the park
    int holders;       // operations holding it
    bool stopAsked;
    bool holdStill;    // the monitor must not begin a visit
};

class MonitorGate {
public:
    static constexpr uint32_t kPollMs = 100;       // a borrower's wait without a wake-up
    static constexpr uint32_t kParkedWaitMs = 10;  // the monitor's wait while parked, likewise

    explicit MonitorGate(GateSeam &seam) : seam_(seam) {}
    MonitorGate(const MonitorGate &) = delete;
    MonitorGate &operator=(const MonitorGate &) = delete;

    // ---- Lifecycle (the owner's threads)
    // A monitor thread is about to run: running, no stop asked.
    void MonitorStarting();
    // The monitor thread could not be made, or none is wanted.
    void NoMonitor();
    // The monitor thread's last act: exited; waiting operations go on without the park.
    void MonitorEnded();

    // ---- Operations
    // Borrows the Key from the monitor: waits until the monitor is parked (serving sent messages)
    // and takes a share of the park. `onMonitorThread`: the caller runs inside an event handler,
    // nothing is waited for or held. `onlyIfFree`: none at once when another caller already
    // waits for or holds the park.
    Loan Borrow(bool onMonitorThread, bool onlyIfFree = false);
    void GiveBack(Loan loan);

    // ---- The monitor thread
    void EnterHandler();
    void LeaveHandler();
    // Between readers and between passes: parks while operations wait or hold. False when the
    // monitor is to end. `parked` (may be null) tells whether it sat parked.
    bool Checkpoint(bool *parked = nullptr);
    // The sleep between passes: `ms`, cut short by a borrower or a stop.
    void Idle(uint32_t ms);

    // ---- The stop
    // Asks the monitor to end; false when there is none running.
    bool RequestStop();

    GateSnapshot Snapshot();
    GateState State() { return Snapshot().state; }
    bool HoldStill() { return Snapshot().holdStill; }
    bool Exited() { return State() == GateState::kExited; }

private:
    // All below with the lock held.
    bool HoldStillLocked() const { return waiting_ + holders_ > 0; }
    bool MonitorPresentLocked();
    GateState StateLocked() const;
    void SetPhaseLocked(GateState phase);

    GateSeam &seam_;
    GateState phase_ = GateState::kNoMonitor;  // never kStopping: that is phase_ with stopAsked_
    bool stopAsked_ = false;
    int handlerDepth_ = 0;
    int waiting_ = 0;
    int holders_ = 0;
};

// The lock of a GateSeam held for a scope.
class SeamLock {
public:
    explicit SeamLock(GateSeam &seam) : seam_(seam) { seam_.Lock(); }
    ~SeamLock() { seam_.Unlock(); }
    SeamLock(const SeamLock &) = delete;
    SeamLock &operator=(const SeamLock &) = delete;

private:
    GateSeam &seam_;
};

}  // namespace keygate
