// The console's Notes data commands on the window: reading it into the window (GetDataFromKSD),
// attaching an ID file with its password (ChangeIDBtClick), Show, Detach, Clear and the Key label.
// Each reads the controls and its dialogs, calls the core (console_core.h, notes_workflows.h) for
// the Key it was started for, and writes the results back.
#include "arbolin_form.h"

#include <commctrl.h>

#include "admin_files.h"
#include "admin_key.h"
#include "admin_ui.h"
#include "arbolin_res.h"
#include "file_dialog_id.h"
#include "log.h"
#include "notes_workflows.h"
#include "secure_wipe.h"
#include "text_ids.h"

// ---- Reading --------------------------------------------------------------------------------------

ReadOutcome TArbolinForm::GetDataFromKSD()
{
    KeyTarget target = core_.Target(currentReader_);
    // Cleared before the biometric check, which opens the Key with the PIN just given: a refused
    // PIN is warned about by the need-PIN event, and this read then stays silent about it.
    InterlockedExchange(&AdminKey().flags.badPinShown, 0);
    ReadResult read = core_.ReadNotesData(target, instance_, window_);
    bool pinWarned = InterlockedCompareExchange(&AdminKey().flags.badPinShown, 0, 0) != 0;
    switch (read.outcome) {
    case ReadOutcome::kRead:
        notes_.Clear();
        notes_ = std::move(read.data);
        ShowNotesData();
        // fall through
    case ReadOutcome::kEmpty:
        LogMessage(kLogStep, kAdminLog, "TArbolinForm::GetDataFromKSD");
        return read.outcome;
    case ReadOutcome::kBioFailed:
        ShowError(read.message, ProductCaption());
        Enable(IDC_CHANGE_BIO, false);
        break;
    case ReadOutcome::kUnreadable:
        // Its row says so, and Clear and "Change ID file" may overwrite the bytes.
        notes_.Clear();
        SetRowText(2, Text(IDS_KSD_DATA_UNREADABLE));
        Enable(IDC_CLEAR_KSD, true);
        ShowError(read.message, StandardCaption());
        break;
    case ReadOutcome::kBlocked: {
        int row = FindRow(target.reader);
        if (row >= 0)
            ListView_DeleteItem(list_, row);
        SetFocus(Item(IDC_CLOSE_BT));
        Enable(IDC_PIN_ENTER, false);
        Enable(IDC_LABEL_BT, false);
        Enable(IDC_CHANGE_BIO, false);
        SetWindowTextA(Item(IDC_PIN_EDIT), "");
        SetLook(IDC_PIN_EDIT, false);
        // The Key was blocked by this very visit, which reports no Key error of its own: the
        // unblock command is offered here, as for a Key reported blocked.
        InterlockedExchange(&AdminKey().flags.blockedKeySeen, 1);
        Enable(IDC_UNBLOCK_PIN, true);
        // A Key blocked by the PIN just refused has been reported by that warning already; the
        // monitor's report of the same blocked Key adds no second box (KeyError).
        blockedReported_ = target.reader;
        if (!pinWarned)
            ShowError(read.message, StandardCaption());
        break;
    }
    case ReadOutcome::kFailed:
    case ReadOutcome::kGone:
        if (!pinWarned)
            ShowError(read.message, StandardCaption());
        break;
    }
    LogMessage(kLogError, kAdminLog, "TArbolinForm::GetDataFromKSD: %s", read.message.c_str());
    return read.outcome;
}

// ---- Attaching an ID file -------------------------------------------------------------------------

void TArbolinForm::ChangeIDBtClick()
{
    KeyTarget target = core_.Target(currentReader_);
    std::string programDir = ProgramDirectory();
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : CurrentDir=%s", programDir.c_str());

    TFileDialogID openId(TFileDialogID::Kind::kOpen);
    openId.initialDir = programDir + "Data";
    openId.defaultExt = "*.id";
    openId.filter = Text(IDS_ID_FILE_FILTER);
    openId.title = Text(IDS_CHANGE_ID_FILE_TITLE);
    if (!openId.Execute(window_))
        return;
    IdFileAttach attach(core_, target, openId.fileName);
    // An ID file no record can hold is refused before anything is written or Notes is started.
    if (!Report(attach.CheckIdFile(), "TArbolinForm::ChangeIDBtClick"))
        return;

    TFileDialogID openIni(TFileDialogID::Kind::kOpen);
    openIni.fileName = "notes.ini";
    openIni.initialDir = programDir;
    openIni.defaultExt = "*.ini";
    openIni.filter = Text(IDS_INI_FILE_FILTER);
    openIni.title = Text(IDS_INIT_NOTES_TITLE);
    if (!openIni.Execute(window_))
        return;
    std::string text;
    IdFileAttach::Start start = attach.StartNotes(openIni.fileName, &text);
    if (start == IdFileAttach::Start::kFailed) {
        ShowError(text, StandardCaption());
        return;
    }
    if (start == IdFileAttach::Start::kAskRestore) {
        // The backup undoes every change made to notes.ini since it was taken: only on the user's word.
        if (!Ask(text, StandardCaption()) || !Report(attach.RestoreBackup(), "TArbolinForm::ChangeIDBtClick"))
            return;
    }

    changePinDlg_.PrepareNotesPassword(attach.idFilePath());
    WipeOnExit wipe([&] { changePinDlg_.Forget(); });
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ChangeIDBtClick : SECKFMSwitchToIDFile <%s><%s><%d> (Begin OP)",
               attach.idFilePath().c_str(), attach.userName().c_str(), IdFileAttach::kUserNameSize);
    for (;;) {
        if (changePinDlg_.ShowModal(window_) != IDOK)
            return;
        if (attach.TryPassword(changePinDlg_.text))
            break;
        ShowError(Text(IDS_INVALID_PASSWORD), StandardCaption());
    }
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
    if (!Report(attach.Write(&notes_), nullptr))
        return;
    if (currentReader_ == target.reader)
        ShowNotesData();
}

// ---- Show, Detach, Clear, Label ---------------------------------------------------------------------

void TArbolinForm::ShowBtClick()
{
    std::string caption = Text(IDS_SHOW_NOTES_PASSWORD);
    if (Ask(Text(IDS_PASSWORD_SHOWN_WARNING) + Text(IDS_ARE_YOU_SURE), caption))
        MessageBoxA(window_, TextF(IDS_CURRENT_NOTES_PASSWORD, notes_.password.c_str()).c_str(), caption.c_str(),
                    MB_OK | MB_ICONINFORMATION);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ShowBtClick");
}

void TArbolinForm::DetachIDBtClick()
{
    TFileDialogID save(TFileDialogID::Kind::kSave);
    save.initialDir = "c:\\Lotus\\Notes\\Data";
    save.defaultExt = "*.id";
    save.filter = Text(IDS_ID_FILE_FILTER);
    save.title = Text(IDS_DETACH_ID_FILE_TITLE) + " - " + Text(IDS_SELECT_ID_FILE_NAME);
    save.fileName = notes_.idFileName;
    if (!save.Execute(window_))
        return;
    if (FileExists(save.fileName) &&
        !Ask(TextF(IDS_FILE_EXISTS_OVERWRITE, save.fileName.c_str()), Text(IDS_DETACH_ID_FILE_TITLE)))
        return;
    // Written beside the target and moved over it whole: an existing file is replaced or kept.
    CoreResult saved = ConsoleCore::SaveIdFile(notes_, save.fileName);
    if (!saved.ok)
        ShowError(saved.message, StandardCaption());
}

void TArbolinForm::ClearKSDBtClick()
{
    KeyTarget target = core_.Target(currentReader_);
    if (!Ask(Text(IDS_ARE_YOU_SURE), Text(IDS_CLEAR_NOTES_INFO)))
        return;
    if (!Report(core_.ClearNotesData(target), "TArbolinForm::ClearKSDBtClick"))
        return;
    if (currentReader_ == target.reader) {
        SetWindowTextA(Item(IDC_ID_FILE_NAME), "");
        SetWindowTextA(Item(IDC_ID_FILE_LEN), "");
        SetLook(IDC_ID_FILE_NAME, false);
        SetLook(IDC_ID_FILE_LEN, false);
        SetRowText(2, Text(IDS_NONE));
        EnableNotesDataButtons(false);
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::ClearKSDBtClick");
}

void TArbolinForm::LabelBtClick()
{
    KeyTarget target = core_.Target(currentReader_);
    changePinDlg_.PrepareLabel();
    INT_PTR result = changePinDlg_.ShowModal(window_);
    changePinDlg_.masked = true;
    if (result != IDOK)
        return;
    std::string shown;
    if (!Report(core_.ChangeLabel(&target, changePinDlg_.text, &shown), "TArbolinForm::LabelBtClick"))
        return;
    if (currentReader_ == target.reader)
        SetRowText(1, shown);
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::LabelBtClick");
}
