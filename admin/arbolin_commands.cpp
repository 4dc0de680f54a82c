// The console's commands that change secrets, on the window: Verify PIN, Change PIN, Unblock PIN
// (also the window's double click), the Notes password of the ID file on the Key, and the
// biometric identifier. Each reads its dialogs and calls the core for the Key it was started for.
#include "arbolin_form.h"

#include "admin_key.h"
#include "admin_ui.h"
#include "arbolin_res.h"
#include "file_dialog_id.h"
#include "log.h"
#include "notes_workflows.h"
#include "secure_wipe.h"
#include "text_ids.h"

namespace {

const char kMaker[] = "Morvath";

}  // namespace

// ---- PIN --------------------------------------------------------------------------------------------

void TArbolinForm::PINEnterBtClick()
{
    KeyTarget target = core_.Target(currentReader_);
    char typed[16] = "";
    GetWindowTextA(Item(IDC_PIN_EDIT), typed, sizeof typed);
    std::string pin(typed);
    SecureZeroMemory(typed, sizeof typed);
    CoreResult given = core_.GivePin(target, pin);
    WipeString(pin);
    if (!given.ok) {
        // A PIN refused for its length never reaches the Key and stays in the field.
        ShowError(given.message, StandardCaption());
        return;
    }
    WipeWindowText(Item(IDC_PIN_EDIT));
    ReadOutcome read = GetDataFromKSD();
    if (read == ReadOutcome::kRead || read == ReadOutcome::kEmpty || read == ReadOutcome::kUnreadable) {
        Enable(IDC_PIN_ENTER, false);
        SetLook(IDC_PIN_EDIT, false);
        pinPending_ = false;
        for (int id : {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_LABEL_BT, IDC_CHANGE_BIO})
            Enable(id, true);
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::PINEnterBtClick");
}

void TArbolinForm::ChangePINBtClick()
{
    KeyTarget target = core_.Target(currentReader_);
    std::string pin;
    WipeOnExit wipe([&] {
        WipeString(pin);
        changePinDlg_.Forget();
    });
    for (;;) {
        changePinDlg_.PrepareNewPin();
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        WipeString(pin);
        pin = changePinDlg_.text;
        if (pin.empty())
            break;  // removes the PIN: nothing to confirm
        if (UINT refusal = NewPinRefusal(pin)) {
            ShowError(Text(refusal), StandardCaption());
            continue;
        }
        changePinDlg_.PrepareConfirmPin();
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        if (changePinDlg_.text == pin)
            break;
        ShowError(Text(IDS_PIN_CONFIRM_MISMATCH), StandardCaption());
    }
    if (!Report(core_.ChangePin(target, pin), "TArbolinForm::ChangePINBtClick"))
        return;
    if (currentReader_ == target.reader) {
        Enable(IDC_CHANGE_PIN, true);
        Enable(IDC_CHANGE_ID, true);
    }
    MessageBoxA(window_, Text(IDS_PIN_CHANGED).c_str(), StandardCaption().c_str(), MB_OK);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangePINBtClick");
}

void TArbolinForm::UnblockPINClick()
{
    Unblock(true);
}

void TArbolinForm::FormDblClick()
{
    Unblock(false);
}

void TArbolinForm::Unblock(bool fromButton)
{
    if (InterlockedCompareExchange(&AdminKey().flags.blockedKeySeen, 0, 0) == 0)
        return;  // no blocked Key has been reported
    KeyTarget target = core_.Target(currentReader_);
    changePinDlg_.PrepareUnblock();
    WipeOnExit wipe([&] { changePinDlg_.Forget(); });
    if (changePinDlg_.ShowModal(window_) != IDOK)
        return;
    if (!Report(core_.Unblock(target, changePinDlg_.text), "TArbolinForm::FormDblClick"))
        return;
    if (fromButton)
        Enable(IDC_UNBLOCK_PIN, false);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::FormDblClick");
}

// ---- The Notes password -----------------------------------------------------------------------------

void TArbolinForm::ChangeLNPasswordBtClick()
{
    const char kLog[] = "TArbolinForm::ChangeLNPasswordBtClick";
    KeyTarget target = core_.Target(currentReader_);
    std::string caption = Text(IDS_CHANGE_NOTES_PASSWORD);
    changePasDlg_.PrepareNewPassword();
    INT_PTR choice = changePasDlg_.ShowModal(window_);
    std::string newPassword;
    WipeOnExit wipe([&] {
        WipeString(newPassword);
        changePasDlg_.Forget();
    });
    if (choice == IDOK) {
        newPassword = changePasDlg_.password;
        if (newPassword.empty()) {
            ShowError(Text(IDS_PASSWORD_EMPTY), caption);
            return;
        }
        changePasDlg_.PrepareConfirmation();
        if (changePasDlg_.ShowModal(window_) != IDOK)
            return;
        if (UINT refusal = NewNotesPasswordRefusal(newPassword, changePasDlg_.password, notes_.password)) {
            ShowError(Text(refusal), caption);
            return;
        }
    } else if (choice == ID_GENERATE_RESULT) {
        if (!Report(core_.GeneratePassword(target, &newPassword), kLog))
            return;
    } else {
        return;
    }
    UpdateWindow(window_);

    TFileDialogID openIni(TFileDialogID::Kind::kOpen);
    openIni.fileName = "notes.ini";
    openIni.initialDir = "c:\\Lotus\\Notes";
    openIni.defaultExt = "*.ini";
    openIni.filter = Text(IDS_INI_FILE_FILTER);
    openIni.title = Text(IDS_PASSWORD_INIT_NOTES_TITLE);
    if (!openIni.Execute(window_))
        return;
    NotesPasswordChange change(core_, target);
    if (!Report(change.Run(openIni.fileName, newPassword, &notes_), nullptr))
        return;
    if (currentReader_ == target.reader)
        ShowNotesData();
}

// ---- Biometrics -------------------------------------------------------------------------------------

void TArbolinForm::ChangeBIOClick()
{
    // Success, cancellation and failure end silently: the enrolment has shown what it had to. A
    // Key gone before it began is said.
    KeyTarget target = core_.Target(currentReader_);
    Report(core_.ChangeBio(target, instance_, window_, TextF(IDS_CONSOLE_CHANGE_BIO_CAPTION, kMaker)), nullptr);
}
