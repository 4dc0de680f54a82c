// The admin console scenario: Arbolin.exe started from a folder of its own (with the Quorel32.dll
// stand-in, Ostrel.dll and, unless a test says otherwise, a help file beside it) among virtual
// Keys, and its windows read back and driven from the test process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testkit.h"

namespace testkit {

struct ConsoleRow {
    std::string reader, label, info;
};

// A message box as the console showed it.
struct ConsoleBox {
    std::string caption, text;
    bool found = false;
};

class ArbolinConsole {
public:
    static constexpr DWORD kWait = 20000;
    static const char *const kCaption;  // "Morvath Sentrio - Key Storage Device Manager"

    // Empties the Key stand-in (unless `freshKeys` is false: a second console among the Keys of
    // a first) and prepares the program's folder.
    explicit ArbolinConsole(bool freshKeys = true, bool withHelpFile = true);
    // Ends the console (killing it if it hangs) and empties the Key stand-in when it made it fresh.
    ~ArbolinConsole();
    ArbolinConsole(const ArbolinConsole &) = delete;
    ArbolinConsole &operator=(const ArbolinConsole &) = delete;

    const TempDir &dir() const { return dir_; }
    std::string ProgramPath() const { return dir_.file("Arbolin.exe"); }
    // The console's temporary directory (its TMP and TEMP), made by Start.
    std::string TempFolder() const;

    // A new Key (PIN "" for none) and where it goes.
    static int MakeKey(const char *label, const char *pin);
    static bool Insert(int key, const char *reader);
    static bool Pull(int key);
    static std::string CardIdText(int key);

    bool Start();
    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }
    // The main window once it is shown; null on time-out.
    HWND WaitMain(DWORD timeoutMs = kWait);
    HWND main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

    // A visible top-level window of the console with that class and caption (null: any) that has
    // a child `childId` (0: no condition).
    HWND Find(const char *className, const char *caption, int childId, DWORD timeoutMs = kWait) const;
    // A message box of the console, its text; pressing its button.
    HWND WaitBox(DWORD timeoutMs = kWait) const;
    static std::string BoxText(HWND box);
    static bool AnswerBox(HWND box, int button = IDOK);
    std::string TakeBox(DWORD timeoutMs = kWait);

    // The Key list, read across the processes.
    std::vector<ConsoleRow> Rows() const;
    // Waits until the list has `count` rows.
    bool WaitRowCount(size_t count, DWORD timeoutMs = kWait) const;
    // Selects row `row` as a click would (posted: the selection's effects are to be waited for).
    bool SelectRow(int row);

    // Selects row `row`, types `pin` into the console's PIN field and verifies it; true once the
    // Key's commands are open (Change ID enabled).
    bool GivePin(int row, const char *pin);
    // Change ID: the ID file and notes.ini chosen in the console's file dialogs, the ID file's
    // password typed; each window that does not appear or does not match is a test failure.
    void WriteIdFile(const std::string &idFile, const std::string &notesIni, const std::string &password);

    // Starts the console with Key `key` in `reader`, waits for its row and selects it.
    bool StartWithKey(int key, const char *reader);
    // Clicks a button of the main window as the user would (nothing happens when it is disabled).
    void Click(int id) const;
    // Double-clicks the main window's client area, away from its controls.
    void DoubleClick() const;

    // The console's input dialogs (TChangePINDlg, TChangePasDlg) with `caption`: found, their
    // prompt and note read back, `text` typed and `button` pressed; false when the dialog did not
    // appear or did not close.
    HWND WaitInput(const char *caption, DWORD timeoutMs = kWait) const;
    static std::string InputPrompt(HWND dialog);
    static std::string InputNote(HWND dialog);
    static bool AnswerInput(HWND dialog, const char *text, int button = IDOK);
    bool AnswerInput(const char *caption, const char *text, int button = IDOK);
    // The console's file dialog titled `title`: `path` typed as the file name and Open/Save
    // pressed (or Cancel with an empty path).
    HWND WaitFileDialog(const char *title, DWORD timeoutMs = kWait) const;
    bool AnswerFileDialog(const char *title, const std::string &path);
    // A file dialog's name field, once it exists (null on time-out).
    static HWND FileNameField(HWND dialog);
    // The next message box: caption and text, `button` pressed.
    ConsoleBox TakeBoxWith(int button = IDOK, DWORD timeoutMs = kWait);

    // Presses Close; the exit code (-1 when the program did not end).
    int Close();

private:
    TempDir dir_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
    void *selectItem_ = nullptr;  // an LVITEM in the console's memory, for SelectRow
    bool freshKeys_;
};

// One step of a dialogue with the console: an input dialog answered, a message box read and
// closed, or a file dialog answered.
struct ConsoleStep {
    enum Kind { kInput, kBox, kFile } kind;
    std::string caption;   // the input dialog's caption, the box's caption, the file dialog's title
    std::string expected;  // the input's prompt, the box's text (unused for a file dialog)
    std::string typed;     // what is typed into the input, the file name ("" cancels the file dialog)
    int button;
};
ConsoleStep InputStep(const std::string &caption, const std::string &prompt, const std::string &typed,
                      int button = IDOK);
ConsoleStep BoxStep(const std::string &caption, const std::string &text, int button = IDOK);
ConsoleStep FileStep(const std::string &title, const std::string &path);

// Plays `steps` in order against the console's windows; each mismatch is a test failure, and the
// steps end at the first window that does not appear.
void PlaySteps(ArbolinConsole &console, const std::vector<ConsoleStep> &steps);

// Waits until the window that `step` answers is shown, without answering it (something is to be
// done while it is open); null when it does not appear.
HWND WaitStepWindow(ArbolinConsole &console, const ConsoleStep &step);

// The Notes stand-in's runtime log of the programs started while it lives (SENTRIO_NOTES_RUNTIME_LOG
// is set for them): how often they started the Notes runtime and ended it.
class NotesRuntimeLog {
public:
    NotesRuntimeLog();
    ~NotesRuntimeLog();
    NotesRuntimeLog(const NotesRuntimeLog &) = delete;
    NotesRuntimeLog &operator=(const NotesRuntimeLog &) = delete;
    int starts() const { return Count("init"); }
    int ends() const { return Count("term"); }

private:
    int Count(const std::string &line) const;
    TempDir dir_;
    std::string path_;
};

}  // namespace testkit
