// simhaapi.dll: HA-API vendor functions, device dialog, registry entries and controls.
#include "sim_haapi.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "sim_haapi_res.h"
#include "sim_shared_state.h"

namespace {

HINSTANCE g_instance = nullptr;

// What every process sees: the finger, the match result, the device dialog's behaviour, pending
// failures and the call counts.
struct SharedState {
    static constexpr uint32_t kMagic = 0x53484131;  // "SHA1"
    uint32_t magic;
    uint32_t finger;
    uint32_t matchResult;
    uint32_t interactive;
    uint32_t cancelNext;
    simstate::NamedValues<16> calls;
    simstate::NamedValues<16> failures;

    void Reset()
    {
        std::memset(this, 0, sizeof *this);
        magic = kMagic;
        finger = 1;
        matchResult = 1;
    }
};

simstate::Shared<SharedState> g_shared("SentrioSimHaApi_Mutex", "SentrioSimHaApi_State", "SentrioSimHaApi.state");
volatile LONG g_outstanding = 0;  // blocks of this process not yet freed

// Holds the shared state for one scope (the named mutex is re-entrant for its thread).
struct Lock {
    Lock() : shared(g_shared) {}
    SharedState *operator->() { return shared.state; }
    simstate::Shared<SharedState>::Lock shared;
};

// Counts the call and answers a pending failure of it (0 when none).
uint32_t Enter(const char *function)
{
    uint32_t code;
    {
        Lock lock;
        code = simstate::CountAndTakeFailure(*lock.shared.state, function);
    }
    if (code == simstate::kFaultOnDemand)
        simstate::RaiseAccessViolation();  // a faulting vendor module, on demand
    return code;
}

// The simulated records: an eight-byte kind tag and the finger.
constexpr uint32_t kRecordSize = 12;
const char kCaptured[] = "SIMHACAP";
const char kProcessed[] = "SIMHAPRC";
const char kTemplate[] = "SIMHATPL";
const char kFirst[] = "SIMHAFST";

bool MakeRecord(HAAPI_DATA *out, const char *kind, uint32_t finger)
{
    if (out == nullptr)
        return false;
    uint8_t *data = static_cast<uint8_t *>(HeapAlloc(GetProcessHeap(), 0, kRecordSize));
    if (data == nullptr)
        return false;
    std::memcpy(data, kind, 8);
    std::memcpy(data + 8, &finger, 4);
    out->Length = kRecordSize;
    out->Data = data;
    InterlockedIncrement(&g_outstanding);
    return true;
}

// The finger of a record of `kind`; false for anything else.
bool FingerOf(const HAAPI_DATA *record, const char *kind, uint32_t *finger)
{
    if (record == nullptr || record->Data == nullptr || record->Length != kRecordSize ||
        std::memcmp(record->Data, kind, 8) != 0)
        return false;
    std::memcpy(finger, record->Data + 8, 4);
    return true;
}

INT_PTR CALLBACK DeviceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const HAAPI_HOST_WINDOW *host = reinterpret_cast<const HAAPI_HOST_WINDOW *>(lParam);
        // Placed just inside the host's top-left corner, as a vendor's own window would be.
        if (host != nullptr && host->ParentPosition != nullptr && host->ParentWindow != nullptr)
            SetWindowPos(dialog, nullptr, host->ParentPosition[0] + 20, host->ParentPosition[1] + 20, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
        bool cancel, interactive;
        {
            Lock lock;
            cancel = lock->cancelNext != 0;
            lock->cancelNext = 0;
            interactive = lock->interactive != 0;
        }
        if (cancel)
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        else if (!interactive)
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    case WM_TIMER:
        KillTimer(dialog, wParam);
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// Shows the device dialog over the host's window; true when the user placed the finger.
bool PlaceFinger(const HAAPI_HOST_WINDOW *host)
{
    Enter("dialog");
    HWND parent = host != nullptr ? static_cast<HWND>(host->ParentWindow) : nullptr;
    INT_PTR pressed = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SIMHA_DEVICE), parent, DeviceProc,
                                      reinterpret_cast<LPARAM>(host));
    return pressed == IDOK;
}

uint32_t CurrentFinger()
{
    Lock lock;
    return lock->finger;
}

uint32_t MatchResult(uint32_t sample, uint32_t stored)
{
    Lock lock;
    return sample == stored ? lock->matchResult : 0;
}

bool WriteString(HKEY key, const char *name, const char *value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

bool WriteTechnology(const char *path, const char *technologyName)
{
    HKEY key = nullptr;
    std::string full = std::string(SIMHAAPI_VENDORS_KEY) + "\\" + path;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = WriteString(key, "TechnologyName", technologyName) && WriteString(key, "ModuleName", "simhaapi.dll") &&
              WriteString(key, "CaptureFunctionName", "SimHaCapture") &&
              WriteString(key, "EnrollmentFunctionName", "SimHaEnroll") &&
              WriteString(key, "FreeFunctionName", "SimHaFree") &&
              WriteString(key, "InformationFunctionName", "SimHaInformation") &&
              WriteString(key, "LiveVerifyFunctionName", "SimHaLiveVerify") &&
              WriteString(key, "ProcessFunctionName", "SimHaProcess") &&
              WriteString(key, "VerifyFunctionName", "SimHaVerify");
    RegCloseKey(key);
    return ok;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_instance = instance;
    return TRUE;
}

// ---- vendor functions ---------------------------------------------------------------------

extern "C" uint32_t HAAPI_CALL SimHaCapture(const HAAPI_HOST_WINDOW *host, HAAPI_DATA *captured)
{
    if (uint32_t code = Enter("capture"))
        return code;
    if (captured == nullptr)
        return HAAPI_INVALIDPARAMETERS;
    if (!PlaceFinger(host))
        return HAAPI_USERCANCEL;
    return MakeRecord(captured, kCaptured, CurrentFinger()) ? 0 : HAAPI_ERROR_BASE + 0x04;
}

extern "C" uint32_t HAAPI_CALL SimHaEnroll(const HAAPI_HOST_WINDOW *host, HAAPI_DATA *first, HAAPI_DATA *templ,
                                           uint32_t)
{
    if (uint32_t code = Enter("enrollment"))
        return code;
    if (first == nullptr || templ == nullptr)
        return HAAPI_INVALIDPARAMETERS;
    if (!PlaceFinger(host))
        return HAAPI_USERCANCEL;
    uint32_t finger = CurrentFinger();
    if (!MakeRecord(first, kFirst, finger))
        return HAAPI_ERROR_BASE + 0x04;
    if (!MakeRecord(templ, kTemplate, finger))
        return HAAPI_ERROR_BASE + 0x04;
    return 0;
}

extern "C" uint32_t HAAPI_CALL SimHaFree(HAAPI_DATA *data)
{
    if (uint32_t code = Enter("free"))
        return code;
    if (data == nullptr)
        return HAAPI_INVALIDPARAMETERS;
    if (data->Data != nullptr) {
        HeapFree(GetProcessHeap(), 0, data->Data);
        InterlockedDecrement(&g_outstanding);
    }
    data->Data = nullptr;
    data->Length = 0;
    return 0;
}

extern "C" uint32_t HAAPI_CALL SimHaInformation(HAAPI_DATA *information)
{
    if (uint32_t code = Enter("information"))
        return code;
    return information == nullptr ? HAAPI_INVALIDPARAMETERS : HAAPI_ERROR_BASE + 0x45;
}

extern "C" uint32_t HAAPI_CALL SimHaLiveVerify(const HAAPI_HOST_WINDOW *host, const HAAPI_DATA *templ,
                                               uint32_t *result)
{
    if (uint32_t code = Enter("liveverify"))
        return code;
    uint32_t stored = 0;
    if (result == nullptr || !FingerOf(templ, kTemplate, &stored))
        return HAAPI_INVALIDPARAMETERS;
    if (!PlaceFinger(host))
        return HAAPI_USERCANCEL;
    *result = MatchResult(CurrentFinger(), stored);
    return 0;
}

extern "C" uint32_t HAAPI_CALL SimHaProcess(const HAAPI_DATA *captured, HAAPI_DATA *processed)
{
    if (uint32_t code = Enter("process"))
        return code;
    uint32_t finger = 0;
    if (processed == nullptr || !FingerOf(captured, kCaptured, &finger))
        return HAAPI_INVALIDPARAMETERS;
    return MakeRecord(processed, kProcessed, finger) ? 0 : HAAPI_ERROR_BASE + 0x04;
}

extern "C" uint32_t HAAPI_CALL SimHaVerify(const HAAPI_DATA *sample, const HAAPI_DATA *templ, uint32_t *result)
{
    if (uint32_t code = Enter("verify"))
        return code;
    uint32_t sampleFinger = 0, storedFinger = 0;
    if (result == nullptr || !FingerOf(sample, kProcessed, &sampleFinger) || !FingerOf(templ, kTemplate, &storedFinger))
        return HAAPI_INVALIDPARAMETERS;
    *result = MatchResult(sampleFinger, storedFinger);
    return 0;
}

// ---- controls -----------------------------------------------------------------------------

SIMHAAPI_API int __cdecl SimHaApi_InstallVendors()
{
    SimHaApi_RemoveVendors();
    return WriteTechnology("Vendor1\\Tech1", SIMHAAPI_FINGER_NAME) &&
           WriteTechnology("Vendor1\\Tech2", SIMHAAPI_PALM_NAME) &&
           WriteTechnology("Vendor2\\Tech1", SIMHAAPI_IRIS_NAME);
}

SIMHAAPI_API void __cdecl SimHaApi_RemoveVendors()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\HAAPI");
}

SIMHAAPI_API void __cdecl SimHaApi_Reset()
{
    Lock lock;
    lock->Reset();
}

SIMHAAPI_API void __cdecl SimHaApi_SetFinger(uint32_t finger)
{
    Lock lock;
    lock->finger = finger;
}

SIMHAAPI_API void __cdecl SimHaApi_SetMatchResult(uint32_t result)
{
    Lock lock;
    lock->matchResult = result;
}

SIMHAAPI_API void __cdecl SimHaApi_SetInteractive(int interactive)
{
    Lock lock;
    lock->interactive = interactive != 0 ? 1 : 0;
}

SIMHAAPI_API void __cdecl SimHaApi_CancelNext()
{
    Lock lock;
    lock->cancelNext = 1;
}

SIMHAAPI_API void __cdecl SimHaApi_FailNext(const char *function, uint32_t code)
{
    Lock lock;
    if (function == nullptr)
        return;
    if (uint32_t *failure = lock->failures.Find(function, true))
        *failure = code;
}

SIMHAAPI_API uint32_t __cdecl SimHaApi_CallCount(const char *function)
{
    Lock lock;
    uint32_t *count = lock->calls.Find(function != nullptr ? function : "", false);
    return count != nullptr ? *count : 0;
}

SIMHAAPI_API uint32_t __cdecl SimHaApi_OutstandingBlocks()
{
    return static_cast<uint32_t>(g_outstanding);
}
