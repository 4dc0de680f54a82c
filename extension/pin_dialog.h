// PINDialog: the Key's PIN prompt (modes 0), and the new-PIN (6) and confirmation (7) prompts of
// the tools (template IDD_NEWPINDIALOG, "Change PIN code"). Data in: the length limit, the length
// value, the label. Data out: the PIN typed and its length. Modal, no owner, centred, topmost,
// system-modal.
#pragma once

#include <windows.h>

#include <string>

#include "logon_rules.h"

class TPINDlg {
public:
    enum Mode { kModeLogon = 0, kModeNewPin = 6, kModeConfirmPin = 7 };

    int mode = kModeLogon;
    int lengthLimit = 10;   // the most characters the field accepts
    LONG length = 0;        // in: -1 accepts an empty entry; out: the length read
    std::string label;      // the Key's label, shown in bold
    std::string pin;        // out: the text read on OK (wiped with the dialog object)
    TPINDlg() = default;
    ~TPINDlg();
    TPINDlg(const TPINDlg &) = delete;
    TPINDlg &operator=(const TPINDlg &) = delete;
    // While the prompt is shown its window is kept here (null again once it closed), so that a
    // Key removal can cancel it.
    HWND volatile *shownWindow = nullptr;

    // kPinOk (0), kPinSecondButton (1) or kPinOkEmpty (2); -1 when the dialog could not be made.
    int Show(HINSTANCE instance);

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void FormInit(HWND dialog);
    int OkBtClick(HWND dialog);
    void FormDestroy();

    bool acceptsEmpty_ = false;
    HINSTANCE instance_ = nullptr;
    HFONT labelFont_ = nullptr;
    HICON icon_ = nullptr;
};
