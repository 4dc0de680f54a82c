// Dialog 102 of BioGetBIR_GUI: biometric verification switched on or off, and the enrolment on
// the device chosen in its list, run while the dialog stays open.
#pragma once

#include "bio_device_list.h"
#include "bio_dialog.h"
#include "bio_pending_record.h"

class TChangeBioDlg : public TBioDlg {
public:
    // In: 0 starts with verification off; any other mode starts with it on and the first device
    // selected; 3 (enrolment only) also hides the switch.
    int mode = 0;

    // Out: the enrolled BIR string; size 0 and nothing held when verification was switched off;
    // size CBioPendingRecord::kCancelled when the user cancelled or the enrolment was refused.
    CBioPendingRecord record;

    // Shows the dialog modal to `parent`.
    void Show(HWND parent);

private:
    INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FormInit();
    void FitCheckBoxToText(const char *text);
    void EnableBtClick();
    void DevicesSelectItem(const NMHDR *header);
    void OkBtClick();
    void CancelBtClick();
    enum class Enrolment { kDone, kRefused, kTryAgain };
    // Enrols on the selected device into `record`.
    Enrolment Enrol();

    CBioDeviceList devices_;
    bool idle_ = true;  // false while an enrolment runs
};
