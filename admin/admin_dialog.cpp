// The dialog trampoline and pixel placement of the console's dialogs.
#include "admin_dialog.h"

#include "admin_ui.h"
#include "centre_window.h"

HFONT AdminFont()
{
    static HFONT font = nullptr;
    if (font == nullptr) {
        font = CreateFontA(-MulDiv(8, ScreenDpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           "MS Shell Dlg");
        if (font == nullptr)
            font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return font;
}

INT_PTR AdminDialog::RunModal(HWND owner, int templateId)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, Proc,
                           reinterpret_cast<LPARAM>(this));
}

HWND AdminDialog::CreateModeless(HWND owner, int templateId)
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, Proc,
                              reinterpret_cast<LPARAM>(this));
}

void AdminDialog::SetClientSize(int width, int height)
{
    RECT r = {0, 0, Scale(width), Scale(height)};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOverOwner(window_);
}

void AdminDialog::Place(int id, int x, int y, int width, int height)
{
    HWND item = Item(id);
    if (item == nullptr)
        return;
    SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(AdminFont()), FALSE);
    SetWindowPos(item, nullptr, Scale(x), Scale(y), Scale(width), Scale(height), SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK AdminDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    AdminDialog *self = reinterpret_cast<AdminDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<AdminDialog *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->window_ = dialog;
        self->FormShow();
        return FALSE;  // FormShow has set the focus
    case WM_COMMAND:
        if (self != nullptr && self->Command(LOWORD(wParam), HIWORD(wParam)))
            return TRUE;
        return FALSE;
    case WM_DESTROY:
        if (self != nullptr) {
            self->FormClose();
            self->window_ = nullptr;
        }
        return FALSE;
    }
    return FALSE;
}
