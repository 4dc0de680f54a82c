// Braxial's library entry: log, common controls, the BioAPI framework at attach; the reader
// table and both back ends released at detach.
#include <windows.h>

#include <commctrl.h>

#include "bio_backend.h"
#include "bioapi_backend.h"
#include "bir_string.h"
#include "haapi_backend.h"
#include "log.h"

HINSTANCE g_braxialInstance = nullptr;

namespace {

void BirLog(int level, const char *context, const char *text)
{
    LogMessage(level, context, "%s", text);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    LogInit(BRAXIAL_LOG, instance);
    g_braxialInstance = instance;
    InitCommonControls();
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        SetBirLogSink(BirLog);
        LogMessage(kLogMilestone, "Load Braxial Library", "DLL_PROCESS_ATTACH");
        g_bioApiBackEnd.LoadBioAPI();
        break;
    case DLL_THREAD_ATTACH:
        LogMessage(kLogDetail, BRAXIAL_LOG, "DLL_THREAD_ATTACH");
        break;
    case DLL_THREAD_DETACH:
        LogMessage(kLogDetail, BRAXIAL_LOG, "DLL_THREAD_DETACH");
        break;
    case DLL_PROCESS_DETACH: {
        LogMessage(kLogMilestone, "Unload Braxial Library", "DLL_PROCESS_DETACH");
        // When the process itself ends (reserved is not null) the framework and the vendor
        // modules may be gone already: nothing is called in them then.
        bool callOthers = reserved == nullptr;
        if (callOthers)
            FreeReaderTable();
        g_bioApiBackEnd.clear_all_when_detach(callOthers);
        g_haApiBackEnd.clear_all_when_detach(callOthers);
        SetBirLogSink(nullptr);
        break;
    }
    }
    return TRUE;
}
