// The demo's record: one line per step (what, whether it held, how long it took, the screenshot),
// written as it goes to <build>/../demo/steps.tsv, from which scripts/demo.sh makes the report.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

namespace demo {

class Timeline {
public:
    Timeline();
    ~Timeline();
    Timeline(const Timeline &) = delete;
    Timeline &operator=(const Timeline &) = delete;

    // Runs `action`, then waits for `done` (true when it holds); records the step with the time
    // from the start of `action` to `done`, and a screenshot of the window `shot()` answers (the
    // screen when it answers null). Returns whether `done` held.
    bool Step(const std::string &title, const std::function<void()> &action, const std::function<bool()> &done,
              const std::function<HWND()> &shot, const std::string &detail = "");
    int failures() const { return failures_; }
    const std::string &folder() const { return folder_; }

private:
    std::string folder_;
    FILE *file_ = nullptr;
    int steps_ = 0, failures_ = 0;
};

}  // namespace demo
