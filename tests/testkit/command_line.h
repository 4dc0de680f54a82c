// The admin console's command line in a test: its console as text (lines handed to standard
// input, answers to its questions, what it writes, read back while it runs), ArbolinCmd.exe run
// with pipes, and the admin-only files its secrets come from.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cmd_io.h"

namespace testkit {

// A CmdIo of text: standard input is `stdinLines`; questions are answered from `answers` when
// `interactive` (else they cannot be asked); output is kept and may be read while the program
// runs on another thread.
class CapturedIo : public CmdIo {
public:
    CapturedIo(std::vector<std::string> stdinLines = {}, bool interactive = false,
               std::vector<std::string> answers = {});

    void Out(const std::string &text) override;
    void Err(const std::string &text) override;
    bool ReadLine(std::string *line) override;
    bool Interactive() override { return interactive_; }
    bool Ask(const std::string &question, bool hidden, std::string *answer) override;

    std::string out();
    std::string err();
    // The questions asked so far, each with whether its answer was hidden ("hidden: " prefix).
    std::vector<std::string> questions();
    // Waits (up to `ms`) until standard output holds `text` `times` times.
    bool WaitForOut(const std::string &text, DWORD ms = 20000, int times = 1);

private:
    std::mutex mutex_;
    std::deque<std::string> stdin_, answers_;
    bool interactive_;
    std::string out_, err_;
    std::vector<std::string> questions_;
};

// How often `needle` occurs in `text`.
int CountOf(const std::string &text, const std::string &needle);

// A program run on a thread of its own (a batch that waits for Keys while the test inserts them).
class BackgroundRun {
public:
    explicit BackgroundRun(std::function<int()> run);
    ~BackgroundRun();  // waits for the end
    BackgroundRun(const BackgroundRun &) = delete;
    BackgroundRun &operator=(const BackgroundRun &) = delete;
    // Waits up to `ms` for the end; its exit code, or -1000 when it has not ended.
    int Wait(DWORD ms = 60000);

private:
    std::thread thread_;
    std::atomic<int> code_{-1000};
    std::atomic<bool> ended_{false};
};

struct ConsoleRun {
    int exitCode = -1000;  // -1000: not started or not ended in time
    std::string out, err;  // line ends as written (\r\n from a console program)
};

// Runs a console program with `stdinText` on its standard input and both outputs captured; the
// extra environment variables `environment` ("NAME=value") are added to this process's.
ConsoleRun RunConsoleProgram(const std::string &commandLine, const std::string &stdinText = "",
                             DWORD timeoutMs = 60000, const std::vector<std::string> &environment = {});

// Writes `bytes` to a new file `path` that only Administrators, SYSTEM and the owner may read
// (the file a command line program takes secrets from).
bool WriteAdminOnlyFile(const std::string &path, const std::string &bytes);

}  // namespace testkit
