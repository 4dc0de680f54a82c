// ArbolinCmd.exe: the console program's entry. Opens the log, loads the texts, lets Ctrl+C end a
// batch after its current Key, and runs the command.
#include <windows.h>

#include <string>
#include <vector>

#include "arbolin_cmd.h"
#include "cmd_io.h"
#include "log.h"
#include "texts.h"

namespace {

BOOL WINAPI OnConsoleBreak(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&g_cmdStopRequested, 1);
    return TRUE;
}

}  // namespace

int main(int argc, char **argv)
{
    LogInit("Sentrio", nullptr);
    LoadLanguage(nullptr, GetModuleHandleA(nullptr));
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    std::vector<std::string> args(argv + 1, argv + argc);
    ConsoleIo io;
    return RunArbolinCmd(args, io);
}
