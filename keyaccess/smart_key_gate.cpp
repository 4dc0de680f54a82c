// The park handshake of CSmartKey: how the monitor thread and the callers of Key operations take
// turns with the Keys, and the event calls that mark the monitor busy in a handler.
//
// The monitor and the operations coordinate through the flags StopSpinLock, parked, stop request
// and exited (volatile LONG, always through Interlocked operations). An operation sets
// StopSpinLock and waits until the monitor says it sits parked; the monitor looks at the flags
// only between readers and between passes. Two auto-reset events only shorten the waits: the
// monitor wakes the waiting caller as soon as it sits parked (or an event handler begins or
// ends), and the caller cuts the monitor's sleep between passes short, so that the next pass, and
// with it the park check after its first reader, comes at once (a release or a new request
// likewise cuts its 10 ms sleeps while parked short). The flags alone decide; a wait still ends
// after one poll's time without a wake-up.
//
// No operation ever waits for an event handler: a handler may itself wait for the operation's
// thread (a lock that thread holds across its Key calls, a PIN prompt the user has not answered).
// While a handler runs on the monitor thread, an operation of another thread goes on unparked
// (one that meets a handler while it waits for the park lets it run one poll's time first);
// the monitor, once the handler has returned, waits for such operations to end and does not touch
// the Key of the visit that raised the event again. Two short locks, never held across an event,
// a dialog or a wait, keep this sound: one around each single call of the Key library, one around
// the handshake's decisions.
#include "smart_key.h"

#include <cstring>

#include "cut_format.h"
#include "log.h"
#include "smart_key_internal.h"
#include "text_ids.h"
#include "texts.h"

using namespace smart_key_internal;

class CSmartKey::EventScope {
public:
    explicit EventScope(CSmartKey *key) : key_(key)
    {
        onMonitor_ = GetCurrentThreadId() == key_->m_monitorThreadId;
        if (!onMonitor_)
            return;
        EnterCriticalSection(&key_->m_stateLock);
        if (InterlockedIncrement(&key_->m_eventDepth) == 1)
            key_->m_takenOver = false;
        freeOpsBefore_ = Get(&key_->m_freeOpsStarted);
        Put(&key_->StopSpinLock, 1);
        // A caller waiting for the park learns at once that a handler runs (it gives its
        // request up if the handler is still running a poll's time later).
        if (Get(&key_->m_parkRequested) != 0 && key_->m_parkWake != nullptr)
            SetEvent(key_->m_parkWake);
        LeaveCriticalSection(&key_->m_stateLock);
    }
    ~EventScope()
    {
        if (!onMonitor_)
            return;
        EnterCriticalSection(&key_->m_stateLock);
        bool outermost = InterlockedDecrement(&key_->m_eventDepth) == 0;
        if (Get(&key_->m_freeOpsStarted) != freeOpsBefore_)
            key_->m_takenOver = true;
        // A park asked for before the handler began (and not given up meanwhile) stays in force.
        if (outermost)
            Put(&key_->StopSpinLock, Get(&key_->m_parkRequested) != 0 ? 1 : 0);
        if (outermost && Get(&key_->m_parkRequested) != 0 && key_->m_parkWake != nullptr)
            SetEvent(key_->m_parkWake);  // the waiting caller stops counting the handler
        if (outermost && Get(&key_->m_freeOps) != 0)
            Put(&key_->m_draining, 1);
        LeaveCriticalSection(&key_->m_stateLock);
        // Operations that went on beside the handler finish before the monitor goes on. They
        // never wait for the monitor (one they begin meanwhile goes on unparked as well), so this
        // wait ends. The last one's end and the monitor's going on are decided under the lock,
        // so that an operation beginning then either counts as unparked or asks for the park.
        if (outermost) {
            for (;;) {
                EnterCriticalSection(&key_->m_stateLock);
                bool drained = Get(&key_->m_freeOps) == 0;
                if (drained) {
                    Put(&key_->m_draining, 0);
                    // A caller that was waiting for the park went on unparked meanwhile and gave
                    // its request up: the monitor must not park for it.
                    Put(&key_->StopSpinLock, Get(&key_->m_parkRequested) != 0 ? 1 : 0);
                }
                LeaveCriticalSection(&key_->m_stateLock);
                if (drained)
                    break;
                key_->PollWait(10);
            }
        }
    }
    EventScope(const EventScope &) = delete;
    EventScope &operator=(const EventScope &) = delete;

private:
    CSmartKey *key_;
    bool onMonitor_ = false;
    LONG freeOpsBefore_ = 0;
};

void CSmartKey::EvKeyOpened(ReaderRecord *r, const char *pin) { EventScope s(this); onKeyOpened(r->name, r->h, pin); }
void CSmartKey::EvKeyInserted(ReaderRecord *r) { EventScope s(this); onKeyInserted(r->name); }
void CSmartKey::EvKeyRemoved(ReaderRecord *r) { EventScope s(this); onKeyRemoved(r->name); }
bool CSmartKey::EvNeedPIN(ReaderRecord *r) { EventScope s(this); return onNeedPIN(r->name, r->count, r->tries); }
void CSmartKey::EvKeyError(ReaderRecord *r) { EventScope s(this); onKeyError(r->name, r->status_text); }
void CSmartKey::EvNoKey() { EventScope s(this); onNoKey(); }
void CSmartKey::EvReaderChanged(const char *name, int attached) { EventScope s(this); onReaderChanged(name, attached); }

void CSmartKey::ParkCheck()
{
    while (Get(&StopSpinLock) == 1) {
        LogMessage(kLogDetail, "cm - MonitorThreadProc:", "inside while StopSpinLock ...");
        // A new request finds parked at 0 (the caller clears it before asking), also while the
        // monitor already sits here for the previous one: each is told once, at once.
        if (InterlockedExchange(&m_parked, 1) == 0 && m_parkWake != nullptr)
            SetEvent(m_parkWake);
        // A release or a new request cuts the 10 ms short.
        if (m_monitorWake != nullptr)
            WaitForSingleObject(m_monitorWake, kParkedSleepMs);
        else
            Sleep(kParkedSleepMs);
    }
    Put(&m_parked, 0);
}

void CSmartKey::IdleWait(DWORD ms)
{
    // A park asked (or a stop requested) meanwhile ends the sleep: the next pass begins at once,
    // and the monitor parks or ends at its first check, after visiting the first reader, as it
    // would have after the whole sleep. So a Key put in meanwhile is still seen by the monitor
    // before an operation gets it.
    DWORD start = GetTickCount();
    for (;;) {
        if (Get(&StopSpinLock) == 1 || Get(&m_stopRequest) == 1)
            return;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        if (m_monitorWake == nullptr) {
            Sleep(ms - elapsed);
            return;
        }
        WaitForSingleObject(m_monitorWake, ms - elapsed);
    }
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

CSmartKey::KeyLoan CSmartKey::BorrowMonitor(bool goFree)
{
    const char *module = "AskToStopMonitorThread:";
    KeyLoan loan;
    DWORD self = GetCurrentThreadId();
    HANDLE thread = GetHandle(&m_monitorThread);
    bool otherThread = thread != INVALID_HANDLE_VALUE && self != m_monitorThreadId;

    EnterCriticalSection(&m_stateLock);
    if (otherThread && MonitorHeldByHandler() && !ThreadEnded(thread)) {
        // The monitor sits in an event handler, which may be waiting for this very thread, or
        // waits itself for the operations that went on beside one: no park, and no wait.
        if (goFree) {
            InterlockedIncrement(&m_freeOps);
            InterlockedIncrement(&m_freeOpsStarted);
            loan.free = true;
        }
        LeaveCriticalSection(&m_stateLock);
        LogMessage(kLogDetail, module, "return false %d %X[%X] (event running)", static_cast<int>(Get(&StopSpinLock)),
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(thread)), static_cast<unsigned>(self));
        return loan;
    }
    if (Get(&StopSpinLock) == 1 || thread == INVALID_HANDLE_VALUE) {
        LeaveCriticalSection(&m_stateLock);
        LogMessage(kLogDetail, module, "return false %d %X[%X]", static_cast<int>(Get(&StopSpinLock)),
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(thread)), static_cast<unsigned>(self));
        return loan;
    }
    if (m_parkWake != nullptr)
        ResetEvent(m_parkWake);  // a wake-up left from an earlier park is not this one's
    Put(&m_parked, 0);
    Put(&StopSpinLock, 1);
    Put(&m_parkRequested, 1);
    LeaveCriticalSection(&m_stateLock);
    if (m_monitorWake != nullptr)
        SetEvent(m_monitorWake);  // a monitor sleeping between passes parks at once
    LogMessage(kLogDetail, module, "[%X]", static_cast<unsigned>(self));

    // Woken by the monitor as soon as it parks (or an event handler begins or ends), by the
    // monitor thread's end, or after one poll's time; the flags decide in every case.
    const HANDLE wakes[2] = {m_parkWake, thread};
    const DWORD wakeCount = m_parkWake != nullptr ? 2 : 0;
    DWORD asserted = GetTickCount();
    bool handlerSeen = false;
    DWORD handlerSince = 0;
    for (;;) {
        EnterCriticalSection(&m_stateLock);
        if (Get(&m_parked) == 1) {
            LeaveCriticalSection(&m_stateLock);
            loan.parked = true;
            return loan;
        }
        DWORD now = GetTickCount();
        bool handler = Get(&m_eventDepth) != 0;
        if (handler && !handlerSeen)
            handlerSince = now;
        handlerSeen = handler;
        // StopMonitoring on another thread clears the monitor's handle before it closes it: a
        // handle that is no longer the monitor's is a monitor gone, never a handle to wait on.
        bool gone = GetHandle(&m_monitorThread) != thread || ThreadEnded(thread);
        bool draining = Get(&m_draining) != 0;
        if ((handler && now - handlerSince >= kPollMs) || draining || gone) {
            // The monitor went into an event handler before it reached its park, and the handler
            // still runs a poll's time later: it may be waiting for this very thread, so the
            // request is given up (the handler's end does not restore it) and the operation goes
            // on beside the handler. A short handler (a visit's event) is let end and the park
            // still comes after it. A monitor that ended by itself (second instance in the
            // process) is not waited for either; StopSpinLock stays 1 so that later operations
            // do not try. A monitor whose handler has returned but that waits for the operations
            // beside it parks only once they end, and this one may be inside one of them: it goes
            // on unparked at once.
            Put(&m_parkRequested, 0);
            if (goFree && MonitorHeldByHandler() && !gone) {
                InterlockedIncrement(&m_freeOps);
                InterlockedIncrement(&m_freeOpsStarted);
                loan.free = true;
            }
            LeaveCriticalSection(&m_stateLock);
            return loan;
        }
        // Asserted again after every 21 polls' time without the park: an event wrapper on the
        // monitor thread may have cleared it. There is no time limit.
        bool reassert = GetTickCount() - asserted >= kReassertMs;
        if (reassert) {
            Put(&StopSpinLock, 1);
            asserted = GetTickCount();
        }
        LeaveCriticalSection(&m_stateLock);
        if (reassert && m_monitorWake != nullptr)
            SetEvent(m_monitorWake);
        WaitServing(wakes, wakeCount, handlerSeen ? kPollMs - (now - handlerSince) : kPollMs);
    }
}

void CSmartKey::GiveBack(const KeyLoan &loan)
{
    if (loan.parked)
        ReleaseMonitor();
    if (loan.free)
        InterlockedDecrement(&m_freeOps);
}

bool CSmartKey::MonitorHeldByHandler()
{
    return Get(&m_eventDepth) != 0 || Get(&m_draining) != 0;
}

bool CSmartKey::VisitTakenOver()
{
    return m_takenOver;
}

bool CSmartKey::AskToStopMonitorThread()
{
    return BorrowMonitor(false).parked;
}

void CSmartKey::ReleaseMonitor()
{
    EnterCriticalSection(&m_stateLock);
    Put(&m_parkRequested, 0);
    Put(&m_parked, 0);
    Put(&StopSpinLock, Get(&m_eventDepth) != 0 ? 1 : 0);  // a running handler keeps its 1
    LeaveCriticalSection(&m_stateLock);
    if (m_monitorWake != nullptr)
        SetEvent(m_monitorWake);  // the parked monitor goes on at once
}
