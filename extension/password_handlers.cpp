// The Extension Manager handlers: the client's password requests answered from the Key, its
// password changes carried out on the ID file and written back to the Key, and ExtClear, which
// undoes the extension's traces. Handlers and ExtClear run under the lock "LNMutexTo".
#include <cstring>
#include <vector>

#include "base64.h"
#include "change_password_dialog.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "key_session.h"
#include "log.h"
#include "logon_rules.h"
#include "logon_state.h"
#include "module_activation.h"
#include "secure_wipe.h"
#include "session_journal.h"
#include "text_ids.h"
#include "tolvik_key.h"

namespace {

const char kHandlerLockName[] = "LNMutexTo";

// The handler lock: taken on construction (without limit), released on destruction or Release().
class HandlerLock {
public:
    HandlerLock()
    {
        LogonState &s = State();
        HANDLE mutex = static_cast<HANDLE>(
            InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&s.hMutex), nullptr, nullptr));
        if (mutex == nullptr) {
            mutex = CreateMutexA(nullptr, FALSE, kHandlerLockName);
            if (mutex == nullptr) {
                ModuleActivation activation;  // the DLL's boxes in common controls 6
                MessageBoxA(GetFocus(), "Error Mutex creation", "Morvath Sentrio", MB_OK | MB_ICONERROR | MB_TOPMOST);
                return;
            }
            HANDLE before = static_cast<HANDLE>(
                InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&s.hMutex), mutex, nullptr));
            if (before != nullptr) {
                CloseHandle(mutex);  // another thread made it first
                mutex = before;
            }
        }
        DWORD r = WaitForSingleObject(mutex, INFINITE);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED)
            mutex_ = mutex;
    }
    ~HandlerLock() { Release(); }
    HandlerLock(const HandlerLock &) = delete;
    HandlerLock &operator=(const HandlerLock &) = delete;
    void Release()
    {
        if (mutex_ != nullptr)
            ReleaseMutex(mutex_);
        mutex_ = nullptr;
    }

private:
    HANDLE mutex_ = nullptr;
};

// Puts `text` into the client's buffer of `maxLength` bytes (zero-filled first) and its length.
void GiveToClient(const std::string &text, DWORD maxLength, char *buffer, DWORD *length)
{
    std::memset(buffer, 0, maxLength);
    std::size_t n = text.size() < maxLength ? text.size() : (maxLength > 0 ? maxLength - 1 : 0);
    std::memcpy(buffer, text.data(), n);
    *length = static_cast<DWORD>(n);
}

bool FileOpens(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

}  // namespace

STATUS RegisterExtHandlers()
{
    LogonState &s = State();
    WORD recursion = 0;
    EMCreateRecursionID(&recursion);
    if (s.hGetPwdReg == 0) {
        STATUS status = EMRegister(EM_GETPASSWORD, EM_REG_BEFORE, ExtHandlerGetPassword, recursion, &s.hGetPwdReg);
        if (status != NOERROR) {
            s.hGetPwdReg = 0;
            ErrorBox(TextF(IDS_SETPASSWORD_REGISTER_FAILED, static_cast<unsigned long>(status)));
            return status;
        }
    }
    if (s.hSetPwdReg == 0) {
        STATUS status = EMRegister(EM_SETPASSWORD, EM_REG_BEFORE, ExtHandlerSetPassword, recursion, &s.hSetPwdReg);
        if (status != NOERROR) {
            s.hSetPwdReg = 0;
            ErrorBox(TextF(IDS_SETPASSWORD_REGISTER_FAILED, static_cast<unsigned long>(status)));
            return status;
        }
    }
    if (NotesHandleIsWide(s.hGetPwdReg) || NotesHandleIsWide(s.hSetPwdReg))
        LogMessage(kLogDetail, kLogModule, "RegisterExtHandlers : registration handles wider than 32 bits, kept whole");
    return NOERROR;
}

STATUS LNCALLBACK ExtHandlerGetPassword(EMRECORD *record)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "ExtHandlerGetPassword - Begin");
    HandlerLock lock;
    if (record == nullptr || record->EId != EM_GETPASSWORD || record->Status != NOERROR)
        return ERR_EM_CONTINUE;
    DWORD maxLength = EMArgument<DWORD>(record, EM_GETPASSWORD_MAXPWDLEN);
    DWORD *length = EMArgument<DWORD *>(record, EM_GETPASSWORD_RETLENGTH);
    char *buffer = EMArgument<char *>(record, EM_GETPASSWORD_RETPASSWORD);
    const char *file = EMArgument<const char *>(record, EM_GETPASSWORD_FILENAME);
    const char *owner = EMArgument<const char *>(record, EM_GETPASSWORD_OWNERNAME);
    if (file == nullptr)
        file = "";
    if (owner == nullptr)
        owner = "";
    LogMessage(kLogStep, kLogModule, "ExtHandlerGetPassword -  ID<%s> Name<%s>", file, owner);
    if (std::strcmp(file, s.sIDPath) != 0 || std::strcmp(owner, s.sUserName) != 0) {
        LogMessage(kLogStep, kLogModule, "ExtHandlerGetPassword - Neaded ID<%s> Name<%s> BAT on KSD ID<%s> Name<%s> ",
                   file, owner, s.sIDPath, s.sUserName);
        return ERR_EM_CONTINUE;
    }
    if (Session().State() == SessionState::kOnKeyId && length != nullptr && buffer != nullptr) {
        std::size_t passwordLength = std::strlen(s.sPassword);
        if (!PasswordFitsClient(passwordLength, maxLength)) {
            LogMessage(kLogError, kLogModule,
                       "ExtHandlerGetPassword - the Key's password (%lu characters) does not fit the client's %lu "
                       "bytes: the client asks",
                       static_cast<unsigned long>(passwordLength), static_cast<unsigned long>(maxLength));
            return ERR_EM_CONTINUE;
        }
        std::memset(buffer, 0, maxLength);
        std::memcpy(buffer, s.sPassword, passwordLength);
        *length = static_cast<DWORD>(passwordLength);
        LogMessage(kLogStep, kLogModule, "ExtHandlerGetPassword - OK_Exit");
        return ERR_BSAFE_EXTERNAL_PASSWORD;
    }
    LogMessage(kLogStep, kLogModule, "ExtHandlerGetPassword - NOK_Exit");
    return ERR_EM_CONTINUE;
}

STATUS LNCALLBACK ExtHandlerSetPassword(EMRECORD *record)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - Begin");
    if (record == nullptr || record->EId != EM_SETPASSWORD || record->Status != NOERROR)
        return ERR_EM_CONTINUE;
    DWORD maxLength = EMArgument<DWORD>(record, EM_SETPASSWORD_MAXPWDLEN);
    DWORD *length = EMArgument<DWORD *>(record, EM_SETPASSWORD_RETLENGTH);
    char *buffer = EMArgument<char *>(record, EM_SETPASSWORD_RETPASSWORD);
    if (length == nullptr || buffer == nullptr || maxLength == 0) {
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - ErrExit");
        return ERR_EM_CONTINUE;
    }

    // The Key session the change belongs to; the dialogs are answered before the lock is taken, so
    // a Key removal meanwhile is not held up by a user thinking about a new password.
    KeySession::Ticket ticket = Session().CurrentKey();
    const std::string &reader = ticket.reader;
    TChangePasDlg ask;
    ask.mode = TChangePasDlg::kModeNew;
    ask.lengthLimit = static_cast<int>(TypedPasswordLimit(maxLength));
    int result = ask.Show(s.instance);
    if (result == TChangePasDlg::kCancel || result < 0)
        return ERR_BSAFE_USER_ABORT;
    if (result != TChangePasDlg::kGenerate && ask.password.empty())
        return ERR_BSAFE_PASSWORD_REQUIRED;
    std::string newPassword = ask.password;
    WipeOnExit wipeNew([&] { WipeString(newPassword); });
    if (result == TChangePasDlg::kOk) {
        TChangePasDlg confirm;
        confirm.mode = TChangePasDlg::kModeConfirm;
        confirm.lengthLimit = ask.lengthLimit;
        if (confirm.Show(s.instance) != TChangePasDlg::kOk)
            return ERR_BSAFE_USER_ABORT;
        if (confirm.password != newPassword) {
            ErrorBox(Text(IDS_PASSWORD_CONFIRM_MISMATCH));
            return ERR_BSAFE_PASSWORD_REQUIRED;
        }
    }

    // The Key the change is carried back to: the one the client's ID came from, checked again
    // under the lock (the Key may have been pulled while the dialogs were open).
    HandlerLock lock;
    if (!Session().StillOnKey(ticket)) {
        lock.Release();
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - no Key data loaded: not handled");
        return ERR_EM_CONTINUE;
    }
    if (result == TChangePasDlg::kGenerate) {
        ShowWaitWindow();
        std::size_t count = GeneratedRandomBytes(maxLength);
        std::vector<unsigned char> random(Base64BufferSize(count), 0);
        if (count == 0 || !Key().GetRandom(reader.c_str(), random.data(), static_cast<DWORD>(count))) {
            SecureZeroMemory(random.data(), random.size());
            char keyText[256] = "";
            std::string text = Text(IDS_ERROR_KSD_RANDOM);
            if (Key().GetErrorText(reader.c_str(), keyText))
                text += std::string("\n\n") + keyText;
            lock.Release();
            ErrorBox(text);
            return ERR_EM_CONTINUE;
        }
        WipeString(newPassword);
        newPassword = Base64Encode(random.data(), count, random.size());
        SecureZeroMemory(random.data(), random.size());
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - OK_GetRand");
        CloseWaitWindow();
    }
    GiveToClient(newPassword, maxLength, buffer, length);

    char idPath[MAXENVVALUE] = "";
    OSGetEnvironmentString(NOTES_INI_KEYFILENAME, idPath, sizeof idPath);
    if (lstrcmpiA(idPath, s.sIDPath) != 0) {
        // The client no longer uses the ID from the Key (it was pulled): nothing is changed.
        lock.Release();
        CloseWaitWindow();
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - the client uses <%s>, not the Key's ID", idPath);
        return ERR_EM_CONTINUE;
    }
    STATUS status = SECKFMChangePassword(idPath, s.sPassword, &newPassword[0]);
    if (status != NOERROR) {
        std::string text = TextF(IDS_ERROR_CHANGING_PASSWORD_FOR, idPath);
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword:SECKFMChangePassword %s ", text.c_str());
        lock.Release();
        ErrorBox(text);
        return ERR_EM_CONTINUE;
    }
    CopyCut(s.sPassword, sizeof s.sPassword, newPassword.c_str());
    if (!FileOpens(idPath)) {
        lock.Release();
        ErrorBox(Text(IDS_ERROR_READING_ID_FILE));
        return ERR_EM_CONTINUE;
    }
    ShowWaitWindow();
    char report[1024] = "";
    bool written = WriteNotesKeyDataFromFile(Key(), reader.c_str(), s.sUserName, s.sPassword, s.sIDFileName, idPath,
                                             report, sizeof report);
    lock.Release();
    CloseWaitWindow();
    if (!written) {
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword:Write %s ", report);
        ErrorBox(report);
        return ERR_EM_CONTINUE;
    }
    {
        ModuleActivation activation;  // the DLL's boxes in common controls 6
        MessageBoxA(GetFocus(), Text(IDS_PASSWORD_CHANGED).c_str(), ProductCaption().c_str(), MB_OK);
    }
    LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword - Exit");
    return ERR_BSAFE_EXTERNAL_PASSWORD;
}

void PutTracesBack()
{
    LogonState &s = State();
    if (s.sIDPath[0] == 0 && !s.bOldKeyFileNameKept)
        return;
    // The previous value goes back only while notes.ini still names the Key's ID: an ID the user
    // switched to since (the client's Switch ID) stays.
    if (s.bOldKeyFileNameKept && s.sIDPath[0] != 0) {
        char now[MAXENVVALUE] = "";
        OSGetEnvironmentString(NOTES_INI_KEYFILENAME, now, sizeof now);
        if (lstrcmpiA(now, s.sIDPath) == 0)
            WriteKeyFileName(s.sOldKeyFileName);
        else
            LogMessage(kLogStep, kLogModule, "ExtClear - KeyFileName <%s> kept", now);
    }
    RemoveTemporaryId(s.sIDPath);
    ClearJournal();
    s.sIDPath[0] = 0;
    s.sOldKeyFileName[0] = 0;
    s.bOldKeyFileNameKept = false;
}

STATUS LNPUBLIC ExtClear(void)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "ExtClear - Begin");
    HandlerLock lock;
    STATUS status = NOERROR;
    if (s.hGetPwdReg != 0) {
        EMDeregister(s.hGetPwdReg);
        s.hGetPwdReg = 0;
    }
    if (s.hSetPwdReg != 0) {
        status = EMDeregister(s.hSetPwdReg);
        s.hSetPwdReg = 0;
    }
    PutTracesBack();
    lock.Release();
    LogMessage(kLogStep, kLogModule, "ExtClear - Exit");
    return status;
}
