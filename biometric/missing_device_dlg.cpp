// Dialog 103: the missing device, and another one to try.
#include "missing_device_dlg.h"

#include "braxial_res.h"
#include "centre_window.h"
#include "text_ids.h"

bool TMissingDeviceDlg::Show(HWND parent)
{
    deviceName[0] = 0;
    return Run(parent, IDD_BIO_VERIFY_MISSING) == 1 && deviceName[0] != 0;
}

INT_PTR TMissingDeviceDlg::Message(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        FormInit();
        return TRUE;
    case WM_DESTROY:
        FormDestroy();
        return FALSE;
    case WM_NOTIFY:
        DevicesSelectItem(reinterpret_cast<const NMHDR *>(lParam));
        return TRUE;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            CancelBtClick();
            return TRUE;
        }
        if (IsOkCommand(message, wParam)) {
            OkBtClick();
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void TMissingDeviceDlg::FormInit()
{
    devices_.Attach(Item(IDC_BIO_DEVICES));
    devices_.ForgetSelection();
    devices_.Fill();
    SendDlgItemMessageA(dialog_, IDC_BIO_WARNING_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_WARNING)), 0);
    EnableItem(IDC_BIO_OK, false);
    SetItemText(IDC_BIO_MISSING_TEXT, IDS_BIO_DEVICE_UNUSABLE);
    ShowMissingName();
    SetTitle(IDS_VERIFY_BIO_ID);
    SetItemText(IDC_BIO_PROMPT, IDS_SELECT_OTHER_BIO_DEVICE);
    SetItemText(IDC_BIO_OK, IDS_OK);
    SetItemText(IDC_BIO_CANCEL, IDS_CANCEL);
    CentreOverOwner(dialog_);
}

// The missing device's name in double quotes, in a bold 8-point "MS Shell Dlg".
void TMissingDeviceDlg::ShowMissingName()
{
    char quoted[kReaderNameSize + 3];
    wsprintfA(quoted, "\"%s\"", missingName);
    HDC dc = GetDC(dialog_);
    int height = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(dialog_, dc);
    boldFont_ = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS Shell Dlg");
    SendDlgItemMessageA(dialog_, IDC_BIO_MISSING_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
    SetDlgItemTextA(dialog_, IDC_BIO_MISSING_NAME, quoted);
}

void TMissingDeviceDlg::FormDestroy()
{
    if (boldFont_ != nullptr)
        DeleteObject(boldFont_);
    boldFont_ = nullptr;
}

void TMissingDeviceDlg::DevicesSelectItem(const NMHDR *header)
{
    if (devices_.SelectionChanged(header))
        EnableItem(IDC_BIO_OK, true);
}

void TMissingDeviceDlg::OkBtClick()
{
    if (devices_.selectedName()[0] == 0)
        return;  // nothing selected: nothing happens
    lstrcpynA(deviceName, devices_.selectedName(), kReaderNameSize);
    EndDialog(dialog_, 1);
}

void TMissingDeviceDlg::CancelBtClick()
{
    deviceName[0] = 0;
    EndDialog(dialog_, 0);
}
