// The program's console: writes to the standard handles, reads standard input line by line, and
// asks with the echo of the console's input switched off for secrets.
#include "cmd_io.h"

#include <windows.h>

namespace {

void WriteAll(DWORD which, const std::string &text)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleA(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected: text with Windows line ends, as a file on this system has them.
    std::string crlf;
    crlf.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const char *p = crlf.data();
    std::size_t left = crlf.size();
    while (left > 0 && WriteFile(handle, p, static_cast<DWORD>(left), &written, nullptr) && written > 0) {
        p += written;
        left -= written;
    }
}

// One line of standard input, read a byte at a time so that nothing after the line is taken
// from a pipe that another reader (the next prompt) shares.
bool ReadStdinLine(std::string *line)
{
    line->clear();
    // Room for any PIN or password at once: a string that grows leaves its shorter copies behind
    // in freed memory, unwiped.
    line->reserve(256);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE)
        return false;
    bool any = false;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!ReadFile(in, &c, 1, &read, nullptr) || read == 0)
            return any;
        any = true;
        if (c == '\n')
            break;
        if (c != '\r')
            *line += c;
    }
    return true;
}

}  // namespace

ConsoleIo::ConsoleIo()
{
    DWORD mode = 0;
    interactive_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

void ConsoleIo::Out(const std::string &text)
{
    WriteAll(STD_OUTPUT_HANDLE, text);
}

void ConsoleIo::Err(const std::string &text)
{
    WriteAll(STD_ERROR_HANDLE, text);
}

bool ConsoleIo::ReadLine(std::string *line)
{
    return ReadStdinLine(line);
}

bool ConsoleIo::Interactive()
{
    return interactive_;
}

bool ConsoleIo::Ask(const std::string &question, bool hidden, std::string *answer)
{
    if (!interactive_)
        return false;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    if (hidden)
        SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    Err(question);
    bool got = ReadStdinLine(answer);
    if (hidden) {
        SetConsoleMode(in, mode);
        Err("\n");  // the Enter typed was not echoed either
    }
    return got;
}
