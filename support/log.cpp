// Diagnostic log. Each line is built whole in one buffer and appended by open, write, close.
// Threads and processes (Arbolin and Tolvik share one file) append at once; a lock on one byte far
// past any real end of the file orders their appends, so no line is merged with or overwritten by
// another (append-only access alone is not atomic on every system we run on).
#include "log.h"

#include <cstring>

#include "cut_format.h"
#include "module_version.h"

namespace {

char g_logPath[MAX_PATH];
int g_logLevel = 0;

const char *LevelTag(int level)
{
    switch (level) {
    case 1: return "E ";
    case 2: return "W ";
    case 3: return "T ";
    case 4: return "P ";
    case 5: return "I ";
    default: return "";
    }
}

// The level a log file's first byte sets: a digit is the level, anything else (or nothing) is 3.
int LevelFromFirstByte(HANDLE file)
{
    char first = 0;
    DWORD read = 0;
    if (ReadFile(file, &first, 1, &read, nullptr) && read == 1 && first >= '0' && first <= '9')
        return first - '0';
    return 3;
}

}  // namespace

bool LogInit(const char *moduleName, HMODULE instance)
{
    if (std::strlen(g_logPath) > 5)
        return false;
    g_logLevel = 0;
    if (moduleName == nullptr)
        moduleName = "";

    DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((drives & (1u << letter)) == 0)
            continue;
        char root[4] = {static_cast<char>('A' + letter), ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_FIXED)
            continue;
        FormatCut(g_logPath, sizeof g_logPath, "%sMV_%s.log", root, moduleName);
        HANDLE file = CreateFileA(g_logPath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        g_logLevel = LevelFromFirstByte(file);
        CloseHandle(file);

        char productName[kVersionTextSize], productVersion[kVersionTextSize];
        char modulePath[kVersionTextSize], fileVersion[kVersionTextSize];
        GetModuleVersionInfo(instance, nullptr, fileVersion, modulePath, nullptr, productName,
                             productVersion, nullptr);
        LogMessage(kLogError, "",
                   "Start logfile ============================================\n"
                   "   %s (Ver %s)\n   Module: %s, Ver: %s",
                   productName, productVersion, modulePath, fileVersion);
        return true;
    }
    return false;
}

int LogMessageV(int level, const char *moduleName, const char *format, va_list args)
{
    if (level < 1 || level > g_logLevel)
        return 0;
    DWORD savedError = GetLastError();

    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[kLogLineSize];
    std::size_t n = FormatCut(line, sizeof line, "\n[%2d:%2d : %2d:%3d] %s %s", now.wHour,
                              now.wMinute, now.wSecond, now.wMilliseconds,
                              moduleName ? moduleName : "", LevelTag(level));
    n += VFormatCut(line + n, sizeof line - n, format, args);

    HANDLE file = CreateFileA(g_logPath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        OVERLAPPED lockAt = {};
        lockAt.Offset = 0xFFFFFFF0u;
        lockAt.OffsetHigh = 0x7FFFFFFFu;
        BOOL locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt);
        DWORD written = 0;
        if (SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
            WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
        FlushFileBuffers(file);
        if (locked)
            UnlockFileEx(file, 0, 1, 0, &lockAt);
        CloseHandle(file);
    }

    SetLastError(savedError);
    return 1;
}

int LogMessage(int level, const char *moduleName, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = LogMessageV(level, moduleName, format, args);
    va_end(args);
    return result;
}

int LogLevelInForce()
{
    return g_logLevel;
}

void LogResetForTests()
{
    g_logPath[0] = 0;
    g_logLevel = 0;
}
