// TChangePINDlg: the one-line input dialog of the console, for the new PIN, its confirmation, the
// Notes password of an ID file, the Key label and the unblocking PIN. Data in: caption, prompt,
// note, the most characters and whether the input is masked. Data out: the text typed.
#pragma once

#include <string>

#include "admin_dialog.h"

class TChangePINDlg : public AdminDialog {
public:
    std::string caption, prompt, note;
    int maxLength = 8;
    bool masked = true;     // shown as "X"
    std::string text;       // out: what was typed, on OK

    // IDOK or IDCANCEL; -1 when the dialog could not be made. Every show starts empty.
    INT_PTR ShowModal(HWND owner);
    // Wipes what was typed, once the caller has used it (a PIN or a password).
    void Forget();

    // The five uses.
    void PrepareNewPin();
    void PrepareConfirmPin();
    void PrepareNotesPassword(const std::string &idFilePath);
    void PrepareLabel();
    void PrepareUnblock();

protected:
    void FormShow() override;
    bool Command(int id, int code) override;
};
