// Help-desk words for an outside library that was found but is of the other bitness.
#pragma once

#include <windows.h>

#include <string>

// When loading `name` (as LoadProductLibrary looks it up) failed with `error` ERROR_BAD_EXE_FORMAT
// and the file found is a library of the other bitness: the text that says which file it is, that
// it is a 32-bit (64-bit) library and that the vendor's 64-bit (32-bit) one is needed, into
// `buffer` (`size` characters, cut to fit); true. Otherwise (another failure, no such file, a file
// that is no library of the other bitness) false and `buffer` is empty.
bool OtherBitnessText(const char *name, DWORD error, char *buffer, int size);

// The numbered text `failureId` (the caller's "could not load" message), and, when the library is
// of the other bitness, OtherBitnessText after an empty line ("%s\n\n%s").
std::string LibraryFailureText(UINT failureId, const char *name, DWORD error);
