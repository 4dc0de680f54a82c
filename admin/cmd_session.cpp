// What the commands and the batch share: finding the Key a command names, giving its PIN and
// reading its Notes data, attaching an ID file, and saying a failure with what to do.
#include "arbolin_cmd.h"

#include <cctype>

#include "admin_ui.h"
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

int CmdSession::Fail(int code, const std::string &message)
{
    io_.Err("ArbolinCmd: " + message + "\n");
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
    return "The Key is no longer in " + target.reader +
           ": insert it again and run the command again. No other Key was touched.";
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
    if (!io_.Ask(question + " [y/N] ", false, &answer))
        return Fail(kExitNotConfirmed, "Nobody can be asked here: \"" + question + "\". Add " + flag +
                                           " to confirm it on the command line.");
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes")
        return kExitDone;
    return Fail(kExitNotConfirmed, "Not confirmed: nothing was changed. Add " + std::string(flag) +
                                       " to confirm it on the command line.");
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
            return Fail(kExitNoKey, "No Key is inserted. Insert the Key and run the command again.");
        else
            return Fail(kExitNoKey, std::to_string(inserted.size()) +
                                        " Keys are inserted. Name the one meant with --key <card id, label or "
                                        "reader> (ArbolinCmd list shows them).");
    }
    if (found.empty())
        return Fail(kExitNoKey, "No inserted Key has the card id, label or reader \"" + name +
                                    "\". Insert it, or see ArbolinCmd list for the Keys there are.");
    *target = core_.Target(found);
    if (target->empty())
        return Fail(kExitNoKey, ConsoleCore::KeyNotFoundText() + ". Insert the Key again and run the command again.");
    return kExitDone;
}

int CmdSession::OpenKey(const KeyTarget &target, const std::string &pinFrom, bool unreadableOk, ReadResult *read,
                        std::string *message)
{
    const char *reader = target.reader.c_str();
    int state = key_.GetKeyInfo(reader, nullptr, nullptr, nullptr);
    if (state == csBlocked) {
        *message = Text(IDS_KSD_IN_PREFIX) + target.reader + Text(IDS_IS_BLOCKED_SUFFIX) +
                   ". Unblock it with ArbolinCmd unblock --key <key> --pin prompt.";
        return kExitPin;
    }
    if (state != csReady && state != csNeedPIN) {
        char text[256] = "";
        LoadResString(StatusTextId(static_cast<KeyStatus>(state)), text, sizeof text);
        *message = TextF(IDS_KSD_WORK_ERROR, reader, text) +
                   ". Only a Key that is ready or asks for its PIN can be used; check the Key.";
        return state == csAbsent ? kExitNoKey : kExitFailed;
    }
    if (state == csNeedPIN) {
        if (pinFrom.empty() || pinFrom == "none") {
            *message = "The Key in " + target.reader + " asks for its PIN. " + pinHint_;
            return kExitPin;
        }
        std::string pin;
        if (!GetSecret(pinFrom, false, "the PIN of the Key in " + target.reader, &pin, message))
            return kExitUsage;
        CoreResult given = core_.GivePin(target, pin);
        WipeSecret(&pin);
        if (!given.ok) {
            int code = CodeOf(given, target, kExitPin);
            *message = given.message + (code == kExitNoKey ? "\n" + PulledHint(target)
                                                           : ". A PIN has 4 to 8 characters; check where it comes from.");
            return code;
        }
    }
    int triesLeft = 0;
    key_.TakePinRefusal(target.reader, &triesLeft);  // an older refusal is not this command's
    *read = core_.ReadNotesData(target, GetModuleHandleA(nullptr), nullptr);
    if (key_.TakePinRefusal(target.reader, &triesLeft)) {
        *message = (triesLeft > 0 ? TextF(IDS_BAD_PIN_ATTEMPTS_LEFT, triesLeft) : Text(IDS_BAD_PIN_KSD_BLOCKED)) +
                   (triesLeft > 0 ? "\nCheck the PIN given and run again; each refusal costs one attempt."
                                  : "\nUnblock it with ArbolinCmd unblock --key <key> --pin prompt.");
        return kExitPin;
    }
    switch (read->outcome) {
    case ReadOutcome::kRead:
    case ReadOutcome::kEmpty:
        return kExitDone;
    case ReadOutcome::kUnreadable:
        if (unreadableOk)
            return kExitDone;
        *message = read->message + "\nClear the Key (ArbolinCmd clear) or attach an ID file to overwrite it.";
        return kExitFailed;
    case ReadOutcome::kBlocked:
        *message = read->message + ". Unblock it with ArbolinCmd unblock --key <key> --pin prompt.";
        return kExitPin;
    case ReadOutcome::kGone:
        *message = read->message + "\n" + PulledHint(target);
        return kExitNoKey;
    case ReadOutcome::kBioFailed:
        *message = read->message + "\nThe Key holder must pass the biometric check; try again with them present.";
        return kExitFailed;
    case ReadOutcome::kFailed:
        break;
    }
    if (CodeOf(CoreResult::Failed(read->message), target, kExitFailed) == kExitNoKey) {
        *message = read->message + "\n" + PulledHint(target);
        return kExitNoKey;
    }
    *message = read->message + "\nCheck that the Key sits well in its reader and run again.";
    return kExitFailed;
}

int CmdSession::Attach(const KeyTarget &target, const std::string &idFile, const std::string &ini,
                       const std::string &passwordFrom, bool restoreBackup, HeldNotesData *held, std::string *message)
{
    IdFileAttach attach(core_, target, idFile);
    CoreResult checked = attach.CheckIdFile();
    if (!checked.ok) {
        *message = checked.message + ": " + idFile + ". Check the path of the ID file.";
        return kExitFailed;
    }
    SecretSource source;
    if (!SecretSource::Parse(passwordFrom, false, &source, message))
        return kExitUsage;
    std::string text;
    IdFileAttach::Start start = attach.StartNotes(ini, &text);
    if (start == IdFileAttach::Start::kFailed) {
        *message = text + "\nCheck that --ini names the notes.ini of this PC's Notes installation.";
        return kExitNotes;
    }
    if (start == IdFileAttach::Start::kAskRestore) {
        std::string answer;
        bool yes = restoreBackup || (io_.Ask(text + " [y/N] ", false, &answer) && (answer == "y" || answer == "yes"));
        if (!yes) {
            *message = text + "\nNothing was changed. Run again with --restore-ini-backup to copy the backup back.";
            return kExitNotConfirmed;
        }
        CoreResult restored = attach.RestoreBackup();
        if (!restored.ok) {
            *message = restored.message + "\nCheck notes.ini and its backup, then run again.";
            return kExitNotes;
        }
    }
    // A password typed at the prompt may be typed again, as the window asks again; one from a
    // file or standard input would only be refused again.
    int tries = source.kind == SecretSource::Kind::kPrompt ? 3 : 1;
    bool accepted = false;
    for (int i = 0; i < tries && !accepted; ++i) {
        std::string password;
        if (!secrets_.Get(source, "the Notes password of " + idFile, &password, message))
            return kExitUsage;
        accepted = attach.TryPassword(password);
        WipeSecret(&password);
        if (!accepted && i + 1 < tries)
            io_.Err("ArbolinCmd: " + Text(IDS_INVALID_PASSWORD) + "\n");
    }
    if (!accepted) {
        *message = Text(IDS_INVALID_PASSWORD) + " for " + idFile +
                   ". Nothing was written; check the password's source and run again.";
        return kExitNotes;
    }
    CoreResult written = attach.Write(held);
    if (!written.ok) {
        int code = CodeOf(written, target, kExitFailed);
        *message = written.message + "\n" + (code == kExitNoKey ? PulledHint(target) : "Check the Key and run again.");
        return code;
    }
    return kExitDone;
}
