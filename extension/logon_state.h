// LogonState: the data of Tolvik's Key session (key_session.h holds its state and bound reader):
// the Key's record and ID file, the PIN, notes.ini's previous KeyFileName, and the windows and
// handles the session keeps. Written on the client's thread; the password handlers read it under
// the handler lock.
#pragma once

#include <windows.h>

#include "notes_api.h"
#include "notes_key_data.h"

class CSmartKeyEx;

constexpr int kPinBufferSize = 11;        // up to 10 characters
constexpr LONG kPinLengthLimit = 10;      // the PIN prompts at logon and re-insertion
constexpr LONG kNewPinLengthLimit = 8;    // the change-PIN prompts
constexpr int kLabelSize = 36;

struct LogonState {
    volatile LONG pinLengthLimit = kPinLengthLimit;
    LONG pinLength = 0;  // the prompt's length value; -1 lets an empty entry through

    char sPinEdit[kPinBufferSize] = "";
    char sPin[kPinBufferSize] = "";
    char sUserName[MAXUSERNAME + 1] = "";
    char sPassword[kPasswordMax + 1] = "";
    char sIDFileName[kIDFileNameMax + 1] = "";
    char sIDPath[MAXUSERNAME + 1] = "";
    char sOldKeyFileName[MAXENVVALUE] = "";  // notes.ini KeyFileName before the switch, whole
    bool bOldKeyFileNameKept = false;         // sOldKeyFileName is to be put back (it may be empty)
    char sJournal[MAX_PATH] = "";             // the session journal's file (session_journal.h)
    char sHelpFile[MAXENVVALUE] = "";
    WORD wNotesBuild = 0;
    DWORD dwLogonTick = 0;
    NotesKeyData keyData = {};

    HINSTANCE instance = nullptr;
    HANDLE hMapping = nullptr;
    HANDLE hMutex = nullptr;
    HANDLE hSemaphore = nullptr;
    HEMREGISTRATION hGetPwdReg = 0;
    HEMREGISTRATION hSetPwdReg = 0;
    HEMREGISTRATION hTerminateReg = 0;  // the client's termination notice (EM_TERMINATENSF)
    HWND volatile hFictDlg = nullptr;
    HWND volatile hWait = nullptr;
    HWND volatile hPinPrompt = nullptr;  // the PIN prompt while it is shown
    HWND volatile hWndLS = nullptr;
    HWND volatile hWndLSmain = nullptr;
    HWND volatile hLock = nullptr;
};

// The one state of the process, and the one Key access object.
LogonState &State();
CSmartKeyEx &Key();

inline HWND GetWindowHandle(HWND volatile &window)
{
    return static_cast<HWND>(InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&window),
                                                               nullptr, nullptr));
}
inline void PutWindowHandle(HWND volatile &window, HWND value)
{
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&window), value);
}

// True when the client counts as the newer one (Logout Screen).
inline bool NewerClient()
{
    return State().wNotesBuild >= NOTES_BUILD_NEWER_CLIENT;
}

// The log lines of the extension all go under this module name.
constexpr char kLogModule[] = "Sentrio";
