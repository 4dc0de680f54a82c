// What the host (Linux) kernel counts for a Wine process, read through Wine's Z: drive, for the
// benchmarks: CPU time of all its threads and its private resident memory. Under Wine a program's
// own thread times are too coarse to use, and /proc/self names the wineserver (it opens the
// files), so the process is found by its command line.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

inline std::string ReadHostFile(const std::string &path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "";
    std::string text;
    char buffer[1024];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got != 0)
        text.append(buffer, got);
    CloseHandle(f);
    return text;
}

// The host process id of the Wine process whose command line's first word ends with `program`
// and which contains `token` (may be empty); 0 when none.
inline unsigned long FindHostPid(const char *program, const std::string &token)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long pid = 0;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9')
            continue;
        std::string cmd = ReadHostFile(std::string("Z:\\proc\\") + found.cFileName + "\\cmdline");
        std::string first = cmd.substr(0, cmd.find('\0'));
        for (char &c : cmd)
            if (c == 0)
                c = ' ';
        std::size_t n = std::strlen(program);
        if (first.size() >= n && _stricmp(first.c_str() + first.size() - n, program) == 0 &&
            (token.empty() || cmd.find(token) != std::string::npos)) {
            pid = std::strtoul(found.cFileName, nullptr, 10);
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

// The run time of all threads of host process `pid` in ms (schedstat); -1 when unreadable.
inline double HostCpuMs(unsigned long pid)
{
    std::string dir = "Z:\\proc\\" + std::to_string(pid) + "\\task\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    double ns = 0;
    int tasks = 0;
    do {
        if (found.cFileName[0] == '.')
            continue;
        std::string stat = ReadHostFile(dir + found.cFileName + "\\schedstat");
        if (!stat.empty()) {
            ns += std::strtod(stat.c_str(), nullptr);
            ++tasks;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return tasks != 0 ? ns / 1e6 : -1;
}

// A "Name:  value kB" figure of /proc/<pid>/status (RssAnon: the private resident memory); -1.
inline double HostStatusKb(unsigned long pid, const char *name)
{
    std::string status = ReadHostFile("Z:\\proc\\" + std::to_string(pid) + "\\status");
    std::size_t at = status.find(name);
    if (at == std::string::npos)
        return -1;
    return std::strtod(status.c_str() + at + std::strlen(name), nullptr);
}

}  // namespace bench
