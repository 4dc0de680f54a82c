// The entry points and flows of Tolvik that its modules call one another through.
#pragma once

#include <windows.h>

#include "notes_api.h"

extern "C" {
STATUS LNPUBLIC MainEntryPoint(void);
STATUS LNPUBLIC ExtClear(void);
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

// Reads the record of the Key in `reader` and materialises the ID file; true on success.
bool GetDataFromKSD(const char *reader);
// Wipes the PIN, the Key's password and its record from memory (the Key session ended).
void ForgetKeyData();
// The client's build number, or 0 after reporting an error.
WORD GetNotesVersion();

// The PIN prompt, asked again until a PIN of at least 4 characters is given or the user chooses
// to work without the Key. `label` is shown in the prompt.
enum class PinLoopEnd { kAccepted, kWithoutKey };
PinLoopEnd RunPinLoop(const char *label);

// Registers the password handlers for notifications 73 and 74; 0 or the failed status.
STATUS RegisterExtHandlers();
STATUS LNCALLBACK ExtHandlerGetPassword(EMRECORD *record);
STATUS LNCALLBACK ExtHandlerSetPassword(EMRECORD *record);

// Registers for the client's termination notice (EM_TERMINATENSF, right before the client unloads
// the extensions), whose handler ends the Key work; ForgetClientEnd deregisters it at the unload.
void WatchClientEnd();
void ForgetClientEnd();

// Puts notes.ini's KeyFileName back (while it still names the Key's ID), deletes the temporary
// ID file and clears the journal. ExtClear's part that asks nothing of the Key library or the
// Extension Manager; the caller holds the handler lock, or the process is ending.
void PutTracesBack();
// Sets or reads notes.ini KeyFileName.
void WriteKeyFileName(const char *value);
