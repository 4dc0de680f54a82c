// The console's commands that change secrets: Verify PIN, Change PIN, Unblock PIN (also the
// window's double click), the Notes password of the ID file on the Key, and the biometric
// identifier.
#include "arbolin_form.h"

#include "admin_files.h"
#include "admin_key.h"
#include "admin_ui.h"
#include "arbolin_res.h"
#include "base64.h"
#include "file_dialog_id.h"
#include "log.h"
#include "notes_api.h"
#include "notes_logon_record.h"
#include "text_ids.h"

namespace {

const char kMaker[] = "Morvath";
constexpr std::size_t kShortestPin = 4;
constexpr std::size_t kGeneratedBytes = 48;  // 64 Base64 characters, no padding

// The temporary copy of the ID file, deleted on every way out of the password change: the Key
// keeps the record, the copy is never needed afterwards.
class TempIdCopy {
public:
    explicit TempIdCopy(std::string path) : path_(std::move(path)) {}
    ~TempIdCopy()
    {
        if (!path_.empty())
            DeleteFileA(path_.c_str());
    }
    TempIdCopy(const TempIdCopy &) = delete;
    TempIdCopy &operator=(const TempIdCopy &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

std::string TempDirectory()
{
    char path[MAX_PATH] = "";
    DWORD n = GetTempPathA(sizeof path, path);
    return n > 0 && n < sizeof path ? std::string(path) : std::string();
}

}  // namespace

// ---- PIN --------------------------------------------------------------------------------------------

void TArbolinForm::PINEnterBtClick()
{
    char pin[16] = "";
    GetWindowTextA(Item(IDC_PIN_EDIT), pin, sizeof pin);
    if (lstrlenA(pin) < static_cast<int>(kShortestPin)) {
        ShowError(Text(IDS_PIN_TOO_SHORT), StandardCaption());
        return;
    }
    AdminKey().SetPIN(currentReader_.c_str(), pin);
    SecureZeroMemory(pin, sizeof pin);
    SetWindowTextA(Item(IDC_PIN_EDIT), "");
    if (GetDataFromKSD()) {
        Enable(IDC_PIN_ENTER, false);
        SetLook(IDC_PIN_EDIT, false);
        pinPending_ = false;
        for (int id : {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_LABEL_BT, IDC_CHANGE_BIO})
            Enable(id, true);
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::PINEnterBtClick");
}

void TArbolinForm::ChangePINBtClick()
{
    std::string pin;
    for (;;) {
        changePinDlg_.PrepareNewPin();
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        pin = changePinDlg_.text;
        if (pin.empty())
            break;  // removes the PIN: nothing to confirm
        if (pin.size() < kShortestPin) {
            ShowError(Text(IDS_PIN_TOO_SHORT), StandardCaption());
            continue;
        }
        changePinDlg_.PrepareConfirmPin();
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        if (changePinDlg_.text == pin)
            break;
        ShowError(Text(IDS_PIN_CONFIRM_MISMATCH), StandardCaption());
    }
    ShowWait();
    if (!AdminKey().ChangePIN(currentReader_.c_str(), pin.c_str())) {
        ReportKeyFailure(IDS_ERROR_CHANGING_KSD_PIN, "TArbolinForm::ChangePINBtClick");
        return;
    }
    HideWait();
    AdminKey().SetPIN(currentReader_.c_str(), pin.c_str());
    Enable(IDC_CHANGE_PIN, true);
    Enable(IDC_CHANGE_ID, true);
    MessageBoxA(window_, Text(IDS_PIN_CHANGED).c_str(), StandardCaption().c_str(), MB_OK);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangePINBtClick");
}

void TArbolinForm::UnblockPINClick()
{
    Unblock(true);
}

void TArbolinForm::FormDblClick()
{
    Unblock(false);
}

void TArbolinForm::Unblock(bool fromButton)
{
    if (InterlockedCompareExchange(&AdminKey().flags.blockedKeySeen, 0, 0) == 0)
        return;  // no blocked Key has been reported
    changePinDlg_.PrepareUnblock();
    if (changePinDlg_.ShowModal(window_) != IDOK)
        return;
    std::string pin = changePinDlg_.text;
    ShowWait();
    if (!AdminKey().UnblockPIN(currentReader_.c_str(), pin.c_str())) {
        ReportKeyFailure(IDS_ERROR_UNBLOCKING_PIN, "TArbolinForm::FormDblClick");
        return;
    }
    HideWait();
    AdminKey().SetPIN(currentReader_.c_str(), pin.c_str());
    if (fromButton)
        Enable(IDC_UNBLOCK_PIN, false);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::FormDblClick");
}

// ---- The Notes password -----------------------------------------------------------------------------

void TArbolinForm::ChangeLNPasswordBtClick()
{
    const char kLog[] = "TArbolinForm::ChangeLNPasswordBtClick";
    std::string caption = Text(IDS_CHANGE_NOTES_PASSWORD);
    changePasDlg_.PrepareNewPassword();
    INT_PTR choice = changePasDlg_.ShowModal(window_);
    std::string newPassword;
    if (choice == IDOK) {
        newPassword = changePasDlg_.password;
        if (newPassword.empty()) {
            ShowError(Text(IDS_PASSWORD_EMPTY), caption);
            return;
        }
        changePasDlg_.PrepareConfirmation();
        if (changePasDlg_.ShowModal(window_) != IDOK)
            return;
        if (changePasDlg_.password != newPassword) {
            ShowError(Text(IDS_PASSWORDS_NOT_EQUAL), caption);
            return;
        }
        if (newPassword == notes_.password) {
            ShowError(Text(IDS_PASSWORD_IN_USE), caption);
            return;
        }
    } else if (choice != ID_GENERATE_RESULT) {
        return;
    }

    ShowWait();
    if (choice == ID_GENERATE_RESULT) {
        BYTE random[kGeneratedBytes] = {};
        if (!AdminKey().GetRandom(currentReader_.c_str(), random, sizeof random)) {
            ReportKeyFailure(IDS_ERROR_KSD_RANDOM, kLog);
            return;
        }
        newPassword = Base64EncodeText(random, sizeof random);  // never shown
        SecureZeroMemory(random, sizeof random);
    }
    HideWait();
    UpdateWindow(window_);

    TFileDialogID openIni(TFileDialogID::Kind::kOpen);
    openIni.fileName = "notes.ini";
    openIni.initialDir = "c:\\Lotus\\Notes";
    openIni.defaultExt = "*.ini";
    openIni.filter = Text(IDS_INI_FILE_FILTER);
    openIni.title = Text(IDS_PASSWORD_INIT_NOTES_TITLE);
    if (!openIni.Execute(window_))
        return;
    notes_.iniPath = openIni.fileName;
    if (NotesInitIni(const_cast<char *>(notes_.iniPath.c_str())) != NOERROR) {
        ShowError(Text(IDS_NOTES_INIT_ERROR) + "\n" + Text(IDS_NOTES_INI_NAME_LABEL) + notes_.iniPath, StandardCaption());
        LogMessage(kLogError, kAdminLog, "%s: INIt file %s bad", kLog, notes_.iniPath.c_str());
        return;
    }

    // The copy gets a name of its own (GetTempFileName makes it unique): never the record's file
    // name, which a Notes client on this PC may be running on from the same Key.
    std::string directory = TempDirectory();
    char unique[MAX_PATH] = "";
    bool named = !directory.empty() && GetTempFileNameA(directory.c_str(), "sid", 0, unique) != 0;
    TempIdCopy copy(named ? std::string(unique) : std::string());
    if (copy.path().empty() || !WriteWholeFile(copy.path(), notes_.idFile.data(), notes_.idFile.size())) {
        ShowError(Text(IDS_CANT_OPEN_TEMP_ID_FILE), StandardCaption());
        NotesTerm();
        return;
    }
    STATUS status = SECKFMChangePassword(const_cast<char *>(copy.path().c_str()),
                                         notes_.password.empty() ? nullptr : const_cast<char *>(notes_.password.c_str()),
                                         const_cast<char *>(newPassword.c_str()));
    if (status != NOERROR) {
        char text[STATUS_TEXT_SIZE] = "";
        OSLoadString(nullptr, ERR(status), text, sizeof text);
        text[sizeof text - 1] = 0;
        ShowError(Text(IDS_ERROR_CHANGING_PASSWORD) + text, StandardCaption());
        LogMessage(kLogError, kAdminLog, "%s: SECKFMChangePassword <%s>", kLog, text);
        NotesTerm();
        return;
    }
    std::vector<BYTE> changed;
    if (!ReadWholeFile(copy.path(), &changed, kIDFileMax)) {
        ShowError(Text(IDS_ERROR_OPENING_TEMP_ID_FILE), StandardCaption());
        NotesTerm();
        return;
    }
    std::string message;
    bool written = WriteNotesRecord(notes_.userName, newPassword, notes_.idFileName, changed, &message);
    NotesTerm();
    if (!written) {
        // The Key still holds the old record, and the held password stays the one it holds.
        if (!message.empty())
            ShowError(message, StandardCaption());
        LogMessage(kLogError, kAdminLog, "%s: %s", kLog, message.c_str());
        return;
    }
    notes_.password = newPassword;
    notes_.idFile.swap(changed);
    ShowNotesData();
    LogMessage(kLogStep, kAdminLog, "%s", kLog);
}

// ---- Biometrics -------------------------------------------------------------------------------------

void TArbolinForm::ChangeBIOClick()
{
    // Success, cancellation and failure end silently: the enrolment has shown what it had to.
    AdminKey().ChangeBioID(currentReader_.c_str(), instance_, window_, TextF(IDS_CONSOLE_CHANGE_BIO_CAPTION, kMaker).c_str());
}
