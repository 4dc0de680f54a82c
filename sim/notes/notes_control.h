// Control surface of the nnotes.dll stand-in, for tests, the Notes client host and the demo.
// Exported by name (cdecl) beside the Notes C API ordinals; import library `nnotes_control`.
// Everything here works on the calling process's own stand-in: its active notes.ini, its current
// ID and its registered Extension Manager handlers.
#pragma once

#include "notes_api.h"

// Stand-in statuses of its own (the real client's values for these are not public).
constexpr STATUS NSIM_ERR_NOT_INITIALIZED = PKG_OS + 0x50;  // no notes.ini is active
constexpr STATUS NSIM_ERR_NO_KEYFILENAME = PKG_SECURE + 0x30;  // notes.ini names no ID file
constexpr STATUS NSIM_ERR_ID_DAMAGED = PKG_SECURE + 0x31;   // not an ID file, or damaged
constexpr STATUS NSIM_ERR_ID_WRITE = PKG_SECURE + 0x32;     // the ID file could not be written
constexpr STATUS NSIM_ERR_NO_ID = PKG_SECURE + 0x33;        // no ID is in use
constexpr STATUS NSIM_ERR_ID_READ = PKG_SECURE + 0x34;      // the ID file exists but cannot be read
constexpr STATUS NSIM_ERR_BAD_ARGUMENT = PKG_OS + 0x51;     // a required argument is missing
constexpr STATUS NSIM_ERR_BAD_HANDLE = PKG_NSF + 0x60;      // unknown database or registration

// Build number when neither NsimSetBuildVersion nor SENTRIO_NOTES_BUILD says otherwise.
constexpr WORD NSIM_DEFAULT_BUILD = 190;
#define NSIM_ENV_BUILD "SENTRIO_NOTES_BUILD"  // environment: build number for this process
#define NSIM_ENV_INI "SENTRIO_NOTES_INI"      // environment: notes.ini of the client host
// Environment: a file to which each NotesInitIni that succeeds appends a line "init" and each
// NotesTerm a line "term", so that a test sees from outside whether a program pairs them.
#define NSIM_ENV_RUNTIME_LOG "SENTRIO_NOTES_RUNTIME_LOG"

struct NSIM_STATE {
    char szIniPath[MAX_PATH];      // the active notes.ini ("" when none)
    char szIdFile[MAX_PATH];       // the ID in use ("" when none)
    char szUserName[MAXUSERNAME + 1];
    BOOL fLocked;                  // the ID is locked (F5): its password is needed again
    WORD wBuild;
    DWORD dwHandlers73;            // registrations for EM_GETPASSWORD
    DWORD dwHandlers74;            // registrations for EM_SETPASSWORD
    DWORD dwHandlerCalls;          // handler calls made so far
    DWORD dwOffThreadCalls;        // API calls made on another thread than the one that ran NotesInitIni
    char szOffThreadCall[64];      // the first of them
};

extern "C" {
// Sends EM_GETPASSWORD for `idFile` and `user` with a `maxLen`-byte password buffer through the
// registered handlers, in registration order, until one answers something else than
// ERR_EM_CONTINUE. `*status` gets that answer (ERR_EM_CONTINUE when none answered), `buffer`
// and `*length` what the handler filled. TRUE when a handler answered.
BOOL NsimFirePasswordRequest(const char *idFile, const char *user, DWORD maxLen, STATUS *status,
                             char *buffer, DWORD *length);
// Sends EM_SETPASSWORD likewise (buffer for the new password).
BOOL NsimFirePasswordChange(const char *idFile, const char *user, DWORD maxLen, STATUS *status,
                            char *buffer, DWORD *length);
// Sends EM_TERMINATENSF (the NSF service ends for the process) through the registered handlers,
// as the client does right before it unloads the extensions; the last handler's answer.
STATUS NsimTerminateNsf(void);
void NsimGetState(NSIM_STATE *state);
void NsimSetBuildVersion(WORD build);
// Locks the ID in use; NsimUnlockId opens it again with its password (0, or the open's status).
void NsimLockId(void);
STATUS NsimUnlockId(const char *password);
// The next call of the function at `ordinal` fails with `status` (0 cancels).
void NsimFailNext(WORD ordinal, STATUS status);
// Owner name of an ID file, from its clear header.
STATUS NsimReadIdOwner(const char *idFile, char *user, WORD size);
// Writes a new ID file for `user` that opens with `password`.
STATUS NsimCreateIdFile(const char *idFile, const char *user, const char *password);
// The same, `size` bytes long (its encrypted keys padded; at least what the name needs), as the
// larger ID files of real users are.
STATUS NsimCreateIdFileOfSize(const char *idFile, const char *user, const char *password, DWORD size);
// Opens an ID file with `password` without making it the ID in use: 0, ERR_SECURE_BADPASSWORD,
// ERR_NOEXIST, NSIM_ERR_ID_READ or NSIM_ERR_ID_DAMAGED.
STATUS NsimCheckIdPassword(const char *idFile, const char *password);
// Forgets the ID in use, the handlers, the fault and the active notes.ini, and gives back the
// build number the process started with.
void NsimReset(void);
}
