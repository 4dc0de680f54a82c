// A scenario in the Notes client stand-in: virtual Keys carrying a Notes logon record, the client
// host notes.exe started on a notes.ini of the scenario's own that loads Tolvik.dll, and the
// client's and the extension's windows found, answered and read back.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "notes_api.h"
#include "testkit.h"

namespace testkit {

// The items of the extension's tools popup by their place, separators not counted (ChooseTool).
enum ToolsItem {
    kToolTitle = 1,
    kToolChangePin,
    kToolChangeBioId,
    kToolSaveIdFile,
    kToolWorkWithoutKey,
    kToolWorkWithKey,
    kToolHelp,
    kToolAbout,
};

// What a Key carries for the Notes logon.
struct NotesKeyRecord {
    std::string user, password, idFileName;
};

class NotesScenario {
public:
    static constexpr DWORD kWait = 20000;
    static const char *const kReader;        // "Reader A", attached at the start
    static const char *const kCaption;       // the extension's caption, "Morvath Sentrio"

    // Empties the Key stand-in and attaches kReader (unless `freshKeys` is false: a second client
    // among the Keys of a first), points TMP at a folder of its own.
    explicit NotesScenario(bool freshKeys = true);
    // Ends the client (killing it if it hangs), empties the Key stand-in when it made it fresh.
    ~NotesScenario();
    NotesScenario(const NotesScenario &) = delete;
    NotesScenario &operator=(const NotesScenario &) = delete;

    const TempDir &dir() const { return dir_; }
    // The Key's temporary ID file `name` as the client's Tolvik made it: in the newest session
    // folder ("Sentrio-...") of the client's %TMP% that holds one; else where the file would be
    // without a session folder (which does not exist then either).
    std::string TempFile(const std::string &name) const;
    // The session folders ("Sentrio-...") left in the client's %TMP%.
    std::vector<std::string> SessionFolders() const;

    // A new ID file in the scenario's folder; its full path.
    std::string MakeIdFile(const std::string &name, const std::string &user, const std::string &password);
    // A new Key (PIN "" for none); with a record whose ID file is a fresh one made for its user and
    // password (the record's idFileName names it). Not inserted. Its number, or 0.
    int MakeKey(const std::string &label, const std::string &pin, const NotesKeyRecord *record);
    bool Insert(int key, const char *reader = kReader);
    bool Pull(int key);
    // Waits until the Key stand-in has been asked InitCard `visits` more times from now: the
    // client's monitor has looked at the readers (and seen what changed) by then.
    bool WaitKeyVisits(int visits, DWORD timeoutMs = kWait) const;
    // The Key's record as the Key holds it now (needs its PIN).
    bool ReadRecord(int key, NotesKeyRecord *record, std::string *idBytes = nullptr);

    // Where Start finds notes.exe (with a trailing backslash; empty: beside the test program), and
    // what it names in EXTMGR_ADDINS (empty: no such line). Set before Start.
    std::string clientFolder;
    std::string extensions = "Tolvik.dll";

    // Further options of the client host's command line ("-end process": the client's end exits
    // the process with the extensions still loaded). Set before Start.
    std::string hostOptions;

    // Writes notes.ini (Directory = the folder, KeyFileName = `ownId`, EXTMGR_ADDINS=extensions
    // and `extra` lines) and starts the client for `build`.
    void Start(int build, const std::string &ownId, const std::string &extra = "");
    // Starts the client again on the notes.ini as the last client left it (that one has ended).
    void Restart(int build);
    // Kills the client (TerminateProcess, as Task Manager does) and waits for its end.
    bool Kill();
    // The journal Tolvik keeps of a Key session (in the scenario's own %LOCALAPPDATA%).
    std::string JournalFile() const;
    const TempDir &appData() const { return appData_; }
    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }

    // A visible top-level window of the client with that class and caption (either null: any).
    HWND Find(const char *className, const char *caption, DWORD timeoutMs = kWait) const;
    // The PIN prompt (the extension's dialog with the PIN edit); null on time-out.
    HWND WaitPinPrompt(DWORD timeoutMs = kWait) const;
    // Types `pin` into the prompt and presses OK (or the second button); true when it closed.
    bool AnswerPin(const char *pin);
    bool WorkWithoutKey();
    // A message box of the extension; its text; a button pressed and the box gone.
    HWND WaitBox(DWORD timeoutMs = kWait) const;
    static std::string BoxText(HWND box);
    static bool AnswerBox(HWND box, int button = IDOK);
    // Waits for the extension's box, checks nothing, returns its text after pressing `button`.
    std::string TakeBox(int button = IDOK, DWORD timeoutMs = kWait);

    // The client's main window and its status line (User=...;ID=...;State=...;Build=...).
    HWND WaitMain();
    std::string Status() const;
    bool WaitStatus(const std::string &part, DWORD timeoutMs = kWait) const;
    // Presses and releases each key in turn at the main window, as a user at the keyboard.
    void Keys(std::initializer_list<BYTE> keys) const;
    // Answers the client's own prompt "Enter Password".
    bool AnswerClientPrompt(const char *password);

    // The extension's tools: the Actions menu's entry "Morvath Sentrio Tools >" chosen (the add-in
    // must be named first in AddInMenus). The popup's items as the client saw them when it opened ("<text>[ grey]
    // [ default]|-|..."); "" when no popup opened.
    std::string OpenTools();
    // Chooses an item of the open popup by arrow keys and Enter, pressed in the popup's menu loop;
    // waits for the popup to close.
    bool ChooseTool(int position);
    // Closes the open popup with Escape, choosing nothing.
    bool CloseTools();
    // The extension's new-PIN or confirmation prompt with this caption: `pin` typed, OK pressed (or
    // Cancel), and the prompt gone. False when it did not appear.
    bool AnswerNewPin(const char *caption, const char *pin, int button = IDOK);
    // The next call of nnotes.dll `ordinal` in the client fails with `status`.
    bool PlanClientFault(WORD ordinal, STATUS status);
    // The lines of a list box of the client, read in the client.
    std::string ClientListText(HWND list);

    // A notes.ini value of the [Notes] section; the host's event log.
    std::string IniValue(const char *name) const;
    // Writes a notes.ini value of the [Notes] section while the client runs.
    bool SetIniValue(const char *name, const std::string &value) const;
    std::string HostLog() const;
    bool WaitHostLog(const std::string &line, DWORD timeoutMs = kWait) const;

    // Waits for `line` to appear in the event log after its first `from` characters; true with the
    // rest of the log's line that holds it in *rest (when given), false on time-out.
    bool WaitHostLogAfter(std::size_t from, const std::string &line, std::string *rest = nullptr,
                          DWORD timeoutMs = kWait) const;

    // Ends the client by closing its main window; its exit code (-1 when it did not end).
    int Close();

private:
    TempDir dir_, temp_;
    std::vector<std::string> idNames_;  // the ID file names of the Keys this scenario made
    TempDir appData_;
    std::string oldTmp_, oldTemp_, oldAppData_, ini_, hostLog_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
    int ids_ = 0;
    bool freshKeys_ = true;
    bool killed_ = false;
};

}  // namespace testkit
