// TArbolinForm, the console's main window: the Key list, the Key and Notes groups, start-up,
// selection, the message hook (About, help) and closing. Key events arrive as posted KeyEvents.
//
// Which thread writes what: every member below is read and written by the window thread only,
// except the flags of AdminKey().flags (see admin_key.h), which the Key layer's threads set.
#pragma once

#include <windows.h>

#include <string>

#include "arbolin_help.h"
#include "key_event.h"

class TOpWaitForm;

class TArbolinForm {
public:
    explicit TArbolinForm(TOpWaitForm *waitForm) : wait_(waitForm) {}
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
    // Reads the Notes data of the Key in CurrentReader. Not built yet: answers false.
    bool GetDataFromKSD();

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

    // The Key and Notes command buttons, for the next step of the console: not built yet.
    void PINEnterBtClick() {}
    void ChangePINBtClick() {}
    void UnblockPINClick() {}
    void LabelBtClick() {}
    void ClearKSDBtClick() {}
    void ChangeBIOClick() {}
    void ChangeIDBtClick() {}
    void DetachIDBtClick() {}
    void ShowBtClick() {}
    void ChangeLNPasswordBtClick() {}

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void Enable(int id, bool enabled) { EnableWindow(Item(id), enabled); }
    // The enabled look (data, caption-text colour) or the disabled look (button-face colour).
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
};
