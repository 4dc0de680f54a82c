// The hidden window hFictDlg on the client's thread, and everything the Key session does to the
// client's windows. Key events reach that thread only as posted messages, so the monitor never
// waits for the client and the client's thread never shares its windows with the monitor.
#pragma once

#include <windows.h>

#include "notes_api.h"

// Made on the thread that loads the extension; destroyed at unload.
bool CreateFictWindow(HINSTANCE instance);
void DestroyFictWindow();

// Switches the client to the temporary ID file from the Key with the Key's password; logs under
// `logPrefix` and reports a refusal. Returns the client's status.
STATUS SwitchToKeyId(const char *logPrefix);

struct SessionEvent;
// From the Key monitor: a copy of the event, posted to hFictDlg for the Key session.
void PostSessionEvent(const SessionEvent &event);
// From the session itself: its deferred events are taken up once the current message returns.
void PostSessionWork();
// The second half of a lock, taken up once the client's loop has handled the lock keys.
struct LockFollowUp;
void PostLockFollowUp(LockFollowUp *lock);

// On the client's thread. Closes an open menu and posts (Escape and) F5 to the client's window.
void LockClientKeys(HWND main, bool escapeFirst);
void LockLogoutScreen();   // finds the Logout Screen and disables it under hLock
void RestoreClient();      // gives the client back its screen
void HideClient();         // cancels the client's own dialog and hides its main window (older builds)
void HideClientAfter(DWORD ms);  // the same once `ms` have passed, if the client is still locked
// Opens the client's File > Security (Tools below 190) > Switch ID through its own menu loop.
void OpenSwitchIdMenu(HWND owner, bool newer);
// A key press and release posted to this thread's focused window.
void PostKeyToFocus(UINT key);

// The top-level window of class "NOTES" of this process, or null.
HWND FindClientMainWindow();
