// Peglar.exe: a windowless program (no window, no console); it reports through its exit code and
// its optional log.
#include <windows.h>

#include "peglar.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    return RunPeglar(commandLine);
}
