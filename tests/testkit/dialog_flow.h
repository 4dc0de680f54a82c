// A call that shows a modal dialog, run on a thread of its own while the test thread finds the
// dialog, answers it and takes the call's result and last error.
#pragma once

#include <windows.h>

#include <functional>

namespace testkit {

// Runs `call` on a second thread (the modal dialog's own thread); the thread's last error is set
// to 0xdeadbeef before the call and read after it.
class DialogFlow {
public:
    explicit DialogFlow(std::function<BOOL()> call);
    // A flow left waiting in a dialog: what it shows is cancelled so that the thread can end.
    ~DialogFlow();
    DialogFlow(const DialogFlow &) = delete;
    DialogFlow &operator=(const DialogFlow &) = delete;

    // Waits for the call to end, pumping this thread's messages; false on time-out.
    bool Finish(DWORD timeoutMs = 10000);
    BOOL result() const { return result_; }
    DWORD error() const { return error_; }

private:
    static DWORD WINAPI Run(void *self);
    std::function<BOOL()> call_;
    HANDLE thread_ = nullptr;
    BOOL result_ = -2;
    DWORD error_ = 0xdeadbeef;
};

// What one dialog flow came to.
struct FlowOutcome {
    bool shown = false;     // the dialog appeared (and `answer` ran)
    bool finished = false;  // the call ended in time
    BOOL result = -2;
    DWORD error = 0xdeadbeef;
};

// The whole scenario: starts `call`, waits for its dialog (a visible "#32770" window with
// `caption`), hands it to `answer` (which checks the controls and clicks), and waits for the call
// to end. A dialog that does not appear or a call that does not end is a test failure.
FlowOutcome RunDialogFlow(std::function<BOOL()> call, const char *caption, const std::function<void(HWND)> &answer,
                          DWORD timeoutMs = 10000);

}  // namespace testkit
