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
    // Selects row `row` as a click would.
    bool SelectRow(int row);

    // Presses Close; the exit code (-1 when the program did not end).
    int Close();

private:
    TempDir dir_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
    bool freshKeys_;
};

// Waits until `done()` holds, pumping this thread's messages; false on time-out.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD timeoutMs = ArbolinConsole::kWait)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(20);
    }
    return true;
}

}  // namespace testkit
