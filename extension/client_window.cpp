// hFictDlg, the hidden window on the client's thread: the ID switch after a re-insertion, and the
// client's lock and unlock, carried out on the thread that owns the client's windows.
#include "client_window.h"

#include <string>

#include "common_ui.h"
#include "log.h"
#include "logon_state.h"
#include "text_ids.h"
#include "tolvik_res.h"

namespace {

enum : UINT {
    WM_TOLVIK_LOCK_KEYS = WM_APP + 1,  // wParam: press Escape first
    WM_TOLVIK_LOCK_LOGOUT_SCREEN,
    WM_TOLVIK_RESTORE_CLIENT,
    WM_TOLVIK_HIDE_CLIENT,
};

constexpr UINT_PTR kSearchTimer = 1;
// Between two looks for the Logout Screen: short, since the client shows it within a few
// milliseconds of the F5 and every pause is added to the time the client stays unlocked.
constexpr UINT kSearchPause = 10;
constexpr DWORD kTitlesOnlyMs = 1000;         // the client's own window is taken only after this
constexpr DWORD kSearchLimitMs = 10000;       // then the search gives up

const char kLogoutTitle[] = "Logout Screen";
// The Russian client's title of that screen, in code page 1251.
const char kLogoutTitle1251[] = "\xDD\xEA\xF0\xE0\xED\x20\xE2\xFB\xF5\xEE\xE4\xE0";
const char kClientClass[] = "NOTES";

DWORD g_searchStart = 0;

struct WindowQuery {
    const char *title;
    const char *className;
    HWND found;
    bool visibleOtherThanOurs;  // only a visible window that is not one of the extension's
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM param)
{
    WindowQuery *q = reinterpret_cast<WindowQuery *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId())
        return TRUE;
    if (q->visibleOtherThanOurs) {
        LogonState &s = State();
        if (!IsWindowVisible(window) || window == GetWindowHandle(s.hFictDlg) ||
            window == GetWindowHandle(s.hWait) || window == GetWindowHandle(s.hLock))
            return TRUE;
    }
    char text[256];
    if (q->className != nullptr) {
        if (GetClassNameA(window, text, sizeof text) == 0 || lstrcmpiA(text, q->className) != 0)
            return TRUE;
    }
    if (q->title != nullptr) {
        // Titles are looked up on the client's own thread only (hFictDlg's), where reading a
        // window's text sends nothing to another thread.
        if (GetWindowTextA(window, text, sizeof text) <= 0 || lstrcmpA(text, q->title) != 0)
            return TRUE;
    }
    q->found = window;
    return FALSE;
}

HWND FindOwnWindow(const char *title, const char *className, bool visibleOtherThanOurs = false)
{
    WindowQuery q = {title, className, nullptr, visibleOtherThanOurs};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

INT_PTR CALLBACK LockDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&State().hLock), nullptr, dialog);
        return TRUE;
    }
    return FALSE;
}

void LockFoundWindow(HWND dialog, HWND found, const char *how)
{
    LogonState &s = State();
    KillTimer(dialog, kSearchTimer);
    LogMessage(kLogStep, kLogModule, "onKeyRemoved: Found - %s", how);
    PutWindowHandle(s.hWndLS, found);
    SetForegroundWindow(found);
    LogMessage(kLogStep, kLogModule, "onKeyRemoved: Logout Screen - (hWndLS = %d) Try to disable",
               static_cast<int>(reinterpret_cast<INT_PTR>(found)));
    EnableWindow(found, FALSE);
    HWND lock = GetWindowHandle(s.hLock);
    if (lock == nullptr) {
        lock = CreateDialogParamA(s.instance, MAKEINTRESOURCEA(IDD_OPFICT), found, LockDlgProc, 0);
        PutWindowHandle(s.hLock, lock);
    }
    LogMessage(kLogStep, kLogModule, "onKeyRemoved: Lock Window - (hLock = %d) Logout Screen Disabled?",
               static_cast<int>(reinterpret_cast<INT_PTR>(lock)));
}

// One look for the Logout Screen; the client's main window stands in for it only when no screen
// of that title appeared in the first second (the client may still be handling F5).
void SearchStep(HWND dialog)
{
    DWORD elapsed = GetTickCount() - g_searchStart;
    if (HWND found = FindOwnWindow(kLogoutTitle, nullptr)) {
        LockFoundWindow(dialog, found, "\"Logout Screen\"");
        return;
    }
    if (HWND found = FindOwnWindow(kLogoutTitle1251, nullptr)) {
        LockFoundWindow(dialog, found, (std::string("\"") + kLogoutTitle1251 + "\"").c_str());
        return;
    }
    if (elapsed >= kTitlesOnlyMs) {
        if (HWND found = FindOwnWindow(nullptr, kClientClass)) {
            LockFoundWindow(dialog, found, "\"NOTES\" Class");
            return;
        }
    }
    if (elapsed >= kSearchLimitMs) {
        KillTimer(dialog, kSearchTimer);
        LogMessage(kLogError, kLogModule, "onKeyRemoved: Logout Screen not found after %lu ms - not locked",
                   static_cast<unsigned long>(elapsed));
    }
}

void RestoreClient(HWND dialog)
{
    LogonState &s = State();
    KillTimer(dialog, kSearchTimer);
    if (!NewerClient()) {
        HWND main = GetWindowHandle(s.hWndLSmain);
        if (main != nullptr) {
            ShowWindow(main, SW_SHOW);
            SetForegroundWindow(main);
        }
        return;
    }
    HWND lock = GetWindowHandle(s.hLock);
    if (lock != nullptr)
        DestroyWindow(lock);
    PutWindowHandle(s.hLock, nullptr);
    HWND screen = GetWindowHandle(s.hWndLS);
    if (screen != nullptr && IsWindow(screen)) {
        EnableWindow(screen, TRUE);
        SetForegroundWindow(screen);
        PostMessageA(screen, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 0);
        PostMessageA(screen, WM_LBUTTONUP, MK_CONTROL, 0);
    }
    LogMessage(kLogStep, kLogModule, "Logout Screen - (hWndLS = %d) Enabled",
               static_cast<int>(reinterpret_cast<INT_PTR>(screen)));
}

INT_PTR CALLBACK FictDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    LogonState &s = State();
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            SwitchToKeyId("FictDlgProc");
            return TRUE;
        }
        return FALSE;
    case WM_TOLVIK_LOCK_KEYS: {
        // A menu open on this thread (the tools popup, the client's own) would take the keys for
        // itself and the client would stay unlocked: it is closed first. Its close is posted, so
        // it is handled before the key presses below.
        EndMenu();
        HWND main = GetWindowHandle(s.hWndLSmain);
        if (main != nullptr)
            SetForegroundWindow(main);
        if (wParam != 0)
            PressKey(VK_ESCAPE);
        PressKey(VK_F5);  // the client's key for locking the ID
        return TRUE;
    }
    case WM_TOLVIK_LOCK_LOGOUT_SCREEN:
        LogMessage(kLogStep, kLogModule, "onKeyRemoved: Tray to find \"Logout Screen\"");
        g_searchStart = GetTickCount();
        SetTimer(dialog, kSearchTimer, kSearchPause, nullptr);
        SearchStep(dialog);  // the screen may be there already
        return TRUE;
    case WM_TIMER:
        if (wParam == kSearchTimer)
            SearchStep(dialog);
        return TRUE;
    case WM_TOLVIK_RESTORE_CLIENT:
        RestoreClient(dialog);
        return TRUE;
    case WM_TOLVIK_HIDE_CLIENT: {
        // The client's own dialog first (a password prompt, say), then its main window.
        HWND main = GetWindowHandle(s.hWndLSmain);
        HWND own = FindOwnWindow(nullptr, "#32770", true);
        if (own != nullptr) {
            LogMessage(kLogStep, kLogModule, "Lock LN Screen - ((Dialog) hWnd = %d)",
                       static_cast<int>(reinterpret_cast<INT_PTR>(own)));
            PostMessageA(own, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        if (main != nullptr)
            ShowWindow(main, SW_HIDE);
        return TRUE;
    }
    }
    return FALSE;
}

void Post(UINT message, WPARAM wParam = 0)
{
    HWND fict = GetWindowHandle(State().hFictDlg);
    if (fict != nullptr)
        PostMessageA(fict, message, wParam, 0);
}

}  // namespace

bool CreateFictWindow(HINSTANCE instance)
{
    if (GetWindowHandle(State().hFictDlg) != nullptr)
        return true;
    HWND fict = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_OPFICT), nullptr, FictDlgProc, 0);
    PutWindowHandle(State().hFictDlg, fict);
    return fict != nullptr;
}

void DestroyFictWindow()
{
    HWND fict = GetWindowHandle(State().hFictDlg);
    PutWindowHandle(State().hFictDlg, nullptr);
    if (fict != nullptr)
        DestroyWindow(fict);
}

STATUS SwitchToKeyId(const char *logPrefix)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "%s: SECKFMSwitchToIDFile <%s><%s><%d> Beg", logPrefix, s.sIDPath, s.sUserName,
               MAXUSERNAME);
    STATUS status = SECKFMSwitchToIDFile(s.sIDPath, s.sPassword, s.sUserName, MAXUSERNAME, 0, nullptr);
    LogMessage(kLogStep, kLogModule, "%s: SECKFMSwitchToIDFile <%s><%s><%d> End", logPrefix, s.sIDPath, s.sUserName,
               MAXUSERNAME);
    if (status != NOERROR) {
        char text[STATUS_TEXT_SIZE] = "";
        OSLoadString(nullptr, ERR(status), text, sizeof text);
        ErrorBox(Text(IDS_ERROR_SWITCHING_ID) + "\n" + text);
        LogMessage(kLogError, kLogModule, "%s: SECKFMSwitchToIDFile sIDPath=%s, sUserName=%s", logPrefix, s.sIDPath,
                   s.sUserName);
    }
    return status;
}

void PostIdSwitch() { Post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)); }
void PostLockKeys(bool escapeFirst) { Post(WM_TOLVIK_LOCK_KEYS, escapeFirst ? 1 : 0); }
void PostLockLogoutScreen() { Post(WM_TOLVIK_LOCK_LOGOUT_SCREEN); }
void PostRestoreClient() { Post(WM_TOLVIK_RESTORE_CLIENT); }
void PostHideClient() { Post(WM_TOLVIK_HIDE_CLIENT); }

HWND FindClientMainWindow()
{
    return FindOwnWindow(nullptr, kClientClass);
}
