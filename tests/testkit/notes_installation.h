// A stand-in Notes installation for installer tests: a program folder of its own with a notes.ini
// of the test's choosing, optionally recorded in the registry as the Notes client records its
// program folder (HKLM\SOFTWARE\Lotus\Notes, "Path", in the 32-bit view), and msiexec run on a
// package against it. Whatever the registry held before is put back at the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testkit.h"

namespace testkit {

class NotesInstallation {
public:
    // `notesIni`: the bytes of notes.ini; `recorded`: whether the registry names the folder.
    NotesInstallation(const std::string &notesIni, bool recorded);
    ~NotesInstallation();
    NotesInstallation(const NotesInstallation &) = delete;
    NotesInstallation &operator=(const NotesInstallation &) = delete;

    // The program folder with a trailing backslash, and a file in it.
    std::string Folder() const { return dir_.path() + "\\"; }
    // Without the trailing backslash, for a command line ("\"" after a backslash escapes the quote).
    const std::string &FolderPath() const { return dir_.path(); }
    std::string File(const std::string &name) const { return dir_.file(name); }
    std::string NotesIni() const { return ReadFileBytes(File("notes.ini")); }

    // Runs "msiexec <arguments> /qn /l*v <log>"; its exit code. The log of the last run.
    int Msiexec(const std::string &arguments);
    std::string LastLog() const;

    // The package's installed products of that upgrade code: product codes and versions.
    struct Product {
        std::string code, version;
    };
    static std::vector<Product> InstalledProducts(const char *upgradeCode);
    // Folders the package writes outside the Notes folder.
    static std::string ProgramFilesX86();
    static std::string CommonPrograms();
    static std::string UserPrograms();

private:
    TempDir dir_;
    bool hadPath_ = false;
    std::string oldPath_;
    int runs_ = 0;
};

// A registry value of HKLM in the 32-bit view; "" when absent.
std::string Hklm32Value(const char *key, const char *name);

}  // namespace testkit
