// What the main window shows of the selected Key and of the commands: the looks of the data
// fields, the rows of the Key list, the Notes data fields and buttons, the wait window and the
// boxes. The lowest layer of the form's files: it calls none of the others.
#include "arbolin_form.h"

#include <commctrl.h>

#include "admin_ui.h"
#include "arbolin_res.h"
#include "log.h"
#include "op_wait_form.h"
#include "text_ids.h"

namespace {

const int kKeyButtons[] = {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_PIN_ENTER, IDC_CLEAR_KSD,
                           IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD, IDC_LABEL_BT, IDC_CHANGE_BIO};

}  // namespace

int TArbolinForm::LookIndex(int id)
{
    switch (id) {
    case IDC_PIN_EDIT: return 0;
    case IDC_ID_FILE_NAME: return 1;
    case IDC_ID_FILE_LEN: return 2;
    }
    return -1;
}

// ---- Looks, rows ------------------------------------------------------------------------------

void TArbolinForm::SetLook(int id, bool enabled)
{
    HWND edit = Item(id);
    // Enabled, since a disabled field draws its text in the grey of unusable text whatever its
    // colours; the ID file fields stay read-only all the same.
    EnableWindow(edit, enabled);
    if (id == IDC_PIN_EDIT)
        SendMessageA(edit, EM_SETREADONLY, !enabled, 0);
    int look = LookIndex(id);
    if (look >= 0)
        dataLook_[look] = enabled;
    InvalidateRect(edit, nullptr, TRUE);
}

void TArbolinForm::DisableKeyButtons()
{
    for (int id : kKeyButtons)
        Enable(id, false);
}

int TArbolinForm::FindRow(const std::string &reader) const
{
    int count = ListView_GetItemCount(list_);
    for (int row = 0; row < count; ++row)
        if (RowText(row, 0) == reader)
            return row;
    return -1;
}

std::string TArbolinForm::RowText(int row, int column) const
{
    char text[300] = "";
    ListView_GetItemText(list_, row, column, text, sizeof text);
    return text;
}

void TArbolinForm::FitColumns()
{
    // Wide enough for the header and for the longest row.
    for (int c = 0; c < 2; ++c) {
        ListView_SetColumnWidth(list_, c, LVSCW_AUTOSIZE);
        int rows = ListView_GetColumnWidth(list_, c);
        char header[128] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = header;
        column.cchTextMax = sizeof header;
        ListView_GetColumn(list_, c, &column);
        int title = ListView_GetStringWidth(list_, header) + Scale(16);
        ListView_SetColumnWidth(list_, c, rows > title ? rows : title);
    }
    ListView_SetColumnWidth(list_, 2, Scale(100));
}

void TArbolinForm::ForgetSelectedKey()
{
    DisableKeyButtons();
    SetWindowTextA(Item(IDC_PIN_EDIT), "");
    SetLook(IDC_PIN_EDIT, false);
    SetWindowTextA(Item(IDC_ID_FILE_NAME), "");
    SetWindowTextA(Item(IDC_ID_FILE_LEN), "");
    SetLook(IDC_ID_FILE_NAME, false);
    SetLook(IDC_ID_FILE_LEN, false);
    notes_.Clear();
    currentReader_.clear();
    pinPending_ = false;
    int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row >= 0)
        ListView_SetItemState(list_, row, 0, LVIS_SELECTED | LVIS_FOCUSED);
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
}

// ---- What the commands show ---------------------------------------------------------------------

void TArbolinForm::ShowWait()
{
    if (wait_ != nullptr)
        wait_->Show();
}

void TArbolinForm::HideWait()
{
    if (wait_ != nullptr)
        wait_->Hide();
}

bool TArbolinForm::Report(const CoreResult &result, const char *where)
{
    if (result.ok)
        return true;
    HideWait();
    if (!result.message.empty())
        ShowError(result.message, StandardCaption());
    if (where != nullptr)
        LogMessage(kLogError, kAdminLog, "%s: %s", where, result.message.c_str());
    return false;
}

bool TArbolinForm::Ask(const std::string &text, const std::string &caption)
{
    return MessageBoxA(window_, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void TArbolinForm::SetRowText(int column, const std::string &text)
{
    int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row < 0)
        row = FindRow(currentReader_);
    if (row < 0)
        return;
    ListView_SetItemText(list_, row, column, const_cast<char *>(text.c_str()));
    FitColumns();
}

void TArbolinForm::EnableNotesDataButtons(bool enabled)
{
    for (int id : {IDC_DETACH_ID, IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD, IDC_CLEAR_KSD})
        Enable(id, enabled);
}

void TArbolinForm::ShowNotesData()
{
    SetWindowTextA(Item(IDC_ID_FILE_NAME), notes_.idFileName.c_str());
    SetWindowTextA(Item(IDC_ID_FILE_LEN), std::to_string(notes_.idFile.size()).c_str());
    SetLook(IDC_ID_FILE_NAME, true);
    SetLook(IDC_ID_FILE_LEN, true);
    SetRowText(2, notes_.userName);
    EnableNotesDataButtons(true);
}

// ---- Boxes ---------------------------------------------------------------------------------------

void TArbolinForm::ShowError(const std::string &text, const std::string &caption)
{
    if (wait_ != nullptr) {
        wait_->Hide();
        if (wait_->Window() != nullptr)
            UpdateWindow(wait_->Window());
    }
    MessageBoxA(GetFocus(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

