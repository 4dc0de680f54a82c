// TArbolinForm, the console's main window: the Key list, the Key and Notes groups, start-up,
// selection, the message hook (About, help) and closing. Key events arrive as posted KeyEvents.
//
// Which thread writes what: every member below is read and written by the window thread only,
// except the flags of AdminKey().flags (see admin_key.h), which the Key layer's threads set.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "arbolin_help.h"
#include "change_pin_dialog.h"
#include "console_core.h"
#include "key_event.h"
#include "password_dialog.h"

class TOpWaitForm;

class TArbolinForm {
public:
    explicit TArbolinForm(TOpWaitForm *waitForm);
    ~TArbolinForm();
    TArbolinForm(const TArbolinForm &) = delete;
    TArbolinForm &operator=(const TArbolinForm &) = delete;

    // Makes the window and its controls, hidden, laid out for the screen's resolution.
    bool Create(HINSTANCE instance);
    // Start-up; false when the application must end (the smart-key library did not load).
    bool FormCreate();
    // Shows the window, then the wait window.
    void FormShow();
    HWND Window() const { return window_; }

    // The message hook's part of the application loop: false when `msg` was handled.
    bool PreTranslate(MSG *msg);

    // ---- Shared operations of the form
    void ShowError(const std::string &text, const std::string &caption);
    // Reads the Notes data of the Key in CurrentReader into the held data and shows it; kRead or
    // kEmpty when it was read (or the Key holds none), kUnreadable when its bytes are no record
    // (Clear and "Change ID file" may overwrite them).
    ReadOutcome GetDataFromKSD();

    // The reader the commands act on, whole ("" when no Key is selected).
    const std::string &CurrentReader() const { return currentReader_; }

    ArbolinHelp help;

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void SetCaptions();
    void CheckHelpFile();
    void CreateMarker();
    void ExtendSystemMenu();
    bool StartKeyLayer();

    // Event handlers.
    void Command(int id);
    void Notify(const NMHDR *header);
    void KSDListViewSelectItem(int item, bool selected);
    void KSDListViewClick();
    void CloseBtClick();
    void OnKeyEvent(const KeyEvent &e);
    void KeyInserted(const KeyEvent &e);
    void KeyRemoved(const KeyEvent &e);
    void BadPin(const KeyEvent &e);
    void KeyError(const KeyEvent &e);
    void HelpRequest(const HELPINFO *info);
    void ShowAbout();

    // ---- The commands (arbolin_notes.cpp: the Notes data; arbolin_commands.cpp: PIN, password,
    // biometrics). Each runs on the window thread, takes its own KeyTarget of CurrentReader when
    // it starts and hands that to the core, never CurrentReader itself (Key events change it while
    // the command's dialogs are open).
    void PINEnterBtClick();
    void ChangePINBtClick();
    void UnblockPINClick();
    void FormDblClick();
    void LabelBtClick();
    void ClearKSDBtClick();
    void ChangeBIOClick();
    void ChangeIDBtClick();
    void DetachIDBtClick();
    void ShowBtClick();
    void ChangeLNPasswordBtClick();

    // Command helpers (arbolin_view.cpp, but Unblock).
    void Unblock(bool fromButton);
    void ShowWait();
    void HideWait();
    // A failed core call's text shown (when it has one) and logged under `where` (when given);
    // true when the call succeeded.
    bool Report(const CoreResult &result, const char *where);
    // A yes/no question (OK and Cancel, question icon): true for OK.
    bool Ask(const std::string &text, const std::string &caption);
    void SetRowText(int column, const std::string &text);
    // The ID file name and length, the user's row and the Notes data buttons, after a read or a write.
    void ShowNotesData();
    void EnableNotesDataButtons(bool enabled);
    // The window shows no Key: no row selected, no held data, every Key command disabled.
    void ForgetSelectedKey();

    // The look slot of a data field (PINEdt, IDfileNamEdt, IDfileLenEdt), -1 for another control.
    static int LookIndex(int id);
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void Enable(int id, bool enabled) { EnableWindow(Item(id), enabled); }
    // The enabled look (enabled, the system's window and window-text colours: a field with data)
    // or the disabled look (disabled, button-face colour: an empty or unusable field).
    void SetLook(int id, bool enabled);
    void DisableKeyButtons();
    int FindRow(const std::string &reader) const;
    std::string RowText(int row, int column) const;
    void FitColumns();

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    TOpWaitForm *wait_;
    HANDLE marker_ = nullptr;
    HHOOK hook_ = nullptr;
    std::string currentReader_;
    bool pinPending_ = false;
    bool contextHelpMode_ = false;
    bool dataLook_[3] = {};   // PINEdt, IDfileNamEdt, IDfileLenEdt
    std::string blockedReported_;  // a reader whose Key a read found blocked and reported

    ConsoleCore core_;
    HeldNotesData notes_;  // what the selected Key's record holds (one set)

    TChangePINDlg changePinDlg_;
    TChangePasDlg changePasDlg_;
};
