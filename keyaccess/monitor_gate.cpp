// MonitorGate: the monitor's turns with the operations (see monitor_gate.h).
#include "monitor_gate.h"

namespace keygate {

const char *GateStateName(GateState state)
{
    switch (state) {
    case GateState::kNoMonitor: return "no monitor";
    case GateState::kRunning: return "running";
    case GateState::kInHandler: return "in a handler";
    case GateState::kParked: return "parked";
    case GateState::kStopping: return "stopping";
    case GateState::kExited: return "exited";
    }
    return "?";
}

GateState MonitorGate::StateLocked() const
{
    if (stopAsked_ && (phase_ == GateState::kRunning || phase_ == GateState::kInHandler))
        return GateState::kStopping;
    return phase_;
}

void MonitorGate::SetPhaseLocked(GateState phase)
{
    bool wasGo = phase_ == GateState::kParked || phase_ == GateState::kExited || phase_ == GateState::kNoMonitor;
    bool go = phase == GateState::kParked || phase == GateState::kExited || phase == GateState::kNoMonitor;
    phase_ = phase;
    if (go != wasGo)
        seam_.SetBorrowersGo(go);
}

bool MonitorGate::MonitorPresentLocked()
{
    if (phase_ == GateState::kNoMonitor || phase_ == GateState::kExited)
        return false;
    if (seam_.MonitorGone()) {
        // Ended without its last act (killed with its process): nobody will park.
        handlerDepth_ = 0;
        SetPhaseLocked(GateState::kExited);
        return false;
    }
    return true;
}

void MonitorGate::MonitorStarting()
{
    SeamLock lock(seam_);
    stopAsked_ = false;
    handlerDepth_ = 0;
    SetPhaseLocked(GateState::kRunning);
}

void MonitorGate::NoMonitor()
{
    SeamLock lock(seam_);
    handlerDepth_ = 0;
    SetPhaseLocked(GateState::kNoMonitor);
}

void MonitorGate::MonitorEnded()
{
    SeamLock lock(seam_);
    handlerDepth_ = 0;
    SetPhaseLocked(GateState::kExited);
}

Loan MonitorGate::Borrow(bool onMonitorThread, bool onlyIfFree)
{
    if (onMonitorThread)
        return Loan::kNone;  // the monitor is this very thread, inside a handler: it visits nothing
    SeamLock lock(seam_);
    if (!MonitorPresentLocked() || (onlyIfFree && HoldStillLocked()))
        return Loan::kNone;
    ++waiting_;
    seam_.WakeMonitor();  // a monitor sleeping between passes goes on to its checkpoint
    for (;;) {
        if (phase_ == GateState::kParked) {
            --waiting_;
            ++holders_;
            return Loan::kParked;
        }
        if (!MonitorPresentLocked()) {
            --waiting_;
            return Loan::kNone;
        }
        seam_.Unlock();
        seam_.WaitBorrower(kPollMs);
        seam_.Lock();
    }
}

void MonitorGate::GiveBack(Loan loan)
{
    if (loan != Loan::kParked)
        return;
    SeamLock lock(seam_);
    if (holders_ > 0)
        --holders_;
    if (holders_ == 0)
        seam_.WakeMonitor();  // the parked monitor goes on at once
}

void MonitorGate::EnterHandler()
{
    SeamLock lock(seam_);
    if (handlerDepth_++ == 0 && phase_ == GateState::kRunning)
        SetPhaseLocked(GateState::kInHandler);
}

void MonitorGate::LeaveHandler()
{
    SeamLock lock(seam_);
    if (handlerDepth_ > 0 && --handlerDepth_ == 0 && phase_ == GateState::kInHandler)
        SetPhaseLocked(GateState::kRunning);
}

bool MonitorGate::Checkpoint(bool *parked)
{
    SeamLock lock(seam_);
    bool sat = false;
    while (HoldStillLocked()) {
        // A stop does not wait for operations that only wait: they go on once the monitor has
        // ended. Those that hold the park are still using a Key: the monitor stays till they end.
        if (stopAsked_ && holders_ == 0)
            break;
        if (phase_ != GateState::kParked)
            SetPhaseLocked(GateState::kParked);
        sat = true;
        seam_.Unlock();
        seam_.WaitMonitor(kParkedWaitMs);
        seam_.Lock();
    }
    if (phase_ == GateState::kParked)
        SetPhaseLocked(GateState::kRunning);
    if (parked != nullptr)
        *parked = sat;
    return !stopAsked_;
}

void MonitorGate::Idle(uint32_t ms)
{
    uint32_t start = seam_.NowMs();
    SeamLock lock(seam_);
    while (!HoldStillLocked() && !stopAsked_) {
        uint32_t elapsed = seam_.NowMs() - start;
        if (elapsed >= ms)
            break;
        seam_.Unlock();
        seam_.WaitMonitor(ms - elapsed);
        seam_.Lock();
    }
}

bool MonitorGate::RequestStop()
{
    SeamLock lock(seam_);
    if (!MonitorPresentLocked())
        return false;
    stopAsked_ = true;
    seam_.WakeMonitor();
    return true;
}

GateSnapshot MonitorGate::Snapshot()
{
    SeamLock lock(seam_);
    return GateSnapshot{StateLocked(), handlerDepth_, waiting_, holders_, stopAsked_, HoldStillLocked()};
}

}  // namespace keygate
