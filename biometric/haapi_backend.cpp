// The HA-API back end: technologies read from "SOFTWARE\HAAPI\Vendors", vendor modules loaded
// when a reader opens, vendor calls with a user interface run inside a hidden modal dialog.
#include "haapi_backend.h"

#include <cstdlib>
#include <cstring>

#include "bir_string.h"
#include "braxial_res.h"
#include "centre_window.h"
#include "fault_guard.h"
#include "library_bitness.h"
#include "library_loader.h"
#include "log.h"
#include "module_activation.h"

CHaApiBackEnd g_haApiBackEnd;

namespace {

const char kVendorsKey[] = "SOFTWARE\\HAAPI\\Vendors";
bool g_enumerating = false;

// A resolved address as the typed vendor function it is.
template <typename F>
F As(FARPROC address)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

struct CodeText {
    uint32_t offset;
    const char *text;
};
const CodeText kHaTexts[] = {
    {0x00, "HAAPI_BASEERROR"}, {0x01, "HAAPI_INVALIDBUID"}, {0x02, "HAAPI_INVALIDPARAMETERS"},
    {0x03, "HAAPI_REGISTRYERROR"}, {0x04, "HAAPI_MEMORYALLOCERROR"}, {0x05, "HAAPI_INVALIDMODULENAME"},
    {0x06, "HAAPI_INVALIDTECHNOLOGYNAME"}, {0x07, "HAAPI_INVALIDENROLLMENTFNNAME"},
    {0x08, "HAAPI_INVALIDCAPTUREFNNAME"}, {0x09, "HAAPI_INVALIDPROCESSFNNAME"},
    {0x0A, "HAAPI_INVALIDVERIFYFNNAME"}, {0x0B, "HAAPI_INVALIDLIVEVERIFYFNNAME"},
    {0x0C, "HAAPI_INVALIDUPDATEFNNAME"}, {0x0D, "HAAPI_INVALIDINFOFNNAME"}, {0x0E, "HAAPI_INVALIDFREEFNNAME"},
    {0x0F, "HAAPI_INVALIDBIOPROPFNNAME"}, {0x10, "HAAPI_REGISTRYSUBSYSTEMFAILURE"}, {0x11, "HAAPI_USERCANCEL"},
    {0x12, "HAAPI_GENERALERROR"}, {0x13, "HAAPI_ADAPTEDBIR"}, {0x14, "HAAPI_ADAPTATIONNOTSUPPORTED"},
    {0x15, "HAAPI_NOBIOPROPERTIESPAGE"}, {0x20, "HAAPI_BUIDTABLEALREADYINIT"}, {0x21, "HAAPI_BUIDTABLENOTINIT"},
    {0x22, "HAAPI_INVALIDFNTYPE"}, {0x23, "HAAPI_CORRUPTTABLEMANAGER"}, {0x24, "HAAPI_TABLEMANAGERFAILURE"},
    {0x25, "HAAPI_UNABLETOLOADVENDORMODULE"}, {0x26, "HAAPI_UNABLETOUNLOADVENDORMODULE"},
    {0x27, "HAAPI_VENDORMODULENOTPRESENT"}, {0x30, "HAAPI_MODULESUBSYSTEMFAILURE"},
    {0x31, "HAPPI_MODULESUBSYSTEMCORRUPT"}, {0x40, "HAAPI_INVALIDCAPTUREFUNCTION"},
    {0x41, "HAAPI_INVALIDENROLLFUNCTION"}, {0x42, "HAAPI_INVALIDVERIFYFUNCTION"},
    {0x43, "HAAPI_INVALIDLIVEVERIFYFUNCTION"}, {0x44, "HAAPI_INVALIDPROCESSFUNCTION"},
    {0x45, "HAAPI_INVALIDINFOFUNCTION"}, {0x46, "HAAPI_INVALIDFREEFUNCTION"},
    {0x47, "HAAPI_INVALIDUPDATEFUNCTION"}, {0x48, "HAAPI_INVALIDBIOPROPFUNCTION"}, {0x50, "HAAPI_INVALIDOS"},
    {0x51, "HAAPI_INVALIDHBT"},
};

// One string value of at most 259 characters; anything else counts as missing.
bool ReadValue(HKEY key, const char *name, char (&out)[260])
{
    DWORD type = 0, size = sizeof out;
    char value[260];
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ || size == 0)
        return false;
    if (value[size - 1] != 0) {
        if (size >= sizeof value)
            return false;
        value[size] = 0;
    }
    std::memcpy(out, value, sizeof value);
    out[259] = 0;
    return true;
}

// A vendor function, guarded: a fault inside the vendor's module (an access violation and the
// like) ends the call, is logged, and answers HAAPI_GENERALERROR; the host process lives on.
template <typename Call>
uint32_t VendorCall(const char *step, Call call)
{
    uint32_t code = HAAPI_GENERALERROR;
    if (!CallOutside(step, [&] { code = call(); }))
        return HAAPI_GENERALERROR;
    return code;
}

INT_PTR CALLBACK VendorHostProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ShowWindow(dialog, SW_HIDE);
        CentreOverOwner(dialog);
        PostMessageA(dialog, static_cast<UINT>(lParam), 0, 0);
        return TRUE;
    }
    case kMsgVendorEnroll:
    case kMsgVendorCapture:
        if (message == kMsgVendorCapture)
            LogMessage(kLogDetail, "CaptureBIR", "Call DlgShadowVerify");
        // The vendor's code stays in the back end: a dialog result cannot carry every 32-bit
        // code (-1, HAAPI_ERROR, is also what a failed DialogBox answers).
        g_haApiBackEnd.RunVendorCall(message);
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ReportHAAPIError(uint32_t code, const char *step)
{
    const char *text = "Unknown error!";
    if (code == 0xFFFFFFFFu) {
        text = "HAAPI_ERROR";
    } else if ((code & 0xFFFFFF00u) == HAAPI_ERROR_BASE) {
        for (const CodeText &c : kHaTexts)
            if (HAAPI_ERROR_BASE + c.offset == code)
                text = c.text;
    }
    DWORD saved = GetLastError();
    LogMessage(kLogError, BRAXIAL_LOG, "Error in %s, Error code:[%ld] or [0x%X] \"%s\"", step,
               static_cast<long>(static_cast<int32_t>(code)), code, text);
    SetLastError(saved);
}

void CHaApiBackEnd::Release(HeldPair &pair)
{
    if (pair.data.Data != nullptr || pair.data.Length != 0) {
        if (pair.vendorFree != nullptr)
            VendorCall("HAAPI_Free", [&] { return pair.vendorFree(&pair.data); });
        else
            std::free(pair.data.Data);
    }
    pair = {};
}

void CHaApiBackEnd::ReleaseAll()
{
    Release(first_);
    Release(template_);
    Release(captured_);
    Release(processed_);
}

bool CHaApiBackEnd::ListTechnologies()
{
    HKEY vendors = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorsKey, 0, KEY_READ, &vendors) != ERROR_SUCCESS)
        return false;
    for (DWORD v = 0;; ++v) {
        char vendor[260];
        DWORD vendorLength = sizeof vendor;
        if (RegEnumKeyExA(vendors, v, vendor, &vendorLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY vendorKey = nullptr;
        if (RegOpenKeyExA(vendors, vendor, 0, KEY_READ, &vendorKey) != ERROR_SUCCESS)
            continue;
        for (DWORD t = 0;; ++t) {
            char tech[260];
            DWORD techLength = sizeof tech;
            if (RegEnumKeyExA(vendorKey, t, tech, &techLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            HaVendorRecord record = {};
            HKEY techKey = nullptr;
            if (RegOpenKeyExA(vendorKey, tech, 0, KEY_READ, &techKey) == ERROR_SUCCESS) {
                // A missing value leaves the rest of the record empty: the reader is listed but
                // cannot be opened.
                ReadValue(techKey, "TechnologyName", record.TechnologyName) &&
                    ReadValue(techKey, "ModuleName", record.ModuleName) &&
                    ReadValue(techKey, "CaptureFunctionName", record.CaptureFunctionName) &&
                    ReadValue(techKey, "EnrollmentFunctionName", record.EnrollmentFunctionName) &&
                    ReadValue(techKey, "FreeFunctionName", record.FreeFunctionName) &&
                    ReadValue(techKey, "InformationFunctionName", record.InformationFunctionName) &&
                    ReadValue(techKey, "LiveVerifyFunctionName", record.LiveVerifyFunctionName) &&
                    ReadValue(techKey, "ProcessFunctionName", record.ProcessFunctionName) &&
                    ReadValue(techKey, "VerifyFunctionName", record.VerifyFunctionName);
                RegCloseKey(techKey);
            }
            records_.push_back(record);
        }
        RegCloseKey(vendorKey);
    }
    RegCloseKey(vendors);
    return !records_.empty();
}

const char *CHaApiBackEnd::EnumReaders(uint32_t *index)
{
    LogMessage(kLogDetail, "call EnumReaders HA_API", "index %d", index ? static_cast<int>(*index) : -1);
    if (index == nullptr)
        return nullptr;
    if (*index == 0) {
        if (!g_enumerating) {
            records_.clear();
            ReleaseAll();
        }
        g_enumerating = true;
        bool any = ListTechnologies();
        g_enumerating = false;
        if (!any)
            return nullptr;
        *index = static_cast<uint32_t>(records_.size());
        SetLastError(0);
        return records_[0].TechnologyName;
    }
    if (g_enumerating) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (*index < records_.size()) {
        SetLastError(0);
        return records_[*index].TechnologyName;
    }
    SetLastError(ERROR_BAD_UNIT);
    return nullptr;
}

const HaVendorRecord *CHaApiBackEnd::RecordOf(ReaderHandle *handle)
{
    ReaderEntry *entry = EntryOfHandle(handle);
    if (entry == nullptr || entry->backEndIndex < 0 || static_cast<size_t>(entry->backEndIndex) >= records_.size())
        return nullptr;
    return &records_[static_cast<size_t>(entry->backEndIndex)];
}

HMODULE CHaApiBackEnd::LoadVendorModule(const char *name)
{
    for (auto &loaded : modules_)
        if (lstrcmpiA(loaded.first.c_str(), name) == 0)
            return loaded.second;
    HMODULE module = LoadProductLibrary(name);
    if (module != nullptr) {
        modules_.emplace_back(name, module);
    } else {
        DWORD error = GetLastError();
        char words[1024];
        if (OtherBitnessText(name, error, words, sizeof words))
            LogMessage(kLogError, "Call HA-API InitReader", "%s", words);
        SetLastError(error);
    }
    return module;
}

ReaderHandle *CHaApiBackEnd::InitReader(uint32_t tableIndex)
{
    LogMessage(kLogDetail, "Call HA-API InitReader", "index %d", static_cast<int>(tableIndex));
    if (tableIndex >= g_readerTable.count || g_readerTable.entries[tableIndex].handle.openIndex != -1) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ReaderHandle &h = g_readerTable.entries[tableIndex].handle;
    const HaVendorRecord *record = RecordOf(&h);
    LogMessage(kLogMilestone, "Call HA-API InitReader", "Before init_haapi_library");
    bool ok = h.vendorModule != nullptr;
    if (!ok && record != nullptr && record->ModuleName[0] != 0) {
        HMODULE module = LoadVendorModule(record->ModuleName);
        if (module != nullptr) {
            const char *names[7] = {record->CaptureFunctionName, record->EnrollmentFunctionName,
                                    record->FreeFunctionName, record->InformationFunctionName,
                                    record->LiveVerifyFunctionName, record->ProcessFunctionName,
                                    record->VerifyFunctionName};
            FARPROC found[7] = {};
            ok = true;
            for (int i = 0; i < 7 && ok; ++i) {
                found[i] = names[i][0] != 0 ? GetProcAddress(module, names[i]) : nullptr;
                ok = found[i] != nullptr;
            }
            if (ok) {
                h.vendorModule = module;
                h.capture = As<HaCaptureFn>(found[0]);
                h.enrollment = As<HaEnrollmentFn>(found[1]);
                h.free = As<HaFreeFn>(found[2]);
                h.information = As<HaInformationFn>(found[3]);
                h.liveVerify = As<HaLiveVerifyFn>(found[4]);
                h.process = As<HaProcessFn>(found[5]);
                h.verify = As<HaVerifyFn>(found[6]);
            }
            // The library itself stays loaded (other technologies of the vendor may use it).
        }
    }
    LogMessage(kLogMilestone, "Call HA-API InitReader", "after init_haapi_library");
    if (!ok) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    h.openIndex = static_cast<int32_t>(tableIndex);
    h.moduleHandle = 0;
    SetLastError(0);
    return &h;
}

BOOL CHaApiBackEnd::CloseReader(ReaderHandle *handle)
{
    LogMessage(kLogDetail, "Call HA-API CloseReader", "close");
    if (handle == nullptr || handle->openIndex == -1 || handle->vendorModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LogMessage(kLogDetail, "Call HA-API CloseReader", "reader index %d", static_cast<int>(handle->openIndex));
    handle->openIndex = -1;
    LogMessage(kLogDetail, "Call HA-API CloseReader", "after free all ha-api");
    SetLastError(0);
    return TRUE;
}

uint32_t CHaApiBackEnd::RunVendorCall(UINT message)
{
    ReaderHandle *h = current_;
    if (h == nullptr)
        return HAAPI_GENERALERROR;
    if (message == kMsgVendorEnroll) {
        Release(first_);
        Release(template_);
        vendorCode_ = VendorCall("HAAPI_Enrollment",
                                 [&] { return h->enrollment(&host_, &first_.data, &template_.data, 0); });
        first_.vendorFree = template_.vendorFree = h->free;
        first_.owner = template_.owner = h;
        return vendorCode_;
    }
    Release(captured_);
    vendorCode_ = VendorCall("HAAPI_Capture", [&] { return h->capture(&host_, &captured_.data); });
    captured_.vendorFree = h->free;
    captured_.owner = h;
    return vendorCode_;
}

uint32_t CHaApiBackEnd::InHiddenDialog(ReaderHandle *handle, UINT message)
{
    HWND parent = handle->parentWindow;
    position_[0] = position_[1] = 0;
    if (parent != nullptr) {
        RECT rect;
        if (GetWindowRect(parent, &rect)) {
            position_[0] = rect.left;
            position_[1] = rect.top;
        }
    }
    host_.ParentWindow = parent;
    host_.ParentPosition = position_;
    host_.Flags = 1;
    if (message == kMsgVendorEnroll)
        LogMessage(kLogDetail, "GetBIR", "Parent Coordinates left[%d] top[%d]", position_[0], position_[1]);
    else
        LogMessage(kLogDetail, "GetBIR", "Parent Coordinates left[%d] top[%d] Handle %d", position_[0],
                   position_[1], static_cast<int>(reinterpret_cast<INT_PTR>(parent)));
    current_ = handle;
    vendorCode_ = HAAPI_GENERALERROR;  // stays so when the dialog could not run the call
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    INT_PTR shown = DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(IDD_BIO_VENDOR_HOST), parent,
                                    VendorHostProc, static_cast<LPARAM>(message));
    current_ = nullptr;
    if (shown == -1)
        return HAAPI_GENERALERROR;
    return vendorCode_;
}

// The second half of the two-call protocol for a pair held by a first call: written only
// through the reader whose vendor call made it.
CHaApiBackEnd::Written CHaApiBackEnd::WriteHeldPair(ReaderHandle *handle, HeldPair &pair, uint8_t *buffer,
                                                    uint32_t *size)
{
    ReaderEntry *entry = EntryOfHandle(handle);
    if (entry == nullptr || pair.data.Data == nullptr || pair.data.Length == 0 || pair.owner != handle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Written::kRefused;
    }
    uint32_t nameLength = static_cast<uint32_t>(std::strlen(entry->name));
    if (!ConvertHABIRtoSTRING(pair.data.Length, pair.data.Data, buffer, size, entry->name, nameLength)) {
        ReportBufferTooSmall(*size);
        return Written::kSizeReported;
    }
    *size = 16 + pair.data.Length + nameLength;
    return Written::kWritten;
}

BOOL CHaApiBackEnd::GetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, "Call HA-API GetBIR", "with buffer size %d", size ? static_cast<int>(*size) : 0);
    if (handle == nullptr || handle->vendorModule == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr) {
        uint32_t code = InHiddenDialog(handle, kMsgVendorEnroll);
        if (code != 0) {
            *size = 0;
            Release(first_);
            Release(template_);
            ReportHAAPIError(code, "HAAPI_Enrollment");
            return FALSE;
        }
    }
    Written written = WriteHeldPair(handle, template_, buffer, size);
    if (written == Written::kRefused)
        return FALSE;
    if (written == Written::kWritten) {
        Release(first_);
        Release(template_);
        SetLastError(0);
    }
    return TRUE;
}

BOOL CHaApiBackEnd::CaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, "Call HA-API CaptureBIR", "with buffer size %d", size ? static_cast<int>(*size) : 0);
    if (handle == nullptr || handle->vendorModule == nullptr || size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer == nullptr) {
        uint32_t code = InHiddenDialog(handle, kMsgVendorCapture);
        if (code != 0) {
            Release(captured_);
            ReportHAAPIError(code, "HAAPI_Capture");
            return FALSE;
        }
        Release(processed_);
        code = VendorCall("HAAPI_Process",
                          [&] { return handle->process(&captured_.data, &processed_.data); });
        processed_.vendorFree = handle->free;
        processed_.owner = handle;
        if (code != 0) {
            Release(captured_);
            Release(processed_);
            ReportHAAPIError(code, "HAAPI_Process");
            return FALSE;
        }
    }
    Written written = WriteHeldPair(handle, processed_, buffer, size);
    if (written == Written::kRefused)
        return FALSE;
    if (written == Written::kWritten) {
        Release(captured_);
        LogMessage(kLogDetail, "CaptureBIR", "After HAAPI_Free %d", static_cast<int>(GetLastError()));
        Release(processed_);
        LogMessage(kLogDetail, "CaptureBIR", "After HAAPI_Free %d", static_cast<int>(GetLastError()));
        SetLastError(0);
    }
    return TRUE;
}

BOOL CHaApiBackEnd::VerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length)
{
    LogMessage(kLogDetail, "Call HA-API VerifyBIR", "with buffer size %d", static_cast<int>(length));
    Release(template_);
    if (stored == nullptr || length == 0 || handle == nullptr || handle->vendorModule == nullptr ||
        !ConvertSTRINGtoHABIR(stored, length, &template_.data, nullptr, nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t code = InHiddenDialog(handle, kMsgVendorCapture);
    if (code != 0) {
        Release(captured_);
        Release(template_);
        ReportHAAPIError(code, "HAAPI_Capture");
        return FALSE;
    }
    Release(processed_);
    code = VendorCall("HAAPI_Process",
                          [&] { return handle->process(&captured_.data, &processed_.data); });
    processed_.vendorFree = handle->free;
    if (code != 0) {
        Release(processed_);
        Release(captured_);
        Release(template_);
        ReportHAAPIError(code, "HAAPI_Process");
        return FALSE;
    }
    result_ = 0;
    code = VendorCall("HAAPI_Verify",
                      [&] { return handle->verify(&processed_.data, &template_.data, &result_); });
    Release(processed_);
    Release(captured_);
    Release(template_);
    if (code != 0) {
        ReportHAAPIError(code, "HAAPI_Verify");
        return FALSE;
    }
    SetLastError(0);
    return static_cast<BOOL>(result_);
}

BOOL CHaApiBackEnd::CompareBIRS(ReaderHandle *handle, const uint8_t *captured, uint32_t capturedLength,
                                const uint8_t *stored, uint32_t storedLength)
{
    LogMessage(kLogDetail, "Call HA-API CompareBIRS", "with buffer size %d", static_cast<int>(storedLength));
    result_ = 0;
    Release(processed_);
    Release(template_);
    if (handle == nullptr || handle->vendorModule == nullptr ||
        !ConvertSTRINGtoHABIR(captured, capturedLength, &processed_.data, nullptr, nullptr) ||
        !ConvertSTRINGtoHABIR(stored, storedLength, &template_.data, nullptr, nullptr)) {
        Release(processed_);
        Release(template_);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t code = VendorCall(
        "HAAPI_Verify", [&] { return handle->verify(&processed_.data, &template_.data, &result_); });
    Release(processed_);
    Release(template_);
    if (code != 0) {
        ReportHAAPIError(code, "HAAPI_Verify");
        return FALSE;
    }
    SetLastError(0);
    return static_cast<BOOL>(result_);
}

BOOL CHaApiBackEnd::GetBIRDeviceName(const uint8_t *bir, uint32_t length, char *name, uint32_t *nameSize)
{
    return ConvertSTRINGtoHABIR(bir, length, nullptr, name, nameSize) ? TRUE : FALSE;
}

void CHaApiBackEnd::clear_all_when_detach(bool callVendors)
{
    LogMessage(kLogMilestone, "clear_all_when_detach HAAPI", "clear all");
    records_.clear();
    if (callVendors)
        ReleaseAll();
    else
        first_ = template_ = captured_ = processed_ = HeldPair{};
}
