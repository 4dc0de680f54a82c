// The Key session's named states, and what the tools popup offers in each: the rules that need no
// window, kept apart for the tests.
#pragma once

#include <windows.h>

enum class SessionState : LONG {
    kLoaded,         // the DLL is loaded; MainEntryPoint has not run
    kPassive,        // another component of the product works the Key: nothing is done here
    kWaitingForKey,  // the start waits for the first Key event
    kAskingPin,      // a logon asks the Key's PIN
    kReading,        // a logon reads the Key, materialises its ID file and switches the client to it
    kOnKeyId,        // the client runs on the Key's ID; the password handlers answer from the Key
    kLocked,         // the Key was pulled: the client is locked until the Key returns
    kWithoutKey,     // the client works without the Key (no logon reached the Key's ID, or the user chose so)
    kEnded,          // the Key work is over (the client ends, or there is no Key library)
};

const char *SessionStateName(SessionState state);

// Which Key commands the tools popup offers in a state: the Key commands (change PIN, change
// biometric identifier, save the ID file, work without the Key) on the Key's ID only; "Work with
// KSD" while the client works without the Key and a Key is there to work with.
struct ToolsOffer {
    bool keyCommands;
    bool workWithKey;
};
ToolsOffer ToolsMenuOffer(SessionState state, bool keyBound);

