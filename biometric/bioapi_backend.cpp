// The BioAPI back end: loading the framework, listing its modules as readers, attaching a module
// when its reader opens, and the enrolment, capture and verification sequences.
#include "bioapi_backend.h"

#include <cstring>

#include "bir_string.h"
#include "fault_guard.h"
#include "library_bitness.h"
#include "library_loader.h"
#include "log.h"

CBioApiBackEnd g_bioApiBackEnd;

namespace {

const int32_t kNoTimeout = -1;
const BioAPI_MODULE_EVENT_MASK kEventMask = 31;
const BioAPI_FAR kMaxFarRequested = 1073742;  // 1 in 2000 on the BioAPI scale

// The framework's records live in the system's global heap.
void *BioAPI MemMalloc(uint32_t size, void *)
{
    return GlobalAlloc(GPTR, size);
}
void BioAPI MemFree(void *block, void *)
{
    if (block != nullptr)
        GlobalFree(block);
}
void *BioAPI MemRealloc(void *block, uint32_t size, void *)
{
    if (block == nullptr)
        return GlobalAlloc(GPTR, size);
    return GlobalReAlloc(block, size, GMEM_MOVEABLE | GMEM_ZEROINIT);
}
void *BioAPI MemCalloc(uint32_t count, uint32_t size, void *)
{
    uint64_t total = static_cast<uint64_t>(count) * size;
    if (total > 0x7FFFFFFF)
        return nullptr;
    return GlobalAlloc(GPTR, static_cast<SIZE_T>(total));
}
const BioAPI_MEMORY_FUNCS kMemoryFuncs = {MemMalloc, MemFree, MemRealloc, MemCalloc, nullptr};

// Module-wide: set while a module enumeration is under way.
bool g_enumerating = false;

const char *const kEntryPoints[] = {
    "BioAPI_Init", "BioAPI_Terminate", "BioAPI_EnumModules", "BioAPI_ModuleLoad", "BioAPI_ModuleUnload",
    "BioAPI_ModuleAttach", "BioAPI_ModuleDetach", "BioAPI_QueryDevice", "BioAPI_FreeBIRHandle",
    "BioAPI_GetBIRFromHandle", "BioAPI_GetHeaderFromHandle", "BioAPI_EnableEvents", "BioAPI_SetGUICallbacks",
    "BioAPI_SetStreamCallback", "BioAPI_StreamInputOutput", "BioAPI_Capture", "BioAPI_CreateTemplate",
    "BioAPI_Process", "BioAPI_VerifyMatch", "BioAPI_IdentifyMatch", "BioAPI_Enroll", "BioAPI_Verify",
    "BioAPI_Identify", "BioAPI_Import", "BioAPI_SetPowerMode", "BioAPI_DbOpen", "BioAPI_DbClose",
    "BioAPI_DbCreate", "BioAPI_DbDelete", "BioAPI_DbSetCursor", "BioAPI_DbFreeCursor", "BioAPI_DbStoreBIR",
    "BioAPI_DbGetBIR", "BioAPI_DbGetNextBIR", "BioAPI_DbQueryBIR", "BioAPI_DbDeleteBIR"};
static_assert(sizeof(BioApiFunctions) == sizeof(kEntryPoints) / sizeof(kEntryPoints[0]) * sizeof(FARPROC),
              "one function pointer per entry point");

struct ErrorText {
    BioAPI_RETURN code;
    DWORD lastError;
    const char *text;
};

const ErrorText kErrors[] = {
    {1, 1359, "General system error; indicates that an operating system or internal state error has occurred and the system may not be in a known state."},
    {2, 8, "A memory error occurred."},
    {3, 1015, "The registry could not be accessed to complete the operation"},
    {4, 10014, "An input/output function parameter or input/output field inside of a data structure is an invalid pointer."},
    {5, 10014, "An input function parameter or input field in a data structure is an invalid pointer"},
    {6, 10014, "An output function parameter or output field in a data structure is an invalid pointer."},
    {7, 50, "The function is not implemented by the service provider."},
    {9, 5, "The operating system denied access to a required resource."},
    {10, 1359, "The function failed for an unknown reason."},
    {12, 1705, "Invalid UUID"},
    {65, 1828, "Version is not compatible with the current version."},
    {70, 87, "The data in an input parameter is invalid."},
    {74, 6, "Invalid database handle"},
    {257, 1359, "The given service provider handle is not valid"},
    {258, 1359, "A function is called without initializing the BioAPI"},
    {272, 1359, "BioAPI_H_FRAMEWORK_BASE_H_FRAMEWORK_ERROR"},
    {278, 1003, "BSP Module Load function failed"},
    {280, 1003, "BSP Module Unload function failed"},
    {281, 1359, "A reference to the loaded library cannot be obtained"},
    {282, 1359, "BSP Module function table registered with CSSM is invalid"},
    {286, 1359, "Module was not loaded"},
    {287, 1359, "Invalid DeviceId was requested"},
    {4097, 1359, "BioAPIERR_BSP_INTERNAL_ERROR"},
    {4098, 8, "BioAPIERR_BSP_MEMORY_ERROR"},
    {4100, 10014, "BioAPIERR_BSP_INVALID_POINTER"},
    {4101, 10014, "BioAPIERR_BSP_INVALID_INPUT_POINTER"},
    {4102, 10014, "BioAPIERR_BSP_INVALID_OUTPUT_POINTER"},
    {4103, 1003, "BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED"},
    {4105, 1359, "BioAPIERR_BSP_OS_ACCESS_DENIED"},
    {4106, 1003, "BioAPIERR_BSP_FUNCTION_FAILED"},
    {4166, 87, "BioAPIERR_BSP_INVALID_DATA"},
    {4170, 87, "BioAPIERR_BSP_INVALID_DB_HANDLE"},
    {4352, 1359, "BioAPI_BSP_BASE_BSP_ERROR"},
    {4353, 1359, "BSP is unable to capture raw samples from the device"},
    {4354, 1359, "The BSP has no more space to allocate BIR handles"},
    {4355, 1359, "The Function has been terminated because the timeout value has expired"},
    {4356, 1359, "The input BIR is invalid for the purpose required"},
    {4357, 1359, "The BSP could not validate the signature on the BIR"},
    {4358, 1359, "The BSP is unable to include the payload in the new BIR"},
    {4360, 1359, "The identify population is NULL"},
    {4361, 1359, "The BSP does not support the data form for the Import function"},
    {4362, 1359, "The BSP was unable to construct a BIR from the input data"},
    {4364, 1359, "The BSP does not support this operation."},
    {4365, 1359, "The purpose recorded in the BIR, and the requested purpose are inconsistent with the function being performed."},
    {4366, 1359, "The function requires a fully-processed BIR."},
    {4367, 1359, "The BSP does not support the requested purpose."},
    {4608, 1359, "BSP is unable to open specified database"},
    {4609, 1359, "Database cannot be opened for the access requested because it is locked"},
    {4610, 1359, "The specified database name does not exist"},
    {4611, 1359, "Create failed because the database already exists"},
    {4612, 1359, "Invalid database name"},
    {4613, 1359, "No record exists with the requested key"},
    {4614, 1359, "The specified cursor is invalid"},
    {4615, 1359, "Database is already open"},
    {4616, 1359, "Unrecognized access type"},
    {4617, 1359, "End of database has been reached."},
    {4618, 1359, "BSP cannot create the database."},
    {4619, 1359, "BSP cannot close the database."},
    {4620, 1359, "BSP cannot delete the database."},
};

// A framework call, guarded: a fault inside the framework or a BSP module it calls (an access
// violation and the like) ends the call; it is logged ("catch <step>" and the fault) and counts as
// a general failure, and the host process lives on.
template <typename Call>
BioAPI_RETURN Guarded(const char *catchName, Call call)
{
    BioAPI_RETURN result = 1;
    if (!CallOutside(catchName, [&] { result = call(); })) {
        LogMessage(kLogError, BRAXIAL_LOG, "catch %s", catchName);
        return 1;  // BioAPIERR_H_FRAMEWORK_INTERNAL_ERROR
    }
    return result;
}

const char *UuidText(const BioAPI_UUID &id, char (&text)[40])
{
    for (int i = 0; i < 16; ++i)
        wsprintfA(text + 2 * i, "%02X", id[i]);
    return text;
}

}  // namespace

void ReportBioAPIError(BioAPI_RETURN code, const char *step)
{
    const char *text = "Unknown error!";
    DWORD lastError = 1359;
    for (const ErrorText &e : kErrors) {
        if (e.code == code) {
            text = e.text;
            lastError = e.lastError;
            break;
        }
    }
    LogMessage(kLogError, BRAXIAL_LOG, "Error in %s, Error code:[%ld] or [0x%X] \"%s\"", step,
               static_cast<long>(code), static_cast<unsigned>(code), text);
    SetLastError(lastError);
}

CBioApiBackEnd::CBioApiBackEnd() : schemas_(nullptr), heldBir_(nullptr), heldOwner_(nullptr), library_(nullptr), loaded_(false)
{
    std::memset(&api_, 0, sizeof api_);
    ResetState();
}

void CBioApiBackEnd::ResetState()
{
    lastReturn_ = 0;
    version_ = {1, 10};
    elementsNeeded_ = 0;
    elementsReturned_ = 0;
    if (schemas_ != nullptr)
        HeapFree(GetProcessHeap(), 0, schemas_);
    schemas_ = nullptr;
    schemaCount_ = 0;
    std::memset(moduleId_, 0, sizeof moduleId_);
    moduleHandle_ = 0;
    eventMask_ = kEventMask;
    purpose_ = 0;
    maxFarRequested_ = kMaxFarRequested;
    farPrecedence_ = 1;
    matchResult_ = 0;
    farAchieved_ = 0;
    frrAchieved_ = 0;
    newTemplate_ = -1;
    storedTemplate_ = {};
}

bool CBioApiBackEnd::LoadBioAPI()
{
    LogMessage(kLogStep, "LoadBioAPI", "Load BioAPI BSP-s");
    library_ = LoadProductLibrary("bioapi100.dll");
    bool all = library_ != nullptr;
    FARPROC *slots = reinterpret_cast<FARPROC *>(&api_);
    for (size_t i = 0; all && i < sizeof kEntryPoints / sizeof kEntryPoints[0]; ++i) {
        slots[i] = GetProcAddress(library_, kEntryPoints[i]);
        all = slots[i] != nullptr;
    }
    if (!all) {
        LogMessage(kLogError, "LoadBioAPI", "<---- bioapi100.dll load failed ----->");
        if (library_ == nullptr) {
            DWORD error = GetLastError();
            char words[1024];
            if (OtherBitnessText("bioapi100.dll", error, words, sizeof words))
                LogMessage(kLogError, "LoadBioAPI", "%s", words);
            SetLastError(error);
        } else {
            DWORD error = GetLastError();
            FreeLibrary(library_);
            SetLastError(error);
        }
        library_ = nullptr;
        std::memset(&api_, 0, sizeof api_);
        loaded_ = false;
        return false;
    }
    LogMessage(kLogMilestone, "LoadBioAPI", "<---- bioapi100.dll load success ----->");
    loaded_ = true;

    LogMessage(kLogMilestone, "Braxial_Init", "<---- BioApi Load ----->");
    lastReturn_ = Guarded("Braxial_Init", [&] { return api_.Init(&version_, 0, nullptr, 0, nullptr); });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_Init");
        loaded_ = false;
    }
    return loaded_;
}

void CBioApiBackEnd::ReplaceHeldBir(BioAPI_BIR *bir, ReaderHandle *owner)
{
    // The record and its pieces come from the memory functions of the attach (the global heap).
    if (heldBir_ != nullptr) {
        MemFree(heldBir_->BiometricData, nullptr);
        if (heldBir_->Signature != nullptr) {
            MemFree(heldBir_->Signature->Data, nullptr);
            MemFree(heldBir_->Signature, nullptr);
        }
        MemFree(heldBir_, nullptr);
    }
    heldBir_ = bir;
    heldOwner_ = bir != nullptr ? owner : nullptr;
}

void CBioApiBackEnd::Clear_All()
{
    if (!loaded_) {
        LogMessage(kLogError, "Call BioAPI Clear_All", "BioAPI was'nt loaded");
        return;
    }
    LogMessage(kLogMilestone, BRAXIAL_LOG, "BioAPI Clear_All");
    for (uint32_t i = 0; i < g_readerTable.count; ++i) {
        ReaderEntry &entry = g_readerTable.entries[i];
        LogMessage(kLogDetail, BRAXIAL_LOG, "BioAPI library was loaded %d", static_cast<int>(i));
        if (entry.backEnd != this || entry.handle.moduleHandle == 0)
            continue;
        BioAPI_HANDLE h = entry.handle.moduleHandle;
        BioAPI_RETURN rc = Guarded("Braxial_ModuleDetach", [&] { return api_.ModuleDetach(h); });
        if (rc != BioAPI_OK)
            ReportBioAPIError(rc, "BioAPI_ModuleDetach");
        if (entry.backEndIndex >= 0 && static_cast<uint32_t>(entry.backEndIndex) < schemaCount_) {
            const BioAPI_UUID *id = &schemas_[entry.backEndIndex].ModuleId;
            rc = Guarded("Braxial_ModuleUnload", [&] { return api_.ModuleUnload(id, nullptr, nullptr); });
            if (rc != BioAPI_OK)
                ReportBioAPIError(rc, "BioAPI_ModuleUnload");
        }
        entry.handle.openIndex = -1;
        entry.handle.moduleHandle = 0;
    }
    // The held record belongs to a reader that is closed now (and whose handle a rebuild frees).
    ReplaceHeldBir(nullptr, nullptr);
    ResetState();
}

void CBioApiBackEnd::clear_all_when_detach(bool callFramework)
{
    LogMessage(kLogMilestone, "clear_all_when_detach BioAPI", "clear all");
    if (!callFramework) {
        // The process is ending: the framework may already be gone, so nothing calls into it.
        loaded_ = false;
        library_ = nullptr;
        return;
    }
    Clear_All();
    ReplaceHeldBir(nullptr, nullptr);
    if (library_ != nullptr) {
        LogMessage(kLogMilestone, BRAXIAL_LOG, "BioAPI library was loaded and we will try to terminate her");
        BioAPI_RETURN rc = Guarded("Braxial_Terminate", [&] { return api_.Terminate(); });
        if (rc != BioAPI_OK)
            ReportBioAPIError(rc, "BioAPI_Terminate");
        else
            LogMessage(kLogMilestone, "Braxial_Terminate", "success");
        library_ = nullptr;
        loaded_ = false;
    }
}

const BioAPI_BSP_SCHEMA *CBioApiBackEnd::SchemaOf(ReaderHandle *handle)
{
    ReaderEntry *entry = EntryOfHandle(handle);
    if (entry == nullptr || entry->backEndIndex < 0 || static_cast<uint32_t>(entry->backEndIndex) >= schemaCount_)
        return nullptr;
    return &schemas_[entry->backEndIndex];
}

const char *CBioApiBackEnd::EnumReaders(uint32_t *index)
{
    LogMessage(kLogDetail, "call EnumReaders BioAPI", "index %d", index ? static_cast<int>(*index) : -1);
    if (!loaded_) {
        LogMessage(kLogError, "call EnumReaders BioAPI", "BioAPI was'nt loaded");
        return nullptr;
    }
    if (index == nullptr)
        return nullptr;
    if (*index == 0) {
        if (!g_enumerating)
            Clear_All();
        g_enumerating = true;
        uint32_t needed = 0, returned = 0;
        lastReturn_ = Guarded("of Braxial_EnumModules", [&] { return api_.EnumModules(nullptr, 0, &needed, &returned); });
        if (lastReturn_ != BioAPI_OK) {
            g_enumerating = false;
            ReportBioAPIError(lastReturn_, "BioAPI_EnumModules");
            return nullptr;
        }
        if (needed == 0) {
            g_enumerating = false;
            schemaCount_ = 0;
            return nullptr;
        }
        schemas_ = static_cast<BioAPI_BSP_SCHEMA *>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(needed) * sizeof(BioAPI_BSP_SCHEMA)));
        if (schemas_ == nullptr) {
            g_enumerating = false;
            schemaCount_ = elementsNeeded_ = elementsReturned_ = 0;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        uint32_t got = 0;
        lastReturn_ = Guarded("of Braxial_EnumModules", [&] { return api_.EnumModules(schemas_, needed, &needed, &got); });
        if (lastReturn_ != BioAPI_OK) {
            HeapFree(GetProcessHeap(), 0, schemas_);
            schemas_ = nullptr;
            schemaCount_ = elementsNeeded_ = elementsReturned_ = 0;
            g_enumerating = false;
            ReportBioAPIError(lastReturn_, "BioAPI_EnumModules");
            return nullptr;
        }
        // Only records the framework filled are trusted; each description is terminated.
        elementsNeeded_ = needed;
        elementsReturned_ = got;
        schemaCount_ = got < needed ? got : needed;
        for (uint32_t i = 0; i < schemaCount_; ++i)
            schemas_[i].Description[sizeof schemas_[i].Description - 1] = 0;
        g_enumerating = false;
        if (schemaCount_ == 0)
            return nullptr;
        *index = schemaCount_;
        SetLastError(0);
        return schemas_[0].Description;
    }
    if (g_enumerating) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (*index < schemaCount_) {
        SetLastError(0);
        return schemas_[*index].Description;
    }
    SetLastError(ERROR_BAD_UNIT);  // 20: beyond the back end's count
    return nullptr;
}

ReaderHandle *CBioApiBackEnd::InitReader(uint32_t tableIndex)
{
    LogMessage(kLogDetail, "Call BioAPI InitReader", "index %d", static_cast<int>(tableIndex));
    if (!loaded_) {
        LogMessage(kLogError, "Call BioAPI InitReader", "BioAPI was'nt loaded");
        return nullptr;
    }
    if (tableIndex >= g_readerTable.count || g_readerTable.entries[tableIndex].handle.openIndex != -1) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ReaderEntry &entry = g_readerTable.entries[tableIndex];
    const BioAPI_BSP_SCHEMA *schema = SchemaOf(&entry.handle);
    if (schema == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::memcpy(moduleId_, schema->ModuleId, sizeof moduleId_);
    char uuid[40];
    LogMessage(kLogDetail, "Braxial_ModuleLoad", "with module %s", UuidText(moduleId_, uuid));
    lastReturn_ = Guarded("Braxial_ModuleLoad", [&] { return api_.ModuleLoad(&moduleId_, 0, nullptr, nullptr); });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_ModuleLoad");
        return nullptr;
    }
    LogMessage(kLogDetail, "Braxial_ModuleLoad", "Success");
    BioAPI_HANDLE handle = 0;
    lastReturn_ = Guarded("Braxial_ModuleAttach", [&] {
        return api_.ModuleAttach(&moduleId_, &version_, &kMemoryFuncs, schema->DeviceId, 0, 0, 0, nullptr, 0,
                                 nullptr, &handle);
    });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_ModuleAttach");
        DWORD error = GetLastError();
        BioAPI_RETURN rc = Guarded("Braxial_ModuleUnload", [&] { return api_.ModuleUnload(&moduleId_, nullptr, nullptr); });
        if (rc != BioAPI_OK)
            ReportBioAPIError(rc, "BioAPI_ModuleUnload");
        else
            SetLastError(error);
        return nullptr;
    }
    moduleHandle_ = handle;
    LogMessage(kLogDetail, "Braxial_ModuleAttach", "Success with module %d", static_cast<int>(handle));
    BioAPI_RETURN rc = Guarded("BioAPI_EnableEvents", [&] { return api_.EnableEvents(handle, &eventMask_); });
    if (rc != BioAPI_OK)
        ReportBioAPIError(rc, "BioAPI_EnableEvents");
    else
        LogMessage(kLogDetail, "Braxial_EnableEvents", "Success");
    entry.handle.openIndex = static_cast<int32_t>(tableIndex);
    entry.handle.moduleHandle = handle;
    SetLastError(0);
    return &entry.handle;
}

BOOL CBioApiBackEnd::CloseReader(ReaderHandle *handle)
{
    LogMessage(kLogDetail, "Call BioAPI CloseReader", "index %d", handle ? static_cast<int>(handle->openIndex) : -1);
    if (!loaded_) {
        LogMessage(kLogError, "Call BioAPI CloseReader", "BioAPI was'nt loaded");
        return FALSE;
    }
    if (handle == nullptr || handle->openIndex == -1 || handle->moduleHandle == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BioAPI_HANDLE h = handle->moduleHandle;
    LogMessage(kLogDetail, "Braxial_ModuleDetach", "with index %d", static_cast<int>(handle->openIndex));
    lastReturn_ = Guarded("Braxial_ModuleDetach", [&] { return api_.ModuleDetach(h); });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_ModuleDetach");
        return FALSE;
    }
    LogMessage(kLogDetail, "Braxial_ModuleDetach", "Detach success");
    const BioAPI_BSP_SCHEMA *schema = SchemaOf(handle);
    if (schema != nullptr) {
        lastReturn_ = Guarded("Braxial_ModuleUnload", [&] { return api_.ModuleUnload(&schema->ModuleId, nullptr, nullptr); });
        if (lastReturn_ != BioAPI_OK) {
            // The module is detached already: the reader counts as closed either way.
            handle->moduleHandle = 0;
            handle->openIndex = -1;
            ReportBioAPIError(lastReturn_, "BioAPI_ModuleUnload");
            return FALSE;
        }
        LogMessage(kLogDetail, "Braxial_ModuleUnload", "Unload success");
    }
    handle->moduleHandle = 0;
    handle->openIndex = -1;
    LogMessage(kLogDetail, "BioAPI CloseReader", "success");
    SetLastError(0);
    return TRUE;
}

// Takes the record of `birHandle` from the framework as the held BIR of `handle`'s reader.
bool CBioApiBackEnd::HoldBirFromHandle(ReaderHandle *handle, BioAPI_BIR_HANDLE birHandle, uint32_t *size)
{
    BioAPI_BIR *bir = nullptr;
    BioAPI_HANDLE h = handle->moduleHandle;
    lastReturn_ = Guarded("Braxial_GetBIRFromHandle", [&] { return api_.GetBIRFromHandle(h, birHandle, &bir); });
    if (lastReturn_ != BioAPI_OK || bir == nullptr) {
        *size = 0;
        ReportBioAPIError(lastReturn_, "BioAPI_GetBIRFromHandle");
        return false;
    }
    ReplaceHeldBir(bir, handle);
    return true;
}

BioAPI_RETURN CBioApiBackEnd::CallVerifyMatch(BioAPI_HANDLE module, const BioAPI_INPUT_BIR *sample,
                                              const BioAPI_INPUT_BIR *templ)
{
    return Guarded("Braxial_VerifyMatch", [&] {
        return api_.VerifyMatch(module, &maxFarRequested_, nullptr, &farPrecedence_, sample, templ, nullptr,
                                &matchResult_, &farAchieved_, &frrAchieved_, nullptr);
    });
}

BOOL CBioApiBackEnd::WriteHeldBir(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    ReaderEntry *entry = EntryOfHandle(handle);
    // A record is written only through the reader that made it: another reader's name on it
    // would send a later verification to the wrong device.
    if (heldBir_ == nullptr || entry == nullptr || heldOwner_ != handle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ConvertBIRtoSTRING(heldBir_->Header, heldBir_->BiometricData, heldBir_->Signature, buffer, size,
                            entry->name)) {
        if (buffer != nullptr && heldBir_->Header.Length < 16) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        ReportBufferTooSmall(*size);
        return TRUE;
    }
    SetLastError(0);
    return TRUE;
}

BOOL CBioApiBackEnd::GetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, "Call BioAPI GetBIR", "with buffer size %d", size ? static_cast<int>(*size) : 0);
    if (!loaded_) {
        LogMessage(kLogError, "Call BioAPI GetBIR", "BioAPI was'nt loaded");
        return FALSE;
    }
    if (handle == nullptr || handle->moduleHandle == 0 || size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer == nullptr) {
        // A new operation: a failure must not leave an older record to be written out.
        ReplaceHeldBir(nullptr, nullptr);
        const BioAPI_BSP_SCHEMA *schema = SchemaOf(handle);
        if (schema == nullptr || (schema->Operations & BioAPI_ENROLL) == 0) {
            LogMessage(kLogError, "Call BioAPI GetBIR", "the module cannot enroll");
            return FALSE;
        }
        const uint8_t purposes[] = {1, 4, 3, 2, 5, 6};
        BioAPI_HANDLE h = handle->moduleHandle;
        bool enrolled = false;
        for (uint8_t purpose : purposes) {
            purpose_ = purpose;
            lastReturn_ = Guarded("Braxial_Enroll", [&] {
                return api_.Enroll(h, purpose_, nullptr, &newTemplate_, nullptr, kNoTimeout, nullptr);
            });
            if (lastReturn_ == BioAPI_OK) {
                enrolled = true;
                break;
            }
            ReportBioAPIError(lastReturn_, "BioAPI_Enroll");
            if (lastReturn_ == BioAPIERR_BSP_INCONSISTENT_PURPOSE)
                LogMessage(kLogError, "GetBIR", "error is in purpose!");
            else
                LogMessage(kLogError, "GetBIR", "error not in purpose %d", static_cast<int>(lastReturn_));
        }
        if (!enrolled) {
            *size = 0;
            ReportBioAPIError(lastReturn_, "BioAPI_Enroll");
            return FALSE;
        }
        if (!HoldBirFromHandle(handle, newTemplate_, size))
            return FALSE;
    }
    return WriteHeldBir(handle, buffer, size);
}

bool CBioApiBackEnd::RunCapture(ReaderHandle *handle, BioAPI_BIR_HANDLE *sample)
{
    BioAPI_HANDLE h = handle->moduleHandle;
    BioAPI_BIR_HANDLE captured = -1;
    lastReturn_ = Guarded("Braxial_Capture", [&] { return api_.Capture(h, 1, &captured, kNoTimeout, nullptr); });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_Capture");
        return false;
    }
    BioAPI_BIR_HEADER header = {};
    lastReturn_ = Guarded("Braxial_GetHeaderFromHandle", [&] { return api_.GetHeaderFromHandle(h, captured, &header); });
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_GetHeaderFromHandle");
        return false;
    }
    if (header.Type == BioAPI_BIR_DATA_TYPE_INTERMEDIATE) {
        BioAPI_INPUT_BIR input = {};
        input.Form = BioAPI_BIR_HANDLE_INPUT;
        input.InputBIR.BIRinBSP = &captured;
        BioAPI_BIR_HANDLE processed = -1;
        lastReturn_ = Guarded("Braxial_Process", [&] { return api_.Process(h, &input, &processed); });
        if (lastReturn_ != BioAPI_OK) {
            ReportBioAPIError(lastReturn_, "BioAPI_Process");
            return false;
        }
        *sample = processed;
    } else {
        *sample = captured;
    }
    return true;
}

BOOL CBioApiBackEnd::CaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, "Call BioAPI CaptureBIR", "with buffer size %d", size ? static_cast<int>(*size) : 0);
    if (!loaded_) {
        LogMessage(kLogError, "Call BioAPI CaptureBIR", "BioAPI was'nt loaded");
        return FALSE;
    }
    purpose_ = 1;
    if (handle == nullptr || handle->moduleHandle == 0 || size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer == nullptr) {
        ReplaceHeldBir(nullptr, nullptr);
        const BioAPI_BSP_SCHEMA *schema = SchemaOf(handle);
        if (schema == nullptr || (schema->Operations & BioAPI_CAPTURE) == 0) {
            LogMessage(kLogError, "Call BioAPI CaptureBIR", "the module cannot capture");
            return FALSE;
        }
        BioAPI_BIR_HANDLE sample = -1;
        if (!RunCapture(handle, &sample))
            return FALSE;
        if (!HoldBirFromHandle(handle, sample, size))
            return FALSE;
    }
    return WriteHeldBir(handle, buffer, size);
}

BOOL CBioApiBackEnd::VerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length)
{
    const char context[] = "Call BioAPI VerifyBIR";
    LogMessage(kLogDetail, context, "with buffer size %d", static_cast<int>(length));
    if (!loaded_) {
        LogMessage(kLogError, context, "BioAPI was'nt loaded");
        return FALSE;
    }
    purpose_ = 1;
    matchResult_ = 0;
    if (handle == nullptr || handle->moduleHandle == 0 || stored == nullptr || length == 0) {
        LogMessage(kLogError, context, "with ModuleHandle %d", handle ? static_cast<int>(handle->moduleHandle) : 0);
        LogMessage(kLogError, context, "with BIR %s", stored ? "given" : "(null)");
        LogMessage(kLogError, context, "with BIRsize %d", static_cast<int>(length));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BioAPI_BSP_SCHEMA *schema = SchemaOf(handle);
    uint32_t operations = schema != nullptr ? schema->Operations : 0;
    storedTemplate_ = {};
    if (!ConvertSTRINGtoBIR(stored, length, nullptr, &storedTemplate_)) {
        LogMessage(kLogError, context, "Cannot convert string Bir to compatible form");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BioAPI_HANDLE h = handle->moduleHandle;
    lastReturn_ = BioAPI_OK;
    bool matched = false;
    LogMessage(kLogDetail, context, "Before process");
    if (operations & BioAPI_CAPTURE) {
        LogMessage(kLogDetail, context, "We can process");
        BioAPI_BIR_HANDLE sample = -1;
        if (!RunCapture(handle, &sample)) {
            FreeConvertedBIR(&storedTemplate_);
            return FALSE;
        }
        LogMessage(kLogDetail, context, "To verifyMatch");
        if (operations & BioAPI_VERIFYMATCH) {
            LogMessage(kLogDetail, context, "Can verify");
            BioAPI_INPUT_BIR input = {};
            input.Form = BioAPI_BIR_HANDLE_INPUT;
            input.InputBIR.BIRinBSP = &sample;
            lastReturn_ = CallVerifyMatch(h, &input, &storedTemplate_);
            LogMessage(kLogDetail, context, "verifymatch success");
            matched = true;
        }
    }
    if (!matched) {
        LogMessage(kLogDetail, context, "To verify");
        if (operations & BioAPI_VERIFY) {
            LogMessage(kLogDetail, context, "Can verify");
            lastReturn_ = Guarded("Braxial_Verify", [&] {
                return api_.Verify(h, &maxFarRequested_, nullptr, &farPrecedence_, &storedTemplate_, nullptr,
                                   &matchResult_, &farAchieved_, &frrAchieved_, nullptr, kNoTimeout, nullptr);
            });
            LogMessage(kLogDetail, context, "verify live success");
        }
    }
    FreeConvertedBIR(&storedTemplate_);
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_VerifyMatch");
        return FALSE;
    }
    if (matchResult_ != 1)
        return FALSE;
    SetLastError(0);
    return TRUE;
}

BOOL CBioApiBackEnd::CompareBIRS(ReaderHandle *handle, const uint8_t *captured, uint32_t capturedLength,
                                 const uint8_t *stored, uint32_t storedLength)
{
    const char context[] = "Call BioAPI CompareBIRS";
    LogMessage(kLogDetail, context, "with buffer size %d", static_cast<int>(storedLength));
    if (!loaded_) {
        LogMessage(kLogError, context, "BioAPI was'nt loaded");
        return FALSE;
    }
    purpose_ = 1;
    if (handle == nullptr || handle->moduleHandle == 0 || stored == nullptr || storedLength == 0 ||
        captured == nullptr || capturedLength == 0) {
        LogMessage(kLogError, context, "with ModuleHandle %d", handle ? static_cast<int>(handle->moduleHandle) : 0);
        LogMessage(kLogError, context, "with BIRsize %d", static_cast<int>(storedLength));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BioAPI_INPUT_BIR sample = {}, templ = {};
    if (!ConvertSTRINGtoBIR(captured, capturedLength, nullptr, &sample) ||
        !ConvertSTRINGtoBIR(stored, storedLength, nullptr, &templ)) {
        FreeConvertedBIR(&sample);
        LogMessage(kLogError, context, "Cannot convert string Bir to compatible form");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BioAPI_BSP_SCHEMA *schema = SchemaOf(handle);
    LogMessage(kLogDetail, context, "To verifyMatch");
    matchResult_ = 0;
    lastReturn_ = BioAPI_OK;
    BioAPI_HANDLE h = handle->moduleHandle;
    if (schema != nullptr && (schema->Operations & BioAPI_VERIFYMATCH)) {
        LogMessage(kLogDetail, context, "Can verify");
        lastReturn_ = CallVerifyMatch(h, &sample, &templ);
        LogMessage(kLogDetail, context, "verifymatch success");
    }
    FreeConvertedBIR(&sample);
    FreeConvertedBIR(&templ);
    if (lastReturn_ != BioAPI_OK) {
        ReportBioAPIError(lastReturn_, "BioAPI_VerifyMatch");
        return FALSE;
    }
    if (matchResult_ != 1)
        return FALSE;
    SetLastError(0);
    return TRUE;
}

BOOL CBioApiBackEnd::GetBIRDeviceName(const uint8_t *bir, uint32_t length, char *name, uint32_t *)
{
    return ConvertSTRINGtoBIR(bir, length, name, nullptr) ? TRUE : FALSE;
}
