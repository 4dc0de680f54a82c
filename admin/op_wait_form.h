// TOpWaitForm: the wait window over Key operations. Shown and hidden, never modal.
#pragma once

#include "admin_dialog.h"

class TOpWaitForm : public AdminDialog {
public:
    // Makes the (hidden) window; false when it could not be made.
    bool Create();
    void Show();
    void Hide();
    bool Visible() const { return window_ != nullptr && IsWindowVisible(window_); }
    HWND Window() const { return window_; }

protected:
    void FormShow() override;
    bool Command(int, int) override { return true; }  // no buttons: Esc and Enter do nothing
};
