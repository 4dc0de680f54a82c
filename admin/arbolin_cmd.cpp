// ArbolinCmd's arguments, its help, and the single-Key commands over the console's core.
#include "arbolin_cmd.h"

#include <cstdio>

#include "admin_files.h"
#include "admin_ui.h"
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
    return
        "ArbolinCmd: the Key Storage Device Manager on the command line.\n"
        "\n"
        "Usage: ArbolinCmd <command> [options]\n"
        "\n"
        "Commands (--key names a Key by its card id, its label or its reader; it may be left out\n"
        "when only one Key is inserted):\n"
        "  list [--json]                                  readers and Keys: reader, label, card id, state,\n"
        "                                                 tries left, user on the Key, free space\n"
        "  verify-pin --key K --pin SRC                   checks the PIN by reading the Key\n"
        "  attach --key K --id-file PATH --ini PATH --password SRC [--pin SRC] [--restore-ini-backup]\n"
        "                                                 writes the ID file and its Notes password onto the Key\n"
        "  show --key K [--pin SRC] [--password [--yes]]  the user and the ID file's name; the password only\n"
        "                                                 with --password, after a confirmation (--yes gives it)\n"
        "  detach --key K --to PATH [--pin SRC] [--overwrite]   saves the Key's ID file to PATH\n"
        "  change-password --key K --ini PATH (--new-password SRC | --generate) [--pin SRC]\n"
        "                                                 a new Notes password, typed or made by the Key\n"
        "  set-label --key K --label TEXT [--pin SRC]     the Key's label (at most 31 characters; \"\" removes it)\n"
        "  change-pin --key K --new-pin SRC [--pin SRC]   a new PIN (4 to 8 characters; none removes it)\n"
        "  unblock --key K --pin SRC                      unblocks a blocked Key with its right PIN\n"
        "  clear --key K [--pin SRC] [--yes]              deletes the Notes data from the Key\n"
        "  batch --csv FILE --ini PATH [--report FILE] [--secrets FILE] [--wait SECONDS] [--restore-ini-backup]\n"
        "                                                 provisions the Keys of a CSV file as they are inserted\n"
        "\n"
        "Secrets (SRC) never go on the command line. SRC is one of:\n"
        "  stdin          the next line of standard input\n"
        "  prompt         asked on the console, not shown as typed\n"
        "  file:PATH      the first line of a file only Administrators and SYSTEM may read\n"
        "  secret:NAME    the line NAME=value of the --secrets file (the same rule)\n"
        "  none           no PIN (--pin, --new-pin and the batch's pin column only)\n"
        "\n"
        "The batch file: a header line key,id_file,password,pin, then one row per Key. key is the Key's\n"
        "card id or label (each inserted Key is matched to its row by them, never by the order of\n"
        "insertion); password and pin are sources as above. One line is printed per Key, then a summary.\n"
        "The report (--report, default: the CSV's path followed by .report.csv) lists each row's outcome\n"
        "and holds no secret; the next run with the same report skips the rows done and retries the\n"
        "others. The run ends when every row has been tried, after --wait seconds without a new Key\n"
        "(default 600), or at Ctrl+C.\n"
        "\n"
        "Exit codes:\n"
        "  0  done; for the batch, every row is done\n"
        "  1  the command failed on the Key or a file; for the batch, some rows failed or their Keys were not "
        "inserted\n"
        "  2  bad arguments, or a batch, secrets or report file that cannot be used\n"
        "  3  the smart-key library Quorel32.dll could not be loaded\n"
        "  4  the Key is in no reader, was pulled during the command, or which Key is meant is unclear\n"
        "  5  the PIN was refused or is missing, or the Key is blocked\n"
        "  6  Notes could not be started on the notes.ini, or refused the ID file's password\n"
        "  7  not confirmed: answered no, or nobody to ask (add --yes or --overwrite)\n";
}

bool ParseCmdArgs(const std::vector<std::string> &args, CmdArgs *parsed, std::string *error)
{
    *parsed = CmdArgs();
    const char *kSeeHelp = " See ArbolinCmd --help.";
    if (args.empty()) {
        *error = std::string("No command given.") + kSeeHelp;
        return false;
    }
    parsed->command = args[0];
    const CommandSpec *spec = nullptr;
    for (const CommandSpec &c : kCommands)
        if (parsed->command == c.name)
            spec = &c;
    if (spec == nullptr) {
        *error = "Unknown command \"" + args[0] + "\"." + kSeeHelp;
        return false;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            *error = "Unexpected argument \"" + arg + "\" for " + parsed->command + "." + kSeeHelp;
            return false;
        }
        std::string name = arg.substr(2);
        if (InList(spec->flags, name)) {
            parsed->flags.insert(name);
        } else if (InList(spec->values, name)) {
            if (i + 1 >= args.size()) {
                *error = "--" + name + " needs a value." + kSeeHelp;
                return false;
            }
            parsed->values[name] = args[++i];
        } else {
            *error = "Unknown option --" + name + " for " + parsed->command + "." + kSeeHelp;
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
        io.Err("ArbolinCmd: " + error + "\n");
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
        io.Err("ArbolinCmd: " + LibraryFailureText(IDS_ERROR_LOADING_QUOREL, "Quorel32.dll", key.LoadError()) +
               "\nInstall the Key readers' software (it brings Quorel32.dll, of this program's bitness), or put "
               "Quorel32.dll beside ArbolinCmd.exe, and run again.\n");
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
    if (!json)
        text = Padded("READER", 20) + Padded("LABEL", 20) + Padded("CARD ID", 18) + Padded("STATE", 16) +
               Padded("TRIES", 6) + Padded("USER", 28) + "FREE\n";
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
                    Padded(!present ? "-" : !user.empty() ? user : state == csNeedPIN ? "(PIN needed)"
                                          : biometric ? "(biometric check)" : "-", 28) +
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
        return Fail(kExitUsage, "verify-pin needs --pin <source>. See ArbolinCmd --help.");
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
    io_.Out(asks ? "PIN accepted: the Key in " + target.reader + " is open.\n"
                 : "The Key in " + target.reader + " asks for no PIN now (it has none, or has been given it): it is open.\n");
    return kExitDone;
}

int CmdSession::AttachCommand(const CmdArgs &args)
{
    for (const char *needed : {"id-file", "ini", "password"})
        if (!args.HasValue(needed))
            return Fail(kExitUsage, std::string("attach needs --") + needed + ". See ArbolinCmd --help.");
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
    io_.Out("Attached " + held.idFileName + " (" + std::to_string(held.idFile.size()) + " bytes) for " + held.userName +
            " to the Key in " + target.reader + ".\n");
    return kExitDone;
}

int CmdSession::Show(const CmdArgs &args)
{
    if (args.Has("yes") && !args.Has("password"))
        return Fail(kExitUsage, "--yes confirms showing the password: give it with --password.");
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome == ReadOutcome::kEmpty) {
        io_.Out("Reader:   " + target.reader + "\nUser:     " + Text(IDS_NONE) + "\n");
        return kExitDone;
    }
    io_.Out("Reader:   " + target.reader + "\nUser:     " + read.data.userName + "\nID file:  " + read.data.idFileName +
            " (" + std::to_string(read.data.idFile.size()) + " bytes)\n");
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
        return Fail(kExitUsage, "detach needs --to <path>. See ArbolinCmd --help.");
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome != ReadOutcome::kRead)
        return Fail(kExitFailed, "The Key in " + target.reader + " holds no ID file: nothing to detach. Attach one first.");
    std::string path = args.Value("to");
    if (FileExists(path)) {
        code = Confirm(TextF(IDS_FILE_EXISTS_OVERWRITE, path.c_str()), args.Has("overwrite"), "--overwrite");
        if (code != kExitDone)
            return code;
    }
    CoreResult saved = ConsoleCore::SaveIdFile(read.data, path);
    if (!saved.ok)
        return Fail(kExitFailed, saved.message + ": " + path + ". Check the folder exists and may be written to.");
    io_.Out("Saved " + read.data.idFileName + " (" + std::to_string(read.data.idFile.size()) + " bytes) to " + path + ".\n");
    return kExitDone;
}

int CmdSession::ChangePassword(const CmdArgs &args)
{
    if (!args.HasValue("ini"))
        return Fail(kExitUsage, "change-password needs --ini <notes.ini>. See ArbolinCmd --help.");
    if (args.HasValue("new-password") == args.Has("generate"))
        return Fail(kExitUsage, "change-password needs either --new-password <source> or --generate.");
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, false, &target, &read);
    if (code != kExitDone)
        return code;
    if (read.outcome != ReadOutcome::kRead)
        return Fail(kExitFailed, "The Key in " + target.reader + " holds no ID file. Attach one first.");
    std::string password, confirmation, message;
    if (args.Has("generate")) {
        CoreResult generated = core_.GeneratePassword(target, &password);
        if (!generated.ok)
            return FailOn(generated, target, kExitFailed, "Check the Key and run again.");
    } else {
        std::string from = args.Value("new-password");
        if (!GetSecret(from, false, "the new Notes password", &password, &message))
            return Fail(kExitUsage, message);
        // Typed at the prompt, it is typed twice, as in the window; a file or a pipe is its own check.
        confirmation = password;
        if (from == "prompt" && !GetSecret(from, false, "the new Notes password again", &confirmation, &message)) {
            WipeSecret(&password);
            return Fail(kExitUsage, message);
        }
        UINT refusal = NewNotesPasswordRefusal(password, confirmation, read.data.password);
        WipeSecret(&confirmation);
        if (refusal != 0) {
            WipeSecret(&password);
            return Fail(kExitUsage, Text(refusal) + " Give another new password.");
        }
    }
    NotesPasswordChange change(core_, target);
    CoreResult changed = change.Run(args.Value("ini"), password, &read.data);
    WipeSecret(&password);
    if (!changed.ok) {
        bool notes = changed.message.compare(0, Text(IDS_NOTES_INIT_ERROR).size(), Text(IDS_NOTES_INIT_ERROR)) == 0;
        std::string hint = "The Key keeps its old password. Check notes.ini and the Key, then run again.";
        return notes ? Fail(kExitNotes, changed.message + "\n" + hint) : FailOn(changed, target, kExitFailed, hint);
    }
    io_.Out(std::string("The Notes password of ") + read.data.idFileName + " on the Key in " + target.reader +
            " is changed" + (args.Has("generate") ? " to one the Key made (not shown)" : "") + ".\n");
    return kExitDone;
}

int CmdSession::SetLabel(const CmdArgs &args)
{
    if (!args.HasValue("label"))
        return Fail(kExitUsage, "set-label needs --label <text> (\"\" removes the label).");
    if (args.Value("label").size() > kLabelMax)
        return Fail(kExitUsage, "A label has at most 31 characters. Give a shorter one.");
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    std::string shown;
    CoreResult changed = core_.ChangeLabel(&target, args.Value("label"), &shown);
    if (!changed.ok)
        return FailOn(changed, target, kExitFailed, "Check the Key and run again.");
    io_.Out("The Key in " + target.reader + " is now listed as " + shown + ".\n");
    return kExitDone;
}

int CmdSession::ChangePin(const CmdArgs &args)
{
    if (!args.HasValue("new-pin"))
        return Fail(kExitUsage, "change-pin needs --new-pin <source> (none removes the PIN).");
    KeyTarget target;
    ReadResult read;
    int code = OpenForCommand(args, true, &target, &read);
    if (code != kExitDone)
        return code;
    std::string from = args.Value("new-pin"), pin, confirmation, message;
    if (!GetSecret(from, true, "the new PIN", &pin, &message))
        return Fail(kExitUsage, message);
    if (from == "prompt" && !pin.empty()) {
        if (!GetSecret(from, false, "the new PIN again", &confirmation, &message)) {
            WipeSecret(&pin);
            return Fail(kExitUsage, message);
        }
        bool same = confirmation == pin;
        WipeSecret(&confirmation);
        if (!same) {
            WipeSecret(&pin);
            return Fail(kExitPin, Text(IDS_PIN_CONFIRM_MISMATCH) + ". Nothing was changed; run again.");
        }
    }
    CoreResult changed = core_.ChangePin(target, pin);
    WipeSecret(&pin);
    if (!changed.ok)
        return FailOn(changed, target, kExitPin, "A PIN has 4 to 8 characters (none removes it); check the Key and run again.");
    io_.Out(Text(IDS_PIN_CHANGED) + "\n");
    return kExitDone;
}

int CmdSession::Unblock(const CmdArgs &args)
{
    if (!args.HasValue("pin"))
        return Fail(kExitUsage, "unblock needs --pin <source> for the Key's right PIN.");
    KeyTarget target;
    int code = FindKey(args.Value("key"), &target);
    if (code != kExitDone)
        return code;
    if (key_.GetKeyInfo(target.reader.c_str(), nullptr, nullptr, nullptr) != csBlocked)
        return Fail(kExitFailed, "The Key in " + target.reader + " is not blocked: nothing to unblock.");
    std::string pin, message;
    if (!GetSecret(args.Value("pin"), false, "the right PIN of the Key in " + target.reader, &pin, &message))
        return Fail(kExitUsage, message);
    CoreResult unblocked = core_.Unblock(target, pin);
    WipeSecret(&pin);
    if (!unblocked.ok)
        return FailOn(unblocked, target, kExitPin, "Check the PIN and run again.");
    io_.Out("The Key in " + target.reader + " is unblocked.\n");
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
        return FailOn(cleared, target, kExitFailed, "Check the Key and run again.");
    io_.Out("The Notes data of the Key in " + target.reader + " is deleted.\n");
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ClearKSDBtClick");
    return kExitDone;
}
