// Dialog 104 of BioVerifyBIR_GUI: the sample did not match; try again or give up.
#pragma once

#include "bio_dialog.h"

class TNoMatchDlg : public TBioDlg {
public:
    // Shows the dialog modal to `parent`; true when the user asks to try again.
    bool Show(HWND parent);

private:
    INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FormInit();
    void TryAgainBtClick();
    void CancelBtClick();
};
