// The biometric client binding: enrols, removes and verifies the biometric identifier kept on a
// Key. Braxial.dll is loaded for the length of one operation only; every Key access runs on a
// worker thread under the processing dialog (see key_worker.h).
#pragma once

#include <windows.h>

#include <vector>

#include "braxial_api.h"
#include "key_bir.h"

// Braxial.dll while one operation runs: the module and its exports, typed.
struct BraxialLibrary {
    HMODULE module;
    BraxialApi api;
};

// Loads Braxial.dll and looks up its ten exports by name, in the order of BRAXIAL_EXPORTS. When
// the library or any export is missing it frees the library, clears the table, keeps the thread's
// last error and fails.
bool LoadBraxial(BraxialLibrary *library);
void FreeBraxial(BraxialLibrary *library);

// True when the user is verified against the Key's identifier or the Key holds none; false with
// the thread's last error set otherwise. `caption` titles the binding's message boxes.
bool VerifyKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key);

// Enrolment, in three steps so that no Key is held across the user's dialogs:
// the size of the Key's record (0: none), read with the Key held (false with the last error);
bool KeyBIRSize(const KeyBirAccess &key, DWORD *size);
// the user's choice, with no Key held: a new record in `record`, or verification switched off
// (`record` empty). False with the last error set (ERROR_CANCELLED when the user cancelled); the
// binding's message is shown for a failure that is not the user's choice;
bool EnrolBIR(HWND parent, const char *caption, bool replacing, std::vector<BYTE> *record);
// then, with the Key held again, `record` written to it (the old record's space reused), or its
// record removed when `record` is empty. False with the last error set and the message shown.
bool StoreKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key,
                 const std::vector<BYTE> &record);
// Shows the binding's message for a failure (`id` its text) and leaves `error` as the last error.
bool ReportBIRFailure(HWND parent, const char *caption, UINT id, DWORD error);
