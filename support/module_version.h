// Version texts of a module file: its path, file version, description, product and copyright.
#pragma once

#include <windows.h>

// Each text out is optional (null) and holds at least kVersionTextSize characters. Every given out
// first reads "Unknown". The file is `module`'s, else `fileName` found on the search path, else
// the running program. The strings come from the first translation of the version resource
// (product name, product version, description, copyright, read in that order; the first missing
// one ends that reading); the file version from the fixed block, as FormatFileVersion writes it.
constexpr int kVersionTextSize = 260;

void GetModuleVersionInfo(HMODULE module, const char *fileName, char *fileVersion, char *path,
                          char *fileDescription, char *productName, char *productVersion,
                          char *legalCopyright);
