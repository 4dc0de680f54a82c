// The Key list of the main window: selecting a Key, the Key events that add and remove rows and
// warn, and what the commands show of the selected Key (its row, the Notes data fields, the wait
// window, the boxes).
#include "arbolin_form.h"

#include <commctrl.h>

#include "admin_key.h"
#include "admin_ui.h"
#include "arbolin_res.h"
#include "log.h"
#include "text_ids.h"

// ---- Selection --------------------------------------------------------------------------------

void TArbolinForm::KSDListViewSelectItem(int item, bool selected)
{
    if (selected) {
        for (int id : {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_PIN_ENTER, IDC_UNBLOCK_PIN, IDC_CLEAR_KSD,
                       IDC_CHANGE_BIO, IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD})
            Enable(id, false);
        SetWindowTextA(Item(IDC_ID_FILE_NAME), "");
        SetWindowTextA(Item(IDC_ID_FILE_LEN), "");
        SetLook(IDC_ID_FILE_NAME, false);
        SetLook(IDC_ID_FILE_LEN, false);
        notes_.Clear();
        currentReader_ = RowText(item, 0);
        DWORD allocated = 0;
        int state = AdminKey().GetKeyInfo(currentReader_.c_str(), &allocated, nullptr, nullptr);
        if (state == csNeedPIN) {
            SetLook(IDC_PIN_EDIT, true);
            Enable(IDC_PIN_ENTER, true);
            pinPending_ = true;
            LogMessage(kLogStep, kAdminLog, "TArbolinForm::KSDListViewSelectItem: status = csNeedPIN");
        } else {
            pinPending_ = false;
            Enable(IDC_PIN_ENTER, false);
            SetLook(IDC_PIN_EDIT, false);
            Enable(IDC_LABEL_BT, true);
            Enable(IDC_CHANGE_BIO, true);
            LogMessage(kLogStep, kAdminLog, "TArbolinForm::KSDListViewSelectItem: status != csNeedPIN");
            ReadOutcome read = allocated == 0 ? ReadOutcome::kEmpty : GetDataFromKSD();
            // A Key whose bytes are no record may be overwritten: "Change ID file" and Clear.
            if (read == ReadOutcome::kRead || read == ReadOutcome::kEmpty || read == ReadOutcome::kUnreadable) {
                Enable(IDC_CHANGE_PIN, true);
                Enable(IDC_CHANGE_ID, true);
                Enable(IDC_CHANGE_BIO, true);
            }
        }
    }
    LogMessage(kLogStep, kAdminLog, "TArbolinForm::KSDListViewSelectItem");
}

void TArbolinForm::KSDListViewClick()
{
    if (pinPending_ && AdminKey().GetKeyInfo(currentReader_.c_str(), nullptr, nullptr, nullptr) == csNeedPIN)
        SetFocus(Item(IDC_PIN_EDIT));
}

// ---- Key events -------------------------------------------------------------------------------

void TArbolinForm::OnKeyEvent(const KeyEvent &e)
{
    switch (e.kind) {
    case KeyEventKind::kFinishInit:
        HideWait();
        ShowWindow(Item(IDC_SEL_LAB), SW_SHOW);
        break;
    case KeyEventKind::kInserted: KeyInserted(e); break;
    case KeyEventKind::kRemoved: KeyRemoved(e); break;
    case KeyEventKind::kBadPin: BadPin(e); break;
    case KeyEventKind::kKeyError: KeyError(e); break;
    }
}

void TArbolinForm::KeyInserted(const KeyEvent &e)
{
    if (blockedReported_ == e.reader)
        blockedReported_.clear();  // usable again
    if (FindRow(e.reader) >= 0)
        return;  // the Key already has its row
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list_);
    item.pszText = const_cast<char *>(e.reader);
    int row = ListView_InsertItem(list_, &item);
    if (row < 0)
        return;
    ListView_SetItemText(list_, row, 1, const_cast<char *>(e.text));
    std::string none = Text(IDS_NONE);
    ListView_SetItemText(list_, row, 2, const_cast<char *>(none.c_str()));
    FitColumns();
}

void TArbolinForm::KeyRemoved(const KeyEvent &e)
{
    int row = FindRow(e.reader);
    if (row >= 0)
        ListView_DeleteItem(list_, row);
    if (!currentReader_.empty() && currentReader_ == e.reader)
        ForgetSelectedKey();
}

void TArbolinForm::BadPin(const KeyEvent &e)
{
    std::string text;
    if (e.tries > 0) {
        text = TextF(IDS_BAD_PIN_ATTEMPTS_LEFT, e.tries);
        SetFocus(Item(IDC_PIN_EDIT));
    } else {
        text = Text(IDS_BAD_PIN_KSD_BLOCKED);
        Enable(IDC_PIN_ENTER, false);
        SetLook(IDC_PIN_EDIT, false);
    }
    HideWait();
    UpdateWindow(window_);
    MessageBoxA(window_, text.c_str(), StandardCaption().c_str(), MB_OK | MB_ICONWARNING);
}

void TArbolinForm::KeyError(const KeyEvent &e)
{
    switch (e.state) {
    case csError:
        ShowError(TextF(IDS_KSD_NOT_FORMATTED_IN, e.reader), StandardCaption());
        break;
    case csBlocked:
        // The blocked Key becomes what the commands act on. The window then shows no other Key:
        // the selection and the held data are dropped and every command but Unblock is disarmed,
        // so that no command meant for the Key shown can reach the blocked one.
        ForgetSelectedKey();
        currentReader_ = e.reader;
        Enable(IDC_UNBLOCK_PIN, true);
        if (blockedReported_ == e.reader) {
            blockedReported_.clear();  // the read that blocked it has said so
            break;
        }
        ShowError(Text(IDS_KSD_IN_PREFIX) + e.reader + Text(IDS_IS_BLOCKED_SUFFIX), StandardCaption());
        break;
    default:
        ShowError(TextF(IDS_KSD_WORK_ERROR, e.reader, e.text), StandardCaption());
        if (e.detail[0] != 0)
            ShowError(TextF(IDS_ERROR_MESSAGE_FROM, e.detail), StandardCaption());
        break;
    }
}
