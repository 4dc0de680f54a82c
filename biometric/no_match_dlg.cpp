// Dialog 104: a failed verification.
#include "no_match_dlg.h"

#include "braxial_res.h"
#include "centre_window.h"
#include "text_ids.h"

bool TNoMatchDlg::Show(HWND parent)
{
    return Run(parent, IDD_BIO_NO_MATCH) == 0;
}

INT_PTR TNoMatchDlg::Message(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FormInit();
        return FALSE;  // the focus is set: Try Again
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            CancelBtClick();
            return TRUE;
        }
        if (message == WM_COMMAND && (LOWORD(wParam) == IDC_BIO_TRY_AGAIN || LOWORD(wParam) == IDOK)) {
            TryAgainBtClick();
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void TNoMatchDlg::FormInit()
{
    SendDlgItemMessageA(dialog_, IDC_BIO_ERROR_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_ERROR)), 0);
    MessageBeep(MB_ICONHAND);
    SetTitle(IDS_VERIFY_BIO_ID);
    SetItemText(IDC_BIO_FAILED_TEXT, IDS_BIO_VERIFY_FAILED);
    SetItemText(IDC_BIO_TRY_AGAIN, IDS_TRY_AGAIN);
    SetItemText(IDC_BIO_CANCEL, IDS_CANCEL);
    CentreOverOwner(dialog_);
    SetFocus(Item(IDC_BIO_TRY_AGAIN));
}

void TNoMatchDlg::TryAgainBtClick()
{
    EndDialog(dialog_, 0);
}

void TNoMatchDlg::CancelBtClick()
{
    EndDialog(dialog_, 1);
}
