// Dialog 102: the switch of biometric verification and the enrolment.
#include "change_bio_dlg.h"

#include "bio_exports.h"
#include "braxial_res.h"
#include "centre_window.h"
#include "text_ids.h"

void TChangeBioDlg::Show(HWND parent)
{
    record.Discard();
    record.SetSize(CBioPendingRecord::kCancelled);
    Run(parent, IDD_BIO_CHANGE);
}

INT_PTR TChangeBioDlg::Message(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        FormInit();
        return TRUE;
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
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_BIO_ENABLE && HIWORD(wParam) == BN_CLICKED) {
            EnableBtClick();
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void TChangeBioDlg::FormInit()
{
    devices_.Attach(Item(IDC_BIO_DEVICES));
    devices_.ForgetSelection();
    idle_ = true;
    bool any = devices_.Fill();
    EnableItem(IDC_BIO_OK, false);
    SetTitle(IDS_CHANGE_BIO_ID);
    if (mode != 0) {
        if (any)
            devices_.Select(0, true);
        CheckDlgButton(dialog_, IDC_BIO_ENABLE, BST_CHECKED);
        if (mode == 3) {
            ShowWindow(Item(IDC_BIO_ENABLE), SW_HIDE);
            SetTitle(IDS_ENROLL_BIO_ID);
        }
    } else {
        CheckDlgButton(dialog_, IDC_BIO_ENABLE, BST_UNCHECKED);
        EnableItem(IDC_BIO_DEVICES, false);
        EnableItem(IDC_BIO_PROMPT, false);
    }
    char text[kTextSize];
    SetWindowTextA(Item(IDC_BIO_ENABLE), Text(IDS_ENABLE_BIO_VERIFY, text));
    FitCheckBoxToText(text);
    SetItemText(IDC_BIO_PROMPT, IDS_SELECT_BIO_DEVICE);
    SetItemText(IDC_BIO_OK, IDS_OK);
    SetItemText(IDC_BIO_CANCEL, IDS_CANCEL);
    CentreOverOwner(dialog_);
}

// The check box shrinks to its text (plus the box) when that is narrower.
void TChangeBioDlg::FitCheckBoxToText(const char *text)
{
    HWND check = Item(IDC_BIO_ENABLE);
    HDC dc = GetDC(check);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(check, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(check, dc);
    RECT rect;
    GetWindowRect(check, &rect);
    if (extent.cx + 19 < rect.right - rect.left)
        SetWindowPos(check, nullptr, 0, 0, extent.cx + 19, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
}

void TChangeBioDlg::EnableBtClick()
{
    if (IsDlgButtonChecked(dialog_, IDC_BIO_ENABLE) == BST_CHECKED) {
        EnableItem(IDC_BIO_DEVICES, true);
        EnableItem(IDC_BIO_PROMPT, true);
        EnableItem(IDC_BIO_OK, devices_.selectedItem() != -1);
        if (devices_.Count() > 0)
            devices_.Select(0, true);
    } else {
        // Switched off: OK confirms that only where verification was on before.
        EnableItem(IDC_BIO_OK, mode != 0);
        if (devices_.selectedItem() != -1)
            devices_.Select(devices_.selectedItem(), false);
        devices_.ForgetSelection();
        EnableItem(IDC_BIO_DEVICES, false);
        EnableItem(IDC_BIO_PROMPT, false);
    }
}

void TChangeBioDlg::DevicesSelectItem(const NMHDR *header)
{
    if (devices_.SelectionChanged(header))
        EnableItem(IDC_BIO_OK, true);
}

void TChangeBioDlg::CancelBtClick()
{
    // No way out while the enrolment runs: the back end's own user interface is up.
    if (!idle_) {
        MessageBeep(MB_OK);
        return;
    }
    record.SetSize(CBioPendingRecord::kCancelled);
    EndDialog(dialog_, 0);
}

void TChangeBioDlg::OkBtClick()
{
    if (!idle_) {
        MessageBeep(MB_OK);
        return;
    }
    idle_ = false;
    if (IsDlgButtonChecked(dialog_, IDC_BIO_ENABLE) != BST_CHECKED) {
        record.SetSize(0);
        EndDialog(dialog_, 1);
        return;
    }
    switch (Enrol()) {
    case Enrolment::kDone:
        EndDialog(dialog_, 1);
        break;
    case Enrolment::kRefused:
        EndDialog(dialog_, 0);
        break;
    case Enrolment::kTryAgain:  // the dialog stays, idle again
        break;
    }
}

TChangeBioDlg::Enrolment TChangeBioDlg::Enrol()
{
    ReaderHandle *handle = BioInitReader(devices_.selectedName());
    record.Discard();
    uint32_t size = 0;
    if (handle != nullptr) {
        handle->parentWindow = dialog_;
        if (!BioGetBIR(handle, nullptr, &size)) {
            // Refused by the back end (the user cancelled its own dialog, say): the flow ends.
            DWORD error = GetLastError();
            record.SetSize(CBioPendingRecord::kCancelled);
            handle->parentWindow = nullptr;
            BioCloseReader(handle);
            SetLastError(error);
            return Enrolment::kRefused;
        }
    }
    if (handle == nullptr || size == 0) {
        // The device could not be opened or gave nothing: say so, and let the user try again.
        if (handle != nullptr)
            BioCloseReader(handle);
        idle_ = true;
        record.SetSize(CBioPendingRecord::kCancelled);
        char text[kTextSize], caption[kTextSize];
        MessageBoxA(dialog_, Text(IDS_BIO_ENROLL_FAILED, text), Text(IDS_CHANGE_BIO_ID, caption),
                    MB_OK | MB_ICONERROR);
        return Enrolment::kTryAgain;
    }
    // One byte more than the string, so that the held record is always NUL-terminated. A size of
    // all bits set cannot be held (it is the mark of a failed flow, and one more would wrap).
    record.SetSize(CBioPendingRecord::kCancelled);
    if (size != CBioPendingRecord::kCancelled && record.Allocate(static_cast<size_t>(size) + 1) != nullptr) {
        uint32_t written = size;
        if (BioGetBIR(handle, record.data(), &written) && GetLastError() == 0)
            record.SetSize(written);
        else
            record.Discard();
    }
    handle->parentWindow = nullptr;
    BioCloseReader(handle);
    return Enrolment::kDone;
}
