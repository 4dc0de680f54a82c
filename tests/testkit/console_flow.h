// One console command driven to its end whatever it shows: the windows it is expected to ask
// (file dialogs, input dialogs, the generate button) are answered in order when they appear, every
// message box is read and answered with OK whenever it comes, and the command is over once the
// console's window thread is back in its own message loop with nothing shown. For runs in which
// a Key call may fail anywhere (the fault sweeps), where the boxes cannot be known in advance.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "arbolin_window.h"

namespace testkit {

struct FlowStep {
    enum Kind { kFile, kInput, kGenerate } kind;
    std::string caption;  // the file dialog's title or the input dialog's caption
    std::string typed;    // the file name or the text typed
};
FlowStep FileAnswer(const std::string &title, const std::string &path);
FlowStep InputAnswer(const std::string &caption, const std::string &typed);
FlowStep GenerateAnswer(const std::string &caption);  // TChangePasDlg's Generate button

struct CommandRun {
    std::vector<ConsoleBox> boxes;  // every message box, in order
    size_t stepsAnswered = 0;
    bool started = false;           // the command showed a window (its button was enabled)
    std::string problem;            // "" when the command ended in time with no odd window
};

// Whether the console's window thread has gone through its message queue (a posted marker came
// through) and shows nothing but its main window: no modal window, no wait window.
bool ConsoleIdle(ArbolinConsole &console);

// Clicks `button` of the main window and drives the command to its end within `limitMs`. A
// window that is neither a box nor the next step is cancelled and named in `problem`, and so is
// a command that does not end in time ("hang: ...") or a console that ends. A button disabled
// by the time it is clicked starts nothing: the run ends with `started` false.
CommandRun DriveCommand(ArbolinConsole &console, int button, const std::vector<FlowStep> &steps,
                        DWORD limitMs = 60000);

// Whether the console's wait window is shown.
bool WaitWindowShown(const ArbolinConsole &console);

// The captions of the console's visible top-level windows other than its main window, as
// " [caption]..." (what is still shown when something did not end).
std::string ConsoleWindowsShown(const ArbolinConsole &console);

}  // namespace testkit
