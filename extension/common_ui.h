// The pieces every flow of the extension uses: the product caption, the error box, the wait
// window and waits that keep the calling thread's windows alive.
#pragma once

#include <windows.h>

#include <string>

#include "text_strings.h"


// Closes the wait window, then shows `text` with the error icon, topmost and in the foreground,
// owned by the window that has this thread's focus.
void ErrorBox(const std::string &text);

// The modeless wait window IDD_OPWAIT: shown (an existing one is reused) and closed. Closing it
// from a thread other than the one that made it asks that thread to close it.
void ShowWaitWindow();
void CloseWaitWindow();

// Waits up to `ms` for `handle` (none: just waits), serving this thread's messages meanwhile, so a
// window of this thread never blocks a thread that sends or posts to it. True when signalled.
bool WaitServingMessages(HANDLE handle, DWORD ms);
// The same for any of `count` handles.
bool WaitServingMessages(const HANDLE *handles, DWORD count, DWORD ms);
