// The command line's console as text, a console program run with pipes, admin-only files.
#include "command_line.h"

#include <sddl.h>

#include <thread>

#include "testkit.h"

namespace testkit {

CapturedIo::CapturedIo(std::vector<std::string> stdinLines, bool interactive, std::vector<std::string> answers)
    : stdin_(stdinLines.begin(), stdinLines.end()), answers_(answers.begin(), answers.end()), interactive_(interactive)
{
}

void CapturedIo::Out(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    out_ += text;
}

void CapturedIo::Err(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    err_ += text;
}

bool CapturedIo::ReadLine(std::string *line)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (stdin_.empty())
        return false;
    *line = stdin_.front();
    stdin_.pop_front();
    return true;
}

bool CapturedIo::Ask(const std::string &question, bool hidden, std::string *answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    questions_.push_back((hidden ? "hidden: " : "") + question);
    if (!interactive_ || answers_.empty())
        return false;
    *answer = answers_.front();
    answers_.pop_front();
    return true;
}

std::string CapturedIo::out()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string CapturedIo::err()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
}

std::vector<std::string> CapturedIo::questions()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return questions_;
}

bool CapturedIo::WaitForOut(const std::string &text, DWORD ms, int times)
{
    return WaitUntil([&] { return CountOf(out(), text) >= times; }, ms);
}

int CountOf(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (std::size_t at = text.find(needle); !needle.empty() && at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

BackgroundRun::BackgroundRun(std::function<int()> run)
    : thread_([this, run] {
          code_ = run();
          ended_ = true;
      })
{
}

BackgroundRun::~BackgroundRun()
{
    if (thread_.joinable())
        thread_.join();
}

int BackgroundRun::Wait(DWORD ms)
{
    if (!WaitUntil([this] { return ended_.load(); }, ms))
        return -1000;
    thread_.join();
    return code_;
}

namespace {

std::string ReadAll(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

// This process's environment block with `extra` added (a later NAME wins over an earlier one).
std::vector<char> EnvironmentWith(const std::vector<std::string> &extra)
{
    std::vector<char> block;
    char *env = GetEnvironmentStringsA();
    for (const char *p = env; *p != 0; p += strlen(p) + 1) {
        std::string entry = p;
        bool replaced = false;
        for (const std::string &e : extra)
            replaced = replaced || _strnicmp(entry.c_str(), e.c_str(), e.find('=') + 1) == 0;
        if (!replaced)
            block.insert(block.end(), entry.begin(), entry.end() + 1);
    }
    FreeEnvironmentStringsA(env);
    for (const std::string &e : extra)
        block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(0);
    return block;
}

}  // namespace

ConsoleRun RunConsoleProgram(const std::string &commandLine, const std::string &stdinText, DWORD timeoutMs,
                             const std::vector<std::string> &environment)
{
    ConsoleRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
           errWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !CreatePipe(&errRead, &errWrite, &inherit, 0))
        return run;
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    std::vector<char> env = EnvironmentWith(environment);
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  environment.empty() ? nullptr : env.data(), nullptr, &si, &pi);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        CloseHandle(errRead);
        return run;
    }
    std::thread outReader([&] { run.out = ReadAll(outRead); });
    std::thread errReader([&] { run.err = ReadAll(errRead); });
    DWORD written = 0;
    if (!stdinText.empty())
        WriteFile(inWrite, stdinText.data(), static_cast<DWORD>(stdinText.size()), &written, nullptr);
    CloseHandle(inWrite);  // the program then sees the input's end
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        run.exitCode = static_cast<int>(code);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    outReader.join();
    errReader.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

bool WriteAdminOnlyFile(const std::string &path, const std::string &bytes)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)",
                                                              SDDL_REVISION_1, &sa.lpSecurityDescriptor, nullptr))
        return false;
    DeleteFileA(path.c_str());
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(sa.lpSecurityDescriptor);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

}  // namespace testkit
