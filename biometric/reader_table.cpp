// The reader table and the seven reader exports.
#include <cstring>

#include "bio_backend.h"
#include "bio_exports.h"
#include "bioapi_backend.h"
#include "bir_string.h"
#include "haapi_backend.h"
#include "log.h"

ReaderTable g_readerTable = {nullptr, 0, false};

namespace {

void InitEntry(ReaderEntry &entry, CBioBackEnd *backEnd, int32_t index, const char *name)
{
    std::memset(&entry, 0, sizeof entry);
    entry.backEnd = backEnd;
    entry.backEndIndex = index;
    entry.handle.openIndex = -1;
    if (name != nullptr)
        lstrcpynA(entry.name, name, kReaderNameSize);
}

// The entry an open handle names, or null when the handle is null, the table empty or the reader
// closed (a handle from before a rebuild points at freed memory, so it is looked up, never read).
ReaderEntry *OpenEntry(ReaderHandle *handle)
{
    ReaderEntry *entry = EntryOfHandle(handle);
    if (entry == nullptr || entry->handle.openIndex == -1)
        return nullptr;
    return entry;
}

}  // namespace

ReaderEntry *EntryOfHandle(ReaderHandle *handle)
{
    if (handle == nullptr || g_readerTable.entries == nullptr)
        return nullptr;
    for (uint32_t i = 0; i < g_readerTable.count; ++i)
        if (&g_readerTable.entries[i].handle == handle)
            return &g_readerTable.entries[i];
    return nullptr;
}

void FreeReaderTable()
{
    if (g_readerTable.entries != nullptr) {
        for (uint32_t i = 0; i < g_readerTable.count; ++i) {
            ReaderEntry &entry = g_readerTable.entries[i];
            if (entry.handle.openIndex != -1 && entry.backEnd != nullptr)
                entry.backEnd->CloseReader(&entry.handle);
        }
        HeapFree(GetProcessHeap(), 0, g_readerTable.entries);
    }
    g_readerTable.entries = nullptr;
    g_readerTable.count = 0;
    LogMessage(kLogDetail, "free_device_alloc_memory", "success");
}

const char *RebuildReaderTable()
{
    uint32_t bioCount = 0, haCount = 0;
    const char *bioFirst = g_bioApiBackEnd.EnumReaders(&bioCount);
    if (bioFirst == nullptr)
        bioCount = 0;
    char bioFirstName[kReaderNameSize] = {};
    if (bioFirst != nullptr)
        lstrcpynA(bioFirstName, bioFirst, kReaderNameSize);
    const char *haFirst = g_haApiBackEnd.EnumReaders(&haCount);
    if (haFirst == nullptr)
        haCount = 0;
    char haFirstName[kReaderNameSize] = {};
    if (haFirst != nullptr)
        lstrcpynA(haFirstName, haFirst, kReaderNameSize);

    FreeReaderTable();
    g_readerTable.built = true;
    uint32_t total = bioCount + haCount;
    if (total == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    g_readerTable.entries = static_cast<ReaderEntry *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(total) * sizeof(ReaderEntry)));
    if (g_readerTable.entries == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    g_readerTable.count = total;
    for (uint32_t i = 0; i < bioCount; ++i) {
        uint32_t index = i;
        const char *name = i == 0 ? bioFirstName : g_bioApiBackEnd.EnumReaders(&index);
        InitEntry(g_readerTable.entries[i], &g_bioApiBackEnd, static_cast<int32_t>(i), name);
    }
    for (uint32_t j = 0; j < haCount; ++j) {
        uint32_t index = j;
        const char *name = j == 0 ? haFirstName : g_haApiBackEnd.EnumReaders(&index);
        InitEntry(g_readerTable.entries[bioCount + j], &g_haApiBackEnd, static_cast<int32_t>(j), name);
    }
    SetLastError(0);
    return g_readerTable.entries[0].name;
}

void ReportBufferTooSmall(uint32_t size)
{
    LogMessage(kLogDetail, "bir_string", "Error: buffer size is too small.\nThis size of buffer needed :%d",
               static_cast<int>(size));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
}

extern "C" {

const char *__stdcall BioEnumReaders(uint32_t index)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioEnumReaders with index %d", static_cast<int>(index));
    if (index == 0)
        return RebuildReaderTable();
    if (!g_readerTable.built)
        return nullptr;
    if (index < g_readerTable.count) {
        SetLastError(0);
        return g_readerTable.entries[index].name;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

ReaderHandle *__stdcall BioInitReader(const char *name)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioInitReader with Name %s", name ? name : "(null)");
    if (name == nullptr || g_readerTable.count == 0)
        return nullptr;
    for (uint32_t i = 0; i < g_readerTable.count; ++i) {
        ReaderEntry &entry = g_readerTable.entries[i];
        if (std::strcmp(entry.name, name) == 0)
            return entry.backEnd->InitReader(i);
    }
    return nullptr;
}

BOOL __stdcall BioCloseReader(ReaderHandle *handle)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioCloseReader");
    ReaderEntry *entry = OpenEntry(handle);
    return entry != nullptr ? entry->backEnd->CloseReader(handle) : FALSE;
}

BOOL __stdcall BioGetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioGetBIR");
    ReaderEntry *entry = OpenEntry(handle);
    return entry != nullptr ? entry->backEnd->GetBIR(handle, buffer, size) : FALSE;
}

BOOL __stdcall BioVerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioVerifyBIR");
    ReaderEntry *entry = OpenEntry(handle);
    return entry != nullptr ? entry->backEnd->VerifyBIR(handle, stored, length) : FALSE;
}

BOOL __stdcall BioCaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioCaptureBIR");
    ReaderEntry *entry = OpenEntry(handle);
    return entry != nullptr ? entry->backEnd->CaptureBIR(handle, buffer, size) : FALSE;
}

BOOL __stdcall BioCompareBIRS(const uint8_t *captured, uint32_t capturedLength, const uint8_t *stored,
                              uint32_t storedLength)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioCompareBIRS");
    RebuildReaderTable();
    if (captured == nullptr || stored == nullptr || capturedLength == 0 || storedLength == 0)
        return FALSE;
    CBioBackEnd *backEnd = nullptr;
    if (BirStringHasTag(stored, storedLength, "BioAPI")) {
        if (!BirStringHasTag(captured, capturedLength, "BioAPI"))
            return FALSE;
        backEnd = &g_bioApiBackEnd;
    } else if (BirStringHasTag(stored, storedLength, "HA_API")) {
        if (!BirStringHasTag(captured, capturedLength, "HA_API"))
            return FALSE;
        backEnd = &g_haApiBackEnd;
    } else {
        return FALSE;
    }
    char capturedName[kReaderNameSize] = {}, storedName[kReaderNameSize] = {};
    uint32_t nameSize = kReaderNameSize;
    if (!backEnd->GetBIRDeviceName(captured, capturedLength, capturedName, &nameSize))
        return FALSE;
    nameSize = kReaderNameSize;
    if (!backEnd->GetBIRDeviceName(stored, storedLength, storedName, &nameSize))
        return FALSE;
    if (std::strcmp(capturedName, storedName) != 0)
        return FALSE;
    ReaderHandle *handle = BioInitReader(storedName);
    if (handle == nullptr)
        return FALSE;
    ReaderEntry *entry = EntryOfHandle(handle);
    BOOL result = entry->backEnd->CompareBIRS(handle, captured, capturedLength, stored, storedLength);
    DWORD error = GetLastError();
    BioCloseReader(handle);
    SetLastError(error);
    LogMessage(kLogStep, "BioCompareBIRS", "returned %d", result);
    return result;
}

}  // extern "C"
