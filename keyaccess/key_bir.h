// The four calls of the smart-key library that reach a Key's biometric record. Flags come back as
// one byte, non-zero for success; the reason of a failure is the thread's last-error code.
#pragma once

#include <windows.h>

typedef BYTE QBOOL;

typedef QBOOL(__stdcall *PFN_ReadBIR)(DWORD h, DWORD offset, BYTE *buffer, DWORD *length);
// Called with a null buffer it answers in *length the space free for the biometric record.
typedef QBOOL(__stdcall *PFN_WriteBIR)(DWORD h, DWORD offset, const BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_SetBIRSize)(DWORD h, DWORD size);
typedef QBOOL(__stdcall *PFN_DeleteBIR)(DWORD h);

// The biometric record of the Key in one opened reader.
struct KeyBirAccess {
    PFN_ReadBIR ReadBIR;
    PFN_WriteBIR WriteBIR;
    PFN_SetBIRSize SetBIRSize;
    PFN_DeleteBIR DeleteBIR;
    DWORD reader;
    // The Key layer's lock around each single library call (none: the calls go unguarded).
    CRITICAL_SECTION *callLock = nullptr;
};
