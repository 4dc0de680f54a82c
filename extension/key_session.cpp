// The Key session's states and transitions, all on the client's thread: what a Key event means in
// each state, the logon sequence shared by the start, the re-insertion and "Work with KSD", and
// the lock when the Key is pulled.
#include "key_session.h"

#include "client_window.h"
#include "common_ui.h"
#include "extension.h"
#include "library_bitness.h"
#include "log.h"
#include "module_activation.h"
#include "logon_state.h"
#include "text_ids.h"
#include "tolvik_key.h"

namespace {

const char kLogonSemaphoreName[] = "SNTR_dll";
constexpr DWORD kStartWaitMs = 15000;         // for the Key library, then for the first Key event
constexpr DWORD kSettleMs = 500;              // after the first Key event, before the logon
constexpr DWORD kOlderClientLockDelay = 25000;  // below 190: the display lock waits this long after logon

KeySession g_session;

class SharedLock {
public:
    explicit SharedLock(SRWLOCK *lock) : lock_(lock) { AcquireSRWLockShared(lock_); }
    ~SharedLock() { ReleaseSRWLockShared(lock_); }

private:
    SRWLOCK *lock_;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK *lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(lock_); }

private:
    SRWLOCK *lock_;
};

// The product's own dialogs and boxes on this thread (they carry the product caption): a stop
// cancels them as Escape would (lParam 0); a lock cancels the message boxes only (lParam 1: those
// with the box's text control), never a dialog the user is filling in. The client's own windows
// are left alone.
BOOL CALLBACK CancelOwnDialog(HWND window, LPARAM boxesOnly)
{
    char name[8] = "";
    char caption[128] = "";
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) > 0 && lstrcmpA(name, "#32770") == 0 &&
        GetWindowTextA(window, caption, sizeof caption) > 0 && ProductCaption() == caption &&
        (boxesOnly == 0 || GetDlgItem(window, 0xFFFF) != nullptr))
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

// A message box of the product's on this thread, shown or about to be (a box whose loop has not
// yet gone idle is not visible yet): answered as the user would decline it, with the button it has
// for that (Cancel, else No, else OK). A dialog the user fills in has no box text and is left.
BOOL CALLBACK DeclineOwnBox(HWND window, LPARAM)
{
    char name[8] = "";
    char caption[128] = "";
    if (GetClassNameA(window, name, sizeof name) == 0 || lstrcmpA(name, "#32770") != 0 ||
        GetDlgItem(window, 0xFFFF) == nullptr || GetWindowTextA(window, caption, sizeof caption) <= 0 ||
        ProductCaption() != caption)
        return TRUE;
    int answer = GetDlgItem(window, IDCANCEL) != nullptr ? IDCANCEL : GetDlgItem(window, IDNO) != nullptr ? IDNO : IDOK;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    return TRUE;
}

}  // namespace

KeySession &Session()
{
    return g_session;
}

SessionState KeySession::State() const
{
    return static_cast<SessionState>(InterlockedCompareExchange(const_cast<volatile LONG *>(&state_), 0, 0));
}

std::string KeySession::Reader() const
{
    SharedLock lock(&lock_);
    return reader_;
}

std::string KeySession::Label() const
{
    SharedLock lock(&lock_);
    return label_;
}

bool KeySession::Bound() const
{
    SharedLock lock(&lock_);
    return !reader_.empty();
}

bool KeySession::Stopping() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG *>(&stopping_), 0, 0) != 0;
}

KeySession::Ticket KeySession::CurrentKey() const
{
    return {Reader(), InterlockedCompareExchange(const_cast<volatile LONG *>(&logons_), 0, 0)};
}

bool KeySession::StillOnKey(const Ticket &ticket) const
{
    return State() == SessionState::kOnKeyId && !Stopping() && CurrentKey() == ticket;
}

void KeySession::Enter(SessionState next)
{
    SessionState now = State();
    if (now == next || (now == SessionState::kEnded && next != SessionState::kEnded))
        return;  // nothing leaves the end
    InterlockedExchange(&state_, static_cast<LONG>(next));
    LogMessage(kLogStep, kLogModule, "Session: %s -> %s", SessionStateName(now), SessionStateName(next));
}

void KeySession::Bind(const SessionEvent &event)
{
    ExclusiveLock lock(&lock_);
    reader_ = event.reader;
    label_ = event.label;
}

void KeySession::Unbind()
{
    ExclusiveLock lock(&lock_);
    reader_.clear();
    label_.clear();
}

HANDLE KeySession::StopEvent()
{
    if (stopEvent_ == nullptr)  // made by the start's waits; already set when the stop came first
        stopEvent_ = CreateEventA(nullptr, TRUE, Stopping() ? TRUE : FALSE, nullptr);
    return stopEvent_;
}

void KeySession::CancelOpenPrompt()
{
    HWND prompt = GetWindowHandle(::State().hPinPrompt);
    if (prompt != nullptr)
        PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void KeySession::ReportBox(const std::string &text)
{
    ++reportsOpen_;
    ErrorBox(text);
    --reportsOpen_;
}

void KeySession::ReleaseStartWait()
{
    HANDLE semaphore = ::State().hSemaphore;
    if (semaphore != nullptr)
        ReleaseSemaphore(semaphore, 1, nullptr);
}

KeySession::Flow::Flow(KeySession &session) : session_(session)
{
    ++session_.flowDepth_;
}

KeySession::Flow::~Flow()
{
    if (--session_.flowDepth_ == 0)
        session_.FlowEnded();
}

bool KeySession::KeyLeftDuringFlow(const std::string &reader)
{
    if (pulledDuringFlow_ || flowDepth_ == 0 || !Bound() || reader != Reader())
        return pulledDuringFlow_;
    DWORD length = 0;  // the stored size only: one call to a Key that is there
    if (Key().Read(reader.c_str(), nullptr, &length) ||
        Key().GetKeyInfo(reader.c_str(), nullptr, nullptr, nullptr) != csAbsent)
        return false;
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved <%s> met by a Key operation (%s)", reader.c_str(),
               SessionStateName(State()));
    pulledDuringFlow_ = true;
    CancelOpenPrompt();
    return true;
}

void KeySession::FlowEnded()
{
    if (pulledDuringFlow_) {
        pulledDuringFlow_ = false;
        if (State() == SessionState::kOnKeyId)
            Lock();  // the logon or command reached its end, the Key is gone all the same
        else
            Unbind();
    }
    if (!deferred_.empty())
        PostSessionWork();
}

void KeySession::RunDeferred()
{
    while (!deferred_.empty() && flowDepth_ == 0) {
        SessionEvent event = deferred_.front();
        deferred_.pop_front();
        OnEvent(event);
    }
}

void KeySession::BecomePassive()
{
    Enter(SessionState::kPassive);
}

void KeySession::OnEvent(const SessionEvent &event)
{
    if (Stopping())
        return;
    if (event.kind == SessionEvent::kRemoved) {
        OnRemoved(event);
        return;
    }
    if (flowDepth_ > 0) {
        deferred_.push_back(event);  // taken up when the flow ends; flows never nest
        return;
    }
    switch (event.kind) {
    case SessionEvent::kInserted:
    case SessionEvent::kNeedPin: OnInsertedOrNeedPin(event); break;
    case SessionEvent::kBadPin: OnBadPin(event); break;
    case SessionEvent::kKeyError: OnKeyError(event); break;
    case SessionEvent::kRemoved: break;
    }
}

void KeySession::OnInsertedOrNeedPin(const SessionEvent &event)
{
    const char *reader = event.reader.c_str();
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Begin)", reader);
    if (Bound()) {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Already Inserted - Exit)", reader);
        return;
    }
    if (!event.prepared)
        return;  // not prepared for the product: ignored without a word
    SessionState state = State();
    if (state != SessionState::kWaitingForKey && state != SessionState::kWithoutKey && state != SessionState::kLocked)
        return;  // passive, ended, or a logon of its own running
    Bind(event);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted csStatus=<%d>", event.state);
    if (state != SessionState::kLocked) {
        // The start (or "Work with KSD" later) takes the Key from here.
        ReleaseStartWait();
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (First entry)", reader);
        return;
    }
    if (event.state == csNeedPIN) {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Next entry with PIN)", reader);
    } else {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Next entry without PIN)", reader);
        if (event.state != csReady) {
            LogMessage(kLogError, kLogModule, "CSmartKeyEx::onKeyInserted Reader: <%s> is bad", reader);
            Unbind();
            return;
        }
    }
    if (Logon(LogonOrigin::kReEntry))
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted Exit - OK");
}

void KeySession::OnRemoved(const SessionEvent &event)
{
    if (!Bound() || event.reader != Reader())
        return;  // another reader's Key, or none bound
    if (flowDepth_ > 0) {
        // A logon or a command runs: its prompt is cancelled, and it ends (and the client is
        // locked, if it had reached the Key's ID) as soon as control comes back to it.
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved <%s> during a flow (%s)", event.reader.c_str(),
                   SessionStateName(State()));
        pulledDuringFlow_ = true;
        CancelOpenPrompt();
        // A command's boxes go too (a question about the Key, the report of a Key operation that
        // failed as the Key left): the lock waits for nothing but the command's end. (A logon's
        // report stays: the client is locked already.)
        if (State() == SessionState::kOnKeyId)
            EnumThreadWindows(GetCurrentThreadId(), DeclineOwnBox, 0);
        return;
    }
    if (State() == SessionState::kOnKeyId)
        Lock();
    else
        Unbind();  // the client does not use the Key's ID: nothing to lock or undo
}

void KeySession::OnBadPin(const SessionEvent &event)
{
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onNeedPIN (enter) <%s>", event.reader.c_str());
    if (Bound() && event.reader == Reader()) {
        // The PIN was refused during a read of this session, which reported it.
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onNeedPIN <%s> (Already Inserted - Exit)", event.reader.c_str());
        return;
    }
    errorShown_ = true;
    ++reportsOpen_;
    {
        ModuleActivation activation;  // the DLL's dialogs in common controls 6
        MessageBoxA(GetFocus(), TextF(IDS_BAD_PIN_ATTEMPTS_LEFT, event.tries).c_str(), ProductCaption().c_str(),
                    MB_OK | MB_ICONWARNING);
    }
    --reportsOpen_;
}

void KeySession::OnKeyError(const SessionEvent &event)
{
    const char *reader = event.reader.c_str();
    if (event.state == csNotFormatted) {
        errorShown_ = true;
        ReleaseStartWait();
        ReportBox(TextF(IDS_KSD_NOT_FORMATTED_IN, reader));
        return;
    }
    if (event.state == csBlocked) {
        errorShown_ = true;
        ReleaseStartWait();
        ReportBox(Text(IDS_KSD_IN_PREFIX) + event.reader + Text(IDS_IS_BLOCKED_SUFFIX));
        return;
    }
    if (!Bound() || event.reader != Reader() || event.state == csNeedPIN)
        return;
    // The bound Key no longer answers (it may be gone already; a removal reported after this
    // error would find no bound reader and be ignored): a client on the Key's ID is locked as
    // when the Key is pulled, and the error said after the lock. A Key that answers again is
    // taken up afresh, with its PIN.
    if (State() == SessionState::kOnKeyId) {
        LockFollowUp cause;
        cause.keyError = true;
        cause.errorText = event.text;
        cause.errorDetail = event.detail;
        Lock(cause);
        return;
    }
    Unbind();
    errorShown_ = true;
    ReleaseStartWait();
    ReportBox(TextF(IDS_KSD_WORK_ERROR, reader, event.text.c_str()));
    if (!event.detail.empty())
        ReportBox(TextF(IDS_ERROR_MESSAGE_FROM, event.detail.c_str()));
}

STATUS KeySession::Start()
{
    LogonState &s = ::State();
    Enter(SessionState::kWaitingForKey);
    s.wNotesBuild = GetNotesVersion();
    WatchClientEnd();
    // Made before the Key layer starts, so that a first Key event during the start is never lost.
    if (s.hSemaphore == nullptr)
        s.hSemaphore = CreateSemaphoreA(nullptr, 0, 255, kLogonSemaphoreName);

    ShowWaitWindow();
    HANDLE initDone = Key().StartInit(kAppNotes);
    if (initDone != INVALID_HANDLE_VALUE && initDone != nullptr) {
        HANDLE waits[2] = {initDone, StopEvent()};
        WaitServingMessages(waits, 2, kStartWaitMs);
    }
    if (Stopping())
        return NOERROR;
    if (!Key().IsLoaded()) {
        ErrorBox(LibraryFailureText(IDS_ERROR_LOADING_QUOREL, "Quorel32.dll", Key().LoadError()));
        Enter(SessionState::kEnded);
        return NOERROR;
    }
    if (!Bound() && s.hSemaphore != nullptr) {
        HANDLE waits[2] = {s.hSemaphore, StopEvent()};
        WaitServingMessages(waits, 2, kStartWaitMs);
    }
    CloseWaitWindow();
    HANDLE stop = StopEvent();
    WaitServingMessages(&stop, 1, kSettleMs);
    // No wait of the start is left: the event goes (a stop from now on finds none to signal).
    CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
    if (Stopping())
        return NOERROR;

    std::string reader = Reader();
    char label[kLabelSize] = "";
    int state = Key().GetKeyInfo(reader.c_str(), nullptr, nullptr, label);
    LogMessage(kLogStep, kLogModule, "MainEntryPoint - csStatus = %d KSDLabel=%s", state, label);
    if (state != csNeedPIN && state != csReady) {
        Unbind();
        Enter(SessionState::kWithoutKey);
        // A Key problem already reported (a blocked Key, say) is not reported again as no Key.
        if (!errorShown_)
            ErrorBox(Text(IDS_KSD_NOT_FOUND));
        return NOERROR;
    }
    registerStatus_ = NOERROR;
    if (Logon(LogonOrigin::kStart))
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit");
    return registerStatus_;
}

bool KeySession::Logon(LogonOrigin origin)
{
    LogonState &s = ::State();
    Flow flow(*this);
    if (origin != LogonOrigin::kStart)
        errorShown_ = false;  // what this logon meets is reported afresh
    std::string reader = Reader();
    char label[kLabelSize] = "";
    int keyState = Key().GetKeyInfo(reader.c_str(), nullptr, nullptr, label);
    if (label[0] == 0)
        Key().GetKSD_ID(reader.c_str(), label, sizeof label);
    if (origin == LogonOrigin::kStart && label[0] != 0)
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - csStatus = %d KSDLabel=%s", keyState, label);

    if (keyState == csNeedPIN) {
        Enter(SessionState::kAskingPin);
        PinLoopEnd end = RunPinLoop(label);
        if (Stopping() || pulledDuringFlow_) {
            FailLogon(origin);
            return false;
        }
        if (end == PinLoopEnd::kWithoutKey) {
            // "Work without KSD": the client goes on without the Key; the Key stays bound, so
            // that "Work with KSD" can take it up later.
            Enter(SessionState::kWithoutKey);
            return false;
        }
        Key().SetPIN(reader.c_str(), s.sPin);
    } else if (keyState != csReady) {
        FailLogon(origin);
        return false;
    }

    Enter(SessionState::kReading);
    if (!GetDataFromKSD(reader.c_str())) {
        if (!errorShown_ && !Stopping() && !pulledDuringFlow_)
            ErrorBox(Text(IDS_ERROR_READING_KSD));
        FailLogon(origin);
        return false;
    }
    if (Stopping() || pulledDuringFlow_ || SwitchToKeyId(origin == LogonOrigin::kStart ? "MainEntryPoint" : "FictDlgProc") != NOERROR) {
        FailLogon(origin);
        return false;
    }
    CloseWaitWindow();
    errorShown_ = false;
    STATUS status = RegisterExtHandlers();
    if (status != NOERROR) {
        // The registration said which handler failed; "Work with KSD" leaves it at that.
        if (origin != LogonOrigin::kWorkWithKey)
            ErrorBox(Text(IDS_EXT_REGISTER_FAILED));
        registerStatus_ = status;
        FailLogon(origin);
        return false;
    }
    s.dwLogonTick = GetTickCount();
    InterlockedIncrement(&logons_);
    Enter(SessionState::kOnKeyId);
    if (origin == LogonOrigin::kReEntry)
        RestoreClient();
    return true;
}

void KeySession::FailLogon(LogonOrigin origin)
{
    CloseWaitWindow();
    // Nothing of the Key stays in use: handlers, notes.ini and the temporary ID file as before.
    ExtClear();
    ForgetKeyData();
    if (Stopping())
        return;
    Enter(origin == LogonOrigin::kReEntry ? SessionState::kLocked : SessionState::kWithoutKey);
}

void KeySession::Lock(const LockFollowUp &cause)
{
    LogonState &s = ::State();
    Flow flow(*this);
    std::string reader = Reader();
    HWND main = FindClientMainWindow();
    PutWindowHandle(s.hWndLSmain, main);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved hWndLSmain=<%d>",
               static_cast<int>(reinterpret_cast<INT_PTR>(main)));
    // A report of a Key event left open on this thread (another reader's Key, say) would take the
    // lock keys into its own loop: it is closed first, its close queued before them. (The client's
    // own dialogs, and the product's answers to the user's own actions, stay; the lock keys then
    // reach the client once they are closed: the Logout Screen's search presses F5 again.)
    if (reportsOpen_ > 0)
        EnumThreadWindows(GetCurrentThreadId(), CancelOwnDialog, 1);
    LockClientKeys(main, !NewerClient());
    // ExtClear puts the user's KeyFileName back under the handler lock, so a password change
    // running meanwhile never sees notes.ini half-way.
    ExtClear();
    ForgetKeyData();
    Enter(SessionState::kLocked);
    Unbind();
    // The rest (boxes, the Logout Screen) once the client's own loop has taken the keys: a box
    // shown now would take them in its own loop, past the client's accelerators.
    LockFollowUp *rest = new LockFollowUp(cause);
    rest->reader = reader;
    PostLockFollowUp(rest);
}

void KeySession::FinishLock(const LockFollowUp &lock)
{
    LogonState &s = ::State();
    Flow flow(*this);
    bool lockDisplay = false;
    if (!errorShown_ && !NewerClient() && !Stopping()) {
        ModuleActivation activation;  // the DLL's dialogs in common controls 6
        int choice = MessageBoxA(nullptr, Text(IDS_STOP_KSD_OR_LOCK).c_str(), ProductCaption().c_str(),
                                 MB_OKCANCEL | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND);
        // A box cancelled by the client's end is no choice of the user's.
        lockDisplay = choice == IDCANCEL && !Stopping();
    }
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved <%s>", lock.reader.c_str());
    if (NewerClient())
        LockLogoutScreen();
    if (lock.keyError) {
        // A Key error met while the client ran on the Key's ID: said after the lock.
        errorShown_ = true;
        ReportBox(TextF(IDS_KSD_WORK_ERROR, lock.reader.c_str(), lock.errorText.c_str()));
        if (!lock.errorDetail.empty())
            ReportBox(TextF(IDS_ERROR_MESSAGE_FROM, lock.errorDetail.c_str()));
    }
    if (NewerClient() || !lockDisplay)
        return;
    // Not before 25 s after the logon, under the wait window. A timer, not a wait: the client's own
    // dialogs opened meanwhile must not run inside a wait of ours, which could then not end.
    DWORD since = GetTickCount() - s.dwLogonTick;
    if (since <= kOlderClientLockDelay) {
        ShowWaitWindow();
        HideClientAfter(kOlderClientLockDelay - since + 1);
        return;
    }
    HideClient();
}

void KeySession::WorkWithoutKey()
{
    Flow flow(*this);
    ExtClear();
    ForgetKeyData();
    Enter(SessionState::kWithoutKey);
}

void KeySession::Stop()
{
    InterlockedExchange(&stopping_, 1);
    if (stopEvent_ != nullptr)
        SetEvent(stopEvent_);
    EnumThreadWindows(GetCurrentThreadId(), CancelOwnDialog, 0);
    deferred_.clear();
    Enter(SessionState::kEnded);
}

void RunLockFollowUp(LockFollowUp *lock)
{
    g_session.FinishLock(*lock);
    delete lock;
}
