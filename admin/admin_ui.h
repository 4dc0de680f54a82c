// What every window of the console uses: numbered texts, the standard caption, the log module
// and the error box.
#pragma once

#include <windows.h>

#include <string>

#include "text_strings.h"

// Every log line of the console carries this module name.
extern const char kAdminLog[];

// Message 8000 filled with the maker's name, " - ", message 8001: the caption of the main window,
// the wait window and the console's boxes.
std::string StandardCaption();

// `pixels` at 96 DPI scaled for the screen's resolution.
int Scale(int pixels);
// The screen's resolution (96 on a 100 % display).
int ScreenDpi();
