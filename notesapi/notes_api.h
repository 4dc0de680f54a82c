// The product's view of the Notes C API (nnotes.dll): the types, calling convention, status codes,
// Extension Manager records and menu add-in records that Tolvik, TolvikM and Arbolin rely on, with
// the public names of the Notes headers. The functions are imported through the import library
// made from notesapi/nnotes_imports.cmake (target `notesapi`): by the 32-bit library's ordinals in
// 32-bit images, by name in 64-bit ones.
#pragma once

#include <windows.h>

#include <cstddef>

// ---------------------------------------------------------------------------------------------
// Types and calling convention

typedef WORD STATUS;            // every call answers a 16-bit status, NOERROR on success
typedef WORD EID;               // Extension Manager notification id
typedef WORD NAMRESULT;         // answer of a menu add-in procedure
typedef DWORD DHANDLE;          // a Notes memory handle: 32 bits on both bitnesses

// The handle of one handler registration and a database handle. On 32-bit Windows both are 4
// bytes. What the 64-bit library writes through a pointer to one is not public (a 32-bit DHANDLE or
// a pointer-sized handle), so 64-bit builds receive either into 8-byte storage, zeroed by the
// caller before the call (a library that writes 4 bytes leaves the upper half zero), and pass the
// whole 8 bytes back (a library that takes 4 bytes reads the lower half). NotesHandleIsWide tells
// which the library wrote.
#ifdef _WIN64
typedef ULONGLONG HEMREGISTRATION;
typedef ULONGLONG DBHANDLE;
#else
typedef DWORD HEMREGISTRATION;
typedef DWORD DBHANDLE;
#endif

// Whether a handle received from the library uses its upper half (64-bit builds only: a wider
// handle than a DHANDLE, kept whole).
template <typename Handle>
constexpr bool NotesHandleIsWide(Handle handle)
{
    return sizeof(Handle) > sizeof(DWORD) && (static_cast<ULONGLONG>(handle) >> 32) != 0;
}

#define LNPUBLIC __stdcall
#define LNCALLBACK __stdcall

// ---------------------------------------------------------------------------------------------
// Status codes and masks

#ifndef NOERROR
#define NOERROR 0
#endif
constexpr STATUS ERR_MASK = 0x3FFF;      // the error code proper
constexpr STATUS PKG_MASK = 0x3F00;
constexpr STATUS ERRNUM_MASK = 0x00FF;
constexpr STATUS STS_DISPLAYED = 0x8000; // the client already showed the error
constexpr STATUS STS_REMOTE = 0x4000;    // the error came from a server

// The error code proper of a status: what callers pass to OSLoadString.
constexpr STATUS ERR(STATUS status) { return static_cast<STATUS>(status & ERR_MASK); }

constexpr STATUS PKG_OS = 0x0100;
constexpr STATUS PKG_NSF = 0x0200;
constexpr STATUS PKG_BSAFE = 0x1700;
constexpr STATUS PKG_SECURE = 0x1900;

constexpr STATUS ERR_NOEXIST = PKG_OS + 3;                          // 259: file does not exist
constexpr STATUS ERR_EM_CONTINUE = PKG_NSF + 213;                   // 725: not handled, go on
constexpr STATUS ERR_BSAFE_USER_ABORT = PKG_BSAFE + 40;             // 5928: the user cancelled
constexpr STATUS ERR_BSAFE_EXTERNAL_PASSWORD = PKG_BSAFE + 97;      // 5985: password supplied
constexpr STATUS ERR_BSAFE_EXTERNAL_PWD_AND_DATA = PKG_BSAFE + 98;  // 5986
constexpr STATUS ERR_BSAFE_PASSWORD_REQUIRED = PKG_BSAFE + 119;     // 6007: password refused
constexpr STATUS ERR_SECURE_BADPASSWORD = PKG_SECURE + 8;           // 6408: wrong password

static_assert(ERR_EM_CONTINUE == 725, "ERR_EM_CONTINUE");
static_assert(ERR_BSAFE_USER_ABORT == 5928, "ERR_BSAFE_USER_ABORT");
static_assert(ERR_BSAFE_EXTERNAL_PASSWORD == 5985, "ERR_BSAFE_EXTERNAL_PASSWORD");
static_assert(ERR_BSAFE_PASSWORD_REQUIRED == 6007, "ERR_BSAFE_PASSWORD_REQUIRED");

// ---------------------------------------------------------------------------------------------
// Sizes

constexpr WORD MAXENVVALUE = 256;    // buffer for one notes.ini value
constexpr WORD MAXUSERNAME = 256;    // user name, terminator not counted
constexpr WORD STATUS_TEXT_SIZE = 256;  // the usual buffer for OSLoadString

// SECKFMSwitchToIDFile flag: leave notes.ini KeyFileName as it is.
constexpr DWORD fKFM_switchid_DontSetEnvVar = 0x0008;

// notes.ini variables the product reads and writes.
#define NOTES_INI_KEYFILENAME "KeyFileName"
#define NOTES_INI_DIRECTORY "Directory"
#define NOTES_INI_EXTMGR_ADDINS "EXTMGR_ADDINS"
#define NOTES_INI_ADDINMENUS "AddInMenus"

// Build numbers from this one up are the newer client (Logout Screen, File > Security).
constexpr WORD NOTES_BUILD_NEWER_CLIENT = 190;

// ---------------------------------------------------------------------------------------------
// Extension Manager

// Notifications.
constexpr EID EM_TERMINATENSF = 69;
constexpr EID EM_GETPASSWORD = 73;
constexpr EID EM_SETPASSWORD = 74;
constexpr EID EM_CLEARPASSWORD = 90;

// EMRECORD.NotificationType: the handler runs before or after the client's operation.
constexpr WORD EM_BEFORE = 0;
constexpr WORD EM_AFTER = 1;
// EMRegister flags.
constexpr DWORD EM_REG_BEFORE = 0x0001;
constexpr DWORD EM_REG_AFTER = 0x0002;

// Argument slots of EMRECORD.Ap: every argument takes one slot, 4 bytes on 32-bit Windows
// (argument n at Ap + 4n), 8 bytes on 64-bit Windows (argument n at Ap + 8n), where a DWORD
// argument sits in the low half and the upper half is undefined: EMArgument<DWORD> reads the low
// half only.
typedef DWORD_PTR EMARGSLOT;
typedef EMARGSLOT *VARARG_PTR;

// Arguments of EM_GETPASSWORD, in slot order.
enum EmGetPasswordArg {
    EM_GETPASSWORD_MAXPWDLEN = 0,   // DWORD: size of the password buffer
    EM_GETPASSWORD_RETLENGTH = 1,   // DWORD *: length of the password given back
    EM_GETPASSWORD_RETPASSWORD = 2, // char *: the password buffer
    EM_GETPASSWORD_FILENAME = 3,    // char *: ID file the client wants to open
    EM_GETPASSWORD_OWNERNAME = 4,   // char *: owner (user) name of that ID
    EM_GETPASSWORD_DATALEN = 5,     // DWORD
    EM_GETPASSWORD_DATA = 6,        // BYTE *
    EM_GETPASSWORD_ARGCOUNT = 7
};

// Arguments of EM_SETPASSWORD: the seven above (the first three hold the new password), then
// three for extra data.
enum EmSetPasswordArg {
    EM_SETPASSWORD_MAXPWDLEN = 0,
    EM_SETPASSWORD_RETLENGTH = 1,
    EM_SETPASSWORD_RETPASSWORD = 2,
    EM_SETPASSWORD_FILENAME = 3,
    EM_SETPASSWORD_OWNERNAME = 4,
    EM_SETPASSWORD_DATALEN = 5,
    EM_SETPASSWORD_DATA = 6,
    EM_SETPASSWORD_MAXNEWDATA = 7,
    EM_SETPASSWORD_RETNEWDATALEN = 8,
    EM_SETPASSWORD_RETNEWDATA = 9,
    EM_SETPASSWORD_ARGCOUNT = 10
};

// The Notes headers pack their structures to 1 byte on 32-bit Windows; 64-bit builds use natural
// alignment, as the 64-bit headers do.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#endif
struct EMRECORD {
    EID EId;                // notification
    WORD NotificationType;  // EM_BEFORE or EM_AFTER
    STATUS Status;          // status of the operation so far (NOERROR before it)
    VARARG_PTR Ap;          // the argument slots
};

// Menu add-ins (notes.ini AddInMenus): one procedure at export ordinal 1.
constexpr WORD NAMM_INIT = 0;      // NAM_INIT_INFO: the add-in names one menu entry
constexpr WORD NAMM_INITMENU = 1;  // NAM_INITMENU_INFO: the Actions menu is about to open
constexpr WORD NAMM_COMMAND = 2;   // NAM_COMMAND_INFO: the user chose one of the entries
constexpr WORD NAMM_TERM = 3;      // the client is ending

constexpr NAMRESULT NAM_NOERROR = 0;
constexpr NAMRESULT NAM_INIT_CONTINUE = 1;  // send NAMM_INIT again for a further entry
constexpr NAMRESULT NAM_INIT_STOP = 2;      // no further entries

constexpr int MAX_ADDIN_MENU_NAME = 64;     // terminator included

struct NAM_INIT_INFO {
    WORD wStartingID;                        // in: first menu id the client gives the add-in
    WORD wMenuItemNumber;                    // in: number of this entry (0, 1, ...)
    WORD wMenuID;                            // out: the add-in's own id for this entry
    char MenuItemName[MAX_ADDIN_MENU_NAME];  // out: label, '&' marks the mnemonic
};

// What the client knows of the document in view; the product does not read it.
struct NAM_CONTEXT_DATA {
    DWORD dwReserved[4];
};

struct NAM_COMMAND_INFO {
    HWND hNotesWnd;          // the client's window
    WORD wMenuID;            // the add-in's id of the chosen entry
    NAM_CONTEXT_DATA Data;
};

struct NAM_INITMENU_INFO {
    HMENU hMenu;
    NAM_CONTEXT_DATA Data;
};
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
#endif

// The layouts the client shares with the product, for each bitness.
#ifdef _WIN64
static_assert(sizeof(EMRECORD) == 16, "EMRECORD is 16 bytes with natural alignment");
static_assert(offsetof(EMRECORD, Status) == 4, "EMRECORD.Status");
static_assert(offsetof(EMRECORD, Ap) == 8, "EMRECORD.Ap");
static_assert(sizeof(EMARGSLOT) == 8, "8-byte argument slots");
static_assert(offsetof(NAM_COMMAND_INFO, hNotesWnd) == 0 && sizeof(HWND) == 8, "NAM_COMMAND_INFO.hNotesWnd");
static_assert(offsetof(NAM_COMMAND_INFO, wMenuID) == 8, "NAM_COMMAND_INFO.wMenuID");
static_assert(sizeof(DBHANDLE) == 8 && sizeof(HEMREGISTRATION) == 8, "handles received into 8-byte storage");
#else
static_assert(sizeof(EMRECORD) == 10, "EMRECORD is packed to 10 bytes");
static_assert(offsetof(EMRECORD, Status) == 4, "EMRECORD.Status");
static_assert(offsetof(EMRECORD, Ap) == 6, "EMRECORD.Ap");
static_assert(sizeof(EMARGSLOT) == 4, "4-byte argument slots");
static_assert(offsetof(NAM_COMMAND_INFO, wMenuID) == 4, "NAM_COMMAND_INFO.wMenuID");
static_assert(offsetof(NAM_COMMAND_INFO, Data) == 6, "NAM_COMMAND_INFO.Data");
static_assert(sizeof(DBHANDLE) == 4 && sizeof(HEMREGISTRATION) == 4, "DBHANDLE, HEMREGISTRATION");
#endif
static_assert(sizeof(DHANDLE) == 4, "DHANDLE is 32 bits on both bitnesses");
static_assert(sizeof(STATUS) == 2 && sizeof(WORD) == 2 && sizeof(DWORD) == 4, "LLP64 sizes");
static_assert(offsetof(EMRECORD, NotificationType) == 2, "EMRECORD.NotificationType");
static_assert(sizeof(NAM_INIT_INFO) == 70, "NAM_INIT_INFO is 70 bytes");
static_assert(offsetof(NAM_INIT_INFO, wMenuID) == 4, "NAM_INIT_INFO.wMenuID");
static_assert(offsetof(NAM_INIT_INFO, MenuItemName) == 6, "NAM_INIT_INFO.MenuItemName");

typedef STATUS(LNCALLBACK *EMHANDLER)(EMRECORD *record);
typedef STATUS(LNPUBLIC *EXTENSION_ENTRY)(void);  // an extension's export ordinal 1
typedef NAMRESULT(LNCALLBACK *ADDIN_MENU_PROC)(WORD wMsg, void *pParam);

// Argument `index` of a notification record, as the type the caller expects: a pointer is the
// whole slot, a DWORD the slot's low half (on 64-bit Windows the upper half is undefined).
template <typename T>
inline T EMArgument(const EMRECORD *record, int index)
{
    return (T)(record->Ap[index]);
}
template <>
inline DWORD EMArgument<DWORD>(const EMRECORD *record, int index)
{
    return static_cast<DWORD>(record->Ap[index] & 0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------------------------
// The functions, imported from nnotes.dll (see nnotes_imports.cmake); the numbers are the 32-bit
// library's ordinals.

extern "C" {
STATUS LNPUBLIC NotesInitIni(char *pConfigFileName);                                      // 12
void LNPUBLIC NotesTerm(void);                                                            // 13
void LNPUBLIC OSSetEnvironmentVariable(const char *VariableName, const char *Value);      // 401
BOOL LNPUBLIC OSGetEnvironmentString(const char *VariableName, char *retValueBuffer,
                                     WORD BufferLength);                                  // 416
WORD LNPUBLIC OSLoadString(HMODULE hModule, STATUS StringCode, char *retBuffer,
                           WORD BufferLength);                                            // 707
STATUS LNPUBLIC SECKFMGetUserName(char *retUserName);                                     // 1562
STATUS LNPUBLIC SECKFMChangePassword(char *pIDFile, char *pOldPassword, char *pNewPassword);  // 1667
STATUS LNPUBLIC SECKFMSwitchToIDFile(char *pIDFileName, char *pPassword, char *pUserName,
                                     WORD MaxUserNameLength, DWORD Flags, void *pReserved);  // 1747
STATUS LNPUBLIC NSFDbOpen(const char *PathName, DBHANDLE *rethDB);                       // 2005
STATUS LNPUBLIC NSFDbClose(DBHANDLE hDB);                                                 // 2001
STATUS LNPUBLIC NSFDbGetBuildVersion(DBHANDLE hDB, WORD *retVersion);                     // 2024
STATUS LNPUBLIC EMCreateRecursionID(WORD *retRecursionID);                                // 2394
STATUS LNPUBLIC EMRegister(EID EmID, DWORD Flags, EMHANDLER Proc, WORD RecursionID,
                           HEMREGISTRATION *rethRegistration);                            // 2348
STATUS LNPUBLIC EMDeregister(HEMREGISTRATION hRegistration);                              // 2349
}
