// TPasswordDlg, the password dialog, and its descendant TChangePasDlg, which asks a new Notes
// password and offers Generate (modal result 8) while the input is empty and the prompt is not the
// confirmation prompt. Data in: the prompt. Data out: the text typed.
#pragma once

#include <string>

#include "admin_dialog.h"

class TPasswordDlg : public AdminDialog {
public:
    std::string caption, prompt;
    int maxLength = 64;
    std::string password;   // out: what was typed, on OK

    // IDOK, IDCANCEL (or 8 from TChangePasDlg's Generate); -1 when it could not be made.
    INT_PTR ShowModal(HWND owner);
    // Wipes what was typed, once the caller has used it.
    void Forget();

protected:
    void FormShow() override;
    bool Command(int id, int code) override;
    virtual int TemplateId() const;
    virtual char MaskChar() const { return '*'; }
    void ReadPassword();
};

class TChangePasDlg : public TPasswordDlg {
public:
    // The new-password prompt (8015) or the confirmation prompt (8016).
    void PrepareNewPassword();
    void PrepareConfirmation();

    // Whether Generate is shown for an input that is (or is not) empty under this prompt.
    static bool GenerateVisible(bool inputEmpty, const std::string &prompt);

protected:
    void FormShow() override;
    bool Command(int id, int code) override;
    int TemplateId() const override;
    char MaskChar() const override { return 'X'; }

private:
    void PasswordChange();
};
