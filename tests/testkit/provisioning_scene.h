// The scene of a provisioning test: the Key stand-in and this process's Notes stand-in emptied, a
// folder with a notes.ini (naming an administrator's ID), users' ID files, Keys made and inserted
// on demand, and the admin-only secrets file the command line reads.
#pragma once

#include <map>
#include <string>

#include "testkit.h"
#include "virtual_keys.h"

namespace testkit {

class ProvisioningScene {
public:
    ProvisioningScene();   // also resets the Notes stand-in
    ~ProvisioningScene();  // and again

    bool ok() const { return ok_; }
    const std::string &ini() const { return ini_; }
    std::string file(const std::string &name) const { return files_.file(name); }
    const TempDir &folder() const { return files_; }

    // Writes an ID file `name` into the folder for `user`, opening with `password`; its path ("" on failure).
    std::string IdFile(const std::string &name, const std::string &user, const std::string &password);
    // A new Key, not inserted; its number (0 on failure).
    int NewKey(const char *label, const char *pin);
    // Inserts Key `key` into `reader`, making the reader when it is missing.
    bool Insert(int key, const char *reader);
    // Puts a record of `user` on `key` with the ID file `name` (written by IdFile) and its password.
    bool PutRecord(int key, const std::string &user, const std::string &password, const std::string &name);
    // The admin-only secrets file `name` of "<entry>=<value>" lines; its path ("" on failure).
    std::string SecretsFile(const std::string &name, const std::map<std::string, std::string> &entries);
    // The folder's notes.ini as it is now.
    std::string IniText() const { return ReadFileBytes(ini_); }

    // Whether this process's Notes stand-in has a runtime started (NotesInitIni without NotesTerm).
    static bool NotesRuntimeRunning();

private:
    VirtualKeys keys_;
    TempDir files_;
    std::string ini_;
    bool ok_ = false;
};

}  // namespace testkit
