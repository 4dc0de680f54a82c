// A stand-in Tolvik.dll for the menu add-in's tests (never shipped): an extension entry at ordinal 1
// that does nothing, and SentrioTools (left out with FAKE_TOLVIK_LACKING) that records its call.
// What it sees goes to the file FAKE_TOLVIK_LOG names:
//   attach / tools window=<class of the window> parent=<class of its parent> /
//   detach exit=<yes|no> tolvikm=<loaded|gone> (released at process exit or by FreeLibrary;
//   whether TolvikM.dll was still loaded then)
#include <windows.h>

#include <cstdio>
#include <string>
#include <type_traits>

#include "notes_api.h"
#include "sentrio_tools_api.h"

namespace {

void Log(const std::string &line)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("FAKE_TOLVIK_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    FILE *f = std::fopen(path, "ab");
    if (f == nullptr)
        return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

[[maybe_unused]] std::string ClassOf(HWND window)
{
    char name[64] = "";
    if (window == nullptr || GetClassNameA(window, name, sizeof name) == 0)
        return "none";
    return name;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        Log("attach");
    else if (reason == DLL_PROCESS_DETACH)
        Log(std::string("detach exit=") + (reserved != nullptr ? "yes" : "no") +
            " tolvikm=" + (GetModuleHandleA("TolvikM.dll") ? "loaded" : "gone"));
    return TRUE;
}

extern "C" STATUS LNPUBLIC MainEntryPoint(void)
{
    return NOERROR;
}

#ifndef FAKE_TOLVIK_LACKING
extern "C" void WINAPI SentrioTools(HWND window)
{
    Log("tools window=" + ClassOf(window) + " parent=" + ClassOf(GetParent(window)));
}
static_assert(std::is_same<decltype(&SentrioTools), SENTRIO_TOOLS_PROC>::value,
              "SentrioTools has the type the add-in calls");
#endif
