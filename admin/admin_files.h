// Whole files for the console's Notes commands: read whole, written whole. Every write goes to a
// temporary file beside its target and is then moved over it, so a target is either left as it
// was or replaced by the complete new contents, never half overwritten.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reads the whole file at `path`; false (last error set) when it cannot be opened or read, or
// when it has more than `limit` bytes (ERROR_FILE_TOO_LARGE; nothing is read then).
bool ReadWholeFile(const std::string &path, std::vector<BYTE> *bytes, DWORD limit = 0x7FFFFFFF);

// The size of the file at `path`; false (last error set) when it cannot be asked.
bool FileSize(const std::string &path, unsigned long long *size);

bool FileExists(const std::string &path);

// Writes `size` bytes to a new temporary file in the directory of `path` and moves it over
// `path`. False with the last error set when any step fails; the temporary file is gone then and
// `path` is as it was.
bool WriteWholeFile(const std::string &path, const void *data, std::size_t size);

// Copies `from` over `to` whole: `from` is read completely first, so an unreadable `from` leaves
// `to` untouched.
bool CopyWholeFile(const std::string &from, const std::string &to);

// The notes.ini backup beside the INI file: its path followed by ".bak".
std::string IniBackupPath(const std::string &iniPath);

enum class IniBackupResult {
    kMade,    // there was none: the INI file was copied to it
    kKept,    // one exists already: it is left as it is (it keeps the INI file as first seen)
    kFailed,  // none exists and none could be made (last error set)
};
IniBackupResult MakeIniBackup(const std::string &iniPath);

// Copies the backup over the INI file; false (the INI file left as it was) when the backup cannot
// be read or the INI file cannot be replaced.
bool RestoreIniBackup(const std::string &iniPath);

// The directory of the running program, ending in a separator ("" when it cannot be found).
std::string ProgramDirectory();
