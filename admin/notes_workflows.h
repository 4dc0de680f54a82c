// The console's Notes workflows without windows: attaching an ID file to a Key (its password
// checked by the Notes API before anything is written) and changing the Notes password of the ID
// file a Key holds. The form asks the user between the steps; every way out of a workflow ends
// the Notes runtime it started (NotesRuntime).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "admin_files.h"
#include "console_core.h"

// The Notes runtime of one workflow: NotesInitIni when started, NotesTerm when it ends, on every
// path (the destructor ends what is still running).
class NotesRuntime {
public:
    NotesRuntime() = default;
    ~NotesRuntime() { End(); }
    NotesRuntime(const NotesRuntime &) = delete;
    NotesRuntime &operator=(const NotesRuntime &) = delete;

    // Starts the runtime on `iniPath` (ending one this object runs first); the Notes status.
    unsigned short Start(const std::string &iniPath);
    void End();
    bool running() const { return running_; }

private:
    bool running_ = false;
};

// One attach of an ID file, step by step. Nothing is written to the Key before Write, and notes.ini
// is never changed but by RestoreBackup (which the user is asked for first): the password is
// checked with a switch that leaves notes.ini's KeyFileName alone.
class IdFileAttach {
public:
    IdFileAttach(ConsoleCore &core, const KeyTarget &target, const std::string &idFilePath);
    // The password is not left in memory.
    ~IdFileAttach();
    IdFileAttach(const IdFileAttach &) = delete;
    IdFileAttach &operator=(const IdFileAttach &) = delete;

    static constexpr int kUserNameSize = 256;  // what the switch may write of the user name (MAXUSERNAME)

    const std::string &idFilePath() const { return idFilePath_; }
    const std::string &idFileName() const { return idFileName_; }
    const std::string &userName() const { return userName_; }

    // The chosen ID file exists and its record would fit on a Key.
    CoreResult CheckIdFile();

    enum class Start {
        kReady,        // Notes runs on the INI file and knows its user: ask the password
        kAskRestore,   // the INI file names no user; a backup from an earlier attach could: ask
        kFailed,       // said in the text
    };
    // Makes the INI backup when there is none, starts Notes on the INI file and reads its user.
    // *text receives the failure's text, or the question to ask before RestoreBackup.
    Start StartNotes(const std::string &iniPath, std::string *text);
    // Copies the backup back over the INI file (after the user said yes) and starts Notes on it.
    CoreResult RestoreBackup();
    // Checks `password` against the ID file; false when the ID file does not open with it.
    bool TryPassword(const std::string &password);
    // Reads the ID file and writes its record to the target's Key; on success `held` holds what
    // the Key holds. Ends the Notes runtime.
    CoreResult Write(HeldNotesData *held);

private:
    ConsoleCore &core_;
    KeyTarget target_;
    std::string idFilePath_, idFileName_, iniPath_, userName_, password_;
    NotesRuntime runtime_;
};

// The text of the question asked before the backup of `iniPath` is copied back: it names both
// files and the backup's date. "" when the backup's date cannot be read.
std::string RestoreBackupQuestion(const std::string &iniPath);

// A new Notes password for the ID file on the Key: the ID file is copied to the temporary
// directory, re-encrypted there by the Notes API and written back to the Key in a new record; the
// copy is deleted on every way out.
class NotesPasswordChange {
public:
    NotesPasswordChange(ConsoleCore &core, const KeyTarget &target) : core_(core), target_(target) {}

    // Runs the change on `iniPath` with `newPassword` from the data the Key holds (`held`); on
    // success `held` holds the new password and ID file.
    CoreResult Run(const std::string &iniPath, const std::string &newPassword, HeldNotesData *held);

private:
    ConsoleCore &core_;
    KeyTarget target_;
    NotesRuntime runtime_;
};
