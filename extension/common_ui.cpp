// The product caption, the error box, the wait window and the message-serving wait.
#include "common_ui.h"


#include "centre_window.h"
#include "key_session.h"
#include "logon_state.h"
#include "texts.h"
#include "text_ids.h"
#include "tolvik_res.h"
#include "module_activation.h"

namespace {

INT_PTR CALLBACK WaitDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, ProductCaption().c_str());
        SetDlgItemTextA(dialog, IDC_WAIT_TEXT, Text(IDS_WAIT_WINDOW_TEXT).c_str());
        CentreOverOwner(dialog);
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY: {
        HWND volatile &wait = State().hWait;
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&wait), nullptr, dialog);
        return TRUE;
    }
    case WM_COMMAND:
        return TRUE;  // no buttons: input is ignored, Esc and Enter included
    }
    return FALSE;
}

}  // namespace


void ErrorBox(const std::string &text)
{
    CloseWaitWindow();
    if (Session().Stopping())
        return;  // the client ends: nobody is left to read it
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    MessageBoxA(GetFocus(), text.c_str(), ProductCaption().c_str(),
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

void ShowWaitWindow()
{
    if (GetWindowHandle(State().hWait) != nullptr)
        return;
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    HWND wait = CreateDialogParamA(State().instance, MAKEINTRESOURCEA(IDD_OPWAIT), nullptr, WaitDlgProc, 0);
    if (wait == nullptr)
        return;
    PutWindowHandle(State().hWait, wait);
    ShowWindow(wait, SW_SHOWNOACTIVATE);
    UpdateWindow(wait);
}

void CloseWaitWindow()
{
    HWND wait = GetWindowHandle(State().hWait);
    if (wait == nullptr)
        return;
    if (GetWindowThreadProcessId(wait, nullptr) == GetCurrentThreadId())
        DestroyWindow(wait);
    else
        PostMessageA(wait, WM_CLOSE, 0, 0);  // only its own thread may destroy it
}

bool WaitServingMessages(HANDLE handle, DWORD ms)
{
    return WaitServingMessages(&handle, handle != nullptr ? 1 : 0, ms);
}

bool WaitServingMessages(const HANDLE *handles, DWORD count, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return false;
        DWORD r = MsgWaitForMultipleObjects(count, count != 0 ? handles : nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
        if (count != 0 && r < WAIT_OBJECT_0 + count)
            return true;
        if (r == WAIT_OBJECT_0 + count) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    return false;
                }
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else if (r == WAIT_FAILED) {
            return false;
        }
    }
}


