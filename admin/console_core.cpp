// The console's Key commands without windows: reading the Notes data, the PIN, unblocking, the
// label, Clear, the random password, the biometric identifier and the record's write.
#include "console_core.h"

#include <cstring>
#include <memory>

#include "admin_files.h"
#include "admin_ui.h"
#include "base64.h"
#include "key_messages.h"
#include "log.h"
#include "notes_key_data.h"
#include "secure_wipe.h"
#include "text_ids.h"

namespace {

const char kMaker[] = "Morvath";
const char kMarkerName[] = "Sentrio";
constexpr DWORD kMarkerSize = 256;

}  // namespace

void HeldNotesData::Clear()
{
    WipeString(password);
    if (!idFile.empty())
        SecureZeroMemory(idFile.data(), idFile.size());
    idFile.clear();
    idFilePath.clear();
    idFileName.clear();
    iniPath.clear();
    userName.clear();
}

HANDLE CreateConsoleMarker()
{
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, kMarkerSize, kMarkerName);
}

// ---- Rules ----------------------------------------------------------------------------------------

UINT VerifyPinRefusal(const std::string &pin)
{
    return pin.size() < kShortestPin ? IDS_PIN_TOO_SHORT : 0;
}

UINT NewPinRefusal(const std::string &pin)
{
    return !pin.empty() && pin.size() < kShortestPin ? IDS_PIN_TOO_SHORT : 0;
}

UINT NewNotesPasswordRefusal(const std::string &password, const std::string &confirmation, const std::string &current)
{
    if (password.empty())
        return IDS_PASSWORD_EMPTY;
    if (confirmation != password)
        return IDS_PASSWORDS_NOT_EQUAL;
    if (password == current)
        return IDS_PASSWORD_IN_USE;
    return 0;
}

// ---- Key commands ---------------------------------------------------------------------------------

std::string ConsoleCore::KeyNotFoundText()
{
    return Text(IDS_KSD_NOT_FOUND);
}

std::string ConsoleCore::Failure(UINT first, const KeyTarget &target)
{
    // Said even when the layer has no reason: an operation that could not open the Key leaves none.
    return WithKeyReason(key_, target.reader.c_str(), Text(first));
}

ReadResult ConsoleCore::ReadNotesData(const KeyTarget &target, HINSTANCE instance, HWND owner)
{
    ReadResult result;
    if (!Present(target)) {
        result.outcome = ReadOutcome::kGone;
        result.message = KeyNotFoundText();
        return result;
    }
    const char *reader = target.reader.c_str();
    Busy(true);
    std::string bioCaption = TextF(IDS_BIR_VERIFY_CAPTION, kMaker);
    bool verified = key_.VerifyBioID(reader, instance, owner, bioCaption.c_str());
    // Only a failed verification is reported as one; a Key that could not even be opened (its PIN
    // refused, pulled, blocked) is a read failure below.
    if (!verified && key_.GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBioFailed) {
        Busy(false);
        result.outcome = ReadOutcome::kBioFailed;
        result.message = Text(IDS_BIO_VERIFY_FAILED);
        return result;
    }
    // The verification's dialogs let Key events through: the Key read must still be the target's.
    if (verified && !Present(target)) {
        Busy(false);
        result.outcome = ReadOutcome::kGone;
        result.message = KeyNotFoundText();
        return result;
    }
    std::unique_ptr<NotesKeyData> keyData(new NotesKeyData());
    KeyDataRead read = KeyDataRead::kReadFailed;
    LogonRecordError why = LogonRecordError::kNone;
    if (verified)
        read = ReadNotesKeyData(key_, reader, keyData.get(), &why);
    Busy(false);
    switch (read) {
    case KeyDataRead::kRead: {
        const NotesLogonRecord &r = keyData->record;
        result.outcome = ReadOutcome::kRead;
        result.data.userName = r.sUserName;
        result.data.password = r.sPassword;
        result.data.idFileName = r.sIDFileName;
        result.data.idFile.assign(keyData->wData + r.idFileOffset, keyData->wData + r.idFileOffset + r.wIDFileLength);
        SecureZeroMemory(keyData.get(), sizeof *keyData);
        return result;
    }
    case KeyDataRead::kEmpty:
        result.outcome = ReadOutcome::kEmpty;
        return result;
    case KeyDataRead::kUnreadable:
        // The Key answered, but its bytes are not a record this console can trust.
        result.outcome = ReadOutcome::kUnreadable;
        result.message = Text(IDS_ERROR_READING_KSD) + "\n\n" + LogonRecordErrorText(why);
        return result;
    case KeyDataRead::kReadFailed:
        break;
    }
    SecureZeroMemory(keyData.get(), sizeof *keyData);
    if (key_.GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBlocked) {
        result.outcome = ReadOutcome::kBlocked;
        result.message = Text(IDS_KSD_IN_PREFIX) + target.reader + Text(IDS_IS_BLOCKED_SUFFIX);
    } else {
        result.outcome = ReadOutcome::kFailed;
        result.message = Failure(IDS_ERROR_READING_KSD, target);
    }
    return result;
}

CoreResult ConsoleCore::GivePin(const KeyTarget &target, const std::string &pin)
{
    if (UINT refusal = VerifyPinRefusal(pin))
        return CoreResult::Failed(Text(refusal));
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    key_.SetPIN(target.reader.c_str(), pin.c_str());
    return CoreResult::Done();
}

CoreResult ConsoleCore::ChangePin(const KeyTarget &target, const std::string &newPin)
{
    if (UINT refusal = NewPinRefusal(newPin))
        return CoreResult::Failed(Text(refusal));
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    Busy(true);
    bool changed = key_.ChangePIN(target.reader.c_str(), newPin.c_str());
    Busy(false);
    if (!changed)
        return CoreResult::Failed(Failure(IDS_ERROR_CHANGING_KSD_PIN, target));
    key_.SetPIN(target.reader.c_str(), newPin.c_str());
    return CoreResult::Done();
}

CoreResult ConsoleCore::Unblock(const KeyTarget &target, const std::string &pin)
{
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    Busy(true);
    bool unblocked = key_.UnblockPIN(target.reader.c_str(), pin.c_str());
    Busy(false);
    if (!unblocked)
        return CoreResult::Failed(Failure(IDS_ERROR_UNBLOCKING_PIN, target));
    key_.SetPIN(target.reader.c_str(), pin.c_str());
    return CoreResult::Done();
}

CoreResult ConsoleCore::ChangeLabel(KeyTarget *target, const std::string &label, std::string *shown)
{
    if (!Present(*target))
        return CoreResult::Failed(KeyNotFoundText());
    std::string text = label.substr(0, kLabelMax);
    Busy(true);
    bool changed = key_.ChangeLabel(target->reader.c_str(), text.c_str());
    Busy(false);
    if (!changed)
        return CoreResult::Failed(Text(IDS_ERROR_CHANGING_LABEL) + "\n\n" +
                                  TextF(IDS_LABEL_CANT_CHANGE, target->reader.c_str()));
    target->label = text;  // the same Key, under its new label
    *shown = text.empty() ? KeyDisplayName(key_, target->reader.c_str()) : text;
    return CoreResult::Done();
}

CoreResult ConsoleCore::ClearNotesData(const KeyTarget &target)
{
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    Busy(true);
    bool deleted = key_.Delete(target.reader.c_str());
    Busy(false);
    return deleted ? CoreResult::Done() : CoreResult::Failed(Failure(IDS_ERROR_DELETING_KSD, target));
}

CoreResult ConsoleCore::GeneratePassword(const KeyTarget &target, std::string *password)
{
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    BYTE random[kGeneratedBytes] = {};
    Busy(true);
    bool got = key_.GetRandom(target.reader.c_str(), random, sizeof random);
    Busy(false);
    if (!got)
        return CoreResult::Failed(Failure(IDS_ERROR_KSD_RANDOM, target));
    *password = Base64EncodeText(random, sizeof random);  // never shown
    SecureZeroMemory(random, sizeof random);
    return CoreResult::Done();
}

CoreResult ConsoleCore::ChangeBio(const KeyTarget &target, HINSTANCE instance, HWND owner, const std::string &caption)
{
    if (!Present(target))
        return CoreResult::Failed(KeyNotFoundText());
    // The reader's name is the command's own copy: the enrolment's dialogs let Key events through.
    int result = key_.ChangeBioID(target.reader.c_str(), instance, owner, caption.c_str());
    return result == 0 ? CoreResult::Done() : CoreResult::Failed("");
}

CoreResult ConsoleCore::SaveIdFile(const HeldNotesData &held, const std::string &path)
{
    if (!WriteWholeFile(path, held.idFile.data(), held.idFile.size()))
        return CoreResult::Failed(Text(IDS_CANT_WRITE_ID_FILE));
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::DetachIDBtClick");
    return CoreResult::Done();
}

std::string ConsoleCore::RecordLimitMessage(const std::string &idFileName, unsigned long long idFileLength,
                                            std::size_t textLengths)
{
    unsigned long long total = kLogonHeaderSize + textLengths + idFileLength;
    if (idFileLength <= kIDFileMax && total <= kLogonRecordMaxSize)
        return "";
    return TextF(IDS_ID_FILE_TOO_LARGE, idFileName.c_str(), static_cast<unsigned long>(idFileLength),
                 static_cast<unsigned long>(total), static_cast<int>(kLogonRecordMaxSize), static_cast<int>(kIDFileMax));
}

CoreResult ConsoleCore::WriteNotesRecord(const KeyTarget &target, const std::string &userName,
                                         const std::string &password, const std::string &idFileName,
                                         const std::vector<BYTE> &idFile)
{
    std::vector<BYTE> record(kLogonRecordMaxSize);
    std::size_t total = 0;
    LogonRecordError why = LogonRecordError::kNone;
    if (!BuildNotesLogonRecord(userName.c_str(), password.c_str(), idFileName.c_str(), idFile.data(), idFile.size(),
                               record.data(), record.size(), &total, &why)) {
        // Fields longer than a record takes: refused before the Key is touched.
        std::string message =
            RecordLimitMessage(idFileName, idFile.size(), userName.size() + password.size() + idFileName.size());
        return CoreResult::Failed(message.empty() ? Text(IDS_ERROR_WRITING_KSD) + "\n\n" + LogonRecordErrorText(why)
                                                  : message);
    }
    if (!Present(target)) {
        SecureZeroMemory(record.data(), record.size());
        return CoreResult::Failed(KeyNotFoundText());
    }
    const char *reader = target.reader.c_str();
    Busy(true);
    // The record goes on marked unfinished and gets its true first bytes last (notes_logon_record.h):
    // a Key pulled in the middle holds the old record or one every reader refuses.
    BYTE head[kLogonRecordHeadSize];
    MarkLogonRecordUnfinished(record.data(), total, head);
    bool written = key_.WriteHeadLast(reader, record.data(), static_cast<DWORD>(total), head, sizeof head);
    std::memcpy(record.data(), head, sizeof head);  // the record as it is meant to be, for the check below
    SecureZeroMemory(head, sizeof head);
    std::string message;
    if (!written) {
        DWORD allocated = 0, freeSpace = 0;
        key_.GetKeyInfo(reader, &allocated, &freeSpace, nullptr);
        unsigned long long room = static_cast<unsigned long long>(allocated) + freeSpace;
        if (room < total)
            message = Text(IDS_ERROR_WRITING_KSD) + "\n" + Text(IDS_KSD_NO_SPACE) + "\n\n" +
                      TextF(IDS_KSD_SPACE_FIGURES, static_cast<int>(total), static_cast<int>(room));
        else
            message = Failure(IDS_ERROR_WRITING_KSD, target);
        // A write can fail after its bytes went on (the data size could not be set afterwards):
        // the Key then holds the new record, and the console must not go on with the old one.
        if (KeyHoldsRecord(target, record.data(), total)) {
            LogMessage(kLogError, kAdminLog,
                       "ConsoleCore::WriteNotesRecord: reported failed, yet the record is on the Key: %s",
                       message.c_str());
            written = true;
        }
    }
    Busy(false);
    SecureZeroMemory(record.data(), record.size());
    return written ? CoreResult::Done() : CoreResult::Failed(message);
}

bool ConsoleCore::KeyHoldsRecord(const KeyTarget &target, const BYTE *record, std::size_t size)
{
    std::vector<BYTE> data(kLogonRecordMaxSize);
    DWORD length = static_cast<DWORD>(data.size());
    // Exactly the record: bytes after it (of a longer old one whose size stayed) make the Key's
    // data one no reader takes.
    bool holds = key_.Read(target.reader.c_str(), data.data(), &length) && length == size &&
                 std::memcmp(data.data(), record, size) == 0;
    SecureZeroMemory(data.data(), data.size());
    return holds;
}
