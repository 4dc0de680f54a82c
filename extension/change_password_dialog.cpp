// The Notes password change dialog: Generate is offered only in mode 4 and only while the field
// is empty.
#include "change_password_dialog.h"

#include <vector>

#include "centre_window.h"
#include "common_ui.h"
#include "secure_wipe.h"
#include "text_ids.h"
#include "tolvik_res.h"
#include "module_activation.h"

int TChangePasDlg::Show(HINSTANCE instance)
{
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CHANGE_PASSWORD), nullptr, Proc,
                                     reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

INT_PTR CALLBACK TChangePasDlg::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TChangePasDlg *self = reinterpret_cast<TChangePasDlg *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<TChangePasDlg *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->FormInit(dialog);
        return TRUE;
    case WM_COMMAND:
        if (self == nullptr)
            break;
        switch (LOWORD(wParam)) {
        case IDC_NEWPWD_EDIT:
            if (HIWORD(wParam) == EN_CHANGE && !self->ending_)
                self->PasswordEdChange(dialog);
            return TRUE;
        case IDOK:
            self->PasswordEdChange(dialog);
            self->End(dialog, kOk);
            return TRUE;
        case IDCANCEL:
            self->End(dialog, kCancel);
            return TRUE;
        case IDC_NEWPWD_GENERATE:
            self->End(dialog, kGenerate);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void TChangePasDlg::FormInit(HWND dialog)
{
    CentreOverOwner(dialog);
    password.clear();
    ending_ = false;
    SetWindowTextA(dialog, ProductCaption().c_str());
    SetDlgItemTextA(dialog, IDOK, Text(IDS_OK).c_str());
    SetDlgItemTextA(dialog, IDCANCEL, Text(IDS_CANCEL).c_str());
    SetDlgItemTextA(dialog, IDC_NEWPWD_PROMPT, Text(IDS_ENTER_NEW_NOTES_PASSWORD).c_str());
    SetDlgItemTextA(dialog, IDC_NEWPWD_GENERATE, Text(IDS_PASSWORD_GENERATE).c_str());
    SendDlgItemMessageA(dialog, IDC_NEWPWD_EDIT, EM_LIMITTEXT, static_cast<WPARAM>(lengthLimit), 0);
    if (mode != kModeNew) {
        ShowWindow(GetDlgItem(dialog, IDC_NEWPWD_GENERATE), SW_HIDE);
        SetDlgItemTextA(dialog, IDC_NEWPWD_PROMPT, Text(IDS_CONFIRM_NOTES_PASSWORD).c_str());
    }
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDC_NEWPWD_EDIT));
}

void TChangePasDlg::End(HWND dialog, int result)
{
    ending_ = true;
    WipeWindowText(GetDlgItem(dialog, IDC_NEWPWD_EDIT));
    EndDialog(dialog, result);
}

TChangePasDlg::~TChangePasDlg()
{
    WipeString(password);
}

void TChangePasDlg::PasswordEdChange(HWND dialog)
{
    std::vector<char> text(static_cast<std::size_t>(lengthLimit) + 1, '\0');
    WipeOnExit wipe([&] { WipeVector(text); });
    int n = GetDlgItemTextA(dialog, IDC_NEWPWD_EDIT, text.data(), lengthLimit + 1);
    // Written over in place (a text that grows would leave its old buffer behind unwiped).
    password.reserve(static_cast<std::size_t>(lengthLimit) + 1);
    password.assign(text.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    if (mode == kModeNew)
        ShowWindow(GetDlgItem(dialog, IDC_NEWPWD_GENERATE), password.empty() ? SW_SHOW : SW_HIDE);
}
