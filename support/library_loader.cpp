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

}  // namespace

HMODULE LoadProductLibrary(const char *name, DWORD flags)
{
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (HasPath(name))
        return LoadLibraryExA(name, nullptr, flags);

    // The search is ours rather than the loader's: some loaders still look in the current
    // directory for data-file loads, whatever search flags they are given.
    char dir[MAX_PATH], path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    if (n > 0 && n < sizeof dir) {
        char *slash = std::strrchr(dir, '\\');
        if (slash != nullptr) {
            *slash = 0;
            if (Candidate(path, dir, static_cast<DWORD>(slash - dir), name))
                return LoadLibraryExA(path, nullptr, flags);
        }
    }
    n = GetSystemDirectoryA(dir, sizeof dir);
    if (Candidate(path, dir, n, name))
        return LoadLibraryExA(path, nullptr, flags);
    n = GetWindowsDirectoryA(dir, sizeof dir);
    if (Candidate(path, dir, n, name))
        return LoadLibraryExA(path, nullptr, flags);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
