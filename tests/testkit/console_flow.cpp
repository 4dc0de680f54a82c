// A console command driven to its end.
#include "console_flow.h"

#include "arbolin_res.h"

namespace testkit {

namespace {

constexpr DWORD kOddWindowPatience = 3000;  // a window that matches no step for this long is odd

struct DialogQuery {
    HWND found = nullptr;
    std::string captions;
};

// The first visible dialog of the console besides its main window, the wait window only
// (`waitWindows`) or any other; and every visible window as " [class caption]...".
DialogQuery Dialogs(const ArbolinConsole &console, bool waitWindows)
{
    DialogQuery q;
    for (HWND window : VisibleWindowsOf(console.pid())) {
        if (window == console.main())
            continue;
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        bool isWait = GetDlgItem(window, IDC_WAIT_TXT) != nullptr;
        if (std::string(className) == "#32770" && isWait == waitWindows && q.found == nullptr)
            q.found = window;
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        q.captions += std::string(" [") + className + " " + caption + (isWait ? " (wait window)" : "") + "]";
    }
    return q;
}

// The marker: a limit posted to the ID file length field (a read-only field: its limit never
// matters) comes through only when the window thread reads its posted messages.
bool MarkerComesThrough(HWND field)
{
    static unsigned counter = 0;
    WPARAM value = 30000 + (++counter % 1000);
    if (!PostMessageA(field, EM_SETLIMITTEXT, value, 0))
        return false;
    return WaitUntil([&] {
        DWORD_PTR limit = 0;
        return SendMessageTimeoutA(field, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, 100, &limit) != 0 && limit == value;
    }, 150);
}

// Answers a step's window without waiting for it to close: a box the console shows meanwhile (a
// Key event it handles inside the dialog's loop) is to be answered first.
bool PostAnswer(const FlowStep &step, HWND window)
{
    switch (step.kind) {
    case FlowStep::kFile: {
        if (!SetControlText(ArbolinConsole::FileNameField(window), step.typed.c_str()))
            return false;
        return PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK))) != FALSE;
    }
    case FlowStep::kInput: {
        HWND edit = GetDlgItem(window, IDC_NEW_PIN_EDIT);
        if (edit == nullptr)
            edit = GetDlgItem(window, IDC_PASSWORD_EDIT);
        if (!SetControlText(edit, step.typed.c_str()))
            return false;
        ClickDialogButton(window, IDOK);
        return true;
    }
    case FlowStep::kGenerate:
        ClickDialogButton(window, IDC_GENERATE_BT);
        return true;
    }
    return false;
}

}  // namespace

FlowStep FileAnswer(const std::string &title, const std::string &path)
{
    return {FlowStep::kFile, title, path};
}

FlowStep InputAnswer(const std::string &caption, const std::string &typed)
{
    return {FlowStep::kInput, caption, typed};
}

FlowStep GenerateAnswer(const std::string &caption)
{
    return {FlowStep::kGenerate, caption, ""};
}

bool ConsoleIdle(ArbolinConsole &console)
{
    return MarkerComesThrough(console.Item(IDC_ID_FILE_LEN)) && IsWindowEnabled(console.main()) &&
           Dialogs(console, false).found == nullptr;
}

std::string ConsoleWindowsShown(const ArbolinConsole &console)
{
    return Dialogs(console, false).captions;
}

CommandRun DriveCommand(ArbolinConsole &console, int button, const std::vector<FlowStep> &steps, DWORD limitMs)
{
    CommandRun run;
    console.Click(button);
    DWORD start = GetTickCount();
    bool seen = false;  // every command opens with a window: idle counts only after it
    int idleStreak = 0;
    HWND odd = nullptr;
    DWORD oddSince = 0;
    HWND pending = nullptr;    // the step window answered last, until it closes
    bool answerAgain = false;  // a box came since: the pending window is answered once more
    for (;;) {
        if (WaitForSingleObject(console.process(), 0) == WAIT_OBJECT_0) {
            run.problem = "the console ended during the command";
            break;
        }
        if (GetTickCount() - start > limitMs) {
            run.problem = "hang: the command did not end within " + std::to_string(limitMs / 1000) + " s; shown:" +
                          ConsoleWindowsShown(console);
            break;
        }
        if (pending != nullptr && !IsWindow(pending)) {
            ++run.stepsAnswered;  // the step's window took its answer and closed
            pending = nullptr;
            odd = nullptr;
            continue;
        }
        if (HWND box = console.WaitBox(0)) {
            ConsoleBox b;
            b.found = true;
            b.caption = GetControlText(box);
            b.text = ArbolinConsole::BoxText(box);
            run.boxes.push_back(b);
            ArbolinConsole::AnswerBox(box, IDOK);
            seen = run.started = true;
            idleStreak = 0;
            answerAgain = true;  // an answer posted under the box may not have been taken
            continue;
        }
        if (run.stepsAnswered < steps.size()) {
            const FlowStep &step = steps[run.stepsAnswered];
            HWND window = step.kind == FlowStep::kFile ? console.WaitFileDialog(step.caption.c_str(), 0)
                                                       : console.WaitInput(step.caption.c_str(), 0);
            if (window != nullptr && (window != pending || answerAgain)) {
                answerAgain = false;
                if (!PostAnswer(step, window)) {
                    run.problem = "the window \"" + step.caption + "\" could not be answered";
                    break;
                }
                pending = window;
                seen = run.started = true;
                idleStreak = 0;
                WaitUntil([&] { return !IsWindow(window) || console.WaitBox(0) != nullptr; }, ArbolinConsole::kWait);
                if (IsWindow(window) && console.WaitBox(0) == nullptr) {
                    run.problem = "the window \"" + step.caption + "\" does not take its answer";
                    break;
                }
                continue;
            }
            if (window != nullptr && window == pending) {
                PumpMessages(20);
                continue;
            }
        }
        HWND other = Dialogs(console, false).found;
        if (other != nullptr) {
            idleStreak = 0;
            if (other != odd) {
                odd = other;
                oddSince = GetTickCount();
            } else if (GetTickCount() - oddSince > kOddWindowPatience) {
                char caption[256] = "";
                GetWindowTextA(other, caption, sizeof caption);
                run.problem += std::string(run.problem.empty() ? "" : "; ") + "an unexpected window \"" + caption + "\"";
                ClickDialogButton(other, IDCANCEL);
                WaitForWindowGone(other, ArbolinConsole::kWait);
                odd = nullptr;
            }
        } else if (ConsoleIdle(console)) {
            if (!seen && !IsWindowEnabled(console.Item(button)))
                break;  // nothing to start
            if (seen && ++idleStreak >= 2)
                break;
            continue;
        } else {
            idleStreak = 0;
        }
        PumpMessages(20);
    }
    return run;
}

bool WaitWindowShown(const ArbolinConsole &console)
{
    return Dialogs(console, true).found != nullptr;
}

}  // namespace testkit
