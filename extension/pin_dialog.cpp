// The PIN prompt: fills its controls from the fields and reads the PIN back on OK.
#include "pin_dialog.h"

#include <vector>

#include "centre_window.h"
#include "common_ui.h"
#include "logon_state.h"
#include "module_activation.h"
#include "secure_wipe.h"
#include "text_ids.h"
#include "tolvik_res.h"

int TPINDlg::Show(HINSTANCE instance)
{
    acceptsEmpty_ = length == -1;
    instance_ = instance;
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    int dialogId = mode == kModeNewPin || mode == kModeConfirmPin ? IDD_NEWPINDIALOG : IDD_PINDIALOG;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(dialogId), nullptr, Proc,
                                     reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

INT_PTR CALLBACK TPINDlg::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TPINDlg *self = reinterpret_cast<TPINDlg *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<TPINDlg *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->FormInit(dialog);
        return TRUE;
    case WM_COMMAND:
        if (self == nullptr)
            break;
        if (LOWORD(wParam) == IDOK) {
            int result = self->OkBtClick(dialog);
            WipeWindowText(GetDlgItem(dialog, IDC_PIN_EDIT));
            EndDialog(dialog, result);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            WipeWindowText(GetDlgItem(dialog, IDC_PIN_EDIT));
            EndDialog(dialog, kPinSecondButton);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (self != nullptr)
            self->FormDestroy();
        break;
    }
    return FALSE;
}

void TPINDlg::FormInit(HWND dialog)
{
    CentreOverOwner(dialog);
    if (shownWindow != nullptr)
        PutWindowHandle(*shownWindow, dialog);
    SendDlgItemMessageA(dialog, IDC_PIN_EDIT, EM_LIMITTEXT, static_cast<WPARAM>(lengthLimit), 0);
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetWindowTextA(dialog, ProductCaption().c_str());
    SetDlgItemTextA(dialog, IDOK, Text(IDS_OK).c_str());
    SetDlgItemTextA(dialog, IDCANCEL, Text(IDS_BUTTON_WORK_WITHOUT_KSD).c_str());
    SetDlgItemTextA(dialog, IDC_PIN_PROMPT, Text(IDS_ENTER_KSD_PIN).c_str());
    SetDlgItemTextA(dialog, IDC_PIN_LABEL, label.c_str());
    if (mode == kModeNewPin || mode == kModeConfirmPin) {
        SetDlgItemTextA(dialog, IDCANCEL, Text(IDS_CANCEL).c_str());
        SetWindowTextA(dialog, Text(mode == kModeNewPin ? IDS_ENTER_NEW_PIN : IDS_CONFIRM_NEW_PIN).c_str());
        SetDlgItemTextA(dialog, IDC_PIN_NOTE, mode == kModeNewPin ? Text(IDS_BLANK_REMOVES_PIN).c_str() : "");
    }

    HDC dc = GetDC(dialog);
    int height = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(dialog, dc);
    labelFont_ = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    if (labelFont_ != nullptr)
        SendDlgItemMessageA(dialog, IDC_PIN_LABEL, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_), FALSE);
    icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_TOLVIK_PRODUCT));
    SendDlgItemMessageA(dialog, IDC_PIN_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
    SetFocus(GetDlgItem(dialog, IDC_PIN_EDIT));
}

TPINDlg::~TPINDlg()
{
    WipeString(pin);
}

int TPINDlg::OkBtClick(HWND dialog)
{
    std::vector<char> text(static_cast<std::size_t>(lengthLimit) + 1, '\0');
    WipeOnExit wipe([&] { WipeVector(text); });
    pin.reserve(static_cast<std::size_t>(lengthLimit) + 1);
    int n = GetDlgItemTextA(dialog, IDC_PIN_EDIT, text.data(), lengthLimit + 1);
    pin.assign(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    length = static_cast<LONG>(pin.size());
    if (acceptsEmpty_)
        return kPinOk;
    return pin.empty() ? kPinOkEmpty : kPinOk;
}

void TPINDlg::FormDestroy()
{
    if (shownWindow != nullptr)
        PutWindowHandle(*shownWindow, nullptr);
    if (labelFont_ != nullptr)
        DeleteObject(labelFont_);
    labelFont_ = nullptr;
}
