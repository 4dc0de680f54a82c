// Dialog flows on a second thread.
#include "dialog_flow.h"

#include <gtest/gtest.h>

#include <utility>

#include "testkit.h"

namespace testkit {

DialogFlow::DialogFlow(std::function<BOOL()> call) : call_(std::move(call))
{
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DialogFlow::~DialogFlow()
{
    if (thread_ == nullptr)
        return;
    for (int i = 0; i < 50 && WaitForSingleObject(thread_, 100) == WAIT_TIMEOUT; ++i) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(GetThreadId(thread_), &info) && info.hwndActive != nullptr)
            PostMessageA(info.hwndActive, WM_COMMAND, IDCANCEL, 0);
    }
    CloseHandle(thread_);
}

bool DialogFlow::Finish(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(20);
    }
    return true;
}

DWORD WINAPI DialogFlow::Run(void *self)
{
    DialogFlow *flow = static_cast<DialogFlow *>(self);
    SetLastError(0xdeadbeef);
    flow->result_ = flow->call_();
    flow->error_ = GetLastError();
    return 0;
}

FlowOutcome RunDialogFlow(std::function<BOOL()> call, const char *caption, const std::function<void(HWND)> &answer,
                          DWORD timeoutMs)
{
    FlowOutcome outcome;
    DialogFlow flow(std::move(call));
    HWND dialog = WaitForWindow(caption, "#32770", timeoutMs);
    if (dialog == nullptr) {
        ADD_FAILURE() << "no dialog \"" << caption << "\" appeared";
        return outcome;
    }
    outcome.shown = true;
    answer(dialog);
    outcome.finished = flow.Finish(timeoutMs);
    EXPECT_TRUE(outcome.finished) << "the call behind \"" << caption << "\" did not end";
    outcome.result = flow.result();
    outcome.error = flow.error();
    return outcome;
}

}  // namespace testkit
