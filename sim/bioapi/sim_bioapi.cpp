// bioapi100.dll stand-in: framework entry points, simulated modules, controls.
#include "sim_bioapi.h"

#include "sim_shared_state.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Attached {
    size_t module;
    BioAPI_MEMORY_FUNCS memory;
};

struct StoredBir {
    BioAPI_BIR_HEADER header;
    std::vector<uint8_t> data;
    bool signature;
};

constexpr uint32_t kMaxModules = 16;

// What every process sees: the modules, the finger, pending failures and the call counts.
struct SharedState {
    static constexpr uint32_t kMagic = 0x53424931;  // "SBI1"
    uint32_t magic;
    uint32_t finger;
    uint32_t lastEnrollPurpose;
    uint32_t moduleCount;
    SimBspModule modules[kMaxModules];
    simstate::NamedValues<48> calls;
    simstate::NamedValues<16> failures;

    void Reset()
    {
        std::memset(this, 0, sizeof *this);
        magic = kMagic;
        finger = 1;
    }
};

simstate::Shared<SharedState> g_shared("SentrioSimBioAPI_Mutex", "SentrioSimBioAPI_State", "SentrioSimBioAPI.state");
SharedState *g_state = nullptr;  // valid while a Lock is held

// Per process, as a framework's own objects are: loaded modules, attach handles, BIR handles.
std::map<size_t, uint32_t> g_loaded;  // module -> load count
std::map<BioAPI_HANDLE, Attached> g_attached;
std::map<BioAPI_BIR_HANDLE, StoredBir> g_birs;
BioAPI_HANDLE g_nextHandle = 1;
BioAPI_BIR_HANDLE g_nextBir = 1;
bool g_initialised = false;

// Holds the shared state (the named mutex is re-entrant for its thread).
struct Lock;
Lock *g_current = nullptr;  // the innermost Lock of the thread that holds the state

struct Lock {
    Lock() : shared(g_shared), outer(g_current)
    {
        g_state = shared.state;
        g_current = this;
    }
    ~Lock() { g_current = outer; }
    simstate::Shared<SharedState>::Lock shared;
    Lock *outer;
};

// Counts the call and answers a pending failure of it (0 when none). A failure of kFaultOnDemand
// raises an access violation here, with the state's mutex let go first.
uint32_t Enter(const char *function)
{
    uint32_t code = simstate::CountAndTakeFailure(*g_state, function);
    if (code == simstate::kFaultOnDemand) {
        g_current->shared.Unlock();
        simstate::RaiseAccessViolation();
    }
    return code;
}

int FindModule(const BioAPI_UUID *uuid)
{
    if (uuid == nullptr)
        return -1;
    for (size_t i = 0; i < g_state->moduleCount; ++i)
        if (std::memcmp(g_state->modules[i].uuid, *uuid, 16) == 0)
            return static_cast<int>(i);
    return -1;
}

// The simulated biometric data: "SIMBIO", the finger, the device name.
std::vector<uint8_t> MakeData(uint32_t finger, const char *device)
{
    std::vector<uint8_t> d = {'S', 'I', 'M', 'B', 'I', 'O'};
    for (int i = 0; i < 4; ++i)
        d.push_back(static_cast<uint8_t>(finger >> (8 * i)));
    d.insert(d.end(), device, device + std::strlen(device));
    return d;
}

BioAPI_BIR_HANDLE NewBir(const SimBspModule &m, uint8_t type, uint8_t purpose, uint32_t finger)
{
    StoredBir bir = {};
    bir.data = MakeData(finger, m.description);
    bir.header.Length = static_cast<uint32_t>(16 + bir.data.size());
    bir.header.HeaderVersion = 1;
    bir.header.Type = type;
    bir.header.Format.FormatOwner = 0x5345;
    bir.header.Format.FormatID = 1;
    bir.header.Quality = 80;
    bir.header.Purpose = purpose;
    bir.header.FactorsMask = 0x08;  // fingerprint
    bir.signature = m.withSignature != 0;
    BioAPI_BIR_HANDLE h = g_nextBir++;
    g_birs[h] = bir;
    return h;
}

// Header and data of an input BIR (handle or full record); false when it names nothing.
bool Resolve(const BioAPI_INPUT_BIR *input, BioAPI_BIR_HEADER &header, std::vector<uint8_t> &data)
{
    if (input == nullptr)
        return false;
    if (input->Form == BioAPI_BIR_HANDLE_INPUT && input->InputBIR.BIRinBSP != nullptr) {
        auto it = g_birs.find(*input->InputBIR.BIRinBSP);
        if (it == g_birs.end())
            return false;
        header = it->second.header;
        data = it->second.data;
        return true;
    }
    if (input->Form == BioAPI_FULLBIR_INPUT && input->InputBIR.BIR != nullptr) {
        const BioAPI_BIR *bir = input->InputBIR.BIR;
        if (bir->Header.Length < 16 || bir->BiometricData == nullptr)
            return false;
        header = bir->Header;
        data.assign(bir->BiometricData, bir->BiometricData + (bir->Header.Length - 16));
        return true;
    }
    return false;
}

bool Matches(const std::vector<uint8_t> &sample, const std::vector<uint8_t> &templ)
{
    return sample.size() >= 10 && std::memcmp(sample.data(), "SIMBIO", 6) == 0 && sample == templ;
}

const SimBspModule *ModuleOf(BioAPI_HANDLE handle)
{
    auto it = g_attached.find(handle);
    return it == g_attached.end() || it->second.module >= g_state->moduleCount ? nullptr
                                                                             : &g_state->modules[it->second.module];
}

}  // namespace

// ---- controls -----------------------------------------------------------------------------

SIMBIOAPI_API void __cdecl SimBioAPI_Reset()
{
    Lock lock;
    g_state->Reset();
    g_loaded.clear();
    g_attached.clear();
    g_birs.clear();
}

SIMBIOAPI_API void __cdecl SimBioAPI_AddModule(const SimBspModule *module)
{
    Lock lock;
    if (module == nullptr || g_state->moduleCount >= kMaxModules)
        return;
    SimBspModule &added = g_state->modules[g_state->moduleCount];
    added = *module;
    static const BioAPI_UUID kNone = {};
    if (std::memcmp(added.uuid, kNone, sizeof kNone) == 0) {
        // One of its own: "SIMBSP" and the module's position.
        std::memcpy(added.uuid, "SIMBSP", 6);
        added.uuid[15] = static_cast<uint8_t>(g_state->moduleCount + 1);
    }
    ++g_state->moduleCount;
}

SIMBIOAPI_API void __cdecl SimBioAPI_SetFinger(uint32_t finger)
{
    Lock lock;
    g_state->finger = finger;
}

SIMBIOAPI_API void __cdecl SimBioAPI_FailNext(const char *function, uint32_t code)
{
    Lock lock;
    if (function == nullptr)
        return;
    if (uint32_t *failure = g_state->failures.Find(function, true))
        *failure = code;
}

SIMBIOAPI_API uint32_t __cdecl SimBioAPI_CallCount(const char *function)
{
    Lock lock;
    uint32_t *count = g_state->calls.Find(function ? function : "", false);
    return count != nullptr ? *count : 0;
}

SIMBIOAPI_API uint32_t __cdecl SimBioAPI_LastEnrollPurpose()
{
    Lock lock;
    return g_state->lastEnrollPurpose;
}

SIMBIOAPI_API uint32_t __cdecl SimBioAPI_LoadedCount()
{
    Lock lock;
    uint32_t n = 0;
    for (auto &entry : g_loaded)
        n += entry.second;
    return n;
}

SIMBIOAPI_API uint32_t __cdecl SimBioAPI_AttachedCount()
{
    Lock lock;
    return static_cast<uint32_t>(g_attached.size());
}

// ---- framework entry points ---------------------------------------------------------------

#define FRAMEWORK extern "C" BioAPI_RETURN BioAPI

FRAMEWORK BioAPI_Init(const BioAPI_VERSION *version, uint32_t, const void *, uint32_t, const void *)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Init"))
        return code;
    if (version == nullptr || version->Major != 1)
        return 65;  // incompatible version
    g_initialised = true;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_Terminate()
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Terminate"))
        return code;
    g_initialised = false;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_EnumModules(BioAPI_BSP_SCHEMA *array, uint32_t arraySize, uint32_t *needed,
                             uint32_t *returned)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_EnumModules"))
        return code;
    if (!g_initialised)
        return BioAPIERR_NOT_INITIALIZED;
    if (needed == nullptr || returned == nullptr)
        return 6;
    *needed = g_state->moduleCount;
    *returned = 0;
    if (array == nullptr)
        return BioAPI_OK;
    for (uint32_t i = 0; i < arraySize && i < g_state->moduleCount; ++i) {
        BioAPI_BSP_SCHEMA &s = array[i];
        std::memset(&s, 0, sizeof s);
        const SimBspModule &m = g_state->modules[i];
        std::memcpy(s.ModuleId, m.uuid, 16);
        s.DeviceId = m.deviceId;
        std::strncpy(s.BSPName, "Sentrio simulated BSP", sizeof s.BSPName - 1);
        s.SpecVersion = {1, 10};
        s.ProductVersion = {1, 0};
        std::strncpy(s.Vendor, "Sentrio stand-in", sizeof s.Vendor - 1);
        s.Operations = m.operations;
        std::memcpy(s.Description, m.description, sizeof s.Description);
        s.Description[sizeof s.Description - 1] = 0;
        ++*returned;
    }
    return BioAPI_OK;
}

FRAMEWORK BioAPI_ModuleLoad(const BioAPI_UUID *uuid, uint32_t, BioAPI_ModuleEventHandler, void *)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_ModuleLoad"))
        return code;
    int m = FindModule(uuid);
    if (m < 0)
        return BioAPIERR_INVALID_UUID;
    ++g_loaded[static_cast<size_t>(m)];
    return BioAPI_OK;
}

FRAMEWORK BioAPI_ModuleUnload(const BioAPI_UUID *uuid, BioAPI_ModuleEventHandler, void *)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_ModuleUnload"))
        return code;
    int m = FindModule(uuid);
    if (m < 0)
        return BioAPIERR_INVALID_UUID;
    auto it = g_loaded.find(static_cast<size_t>(m));
    if (it == g_loaded.end() || it->second == 0)
        return BioAPIERR_MODULE_NOT_LOADED;
    if (--it->second == 0)
        g_loaded.erase(it);
    return BioAPI_OK;
}

FRAMEWORK BioAPI_ModuleAttach(const BioAPI_UUID *uuid, const BioAPI_VERSION *, const BioAPI_MEMORY_FUNCS *memory,
                              uint32_t deviceId, uint32_t, uint32_t, uint32_t, void *, uint32_t,
                              const void *, BioAPI_HANDLE *newHandle)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_ModuleAttach"))
        return code;
    int m = FindModule(uuid);
    if (m < 0)
        return BioAPIERR_INVALID_UUID;
    if (g_loaded.count(static_cast<size_t>(m)) == 0)
        return BioAPIERR_MODULE_NOT_LOADED;
    if (g_state->modules[static_cast<size_t>(m)].deviceId != deviceId)
        return BioAPIERR_INVALID_DEVICE_ID;
    if (memory == nullptr || memory->Malloc_func == nullptr || newHandle == nullptr)
        return 4;
    BioAPI_HANDLE h = g_nextHandle++;
    g_attached[h] = Attached{static_cast<size_t>(m), *memory};
    *newHandle = h;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_ModuleDetach(BioAPI_HANDLE handle)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_ModuleDetach"))
        return code;
    if (g_attached.erase(handle) == 0)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_QueryDevice(BioAPI_HANDLE, void *)
{
    Lock lock;
    Enter("BioAPI_QueryDevice");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_FreeBIRHandle(BioAPI_HANDLE, BioAPI_BIR_HANDLE bir)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_FreeBIRHandle"))
        return code;
    return g_birs.erase(bir) ? BioAPI_OK : BioAPIERR_BSP_INVALID_BIR;
}

FRAMEWORK BioAPI_GetBIRFromHandle(BioAPI_HANDLE handle, BioAPI_BIR_HANDLE birHandle, BioAPI_BIR **out)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_GetBIRFromHandle"))
        return code;
    auto a = g_attached.find(handle);
    if (a == g_attached.end())
        return BioAPIERR_INVALID_MODULE_HANDLE;
    auto it = g_birs.find(birHandle);
    if (it == g_birs.end() || out == nullptr)
        return BioAPIERR_BSP_INVALID_BIR;
    const BioAPI_MEMORY_FUNCS &mem = a->second.memory;
    const StoredBir &s = it->second;
    BioAPI_BIR *bir = static_cast<BioAPI_BIR *>(mem.Calloc_func(1, sizeof(BioAPI_BIR), mem.AllocRef));
    if (bir == nullptr)
        return 2;
    bir->Header = s.header;
    bir->BiometricData = static_cast<uint8_t *>(mem.Malloc_func(static_cast<uint32_t>(s.data.size()), mem.AllocRef));
    if (bir->BiometricData == nullptr) {
        mem.Free_func(bir, mem.AllocRef);
        return 2;
    }
    std::memcpy(bir->BiometricData, s.data.data(), s.data.size());
    if (s.signature) {
        bir->Signature = static_cast<BioAPI_DATA *>(mem.Calloc_func(1, sizeof(BioAPI_DATA), mem.AllocRef));
        uint8_t *bytes = static_cast<uint8_t *>(mem.Malloc_func(2, mem.AllocRef));
        if (bir->Signature == nullptr || bytes == nullptr) {
            mem.Free_func(bytes, mem.AllocRef);
            mem.Free_func(bir->Signature, mem.AllocRef);
            mem.Free_func(bir->BiometricData, mem.AllocRef);
            mem.Free_func(bir, mem.AllocRef);
            return 2;
        }
        bir->Signature->Length = 2;
        bir->Signature->Data = bytes;
        bytes[0] = 'S';
        bytes[1] = 'G';
    }
    g_birs.erase(it);  // the handle is consumed, as the real framework does
    *out = bir;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_GetHeaderFromHandle(BioAPI_HANDLE handle, BioAPI_BIR_HANDLE birHandle, BioAPI_BIR_HEADER *header)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_GetHeaderFromHandle"))
        return code;
    if (ModuleOf(handle) == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    auto it = g_birs.find(birHandle);
    if (it == g_birs.end() || header == nullptr)
        return BioAPIERR_BSP_INVALID_BIR;
    *header = it->second.header;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_EnableEvents(BioAPI_HANDLE handle, const BioAPI_MODULE_EVENT_MASK *events)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_EnableEvents"))
        return code;
    if (ModuleOf(handle) == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    return events != nullptr ? BioAPI_OK : 5;
}

FRAMEWORK BioAPI_SetGUICallbacks(BioAPI_HANDLE, void *, void *, void *, void *)
{
    Lock lock;
    return Enter("BioAPI_SetGUICallbacks");
}

FRAMEWORK BioAPI_SetStreamCallback(BioAPI_HANDLE, void *, void *)
{
    Lock lock;
    return Enter("BioAPI_SetStreamCallback");
}

FRAMEWORK BioAPI_StreamInputOutput(void *, void *)
{
    Lock lock;
    Enter("BioAPI_StreamInputOutput");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_Capture(BioAPI_HANDLE handle, uint8_t purpose, BioAPI_BIR_HANDLE *captured, int32_t,
                         BioAPI_BIR_HANDLE *audit)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Capture"))
        return code;
    const SimBspModule *m = ModuleOf(handle);
    if (m == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    if ((m->operations & BioAPI_CAPTURE) == 0)
        return BioAPIERR_BSP_UNSUPPORTED_OPERATION;
    if (captured == nullptr)
        return 6;
    *captured = NewBir(*m, m->captureType, purpose, g_state->finger);
    if (audit != nullptr)
        *audit = -1;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_CreateTemplate(BioAPI_HANDLE, const BioAPI_INPUT_BIR *, const BioAPI_INPUT_BIR *,
                                BioAPI_BIR_HANDLE *, const BioAPI_DATA *)
{
    Lock lock;
    Enter("BioAPI_CreateTemplate");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_Process(BioAPI_HANDLE handle, const BioAPI_INPUT_BIR *captured, BioAPI_BIR_HANDLE *processed)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Process"))
        return code;
    const SimBspModule *m = ModuleOf(handle);
    if (m == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    BioAPI_BIR_HEADER header;
    std::vector<uint8_t> data;
    if (!Resolve(captured, header, data) || processed == nullptr)
        return BioAPIERR_BSP_INVALID_BIR;
    StoredBir out = {};
    out.header = header;
    out.header.Type = BioAPI_BIR_DATA_TYPE_PROCESSED;
    out.data = data;
    out.signature = m->withSignature != 0;
    BioAPI_BIR_HANDLE h = g_nextBir++;
    g_birs[h] = out;
    *processed = h;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_VerifyMatch(BioAPI_HANDLE handle, const BioAPI_FAR *maxFar, const BioAPI_FRR *,
                             const BioAPI_BOOL *, const BioAPI_INPUT_BIR *processed,
                             const BioAPI_INPUT_BIR *stored, BioAPI_BIR_HANDLE *, BioAPI_BOOL *result,
                             BioAPI_FAR *farAchieved, BioAPI_FRR *frrAchieved, BioAPI_DATA **)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_VerifyMatch"))
        return code;
    const SimBspModule *m = ModuleOf(handle);
    if (m == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    if ((m->operations & BioAPI_VERIFYMATCH) == 0)
        return BioAPIERR_BSP_UNSUPPORTED_OPERATION;
    BioAPI_BIR_HEADER sampleHeader, templHeader;
    std::vector<uint8_t> sample, templ;
    if (!Resolve(processed, sampleHeader, sample) || !Resolve(stored, templHeader, templ) ||
        result == nullptr || maxFar == nullptr)
        return BioAPIERR_BSP_INVALID_BIR;
    if (sampleHeader.Type != BioAPI_BIR_DATA_TYPE_PROCESSED)
        return BioAPIERR_BSP_BIR_NOT_FULLY_PROCESSED;
    *result = Matches(sample, templ) ? 1 : 0;
    if (farAchieved != nullptr)
        *farAchieved = *result ? 1000 : 0x7FFFFFFF;
    if (frrAchieved != nullptr)
        *frrAchieved = 0;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_IdentifyMatch(BioAPI_HANDLE, const BioAPI_FAR *, const BioAPI_FRR *, const BioAPI_BOOL *,
                               const BioAPI_INPUT_BIR *, const void *, uint32_t, BioAPI_BOOL, uint32_t,
                               uint32_t *, void **, int32_t)
{
    Lock lock;
    Enter("BioAPI_IdentifyMatch");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_Enroll(BioAPI_HANDLE handle, uint8_t purpose, const BioAPI_INPUT_BIR *,
                        BioAPI_BIR_HANDLE *newTemplate, const BioAPI_DATA *, int32_t, BioAPI_BIR_HANDLE *audit)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Enroll"))
        return code;
    const SimBspModule *m = ModuleOf(handle);
    if (m == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    if ((m->operations & BioAPI_ENROLL) == 0)
        return BioAPIERR_BSP_UNSUPPORTED_OPERATION;
    if (purpose > 31 || (m->enrollPurposes & (1u << purpose)) == 0)
        return m->enrollFailCode != 0 ? m->enrollFailCode : BioAPIERR_BSP_PURPOSE_NOT_SUPPORTED;
    if (newTemplate == nullptr)
        return 6;
    *newTemplate = NewBir(*m, BioAPI_BIR_DATA_TYPE_PROCESSED, purpose, g_state->finger);
    if (audit != nullptr)
        *audit = -1;
    g_state->lastEnrollPurpose = purpose;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_Verify(BioAPI_HANDLE handle, const BioAPI_FAR *maxFar, const BioAPI_FRR *, const BioAPI_BOOL *,
                        const BioAPI_INPUT_BIR *stored, BioAPI_BIR_HANDLE *, BioAPI_BOOL *result,
                        BioAPI_FAR *farAchieved, BioAPI_FRR *frrAchieved, BioAPI_DATA **payload, int32_t,
                        BioAPI_BIR_HANDLE *audit)
{
    Lock lock;
    if (uint32_t code = Enter("BioAPI_Verify"))
        return code;
    const SimBspModule *m = ModuleOf(handle);
    if (m == nullptr)
        return BioAPIERR_INVALID_MODULE_HANDLE;
    if ((m->operations & BioAPI_VERIFY) == 0)
        return BioAPIERR_BSP_UNSUPPORTED_OPERATION;
    BioAPI_BIR_HEADER templHeader;
    std::vector<uint8_t> templ;
    if (!Resolve(stored, templHeader, templ) || result == nullptr || maxFar == nullptr)
        return BioAPIERR_BSP_INVALID_BIR;
    *result = Matches(MakeData(g_state->finger, m->description), templ) ? 1 : 0;
    if (farAchieved != nullptr)
        *farAchieved = *result ? 1000 : 0x7FFFFFFF;
    if (frrAchieved != nullptr)
        *frrAchieved = 0;
    if (payload != nullptr)
        *payload = nullptr;
    if (audit != nullptr)
        *audit = -1;
    return BioAPI_OK;
}

FRAMEWORK BioAPI_Identify(BioAPI_HANDLE, const BioAPI_FAR *, const BioAPI_FRR *, const BioAPI_BOOL *,
                          const void *, BioAPI_BOOL, uint32_t, uint32_t *, void **, int32_t,
                          BioAPI_BIR_HANDLE *)
{
    Lock lock;
    Enter("BioAPI_Identify");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_Import(BioAPI_HANDLE, const BioAPI_DATA *, uint32_t, uint8_t, BioAPI_BIR_HANDLE *)
{
    Lock lock;
    Enter("BioAPI_Import");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

FRAMEWORK BioAPI_SetPowerMode(BioAPI_HANDLE, uint32_t)
{
    Lock lock;
    Enter("BioAPI_SetPowerMode");
    return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;
}

#define DB_FUNCTION(name, ...)                          \
    FRAMEWORK name(__VA_ARGS__)                         \
    {                                                   \
        Lock lock;                                      \
        Enter(#name);                                   \
        return BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED;  \
    }

DB_FUNCTION(BioAPI_DbOpen, BioAPI_HANDLE, const uint8_t *, uint32_t, uint32_t *, uint32_t *)
DB_FUNCTION(BioAPI_DbClose, BioAPI_HANDLE, uint32_t)
DB_FUNCTION(BioAPI_DbCreate, BioAPI_HANDLE, const uint8_t *, uint32_t, uint32_t *)
DB_FUNCTION(BioAPI_DbDelete, BioAPI_HANDLE, const uint8_t *)
DB_FUNCTION(BioAPI_DbSetCursor, BioAPI_HANDLE, uint32_t, const BioAPI_UUID *, uint32_t *)
DB_FUNCTION(BioAPI_DbFreeCursor, BioAPI_HANDLE, uint32_t *)
DB_FUNCTION(BioAPI_DbStoreBIR, BioAPI_HANDLE, const BioAPI_INPUT_BIR *, uint32_t, BioAPI_UUID *)
DB_FUNCTION(BioAPI_DbGetBIR, BioAPI_HANDLE, uint32_t, const BioAPI_UUID *, BioAPI_BIR_HANDLE *, uint32_t *)
DB_FUNCTION(BioAPI_DbGetNextBIR, BioAPI_HANDLE, uint32_t, BioAPI_BIR_HANDLE *, BioAPI_UUID *)
DB_FUNCTION(BioAPI_DbQueryBIR, BioAPI_HANDLE, uint32_t, const BioAPI_INPUT_BIR *, BioAPI_UUID *)
DB_FUNCTION(BioAPI_DbDeleteBIR, BioAPI_HANDLE, uint32_t, const BioAPI_UUID *)
