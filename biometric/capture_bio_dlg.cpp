// Dialog 108: choosing the device for a capture.
#include "capture_bio_dlg.h"

#include "braxial_res.h"
#include "centre_window.h"
#include "text_ids.h"
#include "log.h"

bool TCaptureBioDlg::Show(HWND parent)
{
    deviceName[0] = 0;
    Run(parent, IDD_BIO_CAPTURE);
    return deviceName[0] != 0;
}

INT_PTR TCaptureBioDlg::Message(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        FormInit();
        return TRUE;
    case WM_NOTIFY:
        devices_.SelectionChanged(reinterpret_cast<const NMHDR *>(lParam));
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

void TCaptureBioDlg::FormInit()
{
    devices_.Attach(Item(IDC_BIO_DEVICES));
    devices_.ForgetSelection();
    if (devices_.Fill())
        devices_.Select(0, true);
    else
        EnableItem(IDC_BIO_OK, false);
    SetTitle(IDS_CAPTURE_BIO_ID);
    SetItemText(IDC_BIO_PROMPT, IDS_SELECT_BIO_DEVICE);
    SetItemText(IDC_BIO_OK, IDS_OK);
    SetItemText(IDC_BIO_CANCEL, IDS_CANCEL);
    CentreOverOwner(dialog_);
}

void TCaptureBioDlg::OkBtClick()
{
    LogMessage(kLogStep, "BioCaptureBIR_GUI", "%s", devices_.selectedName());
    if (devices_.selectedName()[0] == 0)
        return;  // nothing selected: nothing happens
    lstrcpynA(deviceName, devices_.selectedName(), kReaderNameSize);
    EndDialog(dialog_, 1);
}

void TCaptureBioDlg::CancelBtClick()
{
    deviceName[0] = 0;
    EndDialog(dialog_, 0);
}
