// Tolvik.dll's shell: the DLL entry, the one LogonState and Key object of the process, and
// compile-time checks that the exports have the types the client calls them with.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "log.h"
#include "logon_state.h"
#include "text_ids.h"
#include "texts.h"
#include "tolvik_key.h"

static_assert(std::is_same<decltype(&MainEntryPoint), EXTENSION_ENTRY>::value, "MainEntryPoint is the client's entry");
static_assert(std::is_same<decltype(&ExtHandlerGetPassword), EMHANDLER>::value, "a handler");
static_assert(std::is_same<decltype(&ExtHandlerSetPassword), EMHANDLER>::value, "a handler");

namespace {

LogonState g_state;
CSmartKeyEx g_key;

// The help file beside the host program, whatever the current directory.
void FindHelpFile()
{
    LogonState &s = State();
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    LogMessage(kLogStep, kLogModule, "DllEntryPoint - ModulePath=<%s>", path);
    char *slash = std::strrchr(path, '\\');
    if (slash != nullptr)
        slash[1] = 0;
    else
        path[0] = 0;
    FormatCut(s.sHelpFile, sizeof s.sHelpFile, "%s%s", path, Text(IDS_HELP_FILE_NAME).c_str());
    LogMessage(kLogStep, kLogModule, "DllEntryPoint - HelpFile=<%s>", s.sHelpFile);
}

}  // namespace

LogonState &State()
{
    return g_state;
}

CSmartKeyEx &Key()
{
    return g_key;
}

// The C runtime's DLL start-up calls DllEntryPoint (after its own initialisation, before the
// default DllMain): attach and detach do only what they must.
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        State().instance = instance;
        LogInit(kLogModule, instance);
        LoadLanguage(nullptr, instance);
        LogMessage(kLogStep, kLogModule, "DllEntryPoint - LogInited");
        CreateFictWindow(instance);
        FindHelpFile();
    } else if (reason == DLL_PROCESS_DETACH) {
        ExtClear();
        DestroyFictWindow();
        LogMessage(kLogStep, kLogModule, "DllEntryPoint - PROCESS_DETACH");
    }
    return TRUE;
}
