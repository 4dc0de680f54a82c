// Numbered texts: the module they come from, fetching one by number, and filling its placeholders.
#pragma once

#include <windows.h>

// Size of the shared text buffer that receives every text fetched without a buffer of the caller.
constexpr int kSharedTextSize = 1024;

// Chooses the module the texts come from: "<language>_lang.dll" when it loads (by the safe search,
// then from the directory of `instance`), else `instance`, else the program. Remembers `instance`
// as the own module, the third place looked in. With no language name no language DLL is tried.
bool LoadLanguage(const char *language, HINSTANCE instance);

// The module texts are looked up in first (null before LoadLanguage).
HMODULE GetLanguageModule();

// Fetches text `id` from the language module, else the own module, else the program (only where
// the program is the own module, or no own module was given), into
// `buffer` (cut to `size`; -1 means 1024) or, with a null buffer, into the shared text buffer.
// A text found nowhere is empty. Returns the buffer used.
char *LoadResString(UINT id, char *buffer = nullptr, int size = -1);

// Fetches text `id` (at most 1024 characters) and fills its printf placeholders from the
// arguments. The result is cut to `size` (-1 means 1024); a null buffer means the shared one.
char *FormatResString(UINT id, char *buffer, int size, ...);
char *VFormatResString(UINT id, char *buffer, int size, va_list args);
// Shorthands with one argument placed before the buffer.
char *FormatResString(UINT id, int argument, char *buffer, int size);
char *FormatResString(UINT id, const char *argument, char *buffer, int size);

// Forgets the chosen modules (tests start each case afresh with it).
void ResetLanguageForTests();
