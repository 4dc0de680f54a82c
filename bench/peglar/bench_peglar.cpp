// Cost of one add and one remove on a notes.ini of realistic size, per call: as a whole Peglar.exe
// process (what an installer pays) and in-process (the profile API and the list editing alone).
#include <windows.h>

#include <cstdio>
#include <string>

#include "peglar.h"

namespace {

std::string NotesIni()
{
    std::string text = "[Notes]\r\nKitType=1\r\nDirectory=C:\\Lotus\\Notes\\Data\r\n"
                       "KeyFileName=user.id\r\nEXTMGR_ADDINS=nextpwd.dll\r\n";
    for (int i = 0; i < 300; ++i)
        text += "Setting" + std::to_string(i) + "=value " + std::to_string(i * 37) + "\r\n";
    text += "[Workspace]\r\nWindowSizeX=800\r\n";
    return text;
}

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

int RunProcess(const std::string &line)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string copy = line;
    if (!CreateProcessA(nullptr, &copy[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1000;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 50;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string ini = std::string(temp) + "peglar-bench-notes.ini";
    std::string text = NotesIni();
    HANDLE h = CreateFileA(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);

    std::string add = "\"" + ini + "\" Notes EXTMGR_ADDINS Tolvik.dll a";
    std::string remove = "\"" + ini + "\" Notes EXTMGR_ADDINS Tolvik.dll d";

    double t0 = Now();
    for (int i = 0; i < rounds; ++i) {
        RunPeglar(add.c_str());
        RunPeglar(remove.c_str());
    }
    double inProcess = (Now() - t0) / (2.0 * rounds);

    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir(exe);
    dir = dir.substr(0, dir.find_last_of('\\') + 1);
    int processRounds = rounds < 20 ? rounds : 20;
    t0 = Now();
    for (int i = 0; i < processRounds; ++i) {
        RunProcess("\"" + dir + "Peglar.exe\" " + add);
        RunProcess("\"" + dir + "Peglar.exe\" " + remove);
    }
    double wholeProcess = (Now() - t0) / (2.0 * processRounds);

    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    std::printf("notes.ini: %zu bytes, %d lines\n", text.size(), lines);
    std::printf("in-process add or remove: %.3f ms per call (%d calls)\n", inProcess * 1000, 2 * rounds);
    std::printf("Peglar.exe process add or remove: %.1f ms per call (%d calls)\n", wholeProcess * 1000,
                2 * processRounds);
    DeleteFileA(ini.c_str());
    return 0;
}
