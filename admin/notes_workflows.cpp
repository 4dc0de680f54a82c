// Attaching an ID file and changing the Notes password of the ID file on the Key, without windows.
#include "notes_workflows.h"

#include <cstdio>

#include "admin_ui.h"
#include "cut_format.h"
#include "key_messages.h"
#include "log.h"
#include "notes_api.h"
#include "notes_logon_record.h"
#include "secure_wipe.h"
#include "text_ids.h"

namespace {

constexpr WORD kUserNameSize = MAXUSERNAME;  // what SECKFMSwitchToIDFile may write, terminator aside
static_assert(IdFileAttach::kUserNameSize == MAXUSERNAME, "the user name's size is the Notes API's");

std::string FileNameOf(const std::string &path)
{
    char name[kIDFileNameMax + 1];
    BareFileName(path.c_str(), name, sizeof name);
    return name;
}

std::string TempDirectory()
{
    char path[MAX_PATH] = "";
    DWORD n = GetTempPathA(sizeof path, path);
    return n > 0 && n < sizeof path ? std::string(path) : std::string();
}

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

}  // namespace

// ---- The Notes runtime --------------------------------------------------------------------------------

unsigned short NotesRuntime::Start(const std::string &iniPath)
{
    End();
    STATUS status = NotesInitIni(const_cast<char *>(iniPath.c_str()));
    running_ = status == NOERROR;
    return status;
}

void NotesRuntime::End()
{
    if (!running_)
        return;
    NotesTerm();
    running_ = false;
}

// ---- Attach -----------------------------------------------------------------------------------------

IdFileAttach::IdFileAttach(ConsoleCore &core, const KeyTarget &target, const std::string &idFilePath)
    : core_(core), target_(target), idFilePath_(idFilePath), idFileName_(FileNameOf(idFilePath))
{
}

IdFileAttach::~IdFileAttach()
{
    WipeString(password_);
}

CoreResult IdFileAttach::CheckIdFile()
{
    unsigned long long length = 0;
    // No password could ever open a file that is not there: said now, not after a password.
    if (!FileSize(idFilePath_, &length))
        return CoreResult::Failed(Text(IDS_ERROR_OPENING_ID_FILE));
    std::string refusal = ConsoleCore::RecordLimitMessage(idFileName_, length, idFileName_.size());
    if (!refusal.empty()) {
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", refusal.c_str());
        return CoreResult::Failed(refusal);
    }
    return CoreResult::Done();
}

std::string RestoreBackupQuestion(const std::string &iniPath)
{
    std::string backup = IniBackupPath(iniPath);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    FILETIME local = {};
    SYSTEMTIME when = {};
    if (!GetFileAttributesExA(backup.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &when))
        return "";
    char date[32];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u", when.wYear, when.wMonth, when.wDay, when.wHour,
                  when.wMinute);
    return TextF(IDS_INI_RESTORE_QUESTION, iniPath.c_str(), backup.c_str(), date);
}

IdFileAttach::Start IdFileAttach::StartNotes(const std::string &iniPath, std::string *text)
{
    iniPath_ = iniPath;
    // The backup keeps notes.ini as the console first found it; Notes is not started without it.
    IniBackupResult backup = MakeIniBackup(iniPath);
    if (backup == IniBackupResult::kFailed) {
        *text = TextF(IDS_INI_BACKUP_FAILED, IniBackupPath(iniPath).c_str());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", text->c_str());
        return Start::kFailed;
    }
    STATUS status = runtime_.Start(iniPath);
    if (status != NOERROR) {
        char message[1200];
        FormatCut(message, sizeof message, "%s%s\n%s%s", Text(IDS_NOTES_INIT_ERROR).c_str(),
                  NotesStatusText(status).c_str(), Text(IDS_NOTES_INI_NAME_LABEL).c_str(), iniPath.c_str());
        *text = message;
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: INIt file %s bad <%s>", iniPath.c_str(),
                   message);
        return Start::kFailed;
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : NotesInitIni <%s> OK", iniPath.c_str());
    char userName[kUserNameSize + 1] = "";
    if (SECKFMGetUserName(userName) == NOERROR) {
        userName_ = userName;
        LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMGetUserName <%s> OK", userName);
        return Start::kReady;
    }
    runtime_.End();
    // Only a backup from before this attach can give the user back: one made just now is a copy of
    // this very file. It is copied back only when the user says so.
    std::string question = backup == IniBackupResult::kKept ? RestoreBackupQuestion(iniPath) : std::string();
    if (question.empty()) {
        *text = Text(IDS_NOTES_INIT_ERROR) + "\n" + Text(IDS_NOTES_USER_NAME_LABEL) + userName + Text(IDS_UNKNOWN_SUFFIX);
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : UserName %s unknown", userName);
        return Start::kFailed;
    }
    *text = question;
    return Start::kAskRestore;
}

CoreResult IdFileAttach::RestoreBackup()
{
    if (!RestoreIniBackup(iniPath_)) {
        std::string message = TextF(IDS_INI_RESTORE_FAILED, IniBackupPath(iniPath_).c_str());
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", message.c_str());
        return CoreResult::Failed(message);
    }
    STATUS status = runtime_.Start(iniPath_);
    char userName[kUserNameSize + 1] = "";
    if (status == NOERROR)
        SECKFMGetUserName(userName);
    userName_ = userName;
    LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : From restored INI - UserName=%s", userName);
    if (status != NOERROR)
        return CoreResult::Failed(Text(IDS_NOTES_INIT_ERROR) + NotesStatusText(status) + "\n" +
                                  Text(IDS_NOTES_INI_NAME_LABEL) + iniPath_);
    return CoreResult::Done();
}

bool IdFileAttach::TryPassword(const std::string &password)
{
    char userName[kUserNameSize + 1] = "";
    CopyCut(userName, sizeof userName, userName_.c_str());
    // The switch only checks the password here: notes.ini's KeyFileName stays the administrator's.
    STATUS status = SECKFMSwitchToIDFile(const_cast<char *>(idFilePath_.c_str()), const_cast<char *>(password.c_str()),
                                         userName, kUserNameSize, fKFM_switchid_DontSetEnvVar, nullptr);
    if (status != NOERROR) {
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s> ERROR = <%s>",
                   idFilePath_.c_str(), NotesStatusText(status, 512).c_str());
        return false;
    }
    userName_ = userName;
    WipeString(password_);
    password_ = password;
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s> OK (password OK)",
               idFilePath_.c_str());
    return true;
}

CoreResult IdFileAttach::Write(HeldNotesData *held)
{
    std::vector<BYTE> idFile;
    if (!ReadWholeFile(idFilePath_, &idFile, kIDFileMax)) {
        runtime_.End();
        return CoreResult::Failed(Text(IDS_ERROR_OPENING_ID_FILE));
    }
    CoreResult result = core_.WriteNotesRecord(target_, userName_, password_, idFileName_, idFile);
    runtime_.End();
    if (!result.ok) {
        LogMessage(kLogError, kAdminLog, "TArbolinForm::ChangeIDBtClick: %s", result.message.c_str());
        return result;
    }
    // The held data follow the Key only once the record is on it.
    held->Clear();
    held->idFilePath = idFilePath_;
    held->idFileName = idFileName_;
    held->iniPath = iniPath_;
    held->userName = userName_;
    WipeString(held->password);  // the old password's buffer may be given back by the assignment
    held->password = password_;
    held->idFile.swap(idFile);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick");
    return result;
}

// ---- The Notes password -------------------------------------------------------------------------------

CoreResult NotesPasswordChange::Run(const std::string &iniPath, const std::string &newPassword, HeldNotesData *held)
{
    const char kLog[] = "TArbolinForm::ChangeLNPasswordBtClick";
    if (!core_.Present(target_))
        return CoreResult::Failed(ConsoleCore::KeyNotFoundText());
    held->iniPath = iniPath;
    if (runtime_.Start(iniPath) != NOERROR) {
        LogMessage(kLogError, kAdminLog, "%s: INIt file %s bad", kLog, iniPath.c_str());
        return CoreResult::Failed(Text(IDS_NOTES_INIT_ERROR) + "\n" + Text(IDS_NOTES_INI_NAME_LABEL) + iniPath);
    }
    std::string directory = TempDirectory();
    // The copy gets a name of its own (GetTempFileName makes it unique): never the record's file
    // name, which a Notes client on this PC may be running on from the same Key.
    char unique[MAX_PATH] = "";
    bool named = !directory.empty() && GetTempFileNameA(directory.c_str(), "sid", 0, unique) != 0;
    TempIdCopy copy(named ? std::string(unique) : std::string());
    if (copy.path().empty() || !WriteWholeFile(copy.path(), held->idFile.data(), held->idFile.size()))
        return CoreResult::Failed(Text(IDS_CANT_OPEN_TEMP_ID_FILE));
    STATUS status = SECKFMChangePassword(const_cast<char *>(copy.path().c_str()),
                                         held->password.empty() ? nullptr : const_cast<char *>(held->password.c_str()),
                                         const_cast<char *>(newPassword.c_str()));
    if (status != NOERROR) {
        std::string text = NotesStatusText(status, STATUS_TEXT_SIZE);
        LogMessage(kLogError, kAdminLog, "%s: SECKFMChangePassword <%s>", kLog, text.c_str());
        return CoreResult::Failed(Text(IDS_ERROR_CHANGING_PASSWORD) + text);
    }
    std::vector<BYTE> changed;
    if (!ReadWholeFile(copy.path(), &changed, kIDFileMax))
        return CoreResult::Failed(Text(IDS_ERROR_OPENING_TEMP_ID_FILE));
    CoreResult result = core_.WriteNotesRecord(target_, held->userName, newPassword, held->idFileName, changed);
    runtime_.End();
    if (!result.ok) {
        // The Key still holds the old record, and the held password stays the one it holds.
        LogMessage(kLogError, kAdminLog, "%s: %s", kLog, result.message.c_str());
        return result;
    }
    WipeString(held->password);
    held->password = newPassword;
    held->idFile.swap(changed);
    LogMessage(kLogStep, kAdminLog, "%s", kLog);
    return result;
}
