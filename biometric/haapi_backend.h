// The HA-API back end: vendor modules listed in the registry, one reader per technology.
#pragma once

#include <string>
#include <vector>

#include "bio_backend.h"
#include "haapi_types.h"

// One technology of one vendor, as the registry describes it.
struct HaVendorRecord {
    char TechnologyName[260];
    char ModuleName[260];
    char CaptureFunctionName[260];
    char EnrollmentFunctionName[260];
    char FreeFunctionName[260];
    char InformationFunctionName[260];
    char LiveVerifyFunctionName[260];
    char ProcessFunctionName[260];
    char VerifyFunctionName[260];
};

class CHaApiBackEnd : public CBioBackEnd {
public:
    void clear_all_when_detach(bool callVendors);

    const char *EnumReaders(uint32_t *index) override;
    ReaderHandle *InitReader(uint32_t tableIndex) override;
    BOOL CloseReader(ReaderHandle *handle) override;
    BOOL GetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) override;
    BOOL VerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length) override;
    BOOL CaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) override;
    BOOL CompareBIRS(ReaderHandle *handle, const uint8_t *captured, uint32_t capturedLength,
                     const uint8_t *stored, uint32_t storedLength) override;
    BOOL GetBIRDeviceName(const uint8_t *bir, uint32_t length, char *name, uint32_t *nameSize) override;

    // Runs a vendor function with a user interface inside the hidden dialog 107 (called from its
    // message handler).
    uint32_t RunVendorCall(UINT message);

private:
    struct HeldPair {
        HAAPI_DATA data;
        HaFreeFn vendorFree;   // null: filled by parsing, released with the C heap
        ReaderHandle *owner;   // the reader whose vendor call filled it (none when parsed)
    };
    void Release(HeldPair &pair);
    void ReleaseAll();
    const HaVendorRecord *RecordOf(ReaderHandle *handle);
    uint32_t InHiddenDialog(ReaderHandle *handle, UINT message);
    bool ListTechnologies();
    HMODULE LoadVendorModule(const char *name);
    enum class Written { kRefused, kSizeReported, kWritten };
    Written WriteHeldPair(ReaderHandle *handle, HeldPair &pair, uint8_t *buffer, uint32_t *size);

    std::vector<HaVendorRecord> records_;
    std::vector<std::pair<std::string, HMODULE>> modules_;  // loaded once per process
    HeldPair first_ = {}, template_ = {}, captured_ = {}, processed_ = {};
    uint32_t result_ = 0;
    uint32_t vendorCode_ = 0;  // what the vendor call inside the hidden dialog answered
    ReaderHandle *current_ = nullptr;  // the reader of a vendor call in progress
    HAAPI_HOST_WINDOW host_ = {};
    int32_t position_[2] = {};
};

// Logs a failed vendor call with its text; the thread's last error stays as it was.
void ReportHAAPIError(uint32_t code, const char *step);

extern CHaApiBackEnd g_haApiBackEnd;

// Private messages of the hidden vendor-call dialog.
constexpr UINT kMsgVendorEnroll = 1025;
constexpr UINT kMsgVendorCapture = 1026;
