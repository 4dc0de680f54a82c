// CSmartKey: construction, the initialisation thread, the monitor thread and its lifecycle
// (start, the loop over the readers, the stop).
#include "smart_key.h"

#include <cstring>

#include "cut_format.h"
#include "log.h"
#include "smart_key_internal.h"
#include "text_ids.h"
#include "texts.h"

using namespace smart_key_internal;

namespace {

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

CSmartKey::CSmartKey()
{
    InitializeCriticalSection(&m_callLock);
    InitializeCriticalSection(&m_tableLock);
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
    DeleteCriticalSection(&m_tableLock);
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

bool CSmartKey::HasMonitorThread() const
{
    return const_cast<CSmartKey *>(this)->m_monitorThread != INVALID_HANDLE_VALUE &&
           GetHandle(&const_cast<CSmartKey *>(this)->m_monitorThread) != INVALID_HANDLE_VALUE;
}

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
    if (m_library == nullptr) {
        DWORD error = GetLastError();
        Put(&m_loadError, static_cast<LONG>(error));
        LogMessage(kLogError, "", "CSmartKey::Init - Quorel32.dll not loaded (%lu)", static_cast<unsigned long>(error));
        SetLastError(error);
        return false;
    }
    Put(&m_loadError, 0);
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

DWORD WINAPI CSmartKey::MonitorThreadStart(LPVOID self)
{
    CSmartKey *key = static_cast<CSmartKey *>(self);
    DWORD rc = key->MonitorThreadProc();
    if (Get(&key->m_releaseOnExit) != 0) {
        Put(&key->m_releaseOnExit, 0);
        key->ReleaseReaders();
    }
    key->m_gate.MonitorEnded();  // the last touch of the object: a stop may free it from here on
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
            if (!Checkpoint())
                return 0;
            LogMessage(kLogDetail, module, "inside while(1) ...");
        }
        if (!Checkpoint())
            return 0;
        if (m_readers[0] != nullptr && Get(&m_noKeyNotified) == 0) {
            if (FirstKeyIndex() == -1)
                EvNoKey();
            Put(&m_noKeyNotified, 1);
        }
        IdleWait(kPassSleepMs);
    }
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
    m_gate.RequestStop();  // ends the monitor's sleep; it ends at its next checkpoint
    if (GetCurrentThreadId() == m_monitorThreadId)
        return true;
    // Ends when the monitor has made its last act, or ended without it (a second instance
    // ends its monitor by itself; a killed one says nothing).
    while (!m_gate.Exited() && !ThreadEnded(thread)) {
        EnumThreadWindows(m_monitorThreadId, CancelHandlerDialog, 0);
        WaitServing(&thread, 1, kPollMs);  // the thread's end wakes this wait at once
        LogMessage(kLogDetail, module, "inside while StopSpinLockOK");
    }
    return true;
}

void CSmartKey::StartMonitoring()
{
    if (!IsLoaded() || GetHandle(&m_monitorThread) != INVALID_HANDLE_VALUE || Get(&m_initStop) != 0)
        return;
    Put(&m_noKeyNotified, 0);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, MonitorThreadStart, this, CREATE_SUSPENDED, &id);
    if (thread == nullptr) {
        PutHandle(&m_monitorThread, INVALID_HANDLE_VALUE);
        m_gate.NoMonitor();  // operations do not try to park it
        return;
    }
    m_monitorThreadId = id;
    m_gateSeam.Watch(thread);
    m_gate.MonitorStarting();
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

void CSmartKey::AbandonLibrary()
{
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
