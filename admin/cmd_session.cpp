// What the commands and the batch share: finding the Key a command names, giving its PIN and
// reading its Notes data, attaching an ID file, and saying a failure with what to do.
#include "arbolin_cmd.h"

#include <cctype>

#include "admin_ui.h"
#include "arbolin_cmd_texts.h"
#include "key_messages.h"
#include "log.h"
#include "notes_workflows.h"
#include "text_ids.h"
#include "texts.h"

namespace {

std::string Upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

constexpr DWORD kPassWait = 3000;  // at most, for the monitor's pass after a failed operation

}  // namespace

std::string CmdErrorLine(const std::string &message)
{
    // Filled here, not by TextF, which cuts its result to 1024 characters.
    std::string pattern = Text(IDS_CMD_ERROR);
    std::size_t at = pattern.find("%s");
    return at == std::string::npos ? message + "\n" : pattern.substr(0, at) + message + pattern.substr(at + 2);
}

int CmdSession::Fail(int code, const std::string &message)
{
    io_.Err(CmdErrorLine(message));
    return code;
}

int CmdSession::CodeOf(const CoreResult &result, const KeyTarget &target, int otherwise)
{
    if (result.message == ConsoleCore::KeyNotFoundText())
        return kExitNoKey;
    // A Key pulled during the operation fails it with the Key library's reason; whether it is
    // still there, the monitor's next pass tells.
    key_.AwaitPass(kPassWait);
    return core_.Present(target) ? otherwise : kExitNoKey;
}

std::string CmdSession::PulledHint(const KeyTarget &target)
{
    return TextF(IDS_CMD_KEY_PULLED, target.reader.c_str());
}

int CmdSession::FailOn(const CoreResult &result, const KeyTarget &target, int otherwise, const std::string &hint)
{
    int code = CodeOf(result, target, otherwise);
    return Fail(code, result.message + "\n" + (code == kExitNoKey ? PulledHint(target) : hint));
}

bool CmdSession::GetSecret(const std::string &from, bool noneAllowed, const std::string &what, std::string *secret,
                           std::string *message)
{
    SecretSource source;
    if (!SecretSource::Parse(from, noneAllowed, &source, message))
        return false;
    return secrets_.Get(source, what, secret, message);
}

int CmdSession::Confirm(const std::string &question, bool confirmed, const char *flag)
{
    if (confirmed)
        return kExitDone;
    std::string answer;
    if (!io_.Ask(question + Text(IDS_CMD_YES_NO), false, &answer))
        return Fail(kExitNotConfirmed, TextF(IDS_CMD_CANNOT_ASK, question.c_str(), flag));
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes")
        return kExitDone;
    return Fail(kExitNotConfirmed, TextF(IDS_CMD_NOT_CONFIRMED, flag));
}

int CmdSession::FindKey(const std::string &name, KeyTarget *target)
{
    std::vector<std::string> inserted;
    std::string found;
    for (const std::string &reader : key_.ReaderNames()) {
        std::optional<ReaderRecord> r = key_.FindReader(reader.c_str());
        char label[36] = "";
        if (!r || key_.GetKeyInfo(reader.c_str(), nullptr, nullptr, label) == csAbsent)
            continue;
        inserted.push_back(reader);
        if (!name.empty() && (reader == name || label == name || CardIdText(r->card_id) == Upper(name)))
            found = reader;
    }
    if (name.empty()) {
        if (inserted.size() == 1)
            found = inserted[0];
        else if (inserted.empty())
            return Fail(kExitNoKey, Text(IDS_CMD_NO_KEY));
        else
            return Fail(kExitNoKey, TextF(IDS_CMD_WHICH_KEY, static_cast<int>(inserted.size())));
    }
    if (found.empty())
        return Fail(kExitNoKey, TextF(IDS_CMD_KEY_UNKNOWN, name.c_str()));
    *target = core_.Target(found);
    if (target->empty())
        return Fail(kExitNoKey, TextF(IDS_CMD_INSERT_AGAIN, ConsoleCore::KeyNotFoundText().c_str()));
    return kExitDone;
}

int CmdSession::OpenKey(const KeyTarget &target, const std::string &pinFrom, bool unreadableOk, ReadResult *read,
                        std::string *message)
{
    const char *reader = target.reader.c_str();
    int state = key_.GetKeyInfo(reader, nullptr, nullptr, nullptr);
    if (state == csBlocked) {
        *message = Text(IDS_KSD_IN_PREFIX) + target.reader + Text(IDS_IS_BLOCKED_SUFFIX) + ". " +
                   Text(IDS_CMD_UNBLOCK_HINT);
        return kExitPin;
    }
    if (state != csReady && state != csNeedPIN) {
        char text[256] = "";
        LoadResString(StatusTextId(static_cast<KeyStatus>(state)), text, sizeof text);
        *message = TextF(IDS_CMD_KEY_NOT_USABLE, TextF(IDS_KSD_WORK_ERROR, reader, text).c_str());
        return state == csAbsent ? kExitNoKey : kExitFailed;
    }
    if (state == csNeedPIN) {
        if (pinFrom.empty() || pinFrom == "none") {
            *message = TextF(IDS_CMD_ASKS_PIN, reader,
                             (pinHint_.empty() ? Text(IDS_CMD_PIN_HINT_OPTION) : pinHint_).c_str());
            return kExitPin;
        }
        std::string pin;
        if (!GetSecret(pinFrom, false, TextF(IDS_CMD_WHAT_PIN, reader), &pin, message))
            return kExitUsage;
        CoreResult given = core_.GivePin(target, pin);
        WipeString(pin);
        if (!given.ok) {
            int code = CodeOf(given, target, kExitPin);
            *message = code == kExitNoKey ? given.message + "\n" + PulledHint(target)
                                          : TextF(IDS_CMD_PIN_LENGTH, given.message.c_str());
            return code;
        }
    }
    int triesLeft = 0;
    key_.TakePinRefusal(target.reader, &triesLeft);  // an older refusal is not this command's
    *read = core_.ReadNotesData(target, GetModuleHandleA(nullptr), nullptr);
    if (key_.TakePinRefusal(target.reader, &triesLeft)) {
        *message = (triesLeft > 0 ? TextF(IDS_BAD_PIN_ATTEMPTS_LEFT, triesLeft) : Text(IDS_BAD_PIN_KSD_BLOCKED)) + "\n" +
                   Text(triesLeft > 0 ? IDS_CMD_PIN_REFUSED_HINT : IDS_CMD_UNBLOCK_HINT);
        return kExitPin;
    }
    switch (read->outcome) {
    case ReadOutcome::kRead:
    case ReadOutcome::kEmpty:
        return kExitDone;
    case ReadOutcome::kUnreadable:
        if (unreadableOk)
            return kExitDone;
        *message = read->message + "\n" + Text(IDS_CMD_UNREADABLE_HINT);
        return kExitFailed;
    case ReadOutcome::kBlocked:
        *message = read->message + ". " + Text(IDS_CMD_UNBLOCK_HINT);
        return kExitPin;
    case ReadOutcome::kGone:
        *message = read->message + "\n" + PulledHint(target);
        return kExitNoKey;
    case ReadOutcome::kBioFailed:
        *message = read->message + "\n" + Text(IDS_CMD_BIO_HINT);
        return kExitFailed;
    case ReadOutcome::kFailed:
        break;
    }
    if (CodeOf(CoreResult::Failed(read->message), target, kExitFailed) == kExitNoKey) {
        *message = read->message + "\n" + PulledHint(target);
        return kExitNoKey;
    }
    *message = read->message + "\n" + Text(IDS_CMD_READ_HINT);
    return kExitFailed;
}

int CmdSession::Attach(const KeyTarget &target, const std::string &idFile, const std::string &ini,
                       const std::string &passwordFrom, bool restoreBackup, HeldNotesData *held, std::string *message)
{
    IdFileAttach attach(core_, target, idFile);
    CoreResult checked = attach.CheckIdFile();
    if (!checked.ok) {
        *message = TextF(IDS_CMD_ID_FILE_HINT, checked.message.c_str(), idFile.c_str());
        return kExitFailed;
    }
    SecretSource source;
    if (!SecretSource::Parse(passwordFrom, false, &source, message))
        return kExitUsage;
    std::string text;
    IdFileAttach::Start start = attach.StartNotes(ini, &text);
    if (start == IdFileAttach::Start::kFailed) {
        *message = text + "\n" + Text(IDS_CMD_INI_HINT);
        return kExitNotes;
    }
    if (start == IdFileAttach::Start::kAskRestore) {
        std::string answer;
        bool yes = restoreBackup ||
                   (io_.Ask(text + Text(IDS_CMD_YES_NO), false, &answer) && (answer == "y" || answer == "yes"));
        if (!yes) {
            *message = text + "\n" + Text(IDS_CMD_RESTORE_HINT);
            return kExitNotConfirmed;
        }
        CoreResult restored = attach.RestoreBackup();
        if (!restored.ok) {
            *message = restored.message + "\n" + Text(IDS_CMD_RESTORE_FAILED_HINT);
            return kExitNotes;
        }
    }
    // A password typed at the prompt may be typed again, as the window asks again; one from a
    // file or standard input would only be refused again.
    int tries = source.kind == SecretSource::Kind::kPrompt ? 3 : 1;
    bool accepted = false;
    for (int i = 0; i < tries && !accepted; ++i) {
        std::string password;
        if (!secrets_.Get(source, TextF(IDS_CMD_WHAT_PASSWORD, idFile.c_str()), &password, message))
            return kExitUsage;
        accepted = attach.TryPassword(password);
        WipeString(password);
        if (!accepted && i + 1 < tries)
            io_.Err(CmdErrorLine(Text(IDS_INVALID_PASSWORD)));
    }
    if (!accepted) {
        *message = TextF(IDS_CMD_PASSWORD_REFUSED, Text(IDS_INVALID_PASSWORD).c_str(), idFile.c_str());
        return kExitNotes;
    }
    CoreResult written = attach.Write(held);
    if (!written.ok) {
        int code = CodeOf(written, target, kExitFailed);
        *message = written.message + "\n" + (code == kExitNoKey ? PulledHint(target) : Text(IDS_CMD_CHECK_KEY));
        return code;
    }
    return kExitDone;
}
