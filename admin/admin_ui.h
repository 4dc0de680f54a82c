// What every window of the console uses: numbered texts, the standard caption, the log module
// and the error box.
#pragma once

#include <windows.h>

#include <string>

// Every log line of the console carries this module name.
extern const char kAdminLog[];

// A numbered text, and one filled from a printf format (cut to 1024 characters).
std::string Text(UINT id);
std::string TextF(UINT id, ...);

// Message 8000 filled with the maker's name, " - ", message 8001: the caption of the main window,
// the wait window and the console's boxes.
std::string StandardCaption();
// Message 8000 filled with the maker's name alone.
std::string ProductCaption();

// `pixels` at 96 DPI scaled for the screen's resolution.
int Scale(int pixels);
// The screen's resolution (96 on a 100 % display).
int ScreenDpi();
