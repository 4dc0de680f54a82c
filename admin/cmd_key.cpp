// The command line's Key events: the monitor is started at the end of the initialisation, and a
// refused PIN is noted (and forgotten, so that the monitor does not spend the Key's next attempt
// on it) for the command that gave it.
#include "cmd_key.h"

#include "admin_ui.h"
#include "log.h"

namespace {

constexpr DWORD kLeaveParkMs = 25;

}  // namespace

CSmartKeyCmd::CSmartKeyCmd()
{
    InitializeCriticalSection(&lock_);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

CSmartKeyCmd::~CSmartKeyCmd()
{
    StopMonitoring();  // no handler runs once the members are gone
    if (ready_ != nullptr)
        CloseHandle(ready_);
    DeleteCriticalSection(&lock_);
}

void CSmartKeyCmd::onFinishInit(int)
{
    LogMessage(kLogStep, kAdminLog, "CSmartKeyCmd::onFinishInit");
    StartMonitoring();
    SetEvent(ready_);
}

bool CSmartKeyCmd::onNeedPIN(const char *readerName, int count, int tries)
{
    // A Key found asking for its PIN waits for the command that gives it. A refusal of a PIN
    // handed over is noted once: a visit that finds no PIN to present has refused nothing.
    if (count == 0 || readerName == nullptr || !ForgetPIN(readerName))
        return false;
    LogMessage(kLogStep, kAdminLog, "CSmartKeyCmd::onNeedPIN - PIN refused, %d attempts left", tries);
    EnterCriticalSection(&lock_);
    refused_[readerName] = tries;
    LeaveCriticalSection(&lock_);
    return false;
}

bool CSmartKeyCmd::Start(DWORD ms)
{
    HANDLE initDone = StartInit(kAppNotes);
    if (initDone == nullptr || initDone == INVALID_HANDLE_VALUE)
        return false;
    DWORD start = GetTickCount();
    WaitForSingleObject(initDone, ms);
    if (!IsLoaded())
        return false;
    DWORD spent = GetTickCount() - start;
    WaitForSingleObject(ready_, spent < ms ? ms - spent : 0);
    // The monitor's first pass visits the Keys already inserted; a command run right away must
    // find them.
    spent = GetTickCount() - start;
    AwaitPass(spent < ms ? ms - spent : 0);
    return true;
}

void CSmartKeyCmd::AwaitPass(DWORD ms)
{
    // The monitor parks between two readers and after the last: parked once more than there
    // are readers, and once again, it has gone through a whole pass. A monitor still sitting
    // where it parked answers a new request at once, without moving on: after each release it
    // is given a moment to leave (it is woken at once) before it is asked again.
    DWORD start = GetTickCount();
    std::size_t parks = ReaderNames().size() + 2;
    while (parks > 0 && GetTickCount() - start < ms) {
        if (AskToStopMonitorThread()) {
            ReleaseMonitor();
            --parks;
            Sleep(kLeaveParkMs);
        } else {
            Sleep(10);  // the monitor is in an event handler (or not yet running): it parks after it
        }
    }
}

std::vector<std::string> CSmartKeyCmd::ReaderNames()
{
    std::vector<std::string> names;
    TableLock lock(this);
    for (int i = 0; i < kMaxReaders && m_readers[i] != nullptr; ++i)
        names.push_back(m_readers[i]->name);
    return names;
}

bool CSmartKeyCmd::TakePinRefusal(const std::string &reader, int *tries)
{
    EnterCriticalSection(&lock_);
    auto found = refused_.find(reader);
    bool refused = found != refused_.end();
    if (refused) {
        *tries = found->second;
        refused_.erase(found);
    }
    LeaveCriticalSection(&lock_);
    return refused;
}
