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
#include "key_event.h"
#include "password_dialog.h"

struct NotesKeyData;

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
    // Reads the Notes data of the Key in CurrentReader into the fields below and shows it; true
    // when it was read (or the Key holds none).
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

    // ---- The commands (arbolin_notes.cpp: the Notes data; arbolin_commands.cpp: PIN, password,
    // biometrics). Each runs on the window thread.
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

    // Command helpers.
    void Unblock(bool fromButton);
    void ShowWait();
    void HideWait();
    // The layer's error text for CurrentReader; false when it has none.
    bool KeyErrorText(std::string *text);
    // "first" alone, or "first\n\n<the layer's text>"; false when the layer has no text.
    bool WithKeyErrorText(const std::string &first, std::string *message);
    // After a failed Key call behind the wait window: the error text `errorId` shown, with the
    // layer's text when it has one (an operation that could not open the Key leaves none), the
    // wait window hidden, the failure logged under `where`.
    void ReportKeyFailure(UINT errorId, const char *where);
    // A yes/no question (OK and Cancel, question icon): true for OK.
    bool Ask(const std::string &text, const std::string &caption);
    void SetRowText(int column, const std::string &text);
    // The ID file name and length, the user's row and the Notes data buttons, after a read or a write.
    void ShowNotesData();
    void EnableNotesDataButtons(bool enabled);
    // Builds the record of the four fields and writes it whole at offset 0 under the wait window.
    // On failure `message` says why; nothing was written when the fields cannot make a record.
    // A write reported failed whose record is on the Key all the same (read back) is a success.
    bool WriteNotesRecord(const std::string &userName, const std::string &password, const std::string &idFileName,
                          const std::vector<BYTE> &idFile, std::string *message);
    // Whether the selected Key's data begins with the `size` bytes of `record` (read back).
    bool KeyHoldsRecord(const BYTE *record, std::size_t size);
    // The refusal of an ID file whose record could not be stored on any Key: "" when it fits.
    std::string RecordLimitMessage(const std::string &idFileName, unsigned long long idFileLength,
                                   std::size_t textLengths) const;

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

    // The Notes data held for the selected Key (one set): what the last read or write left.
    struct NotesFields {
        std::string idFilePath;    // the chosen ID file (attach)
        std::string idFileName;    // its name and extension, or the record's
        std::string iniPath;
        std::string userName;
        std::string password;      // the password the Key's record holds
        std::vector<BYTE> idFile;  // the ID file bytes of the record
    } notes_;
    std::unique_ptr<NotesKeyData> keyData_;  // the record buffer of the last read

    TChangePINDlg changePinDlg_;
    TChangePasDlg changePasDlg_;
};
