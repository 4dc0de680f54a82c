// The three dialog exports: enrolment with the switch of biometric verification (dialog 102),
// capture (dialog 108) and verification with retries (dialogs 103 and 104). Each export runs one
// flow over its dialog objects; what a flow leaves for the second call is kept in BioGuiState.
#include <windows.h>

#include <utility>

#include "bio_backend.h"
#include "bio_exports.h"
#include "bio_pending_record.h"
#include "bioapi_backend.h"
#include "bir_string.h"
#include "capture_bio_dlg.h"
#include "change_bio_dlg.h"
#include "haapi_backend.h"
#include "log.h"
#include "missing_device_dlg.h"
#include "no_match_dlg.h"

namespace {

// What the three exports keep between their calls; calls must not overlap (Braxial has no
// threads and its callers call it from one thread at a time).
struct BioGuiState {
    CBioPendingRecord pending;                  // BioPendingRecord
    char currentDeviceName[kReaderNameSize];  // BioCurrentDeviceName: the last chosen or required
};
BioGuiState g_gui = {};

// Captures one sample on `handle` into the pending record; its size goes to `size` when given.
bool CaptureIntoPending(ReaderHandle *handle, HWND parent, uint32_t *size)
{
    CBioPendingRecord &pending = g_gui.pending;
    handle->parentWindow = parent;
    uint32_t needed = 0;
    bool ok = BioCaptureBIR(handle, nullptr, &needed) && needed != 0;
    if (ok) {
        ok = pending.Allocate(needed) != nullptr;
        if (ok) {
            uint32_t written = needed;
            ok = BioCaptureBIR(handle, pending.data(), &written) && GetLastError() == 0;
            pending.SetSize(written);
            if (size != nullptr)
                *size = written;
        }
    }
    handle->parentWindow = nullptr;
    return ok;
}

// One verification attempt on an open reader: capture into the pending record, close the reader,
// compare the sample with the stored string. A failed capture counts as no match.
bool CaptureCloseCompare(ReaderHandle *handle, HWND parent, uint32_t *size, const uint8_t *stored,
                         uint32_t storedLength)
{
    bool captured = CaptureIntoPending(handle, parent, size);
    LogMessage(kLogStep, "BioVerifyBIR_GUI", "Call BioCloseReader");
    BioCloseReader(handle);
    return captured && BioCompareBIRS(g_gui.pending.data(), g_gui.pending.size(), stored, storedLength);
}

// Dialog 104; true when the user asks to try again.
bool TryAgain(HMODULE strings, HWND parent)
{
    TNoMatchDlg noMatch;
    noMatch.stringModule = strings;
    return noMatch.Show(parent);
}

// A match: the captured sample stays pending only for a caller that asked for its size.
BOOL Verified(uint32_t *size)
{
    if (size == nullptr)
        g_gui.pending.Discard();
    SetLastError(0);
    return TRUE;
}

HMODULE StringModule(HMODULE given)
{
    return given != nullptr ? given : g_braxialInstance;
}

// The name of the device that made `stored`, opened; null (with the name still given) when that
// device is not there.
ReaderHandle *OpenRecordDevice(const uint8_t *stored, uint32_t storedLength, char (&name)[kReaderNameSize])
{
    uint32_t nameSize = kReaderNameSize;
    if (BirStringHasTag(stored, storedLength, "BioAPI")) {
        if (g_bioApiBackEnd.GetBIRDeviceName(stored, storedLength, name, &nameSize))
            return BioInitReader(name);
    } else if (BirStringHasTag(stored, storedLength, "HA_API")) {
        if (g_haApiBackEnd.GetBIRDeviceName(stored, storedLength, name, &nameSize))
            return BioInitReader(name);
    }
    return nullptr;
}

}  // namespace

extern "C" {

BOOL __stdcall BioGetBIR_GUI(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size, int mode)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioGetBIR_GUI");
    CBioPendingRecord &pending = g_gui.pending;
    if (buffer != nullptr) {
        if (!pending.Held()) {
            if (size == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            if (pending.size() == CBioPendingRecord::kCancelled) {
                SetLastError(ERROR_CANCELLED);
                return FALSE;
            }
            *size = pending.size();  // verification switched off: nothing to copy
            SetLastError(0);
            return TRUE;
        }
        return pending.CopyOut(buffer, size);
    }
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pending.Discard();
    TChangeBioDlg change;
    change.stringModule = StringModule(resources);
    change.mode = mode;
    change.Show(parent);
    pending = std::move(change.record);
    LogMessage(kLogStep, "BioGetBIR_GUI", " after selection - bir size%d", static_cast<int>(pending.size()));
    if (pending.size() == CBioPendingRecord::kCancelled) {
        LogMessage(kLogStep, "BioGetBIR_GUI", " user cancelled ");
        pending.Discard();
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    *size = pending.size();
    SetLastError(0);
    return TRUE;
}

BOOL __stdcall BioCaptureBIR_GUI(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioCaptureBIR_GUI");
    CBioPendingRecord &pending = g_gui.pending;
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer != nullptr) {
        if (!pending.Held()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return pending.CopyOut(buffer, size);
    }
    pending.Discard();
    TCaptureBioDlg capture;
    capture.stringModule = StringModule(resources);
    bool chosen = capture.Show(parent);
    lstrcpynA(g_gui.currentDeviceName, capture.deviceName, kReaderNameSize);
    if (!chosen) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    ReaderHandle *handle = BioInitReader(g_gui.currentDeviceName);
    if (handle == nullptr)
        return FALSE;
    bool ok = CaptureIntoPending(handle, parent, size);
    DWORD error = GetLastError();
    BioCloseReader(handle);
    if (!ok)
        pending.Discard();
    SetLastError(ok ? 0 : error);
    return ok ? TRUE : FALSE;
}

BOOL __stdcall BioVerifyBIR_GUI(HMODULE resources, HWND parent, const uint8_t *stored, uint32_t storedLength,
                                uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioVerifyBIR_GUI");
    CBioPendingRecord &pending = g_gui.pending;
    HMODULE strings = StringModule(resources);
    if (buffer != nullptr) {
        if (!pending.Held()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return pending.CopyOut(buffer, size);
    }
    if (stored == nullptr || storedLength == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pending.Discard();
    RebuildReaderTable();
    char name[kReaderNameSize] = {};
    ReaderHandle *handle = OpenRecordDevice(stored, storedLength, name);
    lstrcpynA(g_gui.currentDeviceName, name, kReaderNameSize);

    if (handle != nullptr) {
        // The device that made the record is here: capture on it until a match or the user
        // gives up in dialog 104.
        for (;;) {
            if (CaptureCloseCompare(handle, parent, size, stored, storedLength)) {
                if (size == nullptr)
                    LogMessage(kLogStep, "BioVerifyBIR_GUI", "CapturedBIRSize is NULL and we will delete recived BIR");
                LogMessage(kLogStep, "BioVerifyBIR_GUI", " Verification success!");
                return Verified(size);
            }
            if (!TryAgain(strings, parent))
                break;
            RebuildReaderTable();
            handle = BioInitReader(name);
            if (handle == nullptr)
                break;
        }
    } else {
        // It is not: the user picks another device in dialog 103 (which can only match when it
        // carries the recorded name). The dialog names the device last required or chosen.
        for (;;) {
            TMissingDeviceDlg missing;
            missing.stringModule = strings;
            lstrcpynA(missing.missingName, g_gui.currentDeviceName, kReaderNameSize);
            g_gui.currentDeviceName[0] = 0;
            bool chosen = missing.Show(parent);
            lstrcpynA(g_gui.currentDeviceName, missing.deviceName, kReaderNameSize);
            if (!chosen)
                break;
            handle = BioInitReader(g_gui.currentDeviceName);
            if (handle != nullptr) {
                LogMessage(kLogStep, "BioVerifyBIR_GUI", "Call BioCaptureBIR");
                if (CaptureCloseCompare(handle, parent, size, stored, storedLength))
                    return Verified(size);
            }
            if (!TryAgain(strings, parent))
                break;
        }
    }
    if (size == nullptr)
        pending.Discard();
    SetLastError(ERROR_INTERNAL_ERROR);  // 1359: the user gave up
    return FALSE;
}

}  // extern "C"
