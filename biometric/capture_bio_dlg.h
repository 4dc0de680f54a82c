// Dialog 108 of BioCaptureBIR_GUI: the device to capture a sample on.
#pragma once

#include "bio_backend.h"
#include "bio_device_list.h"
#include "bio_dialog.h"

class TCaptureBioDlg : public TBioDlg {
public:
    // Out: the chosen device; empty when the user cancelled.
    char deviceName[kReaderNameSize] = {};

    // Shows the dialog modal to `parent`; true when a device was chosen.
    bool Show(HWND parent);

private:
    INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FormInit();
    void OkBtClick();
    void CancelBtClick();

    CBioDeviceList devices_;
};
