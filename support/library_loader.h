// Loading a library by name from the application's directory and the system directories only.
#pragma once

#include <windows.h>

// A bare name is looked for in the program's directory, then the system directory, then the
// Windows directory, and loaded by its full path; a file planted in the current directory (beside
// a user's document, say) is never picked up. A name with a path loads that file. For a library
// loaded by its full path, the DLLs it imports are not looked up in the current directory either
// (LOAD_LIBRARY_SEARCH_* where the system has the flags, the altered search order otherwise).
// `flags` are LoadLibraryExA's (LOAD_LIBRARY_AS_DATAFILE and the like). Not found: null,
// ERROR_MOD_NOT_FOUND.
HMODULE LoadProductLibrary(const char *name, DWORD flags = 0);

// The file LoadProductLibrary(name) would load, found by the same search, into `path` (MAX_PATH
// characters); false when there is none. A name with a path is taken as it stands.
bool FindProductLibrary(const char *name, char *path);

// The machine field of the PE file at `path` (IMAGE_FILE_MACHINE_I386 for a 32-bit library,
// IMAGE_FILE_MACHINE_AMD64 for a 64-bit one), 0 when it is no PE file or cannot be read.
WORD LibraryMachine(const char *path);

// The machine of the images this build makes.
#ifdef _WIN64
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif
