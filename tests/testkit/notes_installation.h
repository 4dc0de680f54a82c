// A stand-in Notes installation for installer tests: a program folder of its own with a notes.ini
// of the test's choosing, optionally recorded in the registry as the Notes client records its
// program folder (HKLM\SOFTWARE\Lotus\Notes, "Path"), and msiexec run on a package against it.
// A 32-bit client lives under the 32-bit program files folder and records its folder in the 32-bit
// view of the registry; a 64-bit client under the 64-bit program files folder, in the native view.
// A client of the build's own bitness has the client stand-in's notes.exe and nnotes.dll in its
// folder. Whatever the registry held before is put back at the end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testkit.h"

namespace testkit {

// The bitness of a Notes client: 32 or 64.
enum class ClientBitness { k32 = 32, k64 = 64 };
// The bitness of the client the images of this build are for.
#ifdef _WIN64
constexpr ClientBitness kOwnClient = ClientBitness::k64;
constexpr ClientBitness kOtherClient = ClientBitness::k32;
#else
constexpr ClientBitness kOwnClient = ClientBitness::k32;
constexpr ClientBitness kOtherClient = ClientBitness::k64;
#endif
// Whether Windows here has a 64-bit side (a 64-bit process, or a 32-bit one under WOW64).
bool Has64BitWindows();

class NotesInstallation {
public:
    // `notesIni`: the bytes of notes.ini; `recorded`: whether the registry names the folder;
    // `bitness`: the client's.
    NotesInstallation(const std::string &notesIni, bool recorded, ClientBitness bitness = kOwnClient);
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
    // Folders the package writes outside the Notes folder: the program files folder of the
    // package's bitness (this build's), the Start menus.
    static std::string ProgramFiles();
    static std::string ProgramFilesX86();
    static std::string CommonPrograms();
    static std::string UserPrograms();

private:
    ClientBitness bitness_;
    TempDir dir_;
    bool hadPath_ = false;
    std::string oldPath_;
    int runs_ = 0;
};

// A registry value of HKLM in the 32-bit view, in the view of a client of `bitness`; "" when absent.
std::string Hklm32Value(const char *key, const char *name);
std::string HklmValue(const char *key, const char *name, ClientBitness bitness);

}  // namespace testkit
