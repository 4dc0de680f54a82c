// ArbolinCmd.exe, the admin console's command line: the same Key and Notes workflows as the
// window (console_core.h, notes_workflows.h), driven by arguments, standard input and a batch
// file instead of buttons and dialogs. Secrets never come from the command line (cmd_secrets.h).
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "cmd_io.h"
#include "cmd_key.h"
#include "cmd_secrets.h"
#include "console_core.h"

// The program's exit codes (also in --help and the administrator's guide).
enum CmdExit {
    kExitDone = 0,          // the command did its work; the batch: every row is done
    kExitFailed = 1,        // the command failed on the Key or a file; the batch: some rows failed
    kExitUsage = 2,         // bad arguments, or a batch, secrets or report file that cannot be used
    kExitNoKeyLibrary = 3,  // the smart-key library (Quorel32.dll) could not be loaded
    kExitNoKey = 4,         // the Key named is in no reader (or was pulled), or which Key is meant is unclear
    kExitPin = 5,           // the PIN was refused or is missing, or the Key is blocked
    kExitNotes = 6,         // Notes could not be started on the notes.ini, or refused the ID file's password
    kExitNotConfirmed = 7,  // a question was answered no, or could not be asked (add --yes / --overwrite)
};

// The text of --help.
std::string CmdUsage();

// The arguments after the command: "--name value" options and "--flag" flags.
struct CmdArgs {
    std::string command;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool Has(const std::string &flag) const { return flags.count(flag) != 0; }
    std::string Value(const std::string &name) const
    {
        auto found = values.find(name);
        return found == values.end() ? std::string() : found->second;
    }
    bool HasValue(const std::string &name) const { return values.count(name) != 0; }
};

// Splits `args` (without the program name) by the options `command` takes; false with *error
// naming the wrong argument and where the usage is.
bool ParseCmdArgs(const std::vector<std::string> &args, CmdArgs *parsed, std::string *error);

// One run of the program: the Key layer, the core over it, the secrets, the console.
class CmdSession {
public:
    CmdSession(CmdIo &io, CSmartKeyCmd &key) : io_(io), key_(key), core_(key), secrets_(io) {}

    // Runs the parsed command; the exit code.
    int Run(const CmdArgs &args);

    // ---- Shared by the commands and the batch ----

    // The Key a command names: its card id, label or reader; the only Key inserted when `name`
    // is empty. kExitDone, or the exit code after the error was said.
    int FindKey(const std::string &name, KeyTarget *target);
    // Gives the Key its PIN (from `pinFrom` when it asks for one) and reads its Notes data, as
    // the window does when a Key is selected and its PIN verified. kExitDone with *read filled,
    // else the exit code and *message (what went wrong and what to do).
    int OpenKey(const KeyTarget &target, const std::string &pinFrom, bool unreadableOk, ReadResult *read,
                std::string *message);
    // Attaches `idFile` (its password from `passwordFrom`) to the opened Key, Notes started on
    // `ini`. kExitDone with *held what the Key holds now, else the exit code and *message.
    int Attach(const KeyTarget &target, const std::string &idFile, const std::string &ini,
               const std::string &passwordFrom, bool restoreBackup, HeldNotesData *held, std::string *message);

    // A failure said on standard error with what to do; answers `code`.
    int Fail(int code, const std::string &message);
    // The exit code of a core failure on the target's Key: kExitNoKey when the Key is gone (pulled
    // before or during the command; the monitor is let through one pass to see it), else
    // `otherwise`.
    int CodeOf(const CoreResult &result, const KeyTarget &target, int otherwise);
    // The failure said with what to do: the Key's reader named when it is gone, else `hint`.
    int FailOn(const CoreResult &result, const KeyTarget &target, int otherwise, const std::string &hint);
    static std::string PulledHint(const KeyTarget &target);

    CmdIo &io() { return io_; }
    CSmartKeyCmd &key() { return key_; }
    ConsoleCore &core() { return core_; }
    SecretStore &secrets() { return secrets_; }

private:
    int List(const CmdArgs &args);
    int VerifyPin(const CmdArgs &args);
    int AttachCommand(const CmdArgs &args);
    int Show(const CmdArgs &args);
    int Detach(const CmdArgs &args);
    int ChangePassword(const CmdArgs &args);
    int SetLabel(const CmdArgs &args);
    int ChangePin(const CmdArgs &args);
    int Unblock(const CmdArgs &args);
    int Clear(const CmdArgs &args);
    int Batch(const CmdArgs &args);

    // Opens the Key of --key with --pin for a command; kExitDone or the code (said already).
    int OpenForCommand(const CmdArgs &args, bool unreadableOk, KeyTarget *target, ReadResult *read);
    // Asks `question` unless `confirmed`; kExitDone when the answer is yes.
    int Confirm(const std::string &question, bool confirmed, const char *flag);
    bool GetSecret(const std::string &from, bool noneAllowed, const std::string &what, std::string *secret,
                   std::string *message);

    CmdIo &io_;
    CSmartKeyCmd &key_;
    ConsoleCore core_;
    SecretStore secrets_;
    // Where a PIN that a Key asks for is to be given: the batch's column, or ("") the option.
    std::string pinHint_;
};

// `message` as a line of standard error ("ArbolinCmd: <message>"), however long it is.
std::string CmdErrorLine(const std::string &message);

// The whole program for `args` (without the program name): --help, the Key layer's start, the
// command. The exit code.
int RunArbolinCmd(const std::vector<std::string> &args, CmdIo &io);

// Set by Ctrl+C or Ctrl+Break: the batch ends after the Key it is working on.
extern volatile LONG g_cmdStopRequested;
