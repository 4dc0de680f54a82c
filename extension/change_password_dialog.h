// CHANGE_PASSWORD_Dialog: the new Notes password (mode 4, with Generate while the field is empty)
// and its confirmation (mode 5). Data in: the mode and the most characters the field takes. Data
// out: the text typed.
#pragma once

#include <windows.h>

#include <string>

class TChangePasDlg {
public:
    enum Mode { kModeNew = 4, kModeConfirm = 5 };
    enum Result { kOk = 0, kCancel = 1, kGenerate = 3 };

    int mode = kModeNew;
    int lengthLimit = 62;   // characters, terminator not counted
    std::string password;   // out: the field's text when the dialog ended (wiped with the dialog object)
    TChangePasDlg() = default;
    ~TChangePasDlg();
    TChangePasDlg(const TChangePasDlg &) = delete;
    TChangePasDlg &operator=(const TChangePasDlg &) = delete;

    // kOk, kCancel or kGenerate; -1 when the dialog could not be made.
    int Show(HINSTANCE instance);

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void FormInit(HWND dialog);
    void PasswordEdChange(HWND dialog);
    // Ends the dialog with `result` after writing over the edit (its changes then no longer count).
    void End(HWND dialog, int result);

    bool ending_ = false;
};
