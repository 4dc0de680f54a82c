// The biometric client binding: enrols, removes and verifies the biometric identifier kept on a
// Key. Braxial.dll is loaded for the length of one operation only; every Key access runs on a
// worker thread under the processing dialog (see key_worker.h).
#pragma once

#include <windows.h>

#include "key_bir.h"

// The two Braxial exports the binding calls.
typedef BOOL(__stdcall *PFN_BioGetBIR_GUI)(HMODULE resources, HWND parent, BYTE *buffer, DWORD *size, int mode);
typedef BOOL(__stdcall *PFN_BioVerifyBIR_GUI)(HMODULE resources, HWND parent, const BYTE *stored, DWORD storedLength,
                                              BYTE *captured, DWORD *capturedSize);

constexpr int kBraxialExportCount = 10;

struct BraxialLibrary {
    HMODULE module;
    FARPROC exports[kBraxialExportCount];  // in the order they are looked up
    PFN_BioGetBIR_GUI BioGetBIR_GUI;
    PFN_BioVerifyBIR_GUI BioVerifyBIR_GUI;
};

// Names of the exports, in the order they are looked up.
extern const char *const kBraxialExportNames[kBraxialExportCount];

// Loads Braxial.dll and looks up its ten exports in order. When the library or any export is
// missing it frees the library, clears the table, keeps the thread's last error and fails.
bool LoadBraxial(BraxialLibrary *library);
void FreeBraxial(BraxialLibrary *library);

// True when the user is verified against the Key's identifier or the Key holds none; false with
// the thread's last error set otherwise. `caption` titles the binding's message boxes.
bool VerifyKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key);
// Enrols a new identifier and writes it to the Key, or removes it, as the user chooses. False with
// the last error set otherwise (ERROR_CANCELLED when the user cancelled).
bool ChangeKeyBIR(HINSTANCE instance, HWND parent, const char *caption, const KeyBirAccess &key);
