// The one-line input dialog and its five uses.
#include "change_pin_dialog.h"

#include "admin_ui.h"
#include "secure_wipe.h"
#include "arbolin_res.h"
#include "text_ids.h"

INT_PTR TChangePINDlg::ShowModal(HWND owner)
{
    Forget();
    return RunModal(owner, IDD_CHANGE_PIN_DLG);
}

void TChangePINDlg::Forget()
{
    WipeString(text);
}

void TChangePINDlg::FormShow()
{
    SetClientSize(233, 116);
    Place(IDC_ENTER_NEW_LAB, 8, 8, 217, 16);
    Place(IDC_NEW_PIN_EDIT, 8, 24, 217, 21);
    Place(IDC_NOTE_LAB, 8, 52, 217, 16);
    Place(IDOK, 56, 80, 75, 25);
    Place(IDCANCEL, 144, 80, 75, 25);
    SetWindowTextA(window_, caption.c_str());
    SetDlgItemTextA(window_, IDC_ENTER_NEW_LAB, prompt.c_str());
    SetDlgItemTextA(window_, IDC_NOTE_LAB, note.c_str());
    SetDlgItemTextA(window_, IDOK, Text(IDS_OK).c_str());
    SetDlgItemTextA(window_, IDCANCEL, Text(IDS_CANCEL).c_str());
    HWND edit = Item(IDC_NEW_PIN_EDIT);
    SendMessageA(edit, EM_SETPASSWORDCHAR, masked ? 'X' : 0, 0);
    SendMessageA(edit, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    SetWindowTextA(edit, "");
    SetFocus(edit);
}

bool TChangePINDlg::Command(int id, int)
{
    if (id == IDOK) {
        char buffer[80] = "";
        GetDlgItemTextA(window_, IDC_NEW_PIN_EDIT, buffer, sizeof buffer);
        text.reserve(sizeof buffer);  // one allocation: no shorter copy is left behind unwiped
        text.assign(buffer, std::min<std::size_t>(lstrlenA(buffer), static_cast<std::size_t>(maxLength)));
        SecureZeroMemory(buffer, sizeof buffer);
        WipeWindowText(Item(IDC_NEW_PIN_EDIT));
        EndDialog(window_, IDOK);
        return true;
    }
    if (id == IDCANCEL) {
        WipeWindowText(Item(IDC_NEW_PIN_EDIT));
        EndDialog(window_, IDCANCEL);
        return true;
    }
    return false;
}

void TChangePINDlg::PrepareNewPin()
{
    caption = Text(IDS_CHANGE_PIN_DIALOG);
    prompt = Text(IDS_ENTER_NEW_PIN);
    note = Text(IDS_BLANK_REMOVES_PIN);
    maxLength = 8;
    masked = true;
}

void TChangePINDlg::PrepareConfirmPin()
{
    caption = Text(IDS_CHANGE_PIN_DIALOG);
    prompt = Text(IDS_CONFIRM_NEW_PIN);
    note.clear();
    maxLength = 8;
    masked = true;
}

void TChangePINDlg::PrepareNotesPassword(const std::string &idFilePath)
{
    caption = Text(IDS_GET_PASSWORD_DIALOG);
    prompt = Text(IDS_ENTER_NOTES_PASSWORD);
    note = Text(IDS_FOR_PREFIX) + idFilePath;
    maxLength = 64;
    masked = true;
}

void TChangePINDlg::PrepareLabel()
{
    caption = Text(IDS_CHANGE_LABEL_DIALOG);
    prompt = Text(IDS_ENTER_NEW_LABEL);
    note = Text(IDS_BLANK_REMOVES_LABEL);
    maxLength = 32;
    masked = false;
}

void TChangePINDlg::PrepareUnblock()
{
    caption = Text(IDS_UNBLOCK_PIN_DIALOG);
    prompt = Text(IDS_ENTER_RIGHT_PIN);
    note = Text(IDS_THREE_ATTEMPTS_NOTE);
    maxLength = 8;
    masked = true;
}
