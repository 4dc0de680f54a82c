// Reads version resources through the Windows version API.
#include "module_version.h"

#include <cstdio>
#include <vector>

#include "cut_format.h"
#include "version_text.h"

namespace {

const char kUnknown[] = "Unknown";

void SetUnknown(char *out)
{
    if (out != nullptr)
        CopyCut(out, kVersionTextSize, kUnknown);
}

// The module's file: `module`'s own, else `fileName` on the search path, else the program's.
void FindModulePath(HMODULE module, const char *fileName, char *path)
{
    path[0] = 0;
    DWORD n = 0;
    if (module != nullptr) {
        n = GetModuleFileNameA(module, path, kVersionTextSize - 1);
    } else if (fileName != nullptr && *fileName != 0) {
        n = SearchPathA(nullptr, fileName, nullptr, kVersionTextSize - 1, path, nullptr);
    } else {
        n = GetModuleFileNameA(nullptr, path, kVersionTextSize - 1);
    }
    if (n == 0 || n >= kVersionTextSize - 1)
        path[0] = 0;
    path[kVersionTextSize - 1] = 0;
}

}  // namespace

void GetModuleVersionInfo(HMODULE module, const char *fileName, char *fileVersion, char *path,
                          char *fileDescription, char *productName, char *productVersion,
                          char *legalCopyright)
{
    SetUnknown(fileVersion);
    SetUnknown(path);
    SetUnknown(fileDescription);
    SetUnknown(productName);
    SetUnknown(productVersion);
    SetUnknown(legalCopyright);

    char file[kVersionTextSize];
    FindModulePath(module, fileName, file);
    if (file[0] == 0)
        return;
    if (path != nullptr)
        CopyCut(path, kVersionTextSize, file);

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &handle);
    if (size == 0)
        return;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data()))
        return;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation *translation = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                       reinterpret_cast<void **>(&translation), &length) &&
        length >= sizeof(Translation)) {
        struct {
            const char *name;
            char *out;
        } const fields[] = {
            {"ProductName", productName},
            {"ProductVersion", productVersion},
            {"FileDescription", fileDescription},
            {"LegalCopyright", legalCopyright},
        };
        for (const auto &field : fields) {
            char query[96];
            FormatCut(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                      translation->codePage, field.name);
            char *value = nullptr;
            UINT valueLength = 0;
            if (!VerQueryValueA(data.data(), query, reinterpret_cast<void **>(&value),
                                &valueLength) ||
                value == nullptr)
                break;
            if (field.out != nullptr)
                CopyCut(field.out, kVersionTextSize, value);
        }
    }

    // The file version does not depend on the strings: a resource that lacks one of them (a
    // vendor's DLL without a copyright line) still shows its real version.
    if (fileVersion != nullptr) {
        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT fixedLength = 0;
        if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedLength) &&
            fixed != nullptr && fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
            FormatFileVersion(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                              fileVersion, kVersionTextSize);
        }
    }
}
