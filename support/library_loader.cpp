// Safe library loading shared by every deliverable that loads a DLL by name.
#include "library_loader.h"

#include <cstring>

#include "cut_format.h"

namespace {

bool HasPath(const char *name)
{
    return std::strchr(name, '\\') != nullptr || std::strchr(name, '/') != nullptr ||
           std::strchr(name, ':') != nullptr;
}

// dir + "\" + name into `out`, when it fits and names an existing file.
bool Candidate(char *out, const char *dir, DWORD dirLength, const char *name)
{
    if (dirLength == 0 || dirLength >= MAX_PATH)
        return false;
    if (FormatCut(out, MAX_PATH, "%s\\%s", dir, name) >= MAX_PATH - 1)
        return false;
    return GetFileAttributesA(out) != INVALID_FILE_ATTRIBUTES;
}

// Whether LoadLibraryEx takes the LOAD_LIBRARY_SEARCH_* flags: Windows 8 and later, and Windows
// 7 with the update that brought AddDllDirectory (its presence is the documented test).
bool HasSearchFlags()
{
    static const bool has = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
    }();
    return has;
}

// Loads the file at `path` (a full path). The DLLs it imports are looked for in its own
// directory, the program's directory and the system directory only, never in the current
// directory: with the search flags where the system has them, else with the altered search order,
// in which the file's directory takes the program's place at the head of the search (the current
// directory then still comes after the system directories, where the system's safe search mode
// puts it). Loads as data load no imports and take the caller's flags unchanged.
HMODULE LoadFromPath(const char *path, DWORD flags)
{
    if ((flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) != 0)
        return LoadLibraryExA(path, nullptr, flags);
    if (HasSearchFlags()) {
        HMODULE module = LoadLibraryExA(path, nullptr,
                                        flags | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        // A system that knows AddDllDirectory but refuses the flags for this call answers
        // ERROR_INVALID_PARAMETER: then the older way is taken.
        if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
            return module;
    }
    return LoadLibraryExA(path, nullptr, flags | LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

bool FindProductLibrary(const char *name, char *path)
{
    if (name == nullptr || *name == 0 || path == nullptr)
        return false;
    if (HasPath(name)) {
        if (FormatCut(path, MAX_PATH, "%s", name) >= MAX_PATH - 1)
            return false;
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }
    char dir[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    if (n > 0 && n < sizeof dir) {
        char *slash = std::strrchr(dir, '\\');
        if (slash != nullptr) {
            *slash = 0;
            if (Candidate(path, dir, static_cast<DWORD>(slash - dir), name))
                return true;
        }
    }
    n = GetSystemDirectoryA(dir, sizeof dir);
    if (Candidate(path, dir, n, name))
        return true;
    n = GetWindowsDirectoryA(dir, sizeof dir);
    return Candidate(path, dir, n, name);
}

HMODULE LoadProductLibrary(const char *name, DWORD flags)
{
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (HasPath(name)) {
        // A full path (drive and root, or a UNC name) is loaded as it stands; a relative one is
        // left to the system's search as before, which is the only thing the flags allow for it.
        bool full = (name[0] != 0 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) ||
                    (name[0] == '\\' && name[1] == '\\');
        return full ? LoadFromPath(name, flags) : LoadLibraryExA(name, nullptr, flags);
    }

    // The search is ours rather than the loader's: some loaders still look in the current
    // directory for data-file loads, whatever search flags they are given.
    char path[MAX_PATH];
    if (FindProductLibrary(name, path))
        return LoadFromPath(path, flags);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

WORD LibraryMachine(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    WORD machine = 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    if (ReadFile(file, &dos, sizeof dos, &read, nullptr) && read == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        dos.e_lfanew > 0 && SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        struct {
            DWORD signature;
            IMAGE_FILE_HEADER header;
        } pe = {};
        if (ReadFile(file, &pe, sizeof pe, &read, nullptr) && read == sizeof pe && pe.signature == IMAGE_NT_SIGNATURE)
            machine = pe.header.Machine;
    }
    CloseHandle(file);
    return machine;
}
