// ArbolinCmd's arguments, its help, and the single-Key commands over the console's core.
#include "arbolin_cmd.h"

#include <cstdio>

#include "admin_files.h"
#include "admin_ui.h"
#include "arbolin_cmd_texts.h"
#include "key_messages.h"
#include "library_bitness.h"
#include "log.h"
#include "notes_workflows.h"
#include "text_ids.h"

volatile LONG g_cmdStopRequested = 0;

namespace {

constexpr DWORD kStartWait = 15000;  // the Key layer's initialisation, as the window waits

struct CommandSpec {
    const char *name;
    const char *values;  // options that take a value, space-separated
    const char *flags;   // options without one
};

const CommandSpec kCommands[] = {
    {"list", "", "json"},
    {"verify-pin", "key pin secrets", ""},
    {"attach", "key pin secrets id-file ini password", "restore-ini-backup"},
    {"show", "key pin secrets", "password yes"},
    {"detach", "key pin secrets to", "overwrite"},
    {"change-password", "key pin secrets ini new-password", "generate"},
    {"set-label", "key pin secrets label", ""},
    {"change-pin", "key pin secrets new-pin", ""},
    {"unblock", "key pin secrets", ""},
    {"clear", "key pin secrets", "yes"},
    {"batch", "csv ini report secrets wait", "restore-ini-backup"},
};

bool InList(const char *list, const std::string &word)
{
    std::string padded = std::string(" ") + list + " ";
    return padded.find(" " + word + " ") != std::string::npos;
}

const char *StateName(int state)
{
    switch (state) {
    case csAbsent: return "absent";
    case csReady: return "ready";
    case csBlocked: return "blocked";
    case csFinallyBlocked: return "finally-blocked";
    case csError: return "error";
    case csNeedPIN: return "need-pin";
    case csNotFormatted: return "not-formatted";
    case csBioFailed: return "bio-failed";
    }
    return "unknown";
}

// A JSON string of `text` (8-bit text of the system's code page): characters beyond ASCII and
// controls as \u escapes, so that the output is valid JSON whatever the code page.
std::string Json(const std::string &text)
{
    std::wstring wide;
    if (!text.empty()) {
        int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        wide.resize(n > 0 ? n : 0);
        if (n > 0)
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    }
    std::string out = "\"";
    for (wchar_t c : wide) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Padded(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::string CmdUsage()
{
    std::string usage;
    for (UINT id : {IDS_CMD_USAGE_COMMANDS, IDS_CMD_USAGE_MORE_COMMANDS, IDS_CMD_USAGE_LAST_COMMANDS,
                    IDS_CMD_USAGE_SECRETS, IDS_CMD_USAGE_BATCH, IDS_CMD_USAGE_EXIT_CODES})
        usage += Text(id);
    return usage;
}

bool ParseCmdArgs(const std::vector<std::string> &args, CmdArgs *parsed, std::string *error)
{
    *parsed = CmdArgs();
    if (args.empty()) {
        *error = Text(IDS_CMD_NO_COMMAND);
        return false;
    }
    parsed->command = args[0];
    const CommandSpec *spec = nullptr;
    for (const CommandSpec &c : kCommands)
        if (parsed->command == c.name)
            spec = &c;
    if (spec == nullptr) {
        *error = TextF(IDS_CMD_UNKNOWN_COMMAND, args[0].c_str());
        return false;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            *error = TextF(IDS_CMD_UNEXPECTED_ARGUMENT, arg.c_str(), parsed->command.c_str());
            return false;
        }
        std::string name = arg.substr(2);
        if (InList(spec->flags, name)) {
            parsed->flags.insert(name);
        } else if (InList(spec->values, name)) {
            if (i + 1 >= args.size()) {
                *error = TextF(IDS_CMD_NEEDS_VALUE, name.c_str());
                return false;
            }
            parsed->values[name] = args[++i];
        } else {
            *error = TextF(IDS_CMD_UNKNOWN_OPTION, name.c_str(), parsed->command.c_str());
            return false;
        }
    }
    return true;
}

int RunArbolinCmd(const std::vector<std::string> &args, CmdIo &io)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?" || args[0] == "help")) {
        io.Out(CmdUsage());
        return kExitDone;
    }
    CmdArgs parsed;
    std::string error;
    if (!ParseCmdArgs(args, &parsed, &error)) {
        io.Err(CmdErrorLine(error));
        return kExitUsage;
    }
    LogMessage(kLogStep, kAdminLog, "ArbolinCmd: %s", parsed.command.c_str());
    // As the window does: while the command runs, a Notes client started on this PC leaves the
    // Keys alone.
    struct Marker {
        HANDLE handle = CreateConsoleMarker();
        ~Marker()
        {
            if (handle != nullptr)
                CloseHandle(handle);
        }
    } marker;
    CSmartKeyCmd key;
    if (!key.Start(kStartWait)) {
        // The window's words, with the file's bitness when it is the other program's.
        std::string failure = LibraryFailureText(IDS_ERROR_LOADING_QUOREL, "Quorel32.dll", key.LoadError()) + "\n" +
                              Text(IDS_CMD_INSTALL_KEY_LIBRARY);
        io.Err(CmdErrorLine(failure));
        return kExitNoKeyLibrary;
    }
    CmdSession session(io, key);
    return session.Run(parsed);
}

int CmdSession::Run(const CmdArgs &args)
{
    if (args.HasValue("secrets")) {
        std::string error;
        if (!secrets_.LoadFile(args.Value("secrets"), &error))
            return Fail(kExitUsage, error);
    }
    const std::string &c = args.command;
    if (c == "list") return List(args);
    if (c == "verify-pin") return VerifyPin(args);
    if (c == "attach") return AttachCommand(args);
    if (c == "show") return Show(args);
    if (c == "detach") return Detach(args);
    if (c == "change-password") return ChangePassword(args);
    if (c == "set-label") return SetLabel(args);
    if (c == "change-pin") return ChangePin(args);
    if (c == "unblock") return Unblock(args);
    if (c == "clear") return Clear(args);
    return Batch(args);
}

int CmdSession::OpenForCommand(const CmdArgs &args, bool unreadableOk, KeyTarget *target, ReadResult *read)
{
    int code = FindKey(args.Value("key"), target);
    if (code != kExitDone)
        return code;
    std::string message;
    code = OpenKey(*target, args.Value("pin"), unreadableOk, read, &message);
    return code == kExitDone ? code : Fail(code, message);
}

// ---- The commands -------------------------------------------------------------------------------

int CmdSession::List(const CmdArgs &args)
{
    bool json = args.Has("json");
    std::string text = json ? "[" : "";
    if (!json) {
        static const std::size_t kWidths[] = {20, 20, 18, 16, 6, 28, 0};
        std::string heads = Text(IDS_CMD_LIST_COLUMNS) + "|";
        std::size_t column = 0;
        for (std::size_t at = 0, bar; (bar = heads.find('|', at)) != std::string::npos && column < 7; at = bar + 1)
            text += kWidths[column] != 0 ? Padded(heads.substr(at, bar - at), kWidths[column++])
                                         : heads.substr(at, bar - at) + "\n";
    }
    bool first = true;
    for (const std::string &reader : key_.ReaderNames()) {
        std::optional<ReaderRecord> r = key_.FindReader(reader.c_str());
        char label[36] = "";
        DWORD allocated = 0, freeSpace = 0;
        int state = key_.GetKeyInfo(reader.c_str(), &allocated, &freeSpace, label);
        bool present = r && state != csAbsent;
        std::string cardId = present ? CardIdText(r->card_id) : "";
        // The user is read only where no PIN is needed and no biometric check would be asked:
        // listing never spends a PIN attempt and shows no window.
        bool biometric = present && r->bio_free < r->bio_allocated;  // its biometric area holds a record
        std::string user;
        if (present && state == csReady && !biometric) {
            ReadResult read = core_.ReadNotesData(core_.Target(reader), GetModuleHandleA(nullptr), nullptr);
            user = read.outcome == ReadOutcome::kRead ? read.data.userName : "";
        }
        long tries = present ? static_cast<long>(r->tries) : 0;
        unsigned long room = present ? static_cast<unsigned long>(allocated) + freeSpace : 0;
        if (json) {
            text += std::string(first ? "" : ",") + "\n  {\"reader\": " + Json(reader) +
                    ", \"present\": " + (present ? "true" : "false");
            if (present)
                text += ", \"label\": " + Json(label) + ", \"cardId\": " + Json(cardId) + ", \"state\": " +
                        Json(StateName(state)) + ", \"triesLeft\": " + std::to_string(tries) + ", \"user\": " +
                        (user.empty() ? std::string("null") : Json(user)) + ", \"biometric\": " +
                        (biometric ? "true" : "false") + ", \"freeBytes\": " + std::to_string(room);
            text += "}";
        } else {
            text += Padded(reader, 20) + Padded(present ? label : "", 20) + Padded(present ? cardId : "-", 18) +
                    Padded(StateName(state), 16) + Padded(present ? std::to_string(tries) : "-", 6) +
                    Padded(!present ? "-" : !user.empty() ? user : state == csNeedPIN ? Text(IDS_CMD_PIN_NEEDED)
                                          : biometric ? Text(IDS_CMD_BIOMETRIC_CHECK) : "-", 28) +
                    (present ? std::to_string(room) : "-") + "\n";
        }
        first = false;
    }
    if (json)
        text += first ? "]\n" : "\n]\n";
    io_.Out(text);
    return kExitDone;
}

int CmdSession::VerifyPin(const CmdArgs &args)
{
    if (!args.HasValue("pin"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "verify-pin", "--pin <source>"));
    KeyTarget target;
    int code = FindKey(args.Value("key"), &target);
    if (code != kExitDone)
        return code;
    bool asks = key_.GetKeyInfo(target.reader.c_str(), nullptr, nullptr, nullptr) == csNeedPIN;
    ReadResult read;
    std::string message;
    code = OpenKey(target, args.Value("pin"), true, &read, &message);
    if (code != kExitDone)
        return Fail(code, message);
    io_.Out(TextF(asks ? IDS_CMD_PIN_ACCEPTED : IDS_CMD_NO_PIN_ASKED, target.reader.c_str()));
    return kExitDone;
}

int CmdSession::AttachCommand(const CmdArgs &args)
{
    for (const char *needed : {"id-file", "ini", "password"})
        if (!args.HasValue(needed))
            return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "attach", (std::string("--") + needed).c_str()));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    HeldNotesData held;
    std::string message;
    code = Attach(target, args.Value("id-file"), args.Value("ini"), args.Value("password"),
                  args.Has("restore-ini-backup"), &held, &message);
    if (code != kExitDone)
        return Fail(code, message);
    io_.Out(TextF(IDS_CMD_ATTACHED, held.idFileName.c_str(), static_cast<unsigned long>(held.idFile.size()),
                  held.userName.c_str(), target.reader.c_str()));
    return kExitDone;
}

int CmdSession::Show(const CmdArgs &args)
{
    if (args.Has("yes") && !args.Has("password"))
        return Fail(kExitUsage, Text(IDS_CMD_YES_WITHOUT_PASSWORD));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome == ReadOutcome::kEmpty) {
        io_.Out(TextF(IDS_CMD_SHOW_EMPTY, target.reader.c_str(), Text(IDS_NONE).c_str()));
        return kExitDone;
    }
    io_.Out(TextF(IDS_CMD_SHOW, target.reader.c_str(), read.data.userName.c_str(), read.data.idFileName.c_str(),
                  static_cast<unsigned long>(read.data.idFile.size())));
    if (!args.Has("password"))
        return kExitDone;
    code = Confirm(Text(IDS_PASSWORD_SHOWN_WARNING) + Text(IDS_ARE_YOU_SURE), args.Has("yes"), "--yes");
    if (code != kExitDone)
        return code;
    io_.Out(TextF(IDS_CURRENT_NOTES_PASSWORD, read.data.password.c_str()));
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ShowBtClick");
    return kExitDone;
}

int CmdSession::Detach(const CmdArgs &args)
{
    if (!args.HasValue("to"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "detach", "--to <path>"));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome != ReadOutcome::kRead)
        return Fail(kExitFailed, TextF(IDS_CMD_NOTHING_TO_DETACH, target.reader.c_str()));
    std::string path = args.Value("to");
    if (FileExists(path)) {
        code = Confirm(TextF(IDS_FILE_EXISTS_OVERWRITE, path.c_str()), args.Has("overwrite"), "--overwrite");
        if (code != kExitDone)
            return code;
    }
    CoreResult saved = ConsoleCore::SaveIdFile(read.data, path);
    if (!saved.ok)
        return Fail(kExitFailed, TextF(IDS_CMD_DETACH_FAILED, saved.message.c_str(), path.c_str()));
    io_.Out(TextF(IDS_CMD_SAVED, read.data.idFileName.c_str(), static_cast<unsigned long>(read.data.idFile.size()),
                  path.c_str()));
    return kExitDone;
}

int CmdSession::ChangePassword(const CmdArgs &args)
{
    if (!args.HasValue("ini"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "change-password", "--ini <notes.ini>"));
    if (args.HasValue("new-password") == args.Has("generate"))
        return Fail(kExitUsage, Text(IDS_CMD_PASSWORD_EITHER));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome != ReadOutcome::kRead)
        return Fail(kExitFailed, TextF(IDS_CMD_NO_ID_FILE, target.reader.c_str()));
    std::string password, confirmation, message;
    if (args.Has("generate")) {
        CoreResult generated = core_.GeneratePassword(target, &password);
        if (!generated.ok)
            return FailOn(generated, target, kExitFailed, Text(IDS_CMD_CHECK_KEY));
    } else {
        std::string from = args.Value("new-password");
        if (!GetSecret(from, false, Text(IDS_CMD_WHAT_NEW_PASSWORD), &password, &message))
            return Fail(kExitUsage, message);
        // Typed at the prompt, it is typed twice, as in the window; a file or a pipe is its own check.
        confirmation = password;
        if (from == "prompt" && !GetSecret(from, false, Text(IDS_CMD_WHAT_NEW_PASSWORD_AGAIN), &confirmation, &message)) {
            WipeString(password);
            return Fail(kExitUsage, message);
        }
        UINT refusal = NewNotesPasswordRefusal(password, confirmation, read.data.password);
        WipeString(confirmation);
        if (refusal != 0) {
            WipeString(password);
            return Fail(kExitUsage, TextF(IDS_CMD_GIVE_ANOTHER_PASSWORD, Text(refusal).c_str()));
        }
    }
    NotesPasswordChange change(core_, target);
    CoreResult changed = change.Run(args.Value("ini"), password, &read.data);
    WipeString(password);
    if (!changed.ok) {
        bool notes = changed.message.compare(0, Text(IDS_NOTES_INIT_ERROR).size(), Text(IDS_NOTES_INIT_ERROR)) == 0;
        std::string hint = Text(IDS_CMD_PASSWORD_KEPT);
        return notes ? Fail(kExitNotes, changed.message + "\n" + hint) : FailOn(changed, target, kExitFailed, hint);
    }
    io_.Out(TextF(args.Has("generate") ? IDS_CMD_PASSWORD_GENERATED : IDS_CMD_PASSWORD_CHANGED,
                  read.data.idFileName.c_str(), target.reader.c_str()));
    return kExitDone;
}

int CmdSession::SetLabel(const CmdArgs &args)
{
    if (!args.HasValue("label"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "set-label", "--label <text> (\"\" removes the label)"));
    if (args.Value("label").size() > kLabelMax)
        return Fail(kExitUsage, Text(IDS_CMD_LABEL_TOO_LONG));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    std::string shown;
    CoreResult changed = core_.ChangeLabel(&target, args.Value("label"), &shown);
    if (!changed.ok)
        return FailOn(changed, target, kExitFailed, Text(IDS_CMD_CHECK_KEY));
    io_.Out(TextF(IDS_CMD_LABEL_SET, target.reader.c_str(), shown.c_str()));
    return kExitDone;
}

int CmdSession::ChangePin(const CmdArgs &args)
{
    if (!args.HasValue("new-pin"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "change-pin", "--new-pin <source> (none removes the PIN)"));
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    std::string from = args.Value("new-pin"), pin, confirmation, message;
    if (!GetSecret(from, true, Text(IDS_CMD_WHAT_NEW_PIN), &pin, &message))
        return Fail(kExitUsage, message);
    if (from == "prompt" && !pin.empty()) {
        if (!GetSecret(from, false, Text(IDS_CMD_WHAT_NEW_PIN_AGAIN), &confirmation, &message)) {
            WipeString(pin);
            return Fail(kExitUsage, message);
        }
        bool same = confirmation == pin;
        WipeString(confirmation);
        if (!same) {
            WipeString(pin);
            return Fail(kExitPin, TextF(IDS_CMD_PIN_MISMATCH, Text(IDS_PIN_CONFIRM_MISMATCH).c_str()));
        }
    }
    CoreResult changed = core_.ChangePin(target, pin);
    WipeString(pin);
    if (!changed.ok)
        return FailOn(changed, target, kExitPin, Text(IDS_CMD_PIN_RULE_HINT));
    io_.Out(Text(IDS_PIN_CHANGED) + "\n");
    return kExitDone;
}

int CmdSession::Unblock(const CmdArgs &args)
{
    if (!args.HasValue("pin"))
        return Fail(kExitUsage, TextF(IDS_CMD_NEEDS_OPTION, "unblock", "--pin <source> for the Key's right PIN"));
    KeyTarget target;
    int code = FindKey(args.Value("key"), &target);
    if (code != kExitDone)
        return code;
    if (key_.GetKeyInfo(target.reader.c_str(), nullptr, nullptr, nullptr) != csBlocked)
        return Fail(kExitFailed, TextF(IDS_CMD_NOT_BLOCKED, target.reader.c_str()));
    std::string pin, message;
    if (!GetSecret(args.Value("pin"), false, TextF(IDS_CMD_WHAT_RIGHT_PIN, target.reader.c_str()), &pin, &message))
        return Fail(kExitUsage, message);
    CoreResult unblocked = core_.Unblock(target, pin);
    WipeString(pin);
    if (!unblocked.ok)
        return FailOn(unblocked, target, kExitPin, Text(IDS_CMD_CHECK_PIN));
    io_.Out(TextF(IDS_CMD_UNBLOCKED, target.reader.c_str()));
    return kExitDone;
}

int CmdSession::Clear(const CmdArgs &args)
{
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    code = Confirm(Text(IDS_CLEAR_NOTES_INFO) + ": " + Text(IDS_ARE_YOU_SURE), args.Has("yes"), "--yes");
    if (code != kExitDone)
        return code;
    CoreResult cleared = core_.ClearNotesData(target);
    if (!cleared.ok)
        return FailOn(cleared, target, kExitFailed, Text(IDS_CMD_CHECK_KEY));
    io_.Out(TextF(IDS_CMD_CLEARED, target.reader.c_str()));
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ClearKSDBtClick");
    return kExitDone;
}
