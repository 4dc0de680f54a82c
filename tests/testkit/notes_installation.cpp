// The stand-in Notes installation for installer tests.
#include "notes_installation.h"

#include <msi.h>
#include <shlobj.h>

namespace testkit {

namespace {

const char kNotesKey[] = "SOFTWARE\\Lotus\\Notes";

REGSAM View(ClientBitness bitness)
{
    return bitness == ClientBitness::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// The program files folder where a client of `bitness` is installed.
std::string ProgramFilesOf(ClientBitness bitness)
{
    char path[MAX_PATH] = "";
    if (bitness == ClientBitness::k32) {
        SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, path);
        return path;
    }
#ifdef _WIN64
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
#else
    // A 32-bit process is shown the 32-bit folder under CSIDL_PROGRAM_FILES; the 64-bit one is
    // in the environment.
    GetEnvironmentVariableA("ProgramW6432", path, sizeof path);
#endif
    return path;
}

bool SetHklmValue(const char *key, const char *name, const std::string *value, ClientBitness bitness)
{
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | View(bitness), nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = value != nullptr
                  ? RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value->c_str()),
                                   static_cast<DWORD>(value->size() + 1))
                  : RegDeleteValueA(k, name);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS || (value == nullptr && rc == ERROR_FILE_NOT_FOUND);
}

}  // namespace

bool Has64BitWindows()
{
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::string Hklm32Value(const char *key, const char *name)
{
    return HklmValue(key, name, ClientBitness::k32);
}

std::string HklmValue(const char *key, const char *name, ClientBitness bitness)
{
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | View(bitness), &k) != ERROR_SUCCESS)
        return "";
    char value[1024] = "";
    DWORD size = sizeof value - 1, type = 0;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

NotesInstallation::NotesInstallation(const std::string &notesIni, bool recorded, ClientBitness bitness)
    : bitness_(bitness), dir_(ProgramFilesOf(bitness))
{
    WriteFileBytes(File("notes.ini"), notesIni);
    // A client of this build's bitness is the client stand-in itself: its host and nnotes.dll go
    // into the folder as the client's installer puts notes.exe and nnotes.dll there.
    if (bitness_ == kOwnClient) {
        for (const char *file : {"notes.exe", "nnotes.dll"})
            CopyFileA((ExeDir() + file).c_str(), File(file).c_str(), FALSE);
    }
    oldPath_ = HklmValue(kNotesKey, "Path", bitness_);
    hadPath_ = !oldPath_.empty();
    std::string folder = Folder();
    SetHklmValue(kNotesKey, "Path", recorded ? &folder : nullptr, bitness_);
}

NotesInstallation::~NotesInstallation()
{
    SetHklmValue(kNotesKey, "Path", hadPath_ ? &oldPath_ : nullptr, bitness_);
}

int NotesInstallation::Msiexec(const std::string &arguments)
{
    ++runs_;
    return RunProcess("msiexec " + arguments + " /qn /l*v \"" + File("msiexec" + std::to_string(runs_) + ".log") + "\"",
                      120000);
}

std::string NotesInstallation::LastLog() const
{
    std::string log = ReadFileBytes(File("msiexec" + std::to_string(runs_) + ".log"));
    // The log is UTF-16 on Windows; keep the ASCII half for reading.
    std::string text;
    for (char c : log)
        if (c != '\0')
            text += c;
    return text;
}

std::vector<NotesInstallation::Product> NotesInstallation::InstalledProducts(const char *upgradeCode)
{
    std::vector<Product> products;
    char code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(upgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        char version[64] = "";
        DWORD size = sizeof version;
        MsiGetProductInfoA(code, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        products.push_back({code, version});
    }
    return products;
}

std::string NotesInstallation::ProgramFiles()
{
    return ProgramFilesOf(kOwnClient);
}

std::string NotesInstallation::ProgramFilesX86()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string NotesInstallation::CommonPrograms()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string NotesInstallation::UserPrograms()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

}  // namespace testkit
