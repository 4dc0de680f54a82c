// The reader monitor of CSmartKey: initialisation, reader table, visits to readers, the monitor
// thread and the park handshake with the callers of Key operations.
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
#include "text_ids.h"
#include "texts.h"

namespace {

LONG Get(volatile LONG *flag)
{
    return InterlockedCompareExchange(flag, 0, 0);
}

void Put(volatile LONG *flag, LONG value)
{
    InterlockedExchange(flag, value);
}

HANDLE GetHandle(HANDLE volatile *h)
{
    return InterlockedCompareExchangePointer(const_cast<PVOID volatile *>(reinterpret_cast<PVOID volatile *>(h)),
                                             nullptr, nullptr);
}

void PutHandle(HANDLE volatile *h, HANDLE value)
{
    InterlockedExchangePointer(const_cast<PVOID volatile *>(reinterpret_cast<PVOID volatile *>(h)), value);
}

bool ThreadEnded(HANDLE thread)
{
    return thread == INVALID_HANDLE_VALUE || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

constexpr DWORD kPollMs = 100;                  // a caller's wait for the park or the stop
constexpr DWORD kReassertMs = 21 * kPollMs;     // the request is asserted again after 21 polls' time
constexpr DWORD kParkedSleepMs = 10;
constexpr DWORD kPassSleepMs = 250;
constexpr DWORD kNoReaderSleepMs = 500;

// A stop does not wait for a user: a dialog or box an event handler shows on the monitor thread
// (a PIN prompt, an error box) is cancelled as Escape would, and so is each one it opens after.
BOOL CALLBACK CancelHandlerDialog(HWND window, LPARAM)
{
    char name[8] = "";
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

}  // namespace

UINT StatusTextId(KeyStatus state)
{
    switch (state) {
    case csAbsent: return IDS_WAITING_FOR_KEY;
    case csReady: return IDS_KEY_READY;
    case csBlocked: return IDS_KEY_BLOCKED;
    case csFinallyBlocked: return IDS_KEY_FINALLY_BLOCKED;
    case csError: return IDS_KEY_UNKNOWN_ERROR;
    case csNeedPIN: return IDS_KEY_NEEDS_PIN;
    case csNotFormatted: return IDS_KEY_NOT_FORMATTED;
    case csBioFailed: return IDS_BIO_VERIFY_FAILED;
    }
    return IDS_KEY_UNIDENTIFIED;
}

// ---- Construction and events --------------------------------------------------------------------

CSmartKey::CSmartKey()
{
    InitializeCriticalSection(&m_callLock);
    InitializeCriticalSection(&m_stateLock);
    InitializeCriticalSection(&m_tableLock);
    m_parkWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_monitorWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::memset(&m_anyReader, 0, sizeof m_anyReader);
    m_anyReader.h = static_cast<DWORD>(-1);
    CopyCut(m_anyReader.name, sizeof m_anyReader.name, "Any Key reader");
    m_anyReader.state = csAbsent;
}

CSmartKey::~CSmartKey()
{
    StopMonitoring();  // the initialisation thread first, onFinishInit included
    if (m_initDoneSem != nullptr)
        CloseHandle(m_initDoneSem);
    if (m_parkWake != nullptr)
        CloseHandle(m_parkWake);
    if (m_monitorWake != nullptr)
        CloseHandle(m_monitorWake);
    DeleteCriticalSection(&m_tableLock);
    DeleteCriticalSection(&m_stateLock);
    DeleteCriticalSection(&m_callLock);
}

void CSmartKey::onKeyOpened(const char *, DWORD, const char *) {}
void CSmartKey::onKeyInserted(const char *) {}
void CSmartKey::onKeyRemoved(const char *) {}
void CSmartKey::onFinishInit(int) {}
void CSmartKey::onKeyError(const char *, const char *) {}
int CSmartKey::reserved() { return 0; }
void CSmartKey::onNoKey() {}
void CSmartKey::onReaderChanged(const char *, int) {}

bool CSmartKey::onNeedPIN(const char *readerName, int, int)
{
    TableLock lock(this);
    if (m_anyReader.pin[0] == 0)
        return false;
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    if (r->pin[0] == 0) {
        CopyCut(r->pin, 41, m_anyReader.pin);
        return true;
    }
    std::memset(r->pin, 0, sizeof r->pin);  // the given PIN was already refused
    return false;
}

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

void CSmartKey::SetState(ReaderRecord *r, KeyStatus state)
{
    char text[sizeof r->status_text];
    LoadResString(StatusTextId(state), text, sizeof text);
    TableLock lock(this);
    r->state = state;
    std::memcpy(r->status_text, text, sizeof text);
}

void CSmartKey::SetOpText(ReaderRecord *r, const char *text)
{
    TableLock lock(this);
    CopyCut(r->op_text, sizeof r->op_text, text);
}

void CSmartKey::SetOpResText(ReaderRecord *r, UINT id, const char *part)
{
    char text[sizeof r->op_text];
    if (part != nullptr)
        FormatResString(id, part, text, sizeof text);
    else
        LoadResString(id, text, sizeof text);
    SetOpText(r, text);
}

void CSmartKey::SetCount(ReaderRecord *r, LONG count)
{
    TableLock lock(this);
    r->count = count;
}

void CSmartKey::WipePIN(ReaderRecord *r)
{
    TableLock lock(this);
    SecureZeroMemory(r->pin, sizeof r->pin);
}

bool CSmartKey::HasMonitorThread() const
{
    return const_cast<CSmartKey *>(this)->m_monitorThread != INVALID_HANDLE_VALUE &&
           GetHandle(&const_cast<CSmartKey *>(this)->m_monitorThread) != INVALID_HANDLE_VALUE;
}

// ---- Initialisation -----------------------------------------------------------------------------

namespace {
struct InitArgs {
    CSmartKey *key;
    DWORD appId;
};
}  // namespace

HANDLE CSmartKey::StartInit(DWORD appId)
{
    HANDLE previous = GetHandle(&m_initThread);
    if (previous != INVALID_HANDLE_VALUE) {
        if (!ThreadEnded(previous))
            return INVALID_HANDLE_VALUE;
        CloseHandle(previous);
        PutHandle(&m_initThread, INVALID_HANDLE_VALUE);
    }
    Put(&m_initStop, 0);
    if (m_initDoneSem != nullptr)
        CloseHandle(m_initDoneSem);
    m_initDoneSem = CreateSemaphoreA(nullptr, 0, 255, nullptr);
    if (m_initDoneSem == nullptr)
        return INVALID_HANDLE_VALUE;
    m_appId = appId;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, InitThreadProc, this, CREATE_SUSPENDED, &id);
    if (thread == nullptr)
        return INVALID_HANDLE_VALUE;
    m_initThreadId = id;
    PutHandle(&m_initThread, thread);
    ResumeThread(thread);
    return m_initDoneSem;
}

// The thread's handle stays the object's until someone has waited for the thread to end: the
// thread touches the object up to the end of onFinishInit, so nothing may free it before.
DWORD WINAPI CSmartKey::InitThreadProc(LPVOID self)
{
    CSmartKey *key = static_cast<CSmartKey *>(self);
    key->Init(key->m_appId);
    ReleaseSemaphore(key->m_initDoneSem, 1, nullptr);
    if (Get(&key->m_initStop) == 0)  // the object is being stopped: the event is not begun
        key->onFinishInit(0);
    return 0;
}

void CSmartKey::StopInit()
{
    HANDLE thread = GetHandle(&m_initThread);
    if (thread == INVALID_HANDLE_VALUE || GetCurrentThreadId() == m_initThreadId)
        return;  // none, or called from onFinishInit itself
    Put(&m_initStop, 1);
    // Serves sent messages meanwhile: onFinishInit may send to a window of this thread.
    while (!ThreadEnded(thread))
        PollWait(10);
    CloseHandle(thread);
    PutHandle(&m_initThread, INVALID_HANDLE_VALUE);
    Put(&m_initStop, 0);
}

bool CSmartKey::Init(DWORD appId)
{
    if (IsLoaded())
        return false;
    m_appId = appId;
    PutHandle(&m_monitorThread, INVALID_HANDLE_VALUE);
    if (m_library != nullptr) {
        FreeLibrary(m_library);
        m_library = nullptr;
    }
    m_library = BindQuorelLibrary(&m_lib);
    if (m_library == nullptr)
        return false;
    if (Get(&m_initStop) != 0) {  // stopped meanwhile: the library is not kept
        FreeLibrary(m_library);
        m_library = nullptr;
        std::memset(&m_lib, 0, sizeof m_lib);
        return false;
    }
    Put(&m_loaded, 1);

    char name[64];
    FormatCut(name, sizeof name, "MV_CSMKEY_MONIT_THREAD_SEM166_%X", static_cast<unsigned>(GetCurrentProcessId()));
    LogMessage(kLogMilestone, "", "Creating m_isSingleInstanceInProcess semaphore %s", name);
    m_singleInstanceSem = CreateSemaphoreA(nullptr, 0, 10, name);
    if (m_singleInstanceSem != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
        m_isSingleInstanceInProcess = FALSE;

    UpdateReaders();
    return true;
}

// ---- Reader table -------------------------------------------------------------------------------

std::optional<ReaderRecord> CSmartKey::FindReader(const char *readerName)
{
    TableLock lock(this);
    if (const ReaderRecord *r = Record(readerName))
        return *r;
    return std::nullopt;
}

ReaderRecord *CSmartKey::Record(const char *readerName)
{
    if (readerName == nullptr) {
        if (m_current != nullptr)
            return m_current;
        for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i)
            if (m_readers[i]->state != csAbsent)
                return m_readers[i];
        return nullptr;
    }
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
        if (std::strcmp(m_readers[i]->name, readerName) == 0) {
            m_readers[i]->index = static_cast<DWORD>(i);
            return m_readers[i];
        }
    }
    return nullptr;
}

int CSmartKey::FirstKeyIndex()
{
    TableLock lock(this);
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
        KeyStatus s = m_readers[i]->state;
        if (s == csReady || s == csNeedPIN || s == csBlocked || s == csBioFailed || s == csFinallyBlocked)
            return i;
    }
    return -1;
}

void CSmartKey::UpdateReaders()
{
    int count = 0;
    {
        TableLock lock(this);
        while (count < kMaxReaders && m_readers[count] != nullptr)
            m_readers[count++]->present = FALSE;
    }

    for (DWORD i = 0; i < 1024; ++i) {
        if (Get(&m_initStop) != 0 && GetCurrentThreadId() == m_initThreadId)
            return;  // the object is being stopped: the listing ends here, nothing is dropped
        const char *enumerated = Call(m_lib.EnumReaders, i);
        if (enumerated == nullptr)
            break;
        char name[256];
        CopyCut(name, 251, enumerated);
        {
            TableLock lock(this);
            if (ReaderRecord *known = Record(name)) {
                known->present = TRUE;
                continue;
            }
        }
        if (count >= kMaxReaders)
            continue;  // the table is full: later readers are ignored
        LogMessage(kLogMilestone, "CSmartkey new", "%s", name);
        DWORD handle = Call(m_lib.InitReader, name);
        ReaderRecord *r = nullptr;
        {
            TableLock lock(this);
            r = TakeRetired(name);
            if (r == nullptr)
                r = new ReaderRecord();
            std::memset(r, 0, sizeof *r);
            CopyCut(r->name, sizeof r->name, name);
            r->state = csAbsent;
            r->tries = kInitCardDefaultTries;
            r->h = handle;
            r->present = TRUE;
            r->index = static_cast<DWORD>(count);
            m_readers[count++] = r;
        }
        EvReaderChanged(r->name, 1);
    }

    for (int i = 0; i < count;) {
        ReaderRecord *r = m_readers[i];
        if (r->present) {
            ++i;
            continue;
        }
        if (r->ret != kInitCardNoKey)
            EvKeyRemoved(r);
        EvReaderChanged(r->name, 0);
        // The handle is released too: the reader is gone. Its record is kept (see m_retired).
        Call(m_lib.CloseReader, r->h);
        TableLock lock(this);
        if (m_current == r)
            m_current = nullptr;
        r->h = 0;
        r->state = csAbsent;
        r->present = FALSE;
        SecureZeroMemory(r->pin, sizeof r->pin);  // no PIN outlives its reader
        m_retired.push_back(r);
        m_readers[i] = m_readers[count - 1];
        m_readers[count - 1] = nullptr;
        --count;
    }
}

ReaderRecord *CSmartKey::TakeRetired(const char *readerName)
{
    for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
        if (std::strcmp((*it)->name, readerName) == 0) {
            ReaderRecord *r = *it;
            m_retired.erase(it);
            return r;
        }
    }
    return nullptr;
}

void CSmartKey::RefreshKeyInfo(int index)
{
    ReaderRecord *r = m_readers[index];
    BYTE id[8] = {};
    DWORD length = sizeof id;
    Call(m_lib.GetCardID, r->h, id, &length);
    DWORD app[2] = {}, whole[2] = {}, bio[2] = {};
    Call(m_lib.GetApplicationInfo, r->h, m_appId, &app[0], &app[1]);
    Call(m_lib.GetApplicationInfo, r->h, kAppWholeKey, &whole[0], &whole[1]);
    Call(m_lib.GetApplicationInfo, r->h, kAppBiometric, &bio[0], &bio[1]);
    char label[40] = {};
    Call(m_lib.ReadLabel, r->h, label);

    TableLock lock(this);
    if (std::memcmp(id, r->card_id, sizeof id) != 0)
        SecureZeroMemory(r->pin, sizeof r->pin);  // another Key: the PIN was not its
    std::memcpy(r->card_id, id, sizeof id);
    r->app_allocated = app[0];
    r->app_free = app[1];
    r->alocc_space = whole[0];
    r->free_space = whole[1];
    r->bio_allocated = bio[0];
    r->bio_free = bio[1];
    CopyCut(r->label, sizeof r->label, label);
}

// ---- One visit to one reader --------------------------------------------------------------------

bool CSmartKey::ProcessReader(int index, bool checkMode)
{
    ReaderRecord *r = m_readers[index];
    for (;;) {
        SetLastError(0);
        LogMessage(kLogDetail, "cm - ProcessReader:", "call InitCard rdrs=%08X, x=%d, [%X]",
                   static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_readers)), index,
                   static_cast<unsigned>(GetCurrentThreadId()));
        LONG ret = Call(m_lib.InitCard, r->h, m_appId);
        LogMessage(kLogDetail, "cm - ProcessReader:", "analizing ret value = %d [%X]", static_cast<int>(ret),
                   static_cast<unsigned>(GetCurrentThreadId()));
        DWORD error = GetLastError();
        if (ret == kInitCardTriesUnknown)
            ret = kInitCardDefaultTries;
        {
            TableLock lock(this);
            r->ret = ret;
            r->init_error = error;
        }

        switch (ret) {
        case kInitCardUnchanged:
            if (r->state != csAbsent)
                return false;
            LogMessage(kLogDetail, "cm - ProcessReader:", "-5, on [csAbsent]'ed Key, doing InitCard again...");
            Call(m_lib.CloseCard, r->h, 0);
            continue;
        case kInitCardNoKey:
            WipePIN(r);
            if (r->state != csAbsent) {
                SetCount(r, 0);
                SetState(r, csAbsent);
                EvKeyRemoved(r);
            }
            return false;
        case kInitCardKeyError:
        case kInitCardKeyFailure:
            RefreshKeyInfo(index);
            WipePIN(r);
            Call(m_lib.CloseCard, r->h, 1);
            SetState(r, csError);
            SetOpResText(r, IDS_KEY_UNKNOWN_ERROR);
            EvKeyError(r);
            return true;
        case kInitCardBlocked:
            RefreshKeyInfo(index);
            SetState(r, csBlocked);
            SetOpResText(r, IDS_KEY_BLOCKED);
            if (checkMode)
                return true;
            Call(m_lib.CloseCard, r->h, 1);
            EvKeyError(r);
            return false;
        case kInitCardFinallyBlocked:
            RefreshKeyInfo(index);
            SetState(r, csFinallyBlocked);
            Call(m_lib.CloseCard, r->h, 1);
            SetOpResText(r, IDS_KEY_FINALLY_BLOCKED);
            EvKeyError(r);
            return false;
        case kInitCardNotFormatted:
            RefreshKeyInfo(index);
            SetState(r, csNotFormatted);
            SetOpResText(r, IDS_KEY_NOT_FORMATTED);
            Call(m_lib.CloseCard, r->h, 1);
            EvKeyError(r);
            return false;
        default:
            break;
        }
        if (ret < 0) {
            RefreshKeyInfo(index);
            char text[sizeof r->status_text];
            LoadResString(IDS_KEY_UNIDENTIFIED, text, sizeof text);
            {
                TableLock lock(this);
                r->state = csError;
                std::memcpy(r->status_text, text, sizeof text);
            }
            EvKeyError(r);
            return false;
        }

        // PIN steps.
        RefreshKeyInfo(index);
        char pin[sizeof r->pin];
        {
            TableLock lock(this);
            r->tries = ret;
            CopyCut(pin, sizeof pin, r->pin);
        }
        if (Call(m_lib.VerifyPIN, r->h, pin)) {
            SetCount(r, 0);
            SetState(r, csReady);
            if (checkMode) {
                SecureZeroMemory(pin, sizeof pin);
                return true;
            }
            EvKeyOpened(r, pin);
            SecureZeroMemory(pin, sizeof pin);
            if (!VisitTakenOver()) {
                Call(m_lib.CloseCard, r->h, 1);
                EvKeyInserted(r);
            } else if (r->state == csReady) {
                EvKeyInserted(r);  // the operation found the Key as it was and closed it itself
            }
            return true;
        }
        Call(m_lib.CloseCard, r->h, 0);
        bool refused = pin[0] != 0;
        SecureZeroMemory(pin, sizeof pin);
        {
            TableLock lock(this);
            r->state = csNeedPIN;
        }
        if (refused) {
            SetCount(r, r->count + 1);
            LONG tries = Call(m_lib.InitCard, r->h, m_appId);
            {
                TableLock lock(this);
                r->tries = tries == kInitCardTriesUnknown ? kInitCardDefaultTries : tries;
            }
            Call(m_lib.CloseCard, r->h, 0);
            if (r->tries == kInitCardBlocked)
                continue;  // the refusal used the last try: the next InitCard finds it blocked
        }
        bool again = EvNeedPIN(r);
        if (!checkMode && VisitTakenOver()) {
            // An operation opened the Key meanwhile (it has ended by now): its state is the newer
            // one, and the next visit reports the Key afresh, with the PIN it may have been given.
            Call(m_lib.CloseCard, r->h, 0);
            return false;
        }
        if (again)
            continue;
        SetState(r, csNeedPIN);
        Call(m_lib.CloseCard, r->h, 1);
        return false;
    }
}

// ---- The monitor thread -------------------------------------------------------------------------

bool CSmartKey::StopRequested()
{
    if (Get(&m_stopRequest) != 1)
        return false;
    Put(&m_exited, 1);
    return true;
}

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

DWORD WINAPI CSmartKey::MonitorThreadStart(LPVOID self)
{
    CSmartKey *key = static_cast<CSmartKey *>(self);
    DWORD rc = key->MonitorThreadProc();
    if (Get(&key->m_releaseOnExit) != 0) {
        Put(&key->m_releaseOnExit, 0);
        key->ReleaseReaders();
    }
    return rc;
}

DWORD CSmartKey::MonitorThreadProc()
{
    const char *module = "cm - MonitorThreadProc:";
    LogMessage(kLogMilestone, module, "Monitor created.");
    for (;;) {
        if (Call(m_lib.AnyReadersChanges, 0)) {
            LogMessage(kLogMilestone, module, "AnyReadersChanges: TRUE, updating ... (single?:%d)",
                       m_isSingleInstanceInProcess);
            if (!m_isSingleInstanceInProcess)
                return 0;
            UpdateReaders();
        }
        if (m_readers[0] == nullptr) {
            if (Get(&m_noKeyNotified) == 0) {
                Put(&m_noKeyNotified, 1);
                EvNoKey();
            }
            IdleWait(kNoReaderSleepMs);
        }
        for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i) {
            LogMessage(kLogDetail, module, "entering ProcessReader");
            ProcessReader(i, false);
            LogMessage(kLogDetail, module, "exiting ProcessReader");
            if (StopRequested())
                return 0;
            ParkCheck();
            LogMessage(kLogDetail, module, "inside while(1) ...");
        }
        if (StopRequested())
            return 0;
        ParkCheck();
        if (m_readers[0] != nullptr && Get(&m_noKeyNotified) == 0) {
            if (FirstKeyIndex() == -1)
                EvNoKey();
            Put(&m_noKeyNotified, 1);
        }
        IdleWait(kPassSleepMs);
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

bool CSmartKey::AskToTerminateMonitorThread()
{
    const char *module = "cm - AskToTerminateMonitorThread:";
    HANDLE thread = GetHandle(&m_monitorThread);
    if (thread == INVALID_HANDLE_VALUE)
        return false;
    DWORD code = 0;
    if (!GetExitCodeThread(thread, &code))
        LogMessage(kLogMilestone, module, "error GetExitCodeThread");
    if (code != STILL_ACTIVE) {
        LogMessage(kLogMilestone, module, "thread is already closed");
        return true;
    }
    LogMessage(kLogMilestone, module, "thread is active");
    Put(&m_exited, 0);
    Put(&m_stopRequest, 1);
    if (GetCurrentThreadId() == m_monitorThreadId)
        return true;
    if (m_monitorWake != nullptr)
        SetEvent(m_monitorWake);  // a monitor sleeping between passes goes on to its stop check
    for (int polls = 1; Get(&m_exited) != 1; ++polls) {
        if (ThreadEnded(thread))
            break;  // ended on its own (second instance): nothing more to wait for
        EnumThreadWindows(m_monitorThreadId, CancelHandlerDialog, 0);
        WaitServing(&thread, 1, kPollMs);  // the thread's end wakes this wait at once
        LogMessage(kLogDetail, module, "inside while StopSpinLockOK");
        if (polls % 21 == 0)
            Put(&m_stopRequest, 1);
    }
    return true;
}

void CSmartKey::StartMonitoring()
{
    if (!IsLoaded() || GetHandle(&m_monitorThread) != INVALID_HANDLE_VALUE || Get(&m_initStop) != 0)
        return;
    Put(&StopSpinLock, 0);
    Put(&m_stopRequest, 0);
    Put(&m_noKeyNotified, 0);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, MonitorThreadStart, this, CREATE_SUSPENDED, &id);
    if (thread == nullptr) {
        PutHandle(&m_monitorThread, INVALID_HANDLE_VALUE);
        Put(&StopSpinLock, 1);
        return;
    }
    m_monitorThreadId = id;
    PutHandle(&m_monitorThread, thread);
    ResumeThread(thread);
}

void CSmartKey::ReleaseReaders()
{
    if (m_library == nullptr)
        return;
    std::vector<ReaderRecord *> records;
    {
        TableLock lock(this);
        for (int i = 0; i <= kMaxReaders; ++i) {
            if (m_readers[i] != nullptr)
                records.push_back(m_readers[i]);
            m_readers[i] = nullptr;
        }
        records.insert(records.end(), m_retired.begin(), m_retired.end());
        m_retired.clear();
        m_current = nullptr;
    }
    for (ReaderRecord *r : records) {
        if (r->h != 0)
            Call(m_lib.CloseReader, r->h);
        SecureZeroMemory(r->pin, sizeof r->pin);
        delete r;
    }
    FreeLibrary(m_library);
    m_library = nullptr;
    std::memset(&m_lib, 0, sizeof m_lib);
}

void CSmartKey::StopMonitoring()
{
    StopInit();
    HANDLE thread = GetHandle(&m_monitorThread);
    bool onMonitor = thread != INVALID_HANDLE_VALUE && GetCurrentThreadId() == m_monitorThreadId;
    if (thread != INVALID_HANDLE_VALUE)
        AskToTerminateMonitorThread();
    if (m_singleInstanceSem != nullptr) {
        CloseHandle(m_singleInstanceSem);
        m_singleInstanceSem = nullptr;
    }
    PutHandle(&m_monitorThread, INVALID_HANDLE_VALUE);
    Put(&StopSpinLock, 1);
    Put(&m_loaded, 0);
    if (thread != INVALID_HANDLE_VALUE)
        CloseHandle(thread);
    if (onMonitor) {
        // Called from an event handler: the monitor still uses its records until it returns to
        // its loop, so it frees them itself on the way out.
        Put(&m_releaseOnExit, 1);
        return;
    }
    ReleaseReaders();
}

// ---- What the programs hand in and ask ----------------------------------------------------------

void CSmartKey::SetPIN(const char *readerName, const char *pin)
{
    if (pin == nullptr)
        pin = "";
    TableLock lock(this);
    if (readerName == nullptr || *readerName == 0) {
        CopyCut(m_anyReader.pin, sizeof m_anyReader.pin, pin);
        if (m_current != nullptr)
            CopyCut(m_current->pin, sizeof m_current->pin, pin);
        return;
    }
    if (ReaderRecord *r = Record(readerName))
        CopyCut(r->pin, sizeof r->pin, pin);
}

bool CSmartKey::ForgetPIN(const char *readerName)
{
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr || r->pin[0] == 0)
        return false;
    SecureZeroMemory(r->pin, sizeof r->pin);
    return true;
}

bool CSmartKey::DisplayName(const char *readerName, char *text, int size)
{
    constexpr int kCardIdDigits = 16;
    if (text == nullptr || size <= 0)
        return false;
    text[0] = 0;
    TableLock lock(this);
    const ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    if (r->label[0] != 0) {
        CopyCut(text, static_cast<std::size_t>(size), r->label);
        return true;
    }
    if (size <= kCardIdDigits)
        return false;
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i) {
        text[2 * i] = kHex[r->card_id[i] >> 4];
        text[2 * i + 1] = kHex[r->card_id[i] & 0x0F];
    }
    text[kCardIdDigits] = 0;
    return true;
}

int CSmartKey::GetKeyInfo(const char *readerName, DWORD *allocated, DWORD *freeSpace, char *label)
{
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return 0;
    if (allocated != nullptr)
        *allocated = r->app_allocated;
    if (freeSpace != nullptr)
        *freeSpace = r->app_free;
    if (label != nullptr)
        CopyCut(label, sizeof r->label, r->label);
    return r->state;
}

bool CSmartKey::GetErrorText(const char *readerName, char *text)
{
    constexpr int kTextSize = 200;
    if (!IsLoaded()) {
        if (text != nullptr)
            FormatResString(IDS_ERROR_LOADING_MODULE, "Quorel32.dll", text, kTextSize);
        return true;
    }
    TableLock lock(this);
    ReaderRecord *r = Record(readerName);
    if (r == nullptr)
        return false;
    KeyStatus s = r->state;
    bool stateError = s == csBlocked || s == csFinallyBlocked || s == csError || s == csNeedPIN ||
                      s == csNotFormatted || s == csBioFailed;
    if (r->last_error == 0 && !stateError)
        return false;
    if (text == nullptr)
        return true;
    if (s != csError && stateError) {
        char part[kSharedTextSize];
        LoadResString(StatusTextId(s), part, sizeof part);
        FormatCut(text, kTextSize, "%s : %s", r->name, part);
        return true;
    }
    char part[kSharedTextSize];
    if (r->op_kind == 2 && r->last_error == 0x80100006) {
        LoadResString(IDS_KEY_NO_SPACE, part, sizeof part);
        FormatCut(text, kTextSize, "%s : %s", r->name, part);
        return true;
    }
    if (r->op_kind == 1 && r->last_error == 1 && r->needed_length > r->requested_length) {
        FormatCut(text, kTextSize, "%s : %s", r->name, "The buffer is too small for the data on the Key.");
        return true;
    }
    char what[kSharedTextSize], reader[kSharedTextSize];
    FormatResString(IDS_ERROR_WHILE_OP, r->op_text, what, sizeof what);
    LoadResString(IDS_KEY_READER, reader, sizeof reader);
    FormatCut(text, kTextSize,
              "%s \n%s%s \n\nApp ID: %d\nRet,GLE:%d, %X\nWrite, Read, Offs len:%d, %d, %d \n", what, reader,
              r->name, static_cast<int>(m_appId), static_cast<int>(r->ret), static_cast<unsigned>(r->last_error),
              static_cast<int>(r->write_length), static_cast<int>(r->requested_length), static_cast<int>(r->offset));
    return true;
}
