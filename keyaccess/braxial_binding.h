// The biometric client binding: enrols, removes and verifies the biometric identifier kept on a
// Key. Braxial.dll is loaded for the length of one operation only; every Key access runs on a
// worker thread under the processing dialog (see key_worker.h).
#pragma once

#include <windows.h>

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
// Enrols a new identifier and writes it to the Key, or removes it, as the user chooses. False with
// the last error set otherwise (ERROR_CANCELLED when the user cancelled).
bool ChangeKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key);
