// Tolvik.dll's shell: the DLL entry, the one LogonState and Key object of the process, and
// compile-time checks that the exports have the types the client calls them with.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "key_session.h"
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

// The client's termination notice: the Key work ends here, on the client's thread and before the
// unload, where a handler still running on the monitor thread (a re-logon, its PIN prompt, a box)
// can be brought to its end. Stopped later, in the unload, the monitor would be waited for under
// the loader lock, which a handler loading a library or starting a thread needs: the client would
// never end. The handlers stay registered (the notice must not deregister any); ExtClear at the
// unload undoes the traces.
STATUS LNCALLBACK ExtHandlerTerminate(EMRECORD *record)
{
    if (record->EId == EM_TERMINATENSF) {
        LogMessage(kLogStep, kLogModule, "ExtHandlerTerminate - Begin");
        Session().Stop();
        Key().StopMonitoring();
        LogMessage(kLogStep, kLogModule, "ExtHandlerTerminate - Exit");
    }
    return ERR_EM_CONTINUE;
}

}  // namespace

void WatchClientEnd()
{
    LogonState &s = State();
    if (s.hTerminateReg == 0 && EMRegister(EM_TERMINATENSF, EM_REG_BEFORE, ExtHandlerTerminate, 0, &s.hTerminateReg) != NOERROR)
        s.hTerminateReg = 0;
}

void ForgetClientEnd()
{
    LogonState &s = State();
    if (s.hTerminateReg != 0)
        EMDeregister(s.hTerminateReg);
    s.hTerminateReg = 0;
}

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
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        State().instance = instance;
        LogInit(kLogModule, instance);
        LoadLanguage(nullptr, instance);
        LogMessage(kLogStep, kLogModule, "DllEntryPoint - LogInited");
        CreateFictWindow(instance);
        FindHelpFile();
    } else if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        // The process ends without unloading the extension (the end of a Windows session, an
        // exit past the client's own end): the other threads are gone and the libraries loaded
        // after this one (the Key library) already had their detach. Nothing of the Key library
        // and no Extension Manager call: notes.ini and the temporary ID are put back, the secrets
        // wiped.
        Key().AbandonLibrary();
        PutTracesBack();
        ForgetKeyData();
        LogMessage(kLogStep, kLogModule, "DllEntryPoint - PROCESS_DETACH (process ends)");
    } else if (reason == DLL_PROCESS_DETACH) {
        // A client that sent no termination notice: the session and the monitor are stopped here,
        // before the traces are undone.
        Session().Stop();
        Key().StopMonitoring();
        ForgetClientEnd();
        ExtClear();
        ForgetKeyData();
        DestroyFictWindow();
        LogMessage(kLogStep, kLogModule, "DllEntryPoint - PROCESS_DETACH");
    }
    return TRUE;
}
