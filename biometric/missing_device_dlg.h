// Dialog 103 of BioVerifyBIR_GUI: the device that made the stored record is not there; the user
// may pick another one.
#pragma once

#include "bio_backend.h"
#include "bio_device_list.h"
#include "bio_dialog.h"

class TMissingDeviceDlg : public TBioDlg {
public:
    // In: the device shown as missing (in quotes, bold).
    char missingName[kReaderNameSize] = {};
    // Out: the device the user chose; empty when cancelled.
    char deviceName[kReaderNameSize] = {};

    // Shows the dialog modal to `parent`; true when a device was chosen.
    bool Show(HWND parent);

private:
    INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FormInit();
    void FormDestroy();
    void ShowMissingName();
    void DevicesSelectItem(const NMHDR *header);
    void OkBtClick();
    void CancelBtClick();

    CBioDeviceList devices_;
    HFONT boldFont_ = nullptr;
};
