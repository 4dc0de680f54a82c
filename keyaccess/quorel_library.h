// The smart-key library Quorel32.dll as the Key access layer sees it: the prototypes of its 34
// entry points and one typed table of them, filled by name in a fixed order.
#pragma once

#include <windows.h>

#include "key_bir.h"

// Flags come back as one byte, non-zero for success; the reason of a failure is the thread's
// last-error code. Reader handles are 32-bit values. QBOOL and the biometric record's four calls
// come from key_bir.h.

typedef const char *(__stdcall *PFN_EnumReaders)(DWORD index);
typedef DWORD(__stdcall *PFN_InitReader)(const char *name);
typedef QBOOL(__stdcall *PFN_CloseReader)(DWORD h);
typedef int(__stdcall *PFN_InitCard)(DWORD h, DWORD appId);
typedef QBOOL(__stdcall *PFN_CloseCard)(DWORD h, DWORD flag);
typedef QBOOL(__stdcall *PFN_VerifyPIN)(DWORD h, const char *pin);
typedef QBOOL(__stdcall *PFN_ChangePIN)(DWORD h, const char *oldPin, const char *newPin);
typedef QBOOL(__stdcall *PFN_UnblockPIN)(DWORD h, const char *newPin);
typedef QBOOL(__stdcall *PFN_ReadData)(DWORD h, DWORD offset, BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_WriteData)(DWORD h, DWORD offset, const BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_SetDataSize)(DWORD h, DWORD size);
typedef QBOOL(__stdcall *PFN_GetRandom)(DWORD h, BYTE *buffer, DWORD length);
typedef QBOOL(__stdcall *PFN_GetCardID)(DWORD h, BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_GetApplicationInfo)(DWORD h, DWORD appId, DWORD *allocated, DWORD *freeSpace);
// The label buffer holds at least 32 characters; at most 31 are written to the Key.
typedef QBOOL(__stdcall *PFN_ReadLabel)(DWORD h, char *label);
typedef QBOOL(__stdcall *PFN_WriteLabel)(DWORD h, const char *label);
typedef QBOOL(__stdcall *PFN_AnyReadersChanges)(DWORD reserved);
// Resolved but never called by the product.
typedef QBOOL(__stdcall *PFN_DeleteData)(DWORD h);
typedef QBOOL(__stdcall *PFN_GetReaderName)(DWORD h, char *name, DWORD size);
typedef DWORD(__stdcall *PFN_GetReaderType)(DWORD h);
typedef QBOOL(__stdcall *PFN_IsDataExist)(DWORD h);
typedef DWORD(__stdcall *PFN_GetCardType)(DWORD h);
typedef QBOOL(__stdcall *PFN_EnumApplications)(DWORD h, DWORD index, DWORD *appId);
typedef QBOOL(__stdcall *PFN_ReadDataApp)(DWORD h, DWORD appId, DWORD offset, BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_WriteDataApp)(DWORD h, DWORD appId, DWORD offset, const BYTE *buffer, DWORD *length);
typedef QBOOL(__stdcall *PFN_SetDataSizeApp)(DWORD h, DWORD appId, DWORD size);
typedef QBOOL(__stdcall *PFN_ExternalAuth)(DWORD h, const BYTE *secret, DWORD length);
typedef QBOOL(__stdcall *PFN_ChangeIssuerKey)(DWORD h, const BYTE *oldKey, const BYTE *newKey, DWORD length);
typedef QBOOL(__stdcall *PFN_FormatCard)(DWORD h, const char *pin, const char *label);
typedef QBOOL(__stdcall *PFN_UnformatCard)(DWORD h);

// What InitCard answers about the Key in a reader: 1 or more when a PIN is needed (the value is the
// attempts left), otherwise one of these. Any other negative value is an unidentified error.
enum InitCardResult : int {
    kInitCardBlocked = 0,         // the PIN is blocked
    kInitCardNoKey = -1,          // no Key in the reader
    kInitCardNotFormatted = -2,   // a Key that was never formatted
    kInitCardKeyError = -3,       // an error with the Key
    kInitCardTriesUnknown = -4,   // a PIN is needed, attempts left unknown: taken as kInitCardDefaultTries
    kInitCardUnchanged = -5,      // nothing new about a Key already known (closed with flag 1)
    kInitCardKeyFailure = -6,     // an error with the Key
    kInitCardFinallyBlocked = -7, // blocked for good
};
constexpr int kInitCardDefaultTries = 3;

// X-list of the entry points in the order they are resolved.
#define QUOREL_ENTRY_POINTS(X)                                                                  \
    X(EnumReaders) X(InitReader) X(CloseReader) X(InitCard) X(CloseCard) X(VerifyPIN)           \
    X(ChangePIN) X(UnblockPIN) X(ReadData) X(WriteData) X(SetDataSize) X(GetRandom)             \
    X(GetCardID) X(GetApplicationInfo) X(ReadLabel) X(WriteLabel) X(ReadBIR) X(WriteBIR)        \
    X(SetBIRSize) X(DeleteBIR) X(AnyReadersChanges) X(DeleteData) X(GetReaderName)              \
    X(GetReaderType) X(IsDataExist) X(GetCardType) X(EnumApplications) X(ReadDataApp)          \
    X(WriteDataApp) X(SetDataSizeApp) X(ExternalAuth) X(ChangeIssuerKey) X(FormatCard)         \
    X(UnformatCard)

constexpr int kQuorelEntryCount = 34;

struct QuorelLibrary {
#define QUOREL_MEMBER(name) PFN_##name name;
    QUOREL_ENTRY_POINTS(QUOREL_MEMBER)
#undef QUOREL_MEMBER
};

// Loads Quorel32.dll (LoadProductLibrary) and resolves every entry point in order. When the
// library or any name is missing the library is freed, the table cleared, the last-error code of
// the failure kept, and null returned.
HMODULE BindQuorelLibrary(QuorelLibrary *table);
