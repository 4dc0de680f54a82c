// The hidden window hFictDlg on the client's thread, and everything the Key events do to the
// client's windows: they reach that thread only as posted messages, so a client thread that waits
// for the Key never blocks the monitor and the monitor never blocks the client.
#pragma once

#include <windows.h>

#include "notes_api.h"

// Made on the thread that loads the extension; destroyed at unload.
bool CreateFictWindow(HINSTANCE instance);
void DestroyFictWindow();

// Switches the client to the temporary ID file from the Key with the Key's password; logs under
// `logPrefix` and reports a refusal. Returns the client's status.
STATUS SwitchToKeyId(const char *logPrefix);

// Posted from the Key monitor to the client's thread.
void PostIdSwitch();                     // FictDlgProc's command 1: the ID switch
void PostLockKeys(bool escapeFirst);     // brings the client forward and presses (Esc,) F5
void PostLockLogoutScreen();             // finds the Logout Screen and disables it under hLock
void PostRestoreClient();                // gives the client back its screen
void PostHideClient();                   // hides the client's main window (older builds)

// The top-level window of class "NOTES" of this process, or null.
HWND FindClientMainWindow();
