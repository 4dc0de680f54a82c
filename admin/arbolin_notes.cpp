// The console's Notes data on the Key: reading it into the window (GetDataFromKSD), attaching an
// ID file with its password (ChangeIDBtClick), Show, Detach, Clear and the Key label.
#include "arbolin_form.h"

#include <commctrl.h>

#include <cstring>

#include "admin_files.h"
#include "admin_key.h"
#include "admin_ui.h"
#include "arbolin_res.h"
#include "cut_format.h"
#include "file_dialog_id.h"
#include "log.h"
#include "notes_api.h"
#include "notes_key_data.h"
#include "op_wait_form.h"
#include "text_ids.h"

namespace {

const char kMaker[] = "Morvath";
constexpr WORD kUserNameSize = MAXUSERNAME;  // what SECKFMSwitchToIDFile may write, terminator aside
constexpr std::size_t kLabelMax = 31;        // the layer stores at most 31 characters

std::string NotesStatusText(STATUS status, WORD size)
{
    std::vector<char> text(size, 0);
    OSLoadString(nullptr, ERR(status), text.data(), size);
    text[size - 1] = 0;
    return text.data();
}

std::string FileNameOf(const std::string &path)
{
    char name[kIDFileNameMax + 1];
    BareFileName(path.c_str(), name, sizeof name);
    return name;
}

}  // namespace

// ---- Helpers shared by the commands ------------------------------------------------------------

void TArbolinForm::ShowWait()
{
    if (wait_ != nullptr)
        wait_->Show();
}

void TArbolinForm::HideWait()
{
    if (wait_ != nullptr)
        wait_->Hide();
}

bool TArbolinForm::KeyErrorText(std::string *text)
{
    char buffer[256] = "";
    if (!AdminKey().GetErrorText(currentReader_.c_str(), buffer))
        return false;
    *text = buffer;
    return true;
}

bool TArbolinForm::WithKeyErrorText(const std::string &first, std::string *message)
{
    std::string detail;
    if (!KeyErrorText(&detail)) {
        *message = first;
        return false;
    }
    *message = first + "\n\n" + detail;
    return true;
}

void TArbolinForm::ReportKeyFailure(UINT errorId, const char *where)
{
    // A failure is always said, with the Key layer's reason when it has one: an operation that
    // could not even open the Key (pulled meanwhile, say) leaves none.
    std::string message;
    WithKeyErrorText(Text(errorId), &message);
    ShowError(message, StandardCaption());
    HideWait();
    LogMessage(kLogError, kAdminLog, "%s: %s", where, message.c_str());
}

bool TArbolinForm::Ask(const std::string &text, const std::string &caption)
{
    return MessageBoxA(window_, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void TArbolinForm::SetRowText(int column, const std::string &text)
{
    int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row < 0)
        row = FindRow(currentReader_);
    if (row < 0)
        return;
    ListView_SetItemText(list_, row, column, const_cast<char *>(text.c_str()));
    FitColumns();
}

void TArbolinForm::EnableNotesDataButtons(bool enabled)
{
    for (int id : {IDC_DETACH_ID, IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD, IDC_CLEAR_KSD})
        Enable(id, enabled);
}

void TArbolinForm::ShowNotesData()
{
    SetWindowTextA(Item(IDC_ID_FILE_NAME), notes_.idFileName.c_str());
    SetWindowTextA(Item(IDC_ID_FILE_LEN), std::to_string(notes_.idFile.size()).c_str());
    SetLook(IDC_ID_FILE_NAME, true);
    SetLook(IDC_ID_FILE_LEN, true);
    SetRowText(2, notes_.userName);
    EnableNotesDataButtons(true);
}

std::string TArbolinForm::RecordLimitMessage(const std::string &idFileName, unsigned long long idFileLength,
                                             std::size_t textLengths) const
{
    unsigned long long total = kLogonHeaderSize + textLengths + idFileLength;
    if (idFileLength <= kIDFileMax && total <= kLogonRecordMaxSize)
        return "";
    return TextF(IDS_ID_FILE_TOO_LARGE, idFileName.c_str(), static_cast<unsigned long>(idFileLength),
                 static_cast<unsigned long>(total), static_cast<int>(kLogonRecordMaxSize), static_cast<int>(kIDFileMax));
}

bool TArbolinForm::WriteNotesRecord(const std::string &userName, const std::string &password,
                                    const std::string &idFileName, const std::vector<BYTE> &idFile,
                                    std::string *message)
{
    message->clear();
    std::vector<BYTE> record(kLogonRecordMaxSize);
    std::size_t total = 0;
    LogonRecordError why = LogonRecordError::kNone;
    if (!BuildNotesLogonRecord(userName.c_str(), password.c_str(), idFileName.c_str(), idFile.data(), idFile.size(),
                               record.data(), record.size(), &total, &why)) {
        // Fields longer than a record takes: refused before the Key is touched.
        *message = RecordLimitMessage(idFileName, idFile.size(), userName.size() + password.size() + idFileName.size());
        if (message->empty())
            *message = Text(IDS_ERROR_WRITING_KSD) + "\n\n" + LogonRecordErrorText(why);
        return false;
    }
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
    ShowWait();
    if (AdminKey().Write(currentReader_.c_str(), 0, record.data(), static_cast<DWORD>(total))) {
        HideWait();
        return true;
    }
    DWORD allocated = 0, freeSpace = 0;
    AdminKey().GetKeyInfo(currentReader_.c_str(), &allocated, &freeSpace, nullptr);
    unsigned long long room = static_cast<unsigned long long>(allocated) + freeSpace;
    if (room < total) {
        *message = Text(IDS_ERROR_WRITING_KSD) + "\n" + Text(IDS_KSD_NO_SPACE) + "\n\n" +
                   TextF(IDS_KSD_SPACE_FIGURES, static_cast<int>(total), static_cast<int>(room));
    } else {
        WithKeyErrorText(Text(IDS_ERROR_WRITING_KSD), message);  // said even when the Key gave no reason
    }
    // A write can fail after its bytes went on (the data size could not be set afterwards): the
    // Key then holds the new record, and the console must not go on with the old one.
    if (KeyHoldsRecord(record.data(), total)) {
        LogMessage(kLogError, kAdminLog, "TArbolinForm::WriteNotesRecord: reported failed, yet the record is on the Key: %s",
                   message->c_str());
        message->clear();
        HideWait();
        return true;
    }
    HideWait();
    return false;
}

bool TArbolinForm::KeyHoldsRecord(const BYTE *record, std::size_t size)
{
    std::vector<BYTE> data(kLogonRecordMaxSize);
    DWORD length = static_cast<DWORD>(data.size());
    // The fields are read by their lengths, so bytes after the record (of a longer old one whose
    // size stayed) change nothing of what the Key holds.
    return AdminKey().Read(currentReader_.c_str(), data.data(), &length) && length >= size &&
           std::memcmp(data.data(), record, size) == 0;
}

// ---- Reading --------------------------------------------------------------------------------------

bool TArbolinForm::GetDataFromKSD()
{
    const char *reader = currentReader_.c_str();
    ShowWait();
    // Cleared before the biometric check, which opens the Key with the PIN just given: a refused
    // PIN is warned about by the need-PIN event, and this read then stays silent about it.
    InterlockedExchange(&AdminKey().flags.badPinShown, 0);
    std::string bioCaption = TextF(IDS_BIR_VERIFY_CAPTION, kMaker);
    bool verified = AdminKey().VerifyBioID(reader, instance_, window_, bioCaption.c_str());
    // Only a failed verification is reported as one; a Key that could not even be opened (its
    // PIN refused, pulled, blocked) is a read failure below.
    if (!verified && AdminKey().GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBioFailed) {
        ShowError(Text(IDS_BIO_VERIFY_FAILED), ProductCaption());
        Enable(IDC_CHANGE_BIO, false);
        return false;
    }
    KeyDataRead result = KeyDataRead::kReadFailed;
    LogonRecordError why = LogonRecordError::kNone;
    if (verified)
        result = ReadNotesKeyData(AdminKey(), reader, keyData_.get(), &why);
    if (result == KeyDataRead::kRead) {
        const NotesLogonRecord &r = keyData_->record;
        notes_.iniPath.clear();
        notes_.userName = r.sUserName;
        notes_.password = r.sPassword;
        notes_.idFileName = r.sIDFileName;
        notes_.idFile.assign(keyData_->wData + r.idFileOffset, keyData_->wData + r.idFileOffset + r.wIDFileLength);
        ShowNotesData();
    }
    if (result == KeyDataRead::kRead || result == KeyDataRead::kEmpty) {
        HideWait();
        LogMessage(kLogStep, kAdminLog, "TArbolinForm::GetDataFromKSD");
        return true;
    }

    HideWait();
    std::string message;
    if (result == KeyDataRead::kUnreadable) {
        // The Key answered, but its bytes are not a record this console can trust.
        message = Text(IDS_ERROR_READING_KSD) + "\n\n" + LogonRecordErrorText(why);
        ShowError(message, StandardCaption());
    } else if (AdminKey().GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBlocked) {
        int row = FindRow(currentReader_);
        if (row >= 0)
            ListView_DeleteItem(list_, row);
        SetFocus(Item(IDC_CLOSE_BT));
        Enable(IDC_PIN_ENTER, false);
        Enable(IDC_LABEL_BT, false);
        Enable(IDC_CHANGE_BIO, false);
        SetWindowTextA(Item(IDC_PIN_EDIT), "");
        SetLook(IDC_PIN_EDIT, false);
        // The Key was blocked by this very visit, which reports no Key error of its own: the
        // unblock command is offered here, as for a Key reported blocked.
        InterlockedExchange(&AdminKey().flags.blockedKeySeen, 1);
        Enable(IDC_UNBLOCK_PIN, true);
        message = Text(IDS_KSD_IN_PREFIX) + currentReader_ + Text(IDS_IS_BLOCKED_SUFFIX);
        // A Key blocked by the PIN just refused has been reported by that warning already; the
        // monitor's report of the same blocked Key adds no second box (KeyError).
        blockedReported_ = currentReader_;
        if (InterlockedCompareExchange(&AdminKey().flags.badPinShown, 0, 0) == 0)
            ShowError(message, StandardCaption());
    } else if (InterlockedCompareExchange(&AdminKey().flags.badPinShown, 0, 0) == 0) {
        std::string detail;
        message = Text(IDS_ERROR_READING_KSD);
        if (KeyErrorText(&detail))
            message += "\n\n" + detail;
        ShowError(message, StandardCaption());
    }
    LogMessage(kLogError, kAdminLog, "TArbolinForm::GetDataFromKSD: %s", message.c_str());
    return false;
}

// ---- Attaching an ID file -------------------------------------------------------------------------

void TArbolinForm::ChangeIDBtClick()
{
    std::string programDir = ProgramDirectory();
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : CurrentDir=%s", programDir.c_str());

    TFileDialogID openId(TFileDialogID::Kind::kOpen);
    openId.initialDir = programDir + "Data";
    openId.defaultExt = "*.id";
    openId.filter = Text(IDS_ID_FILE_FILTER);
    openId.title = Text(IDS_CHANGE_ID_FILE_TITLE);
    if (!openId.Execute(window_))
        return;
    std::string idFilePath = openId.fileName;
    std::string idFileName = FileNameOf(idFilePath);

    // An ID file no record can hold is refused before anything is written or Notes is started.
    unsigned long long idFileLength = 0;
    if (!FileSize(idFilePath, &idFileLength)) {
        // No password could ever open a file that is not there: said now, not after a password.
        ShowError(Text(IDS_ERROR_OPENING_ID_FILE), StandardCaption());
        return;
    }
    std::string refusal = RecordLimitMessage(idFileName, idFileLength, idFileName.size());
    if (!refusal.empty()) {
        ShowError(refusal, StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", refusal.c_str());
        return;
    }

    TFileDialogID openIni(TFileDialogID::Kind::kOpen);
    openIni.fileName = "notes.ini";
    openIni.initialDir = programDir;
    openIni.defaultExt = "*.ini";
    openIni.filter = Text(IDS_INI_FILE_FILTER);
    openIni.title = Text(IDS_INIT_NOTES_TITLE);
    if (!openIni.Execute(window_))
        return;
    std::string iniPath = openIni.fileName;
    notes_.iniPath = iniPath;

    // The backup keeps notes.ini as the console first found it; Notes is not started without it.
    IniBackupResult backup = MakeIniBackup(iniPath);
    if (backup == IniBackupResult::kFailed) {
        std::string message = TextF(IDS_INI_BACKUP_FAILED, IniBackupPath(iniPath).c_str());
        ShowError(message, StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", message.c_str());
        return;
    }

    STATUS status = NotesInitIni(const_cast<char *>(iniPath.c_str()));
    if (status != NOERROR) {
        char message[1200];
        FormatCut(message, sizeof message, "%s%s\n%s%s", Text(IDS_NOTES_INIT_ERROR).c_str(),
                  NotesStatusText(status, STATUS_TEXT_SIZE).c_str(), Text(IDS_NOTES_INI_NAME_LABEL).c_str(),
                  iniPath.c_str());
        ShowError(message, StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: INIt file %s bad <%s>", iniPath.c_str(),
                   message);
        return;
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : NotesInitIni <%s> OK", iniPath.c_str());

    char userName[kUserNameSize + 1] = "";
    if (SECKFMGetUserName(userName) != NOERROR) {
        NotesTerm();
        // Only a backup from before this attach can give the user back: one made just now is a
        // copy of this very file.
        if (backup != IniBackupResult::kKept) {
            ShowError(Text(IDS_NOTES_INIT_ERROR) + "\n" + Text(IDS_NOTES_USER_NAME_LABEL) + userName +
                          Text(IDS_UNKNOWN_SUFFIX),
                      StandardCaption());
            LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : UserName %s unknown", userName);
            return;
        }
        if (!RestoreIniBackup(iniPath)) {
            std::string message = TextF(IDS_INI_RESTORE_FAILED, IniBackupPath(iniPath).c_str());
            ShowError(message, StandardCaption());
            LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", message.c_str());
            return;
        }
        NotesInitIni(const_cast<char *>(iniPath.c_str()));
        SECKFMGetUserName(userName);
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : From restored INI - UserName=%s", userName);
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMGetUserName <%s> OK", userName);

    changePinDlg_.PrepareNotesPassword(idFilePath);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s><%s><%d> (Begin OP)",
               idFilePath.c_str(), userName, static_cast<int>(kUserNameSize));
    std::string password;
    for (;;) {
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        password = changePinDlg_.text;
        status = SECKFMSwitchToIDFile(const_cast<char *>(idFilePath.c_str()), const_cast<char *>(password.c_str()),
                                      userName, kUserNameSize, 0, nullptr);
        if (status == NOERROR)
            break;
        ShowError(Text(IDS_INVALID_PASSWORD), StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s> ERROR = <%s>",
                   idFilePath.c_str(), NotesStatusText(status, 512).c_str());
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s> OK (password OK)",
               idFilePath.c_str());

    std::vector<BYTE> idFile;
    if (!ReadWholeFile(idFilePath, &idFile, kIDFileMax)) {
        ShowError(Text(IDS_ERROR_OPENING_ID_FILE), StandardCaption());
        return;
    }
    std::string message;
    bool written = WriteNotesRecord(userName, password, idFileName, idFile, &message);
    NotesTerm();
    if (!written) {
        if (!message.empty())
            ShowError(message, StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", message.c_str());
        return;
    }
    // The fields follow the Key only once the record is on it.
    notes_.idFilePath = idFilePath;
    notes_.idFileName = idFileName;
    notes_.userName = userName;
    notes_.password = password;
    notes_.idFile.swap(idFile);
    ShowNotesData();
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick");
}

// ---- Show, Detach, Clear, Label ---------------------------------------------------------------------

void TArbolinForm::ShowBtClick()
{
    std::string caption = Text(IDS_SHOW_NOTES_PASSWORD);
    if (Ask(Text(IDS_PASSWORD_SHOWN_WARNING) + Text(IDS_ARE_YOU_SURE), caption))
        MessageBoxA(window_, TextF(IDS_CURRENT_NOTES_PASSWORD, notes_.password.c_str()).c_str(), caption.c_str(),
                    MB_OK | MB_ICONINFORMATION);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ShowBtClick");
}

void TArbolinForm::DetachIDBtClick()
{
    TFileDialogID save(TFileDialogID::Kind::kSave);
    save.initialDir = "c:\\Lotus\\Notes\\Data";
    save.defaultExt = "*.id";
    save.filter = Text(IDS_ID_FILE_FILTER);
    save.title = Text(IDS_DETACH_ID_FILE_TITLE) + " - " + Text(IDS_SELECT_ID_FILE_NAME);
    save.fileName = notes_.idFileName;
    if (!save.Execute(window_))
        return;
    if (FileExists(save.fileName) &&
        !Ask(TextF(IDS_FILE_EXISTS_OVERWRITE, save.fileName.c_str()), Text(IDS_DETACH_ID_FILE_TITLE)))
        return;
    // Written beside the target and moved over it whole: an existing file is replaced or kept.
    if (!WriteWholeFile(save.fileName, notes_.idFile.data(), notes_.idFile.size())) {
        ShowError(Text(IDS_CANT_WRITE_ID_FILE), StandardCaption());
        return;
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::DetachIDBtClick");
}

void TArbolinForm::ClearKSDBtClick()
{
    if (!Ask(Text(IDS_ARE_YOU_SURE), Text(IDS_CLEAR_NOTES_INFO)))
        return;
    ShowWait();
    if (!AdminKey().Delete(currentReader_.c_str())) {
        ReportKeyFailure(IDS_ERROR_DELETING_KSD, "TArbolinForm::ClearKSDBtClick");
        return;
    }
    HideWait();
    SetWindowTextA(Item(IDC_ID_FILE_NAME), "");
    SetWindowTextA(Item(IDC_ID_FILE_LEN), "");
    SetLook(IDC_ID_FILE_NAME, false);
    SetLook(IDC_ID_FILE_LEN, false);
    SetRowText(2, Text(IDS_NONE));
    EnableNotesDataButtons(false);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ClearKSDBtClick");
}

void TArbolinForm::LabelBtClick()
{
    changePinDlg_.PrepareLabel();
    INT_PTR result = changePinDlg_.ShowModal(window_);
    changePinDlg_.masked = true;
    if (result != IDOK)
        return;
    std::string label = changePinDlg_.text.substr(0, kLabelMax);
    ShowWait();
    if (!AdminKey().ChangeLabel(currentReader_.c_str(), label.c_str())) {
        std::string message = Text(IDS_ERROR_CHANGING_LABEL) + "\n\n" + TextF(IDS_LABEL_CANT_CHANGE, currentReader_.c_str());
        ShowError(message, StandardCaption());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::LabelBtClick: %s", message.c_str());
        return;
    }
    if (label.empty()) {
        char id[64] = "";
        AdminKey().GetKSD_ID(currentReader_.c_str(), id, sizeof id);
        label = id;
    }
    SetRowText(1, label);
    HideWait();
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::LabelBtClick");
}
