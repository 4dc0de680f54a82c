// The diagnostic log: off unless a file "MV_<module>.log" has been placed by hand at the root of
// a fixed drive; the file's first character (a digit) sets how much is written.
#pragma once

#include <cstdarg>

#include <windows.h>

// Message levels.
enum LogLevel {
    kLogError = 1,      // failures
    kLogWarning = 2,
    kLogStep = 3,       // steps of a user-facing flow
    kLogMilestone = 4,  // Key access milestones
    kLogDetail = 5,     // fine detail (monitor passes, entry calls)
};

// Size of the buffer one line is built in, time stamp included; longer text is cut.
constexpr int kLogLineSize = 512;

// Finds the log file for `moduleName` on the fixed drives (A: first) and writes the opening entry
// with the version texts of `instance` (or of the program). Returns true when a file was found.
// The search runs once per process: later calls return false at once.
bool LogInit(const char *moduleName, HMODULE instance);

// Writes one line when 1 <= level <= the file's level. Returns 1 when the line was due (written or
// not), 0 when it was filtered out. Never changes the thread's last-error code.
int LogMessage(int level, const char *moduleName, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int LogMessageV(int level, const char *moduleName, const char *format, va_list args);

// The level in force (0 when no log file was found).
int LogLevelInForce();

// Forgets the search and its result, so that LogInit runs afresh (tests only).
void LogResetForTests();
