// Tolvik's Key events: binding the reader at the first insertion, re-entry with the PIN, the
// client's lock on removal, refused PINs and Key errors.
#include "tolvik_key.h"

#include <cstring>

#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "key_messages.h"
#include "log.h"
#include "logon_state.h"
#include "text_ids.h"
#include "module_activation.h"

namespace {

constexpr DWORD kOlderClientLockDelay = 25000;  // below 190: the display lock waits this long after logon

void ReleaseLogonWait()
{
    if (State().hSemaphore != nullptr)
        ReleaseSemaphore(State().hSemaphore, 1, nullptr);
}

void ClearKeyFlags()
{
    LogonState &s = State();
    SetFlag(s.bPinAccepted, false);
    SetFlag(s.bDataLoaded, false);
    SetFlag(s.bWorkingWithKey, false);
    SetFlag(s.bKeyBound, false);
}

}  // namespace

void CSmartKeyEx::CardIdText(const char *readerName, char *label, int size)
{
    label[0] = 0;
    ReaderRecord *r = FindReader(readerName);
    if (r == nullptr || size < 17)
        return;
    CopyCut(label, static_cast<std::size_t>(size), ::CardIdText(r->card_id).c_str());
}

bool CSmartKeyEx::GetKSD_ID(const char *readerName, char *label, int size)
{
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - Begin Reader=%s", readerName);
    DWORD allocated = 0, freeSpace = 0;
    char own[36] = "";
    int state = GetKeyInfo(readerName, &allocated, &freeSpace, own);
    ReaderRecord *r = FindReader(readerName);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - rdr=%d alocc_space=%lu free_space=%lu",
               r != nullptr ? static_cast<int>(r->index) : -1, static_cast<unsigned long>(allocated),
               static_cast<unsigned long>(freeSpace));
    label[0] = 0;
    if (state != csReady && state != csNeedPIN)
        return false;
    if (own[0] != 0)
        CopyCut(label, static_cast<std::size_t>(size), own);
    else
        CardIdText(readerName, label, size);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::GetKSD_ID - Exit KSDLabel=%s", label);
    return label[0] != 0;
}

void CSmartKeyEx::onFinishInit(int)
{
    StartMonitoring();
}

void CSmartKeyEx::ForgetPIN(const char *readerName)
{
    if (ReaderRecord *r = FindReader(readerName))
        std::memset(r->pin, 0, sizeof r->pin);
}

bool CSmartKeyEx::KeptPinWasTried(const char *readerName)
{
    ReaderRecord *r = FindReader(readerName);
    return r != nullptr && r->pin[0] != 0;
}

void CSmartKeyEx::onKeyInserted(const char *readerName)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Begin)", readerName);
    if (IsSet(s.bKeyBound)) {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Already Inserted - Exit)", readerName);
        return;
    }
    DWORD allocated = 0, freeSpace = 0;
    int state = GetKeyInfo(readerName, &allocated, &freeSpace, m_label);
    if (allocated == 0)
        return;  // not prepared for the product: ignored without a word
    if (m_label[0] == 0)
        CardIdText(readerName, m_label, sizeof m_label);
    CopyCut(s.sReaderName, sizeof s.sReaderName, readerName);
    SetFlag(s.bKeyBound, true);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted csStatus=<%d>", state);

    if (!IsSet(s.bLogonDone)) {
        ReleaseLogonWait();
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (First entry)", readerName);
        return;
    }
    if (state == csNeedPIN) {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Next entry with PIN)", readerName);
        InterlockedExchange(&s.pinLengthLimit, kPinLengthLimit);
        if (RunPinLoop(m_label) == PinLoopEnd::kWithoutKey) {
            SetFlag(s.bWorkingWithKey, false);
            SetFlag(s.bPinAccepted, false);
            ReleaseLogonWait();
            ExtClear();
            return;
        }
        if (IsSet(s.bPinAccepted))
            SetPIN(readerName, s.sPin);
    } else {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted <%s> (Next entry without PIN)", readerName);
        if (state == csReady) {
            SetFlag(s.bPinAccepted, true);
        } else {
            ClearKeyFlags();
            LogMessage(kLogError, kLogModule, "CSmartKeyEx::onKeyInserted Reader: <%s> is bad", readerName);
            ReleaseLogonWait();
            return;
        }
    }

    if (!GetDataFromKSD() && !IsSet(s.bErrorShown))
        ErrorBox(Text(IDS_ERROR_READING_KSD));
    ReleaseLogonWait();
    if (RegisterExtHandlers() != NOERROR) {
        ErrorBox(Text(IDS_EXT_REGISTER_FAILED));
        return;
    }
    SetFlag(s.bWorkingWithKey, true);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyInserted Exit - OK");
    PostIdSwitch();
    PostRestoreClient();
}

void CSmartKeyEx::onKeyRemoved(const char *readerName)
{
    LogonState &s = State();
    if (std::strcmp(readerName, s.sReaderName) != 0 || !IsSet(s.bWorkingWithKey))
        return;
    if (IsSet(s.bPinPrompt)) {
        // The prompt carries the product caption: it is found by the handle kept while it shows.
        HWND prompt = GetWindowHandle(s.hPinPrompt);
        if (prompt != nullptr)
            PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        // A logon's PIN prompt, cancelled, ends the Key work itself. A PIN change's prompt only
        // ends the change: the Key is gone all the same, so the client is locked and the traces
        // undone as for any removal (left, the client would stay on the Key's ID without it).
        if (!IsSet(s.bNewPinPrompt))
            return;
    }
    HWND main = FindClientMainWindow();
    PutWindowHandle(s.hWndLSmain, main);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved hWndLSmain=<%d>",
               static_cast<int>(reinterpret_cast<INT_PTR>(main)));
    PostLockKeys(!NewerClient());

    // ExtClear writes the user's KeyFileName back under the handler lock, so a password change
    // running meanwhile never sees notes.ini half-way.
    ExtClear();
    SetFlag(s.bPinAccepted, false);
    SetFlag(s.bDataLoaded, false);
    SetFlag(s.bKeyBound, false);

    if (!IsSet(s.bErrorShown) && IsSet(s.bWorkingWithKey) && !NewerClient()) {
        ModuleActivation activation;  // the DLL's dialogs in common controls 6
        int choice = MessageBoxA(nullptr, Text(IDS_STOP_KSD_OR_LOCK).c_str(), ProductCaption().c_str(),
                                 MB_OKCANCEL | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND);
        SetFlag(s.bLockDisplay, choice == IDCANCEL);
    }
    SetFlag(s.bWorkingWithKey, false);
    DeleteFileA(s.sIDPath);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onKeyRemoved <%s>", readerName);

    if (NewerClient()) {
        PostLockLogoutScreen();
        return;
    }
    if (!IsSet(s.bLockDisplay))
        return;
    DWORD since = GetTickCount() - s.dwLogonTick;
    if (since <= kOlderClientLockDelay) {
        ShowWaitWindow();
        WaitServingMessages(nullptr, kOlderClientLockDelay - since + 1);
        CloseWaitWindow();
    }
    PostHideClient();
}

bool CSmartKeyEx::onNeedPIN(const char *readerName, int count, int tries)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onNeedPIN (enter) <%s>", readerName);
    if (IsSet(s.bKeyBound)) {
        LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onNeedPIN <%s> (Already Inserted - Exit)", readerName);
        // The PIN handed over was refused during a read, which reports it; the monitor must not
        // try it again on its next visit (each try costs one of the Key's attempts).
        if (count != 0)
            ForgetPIN(readerName);
        return false;
    }
    if (count != 0 && KeptPinWasTried(readerName)) {
        ForgetPIN(readerName);
        ClearKeyFlags();
        SetFlag(s.bErrorShown, true);
        ModuleActivation activation;  // the DLL's dialogs in common controls 6
        MessageBoxA(GetFocus(), TextF(IDS_BAD_PIN_ATTEMPTS_LEFT, tries).c_str(), ProductCaption().c_str(),
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    onKeyInserted(readerName);
    LogMessage(kLogStep, kLogModule, "CSmartKeyEx::onNeedPIN (exit) <%s>", readerName);
    return false;
}

void CSmartKeyEx::onKeyError(const char *readerName, const char *statusText)
{
    LogonState &s = State();
    char label[36] = "";
    int state = GetKeyInfo(readerName, nullptr, nullptr, label);
    if (state == csNotFormatted) {
        SetFlag(s.bErrorShown, true);
        ReleaseLogonWait();
        ErrorBox(TextF(IDS_KSD_NOT_FORMATTED_IN, readerName));
        return;
    }
    if (state == csBlocked) {
        SetFlag(s.bErrorShown, true);
        ReleaseLogonWait();
        ErrorBox(Text(IDS_KSD_IN_PREFIX) + readerName + Text(IDS_IS_BLOCKED_SUFFIX));
        return;
    }
    if (std::strcmp(readerName, s.sReaderName) != 0 || state == csNeedPIN)
        return;
    // The client works on the Key's ID, and the Key no longer answers (it may be gone already; a
    // removal reported after this error would find the flags cleared and be ignored): the client
    // is locked and its traces undone as when the Key is pulled. A Key that answers again is
    // taken up afresh, with its PIN.
    if (IsSet(s.bWorkingWithKey))
        onKeyRemoved(readerName);
    ClearKeyFlags();
    SetFlag(s.bErrorShown, true);
    ReleaseLogonWait();
    ErrorBox(TextF(IDS_KSD_WORK_ERROR, readerName, statusText != nullptr ? statusText : ""));
    char text[256] = "";
    if (GetErrorText(readerName, text))
        ErrorBox(TextF(IDS_ERROR_MESSAGE_FROM, text));
}
