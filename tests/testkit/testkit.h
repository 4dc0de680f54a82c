// What many tests need: a fresh folder per test, windows found by caption or class within a time
// limit, controls typed into, clicked and read back, screenshots for a person to look at.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testkit {

// A folder of its own under the temporary directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    // A folder of its own under `parent` instead.
    explicit TempDir(const std::string &parent);
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // path() + "\\" + name
    std::string file(const std::string &name) const;

private:
    std::string path_;
};

// Writes `bytes` to `path`, replacing it; reads a whole file back ("" when it cannot be read).
bool WriteFileBytes(const std::string &path, const std::string &bytes);
std::string ReadFileBytes(const std::string &path);
bool FileExists(const std::string &path);
// A value of the [Notes] section of an INI file ("" when it has none).
std::string IniValue(const std::string &iniPath, const char *name);

// Directory of the running test executable, with a trailing backslash.
std::string ExeDir();

// Waits up to `timeoutMs` for a visible top-level window whose caption and class match (either
// may be null: no condition), pumping this thread's messages meanwhile. Null on time-out.
HWND WaitForWindow(const char *caption, const char *className, DWORD timeoutMs);
// Waits up to `timeoutMs` for a visible top-level window of process `pid` whose class and caption
// match (either may be null: no condition), that has a child with id `needsControl` and none with
// id `lacksControl` (0: no condition), pumping this thread's messages meanwhile. Null on time-out.
HWND FindProcessWindow(DWORD pid, const char *className, const char *caption, DWORD timeoutMs,
                       int needsControl = 0, int lacksControl = 0);
// The visible top-level windows of process `pid`, in Z order.
std::vector<HWND> VisibleWindowsOf(DWORD pid);
// Waits for `window` to be destroyed; false on time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// Sets an edit's (or any control's) text; reads a control's text back.
bool SetControlText(HWND control, const char *text);
std::string GetControlText(HWND control);
HWND Control(HWND dialog, int id);

// Clicks a button without waiting for what the click starts (a modal dialog, say).
void ClickButton(HWND button);
void ClickDialogButton(HWND dialog, int id);

// Processes this thread's pending messages for about `ms` milliseconds.
void PumpMessages(DWORD ms);

// Waits until `done()` holds, pumping this thread's messages; false on time-out.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD timeoutMs = 20000)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(20);
    }
    return true;
}

// Saves an image of `window` (the whole screen when null) as <build>/screenshots/<name>.bmp and
// returns the file's path ("" on failure). An artefact for people, not an assertion.
std::string SaveScreenshot(HWND window, const char *name);

// Whether the test runs under Wine (where a few Windows behaviours differ or are missing).
bool RunningOnWine();

// Runs a program with a command line and waits for it; returns its exit code, or -1000 when it
// could not be started or did not end within `timeoutMs`.
int RunProcess(const std::string &commandLine, DWORD timeoutMs = 60000);
// Starts a program without waiting; the caller closes the handle.
HANDLE StartProcess(const std::string &commandLine);

// Where `needles` occur in another process's private committed memory (its heaps, stacks and
// private allocations, and the writable pages of its modules, where their globals live; not the
// mapped files and sections, such as the stand-ins' shared state), each looked for as its 8-bit
// text and as UTF-16. One line per find: "<needle> <form> at <address> (allocation <base>)";
// empty when nothing was found; a line "(nothing could be read...)" when no page could be read.
std::vector<std::string> FindInPrivateMemory(HANDLE process, const std::vector<std::string> &needles);

// Notes a secret a test hands the product (a PIN, a Notes password), the name of an ID file the
// product may copy into a temporary directory, or a temporary ID file found left behind after the
// product ended, in C:\SentrioTestSecrets.txt. The secret scan that runs after the end-to-end
// tests (secret_scan check) looks for each secret in the logs the run wrote at level 5 and for
// each name in %TEMP%, and reports every leftover.
void NoteSecret(const std::string &secret);
void NoteTemporaryIdFile(const std::string &name);
void NoteLeftover(const std::string &path);

}  // namespace testkit
