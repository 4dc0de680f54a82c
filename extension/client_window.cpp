// hFictDlg, the hidden window on the client's thread: the Key events posted by the monitor reach
// the Key session here, and the client's lock and unlock are carried out on the thread that owns
// the client's windows.
#include "client_window.h"

#include <cctype>
#include <string>

#include "common_ui.h"
#include "key_session.h"
#include "log.h"
#include "logon_state.h"
#include "text_ids.h"
#include "tolvik_res.h"

namespace {

enum : UINT {
    WM_TOLVIK_KEY_EVENT = WM_APP + 1,  // lParam: a SessionEvent the window deletes
    WM_TOLVIK_SESSION_WORK,            // the session's deferred Key events
    WM_TOLVIK_LOCK_FOLLOW_UP,          // lParam: a LockFollowUp the window deletes
};

constexpr UINT_PTR kSearchTimer = 1;
constexpr UINT_PTR kHideTimer = 2;
// Between two looks for the Logout Screen: short, since the client shows it within a few
// milliseconds of the F5 and every pause is added to the time the client stays unlocked.
constexpr UINT kSearchPause = 10;
constexpr DWORD kTitlesOnlyMs = 1000;         // the client's own window is taken only after this
constexpr DWORD kSearchLimitMs = 10000;       // then the search gives up on a locked ID
constexpr DWORD kPressAgainMs = 1000;         // F5 again, while no Logout Screen shows
constexpr UINT kSlowSearchPause = 500;        // the search after the client's window was taken

const char kLogoutTitle[] = "Logout Screen";
// The Russian client's title of that screen, in code page 1251.
const char kLogoutTitle1251[] = "\xDD\xEA\xF0\xE0\xED\x20\xE2\xFB\xF5\xEE\xE4\xE0";
const char kClientClass[] = "NOTES";

DWORD g_searchStart = 0;
DWORD g_lastPress = 0;
bool g_standIn = false;  // the client's main window was disabled in place of the Logout Screen

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

void PostKey(HWND window, UINT key);

void LockFoundWindow(HWND dialog, HWND found, const char *how, bool standIn = false)
{
    LogonState &s = State();
    if (!standIn && g_standIn) {
        // The real Logout Screen came after all: the client's window is given back, the lock moves.
        g_standIn = false;
        HWND before = GetWindowHandle(s.hWndLS);
        if (HWND lock = GetWindowHandle(s.hLock))
            DestroyWindow(lock);
        PutWindowHandle(s.hLock, nullptr);
        if (before != nullptr && before != found)
            EnableWindow(before, TRUE);
    }
    if (standIn) {
        // The client has not shown its Logout Screen (a modal loop of its own, or a box, took the
        // F5): its window is disabled meanwhile, and the search goes on, slower, pressing F5 again.
        g_standIn = true;
        SetTimer(dialog, kSearchTimer, kSlowSearchPause, nullptr);
        LogMessage(kLogError, kLogModule, "onKeyRemoved: no Logout Screen yet - the client's ID is not locked");
    } else {
        KillTimer(dialog, kSearchTimer);
    }
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
    if (Session().State() != SessionState::kLocked) {
        KillTimer(dialog, kSearchTimer);  // the Key came back meanwhile
        return;
    }
    if (HWND found = FindOwnWindow(kLogoutTitle, nullptr)) {
        LockFoundWindow(dialog, found, "\"Logout Screen\"");
        return;
    }
    if (HWND found = FindOwnWindow(kLogoutTitle1251, nullptr)) {
        LockFoundWindow(dialog, found, (std::string("\"") + kLogoutTitle1251 + "\"").c_str());
        return;
    }
    if (GetTickCount() - g_lastPress >= kPressAgainMs) {
        g_lastPress = GetTickCount();
        if (HWND main = FindOwnWindow(nullptr, kClientClass))
            PostKey(main, VK_F5);
    }
    if (g_standIn)
        return;
    if (elapsed >= kTitlesOnlyMs) {
        if (HWND found = FindOwnWindow(nullptr, kClientClass)) {
            LockFoundWindow(dialog, found, "\"NOTES\" Class", true);
            return;
        }
    }
    if (elapsed >= kSearchLimitMs) {
        KillTimer(dialog, kSearchTimer);
        LogMessage(kLogError, kLogModule, "onKeyRemoved: Logout Screen not found after %lu ms - not locked",
                   static_cast<unsigned long>(elapsed));
    }
}

void RestoreClientOn(HWND dialog)
{
    LogonState &s = State();
    KillTimer(dialog, kSearchTimer);
    if (KillTimer(dialog, kHideTimer))
        CloseWaitWindow();  // the Key came back before the display lock
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

// A key press and release posted to the client's own window: it goes through the client's queue
// (and its accelerators) whatever program has the foreground, and never to another program.
void PostKey(HWND window, UINT key)
{
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (1UL << 30) | (1UL << 31));
}

INT_PTR CALLBACK FictDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            SwitchToKeyId("FictDlgProc");
            return TRUE;
        }
        return FALSE;
    case WM_TOLVIK_KEY_EVENT: {
        SessionEvent *event = reinterpret_cast<SessionEvent *>(lParam);
        SessionEvent copy = *event;
        delete event;
        Session().OnEvent(copy);
        return TRUE;
    }
    case WM_TOLVIK_SESSION_WORK:
        Session().RunDeferred();
        return TRUE;
    case WM_TOLVIK_LOCK_FOLLOW_UP:
        RunLockFollowUp(reinterpret_cast<LockFollowUp *>(lParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kSearchTimer)
            SearchStep(dialog);
        if (wParam == kHideTimer) {
            KillTimer(dialog, kHideTimer);
            CloseWaitWindow();
            if (Session().State() == SessionState::kLocked && !Session().Stopping())
                HideClient();
        }
        return TRUE;
    }
    return FALSE;
}

HWND Fict()
{
    return GetWindowHandle(State().hFictDlg);
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

void PostSessionEvent(const SessionEvent &event)
{
    HWND fict = Fict();
    if (fict == nullptr)
        return;
    SessionEvent *copy = new SessionEvent(event);
    if (!PostMessageA(fict, WM_TOLVIK_KEY_EVENT, 0, reinterpret_cast<LPARAM>(copy)))
        delete copy;  // the window is gone or its queue is full: the event is dropped whole
}

void PostLockFollowUp(LockFollowUp *lock)
{
    HWND fict = Fict();
    if (fict == nullptr || !PostMessageA(fict, WM_TOLVIK_LOCK_FOLLOW_UP, 0, reinterpret_cast<LPARAM>(lock)))
        delete lock;
}

void PostSessionWork()
{
    HWND fict = Fict();
    if (fict != nullptr)
        PostMessageA(fict, WM_TOLVIK_SESSION_WORK, 0, 0);
}

void LockClientKeys(HWND main, bool escapeFirst)
{
    // A menu open on this thread (the tools popup, the client's own) would take the keys for
    // itself and the client would stay unlocked: it is closed first.
    EndMenu();
    if (main == nullptr) {
        LogMessage(kLogError, kLogModule, "onKeyRemoved: the client's window was not found - no F5 sent");
        return;
    }
    if (escapeFirst)
        PostKey(main, VK_ESCAPE);
    PostKey(main, VK_F5);  // the client's key for locking the ID
}

void LockLogoutScreen()
{
    HWND fict = Fict();
    if (fict == nullptr)
        return;
    LogMessage(kLogStep, kLogModule, "onKeyRemoved: Tray to find \"Logout Screen\"");
    g_searchStart = GetTickCount();
    g_lastPress = g_searchStart;
    g_standIn = false;
    // The client has taken the lock keys by now (this runs after them in its queue) and normally
    // shows its screen at once: the first look is taken here, the timer only repeats it.
    SetTimer(fict, kSearchTimer, kSearchPause, nullptr);
    SearchStep(fict);
}

void RestoreClient()
{
    HWND fict = Fict();
    if (fict != nullptr)
        RestoreClientOn(fict);
}

void HideClientAfter(DWORD ms)
{
    HWND fict = Fict();
    if (fict != nullptr)
        SetTimer(fict, kHideTimer, ms, nullptr);
}

void HideClient()
{
    // The client's own dialog first (a password prompt, say), then its main window.
    LogonState &s = State();
    HWND main = GetWindowHandle(s.hWndLSmain);
    HWND own = FindOwnWindow(nullptr, "#32770", true);
    if (own != nullptr) {
        LogMessage(kLogStep, kLogModule, "Lock LN Screen - ((Dialog) hWnd = %d)",
                   static_cast<int>(reinterpret_cast<INT_PTR>(own)));
        PostMessageA(own, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    if (main != nullptr)
        ShowWindow(main, SW_HIDE);
}

// The item of `menu` whose mnemonic (the letter after '&') is `key`, or -1.
int ItemByMnemonic(HMENU menu, char key)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = "";
        if (GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION) <= 0)
            continue;
        for (const char *p = text; *p != 0; ++p) {
            if (p[0] == '&' && p[1] != 0 && p[1] != '&') {
                if (std::toupper(static_cast<unsigned char>(p[1])) == std::toupper(static_cast<unsigned char>(key)))
                    return i;
                break;
            }
        }
    }
    return -1;
}

void OpenSwitchIdMenu(HWND owner, bool newer)
{
    HWND main = FindClientMainWindow();
    HWND target = main != nullptr ? main : owner;
    if (target == nullptr)
        return;
    // What Alt, F, Y (T below 190), W would choose in the client's menu bar, posted to the client's
    // own window as the command that item carries.
    const char keys[3] = {'F', newer ? 'Y' : 'T', 'W'};
    HMENU menu = GetMenu(target);
    for (int level = 0; menu != nullptr && level < 3; ++level) {
        int at = ItemByMnemonic(menu, keys[level]);
        if (at < 0)
            break;
        if (level == 2) {
            UINT id = GetMenuItemID(menu, at);
            LogMessage(kLogStep, kLogModule, "SentrioTools : Switch ID command %u", id);
            PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, 0), 0);
            return;
        }
        menu = GetSubMenu(menu, at);
    }
    // No such menu to read (a client drawing its own): its menu bar by keyboard command instead.
    LogMessage(kLogStep, kLogModule, "SentrioTools : Switch ID by the menu bar's keys");
    PostMessageA(target, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    PostMessageA(target, WM_CHAR, static_cast<WPARAM>(newer ? 'y' : 't'), 1);
    PostMessageA(target, WM_CHAR, 'w', 1);
}

void PostKeyToFocus(UINT key)
{
    HWND focus = GetFocus();
    if (focus == nullptr)
        focus = GetActiveWindow();
    if (focus != nullptr)
        PostKey(focus, key);
}

HWND FindClientMainWindow()
{
    return FindOwnWindow(nullptr, kClientClass);
}
