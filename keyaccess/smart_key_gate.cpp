// CSmartKey and its monitor gate (keyaccess/monitor_gate.*): the gate's seam on Windows, the event
// calls that mark the monitor busy in a handler, and the borrowing and giving back of the Key by
// the operations and by the public park methods.
#include "smart_key.h"

#include "gate_seam_win.h"
#include "log.h"
#include "smart_key_internal.h"

using namespace smart_key_internal;
using keygate::Loan;

// ---- The seam ---------------------------------------------------------------------------------

WinGateSeam::WinGateSeam()
{
    InitializeCriticalSection(&lock_);
    monitorWake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    borrowersGo_ = CreateEventA(nullptr, TRUE, TRUE, nullptr);  // no monitor yet: nothing to wait for
}

WinGateSeam::~WinGateSeam()
{
    if (thread_ != nullptr)
        CloseHandle(thread_);
    if (monitorWake_ != nullptr)
        CloseHandle(monitorWake_);
    if (borrowersGo_ != nullptr)
        CloseHandle(borrowersGo_);
    DeleteCriticalSection(&lock_);
}

void WinGateSeam::WakeMonitor()
{
    if (monitorWake_ != nullptr)
        SetEvent(monitorWake_);
}

void WinGateSeam::WaitMonitor(uint32_t ms)
{
    if (monitorWake_ != nullptr)
        WaitForSingleObject(monitorWake_, ms);
    else
        Sleep(ms < kParkedSleepMs ? ms : kParkedSleepMs);  // no event: a short sleep, the state decides
}

void WinGateSeam::SetBorrowersGo(bool go)
{
    if (borrowersGo_ == nullptr)
        return;
    if (go)
        SetEvent(borrowersGo_);
    else
        ResetEvent(borrowersGo_);
}

void WinGateSeam::WaitBorrower(uint32_t ms)
{
    if (borrowersGo_ != nullptr)
        CSmartKey::WaitServing(&borrowersGo_, 1, ms);
    else
        CSmartKey::WaitServing(nullptr, 0, ms < kParkedSleepMs ? ms : kParkedSleepMs);
}

bool WinGateSeam::MonitorGone()
{
    return thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

void WinGateSeam::Watch(HANDLE thread)
{
    HANDLE copy = nullptr;
    if (thread != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
    Lock();
    HANDLE old = thread_;
    thread_ = copy;
    Unlock();
    if (old != nullptr)
        CloseHandle(old);
}

// ---- Event calls ------------------------------------------------------------------------------

// On the monitor thread the gate knows the monitor is in a handler: an operation of another thread
// waits for its end (handlers return at once), one the handler starts itself goes on at once.
class CSmartKey::EventScope {
public:
    explicit EventScope(CSmartKey *key) : key_(key), onMonitor_(GetCurrentThreadId() == key->m_monitorThreadId)
    {
        if (onMonitor_)
            key_->m_gate.EnterHandler();
    }
    ~EventScope()
    {
        if (onMonitor_)
            key_->m_gate.LeaveHandler();
    }
    EventScope(const EventScope &) = delete;
    EventScope &operator=(const EventScope &) = delete;

private:
    CSmartKey *key_;
    bool onMonitor_;
};

void CSmartKey::EvKeyOpened(ReaderRecord *r, const char *pin) { EventScope s(this); onKeyOpened(r->name, r->h, pin); }
void CSmartKey::EvKeyInserted(ReaderRecord *r) { EventScope s(this); onKeyInserted(r->name); }
void CSmartKey::EvKeyRemoved(ReaderRecord *r) { EventScope s(this); onKeyRemoved(r->name); }
bool CSmartKey::EvNeedPIN(ReaderRecord *r) { EventScope s(this); return onNeedPIN(r->name, r->count, r->tries); }
void CSmartKey::EvKeyError(ReaderRecord *r) { EventScope s(this); onKeyError(r->name, r->status_text); }
void CSmartKey::EvNoKey() { EventScope s(this); onNoKey(); }
void CSmartKey::EvReaderChanged(const char *name, int attached) { EventScope s(this); onReaderChanged(name, attached); }

// ---- The monitor's side -----------------------------------------------------------------------

bool CSmartKey::Checkpoint()
{
    bool parked = false;
    bool goOn = m_gate.Checkpoint(&parked);
    if (parked)
        LogMessage(kLogDetail, "cm - MonitorThreadProc:", "inside while StopSpinLock ...");
    return goOn;
}

void CSmartKey::IdleWait(DWORD ms)
{
    // A park asked (or a stop requested) meanwhile ends the sleep: the next pass begins at once,
    // and the monitor parks or ends at its first checkpoint, after visiting the first reader, as
    // it would have after the whole sleep. So a Key put in meanwhile is still seen by the monitor
    // before an operation gets it.
    m_gate.Idle(ms);
}

void CSmartKey::PollWait(DWORD ms)
{
    WaitServing(nullptr, 0, ms);
}

bool CSmartKey::WaitServing(const HANDLE *handles, DWORD count, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return false;
        DWORD woken = MsgWaitForMultipleObjects(count, handles, FALSE, ms - elapsed, QS_SENDMESSAGE);
        if (woken < WAIT_OBJECT_0 + count)
            return true;
        if (woken == WAIT_OBJECT_0 + count) {
            MSG msg;
            // Serves the messages sent to this thread's windows; posted ones stay queued.
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (woken != WAIT_TIMEOUT) {
            Sleep(1);  // a failed wait (a handle closed meanwhile) does not spin
        }
    }
}

// ---- The borrowers' side ----------------------------------------------------------------------

Loan CSmartKey::BorrowMonitor(bool onlyIfFree)
{
    const char *module = "AskToStopMonitorThread:";
    DWORD self = GetCurrentThreadId();
    HANDLE thread = GetHandle(&m_monitorThread);
    bool onMonitor = thread != INVALID_HANDLE_VALUE && self == m_monitorThreadId;
    LogMessage(kLogDetail, module, "[%X]", static_cast<unsigned>(self));
    Loan loan = m_gate.Borrow(onMonitor, onlyIfFree);
    if (loan != Loan::kParked)
        LogMessage(kLogDetail, module, "return false %s %X[%X]", keygate::GateStateName(m_gate.State()),
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(thread)), static_cast<unsigned>(self));
    return loan;
}

void CSmartKey::GiveBack(Loan loan)
{
    m_gate.GiveBack(loan);
}

bool CSmartKey::AskToStopMonitorThread()
{
    if (BorrowMonitor(true) != Loan::kParked)
        return false;
    InterlockedIncrement(&m_askedParks);
    return true;
}

void CSmartKey::ReleaseMonitor()
{
    // Gives back only a park this method's caller was given: the shares of running operations
    // are theirs to give back.
    for (LONG held = Get(&m_askedParks); held > 0; held = Get(&m_askedParks)) {
        if (InterlockedCompareExchange(&m_askedParks, held - 1, held) == held) {
            m_gate.GiveBack(Loan::kParked);
            return;
        }
    }
}
