// The abstract biometric back end and the reader table that puts the devices of both back ends
// (BioAPI modules, HA-API technologies) in one list of named readers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "haapi_types.h"

constexpr int kReaderNameSize = 260;

// The open-reader block; its address is the handle BioInitReader gives out.
struct ReaderHandle {
    int32_t openIndex;      // the entry's table index while open, -1 while closed
    uint32_t moduleHandle;  // BioAPI module handle of an attached module, else 0
    HMODULE vendorModule;   // loaded HA-API vendor library, else none
    HaCaptureFn capture;
    HaEnrollmentFn enrollment;
    HaFreeFn free;
    HaInformationFn information;
    HaLiveVerifyFn liveVerify;
    HaProcessFn process;
    HaVerifyFn verify;
    HWND parentWindow;  // set by callers that show dialogs; the back ends place their UI over it
};

class CBioBackEnd {
public:
    virtual ~CBioBackEnd() = default;
    // Index 0 rebuilds the back end's device list and stores its count in `index`.
    virtual const char *EnumReaders(uint32_t *index) = 0;
    virtual ReaderHandle *InitReader(uint32_t tableIndex) = 0;
    virtual BOOL CloseReader(ReaderHandle *handle) = 0;
    virtual BOOL GetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) = 0;
    virtual BOOL VerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length) = 0;
    virtual BOOL CaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) = 0;
    virtual BOOL CompareBIRS(ReaderHandle *handle, const uint8_t *captured, uint32_t capturedLength,
                             const uint8_t *stored, uint32_t storedLength) = 0;
    virtual BOOL GetBIRDeviceName(const uint8_t *bir, uint32_t length, char *name, uint32_t *nameSize) = 0;
};

struct ReaderEntry {
    CBioBackEnd *backEnd;
    int32_t backEndIndex;  // the device's index inside its back end; -1 in a fresh entry
    char name[kReaderNameSize];
    ReaderHandle handle;
};

struct ReaderTable {
    ReaderEntry *entries;
    uint32_t count;
    bool built;  // false until the first rebuild
};

extern ReaderTable g_readerTable;

// The entry whose handle block `handle` is, or null when it is none of the table's.
ReaderEntry *EntryOfHandle(ReaderHandle *handle);

// Rebuilds the table from both back ends; returns the name of entry 0 (last error 0), or null with
// last error 87 when there are no devices.
const char *RebuildReaderTable();
// Closes every reader and frees the table.
void FreeReaderTable();

// Writes the log line of the two-call protocol's size report and sets last error 8.
void ReportBufferTooSmall(uint32_t size);

// The module instance of Braxial (its dialogs and own texts).
extern HINSTANCE g_braxialInstance;

// Log module name and a formatting shorthand.
#define BRAXIAL_LOG "BioAPI"
