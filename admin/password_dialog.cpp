// The password dialogs.
#include "password_dialog.h"

#include "admin_ui.h"
#include "secure_wipe.h"
#include "arbolin_res.h"
#include "text_ids.h"

INT_PTR TPasswordDlg::ShowModal(HWND owner)
{
    Forget();
    return RunModal(owner, TemplateId());
}

void TPasswordDlg::Forget()
{
    WipeString(password);
}

int TPasswordDlg::TemplateId() const
{
    return IDD_PASSWORD_DLG;
}

void TPasswordDlg::FormShow()
{
    SetClientSize(233, 93);
    Place(IDC_ENTER_CONF_LAB, 8, 8, 217, 16);
    Place(IDC_PASSWORD_EDIT, 8, 24, 217, 21);
    Place(IDOK, 62, 56, 75, 25);
    Place(IDCANCEL, 150, 56, 75, 25);
    SetWindowTextA(window_, caption.c_str());
    SetDlgItemTextA(window_, IDC_ENTER_CONF_LAB, prompt.c_str());
    SetDlgItemTextA(window_, IDOK, Text(IDS_OK).c_str());
    SetDlgItemTextA(window_, IDCANCEL, Text(IDS_CANCEL).c_str());
    HWND edit = Item(IDC_PASSWORD_EDIT);
    SendMessageA(edit, EM_SETPASSWORDCHAR, static_cast<WPARAM>(MaskChar()), 0);
    SendMessageA(edit, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    SetWindowTextA(edit, "");
    SetFocus(edit);
}

void TPasswordDlg::ReadPassword()
{
    char buffer[128] = "";
    GetDlgItemTextA(window_, IDC_PASSWORD_EDIT, buffer, sizeof buffer);
    password.reserve(sizeof buffer);  // one allocation: no shorter copy is left behind unwiped
    password.assign(buffer, std::min<std::size_t>(lstrlenA(buffer), static_cast<std::size_t>(maxLength)));
    SecureZeroMemory(buffer, sizeof buffer);
}

bool TPasswordDlg::Command(int id, int)
{
    if (id == IDOK) {
        ReadPassword();
        WipeWindowText(Item(IDC_PASSWORD_EDIT));
        EndDialog(window_, IDOK);
        return true;
    }
    if (id == IDCANCEL) {
        WipeWindowText(Item(IDC_PASSWORD_EDIT));
        EndDialog(window_, IDCANCEL);
        return true;
    }
    return false;
}

int TChangePasDlg::TemplateId() const
{
    return IDD_CHANGE_PAS_DLG;
}

void TChangePasDlg::PrepareNewPassword()
{
    prompt = Text(IDS_ENTER_NEW_NOTES_PASSWORD);
    maxLength = 64;
}

void TChangePasDlg::PrepareConfirmation()
{
    prompt = Text(IDS_CONFIRM_NOTES_PASSWORD);
    maxLength = 64;
}

bool TChangePasDlg::GenerateVisible(bool inputEmpty, const std::string &prompt)
{
    return inputEmpty && prompt != Text(IDS_CONFIRM_NOTES_PASSWORD);
}

void TChangePasDlg::FormShow()
{
    caption = Text(IDS_CHANGE_NOTES_PASSWORD);
    TPasswordDlg::FormShow();
    SetClientSize(346, 90);
    Place(IDC_PASSWORD_EDIT, 8, 24, 329, 21);
    Place(IDOK, 168, 56, 81, 25);
    Place(IDCANCEL, 256, 56, 81, 25);
    Place(IDC_GENERATE_BT, 8, 56, 113, 25);
    SetDlgItemTextA(window_, IDC_GENERATE_BT, Text(IDS_BUTTON_GENERATE).c_str());
    SetDlgItemTextA(window_, IDOK, Text(IDS_BUTTON_OK).c_str());
    SetDlgItemTextA(window_, IDCANCEL, Text(IDS_BUTTON_CANCEL).c_str());
    PasswordChange();
}

void TChangePasDlg::PasswordChange()
{
    // Only whether something was typed: the text itself is never copied out of the edit here.
    bool empty = GetWindowTextLengthA(Item(IDC_PASSWORD_EDIT)) == 0;
    ShowWindow(Item(IDC_GENERATE_BT), GenerateVisible(empty, prompt) ? SW_SHOW : SW_HIDE);
}

bool TChangePasDlg::Command(int id, int code)
{
    if (id == IDC_PASSWORD_EDIT && code == EN_CHANGE) {
        PasswordChange();
        return true;
    }
    if (id == IDC_GENERATE_BT) {
        EndDialog(window_, ID_GENERATE_RESULT);
        return true;
    }
    return TPasswordDlg::Command(id, code);
}
