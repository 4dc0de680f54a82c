// Whole-file reads, writes and copies; the notes.ini backup.
#include "admin_files.h"

namespace {

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0 || path[slash - 1] == ':')
        return path.substr(0, slash + 1);  // a root keeps its separator
    return path.substr(0, slash);
}

bool WriteAll(HANDLE file, const BYTE *bytes, std::size_t size)
{
    while (size > 0) {
        DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

}  // namespace

bool FileSize(const std::string &path, unsigned long long *size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWholeFile(const std::string &path, std::vector<BYTE> *bytes, DWORD limit)
{
    bytes->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) != FALSE;
    if (ok && static_cast<unsigned long long>(size.QuadPart) > limit) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        ok = false;
    }
    if (ok) {
        bytes->resize(static_cast<std::size_t>(size.QuadPart));
        DWORD total = 0;
        while (ok && total < bytes->size()) {
            DWORD got = 0;
            ok = ReadFile(file, bytes->data() + total, static_cast<DWORD>(bytes->size()) - total, &got, nullptr) != FALSE;
            if (ok && got == 0) {
                SetLastError(ERROR_HANDLE_EOF);  // the file became shorter while it was read
                ok = false;
            }
            total += got;
        }
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        bytes->clear();
        SetLastError(error);
    }
    return ok;
}

bool WriteWholeFile(const std::string &path, const void *data, std::size_t size)
{
    char temp[MAX_PATH];
    if (GetTempFileNameA(DirectoryOf(path).c_str(), "snt", 0, temp) == 0)
        return false;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileA(temp);
        SetLastError(error);
        return false;
    }
    bool ok = WriteAll(file, static_cast<const BYTE *>(data), size) && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (ok) {
        ok = MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp);
        SetLastError(error);
    }
    return ok;
}

bool CopyWholeFile(const std::string &from, const std::string &to)
{
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(from, &bytes))
        return false;
    return WriteWholeFile(to, bytes.data(), bytes.size());
}

std::string IniBackupPath(const std::string &iniPath)
{
    return iniPath + ".bak";
}

IniBackupResult MakeIniBackup(const std::string &iniPath)
{
    std::string backup = IniBackupPath(iniPath);
    if (FileExists(backup))
        return IniBackupResult::kKept;
    return CopyWholeFile(iniPath, backup) ? IniBackupResult::kMade : IniBackupResult::kFailed;
}

bool RestoreIniBackup(const std::string &iniPath)
{
    return CopyWholeFile(IniBackupPath(iniPath), iniPath);
}

std::string ProgramDirectory()
{
    char path[MAX_PATH * 2] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return "";
    std::string text(path, n);
    std::size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}
