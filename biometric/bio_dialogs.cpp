// The three dialog exports: enrolment with the switch of biometric verification (dialog 102),
// capture (dialog 108) and verification with retries (dialogs 103 and 104).
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "bio_backend.h"
#include "bioapi_backend.h"
#include "bir_string.h"
#include "braxial_res.h"
#include "haapi_backend.h"
#include "log.h"

extern "C" {
const char *__stdcall BioEnumReaders(uint32_t index);
ReaderHandle *__stdcall BioInitReader(const char *name);
BOOL __stdcall BioCloseReader(ReaderHandle *handle);
BOOL __stdcall BioGetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
BOOL __stdcall BioCaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
BOOL __stdcall BioCompareBIRS(const uint8_t *captured, uint32_t capturedLength, const uint8_t *stored,
                              uint32_t storedLength);
}

namespace {

constexpr uint32_t kCancelledSize = 0xFFFFFFFFu;
constexpr int kTextSize = 1024;

uint8_t *g_pendingRecord = nullptr;        // BioPendingRecord
uint32_t g_pendingSize = 0;                // its size; kCancelledSize after a cancel or failure
char g_currentDeviceName[kReaderNameSize];  // BioCurrentDeviceName
char g_selectedName[kReaderNameSize];
HMODULE g_stringModule = nullptr;
int g_mode = 0;
bool g_idle = true;
int g_selectedItem = -1;

// Text `id` from the caller's language module, else the program, else Braxial's own copy.
const char *Text(UINT id, char *buffer)
{
    HMODULE modules[3] = {g_stringModule, GetModuleHandleA(nullptr), g_braxialInstance};
    for (HMODULE module : modules)
        if (module != nullptr && LoadStringA(module, id, buffer, kTextSize) > 0)
            return buffer;
    buffer[0] = 0;
    return buffer;
}

void SetItemText(HWND dialog, int id, UINT textId)
{
    char text[kTextSize];
    SetDlgItemTextA(dialog, id, Text(textId, text));
}

void SetTitle(HWND dialog, UINT textId)
{
    char text[kTextSize];
    SetWindowTextA(dialog, Text(textId, text));
}

void DiscardPending()
{
    std::free(g_pendingRecord);
    g_pendingRecord = nullptr;
}

// Centres `dialog` over its owner (the desktop without one), kept inside the screen.
void CenterOverOwner(HWND dialog)
{
    RECT box, area;
    GetWindowRect(dialog, &box);
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !GetWindowRect(owner, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int width = box.right - box.left, height = box.bottom - box.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    if (x + width > screenW)
        x = screenW - width;
    if (y + height > screenH)
        y = screenH - height;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Rebuilds the reader table and lists its names; true when there was at least one.
bool FillDeviceList(HWND list)
{
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    if (SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) == 0) {
        RECT client;
        GetClientRect(list, &client);
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH;
        column.fmt = LVCFMT_LEFT;
        column.cx = client.right - client.left - 4;
        SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    }
    int count = 0;
    for (const char *name = BioEnumReaders(0); name != nullptr; name = BioEnumReaders(static_cast<uint32_t>(count))) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = count;
        item.pszText = const_cast<char *>(name);
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ++count;
    }
    return count > 0;
}

void SelectItem(HWND list, int index, bool select)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = select ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// A list selection: its index and name; false for anything that is not a new selection.
bool SelectionChanged(LPARAM lParam, int listId)
{
    const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
    if (header->idFrom != static_cast<UINT_PTR>(listId) || header->code != LVN_ITEMCHANGED)
        return false;
    const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(lParam);
    if ((change->uChanged & LVIF_STATE) == 0 || (change->uNewState & LVIS_SELECTED) == 0 ||
        (change->uOldState & LVIS_SELECTED) != 0)
        return false;
    g_selectedItem = change->iItem;
    g_selectedName[0] = 0;
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = g_selectedName;
    item.cchTextMax = sizeof g_selectedName;
    SendMessageA(header->hwndFrom, LVM_GETITEMTEXTA, static_cast<WPARAM>(change->iItem), reinterpret_cast<LPARAM>(&item));
    return true;
}

bool IsCloseCommand(UINT message, WPARAM wParam)
{
    if (message == WM_COMMAND)
        return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_BIO_CANCEL;
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
}

bool IsOkCommand(UINT message, WPARAM wParam)
{
    return message == WM_COMMAND && (LOWORD(wParam) == IDC_BIO_OK || LOWORD(wParam) == IDOK);
}

void ForgetSelection()
{
    g_selectedItem = -1;
    g_selectedName[0] = 0;
}

// The texts every device dialog shows: its title, the prompt, OK and Cancel.
void SetDialogTexts(HWND dialog, UINT titleId, UINT promptId)
{
    SetTitle(dialog, titleId);
    SetItemText(dialog, IDC_BIO_PROMPT, promptId);
    SetItemText(dialog, IDC_BIO_OK, 2010);
    SetItemText(dialog, IDC_BIO_CANCEL, 2002);
}

// OK of dialogs 103 and 108: the selected name becomes BioCurrentDeviceName and the dialog
// closes with 1; with no name selected nothing happens.
void ChooseSelectedDevice(HWND dialog)
{
    if (g_selectedName[0] == 0)
        return;
    lstrcpynA(g_currentDeviceName, g_selectedName, kReaderNameSize);
    EndDialog(dialog, 1);
}

// ---- dialog 102 ---------------------------------------------------------------------------

void ChangeInit(HWND dialog)
{
    ForgetSelection();
    g_idle = true;
    HWND list = GetDlgItem(dialog, IDC_BIO_DEVICES);
    bool any = FillDeviceList(list);
    EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), FALSE);
    SetTitle(dialog, 2334);
    HWND check = GetDlgItem(dialog, IDC_BIO_ENABLE);
    if (g_mode != 0) {
        if (any)
            SelectItem(list, 0, true);
        CheckDlgButton(dialog, IDC_BIO_ENABLE, BST_CHECKED);
        if (g_mode == 3) {
            ShowWindow(check, SW_HIDE);
            SetTitle(dialog, 2345);
        }
    } else {
        CheckDlgButton(dialog, IDC_BIO_ENABLE, BST_UNCHECKED);
        EnableWindow(list, FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_BIO_PROMPT), FALSE);
    }
    char text[kTextSize];
    Text(2336, text);
    SetWindowTextA(check, text);
    // The check box shrinks to its text (plus the box) when that is narrower.
    HDC dc = GetDC(check);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(check, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(check, dc);
    RECT rect;
    GetWindowRect(check, &rect);
    if (extent.cx + 19 < rect.right - rect.left)
        SetWindowPos(check, nullptr, 0, 0, extent.cx + 19, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    SetItemText(dialog, IDC_BIO_PROMPT, 2337);
    SetItemText(dialog, IDC_BIO_OK, 2010);
    SetItemText(dialog, IDC_BIO_CANCEL, 2002);
    CenterOverOwner(dialog);
}

void EnableBtClick(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_BIO_DEVICES);
    if (IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) == BST_CHECKED) {
        EnableWindow(list, TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_BIO_PROMPT), TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), g_selectedItem != -1);
        if (SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0)
            SelectItem(list, 0, true);
    } else {
        EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), g_mode != 0);
        if (g_selectedItem != -1)
            SelectItem(list, g_selectedItem, false);
        ForgetSelection();
        EnableWindow(list, FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_BIO_PROMPT), FALSE);
    }
}

void ChangeOkBtClick(HWND dialog)
{
    if (!g_idle) {
        MessageBeep(MB_OK);
        return;
    }
    g_idle = false;
    if (IsDlgButtonChecked(dialog, IDC_BIO_ENABLE) != BST_CHECKED) {
        g_pendingSize = 0;
        EndDialog(dialog, 1);
        return;
    }
    ReaderHandle *handle = BioInitReader(g_selectedName);
    DiscardPending();
    uint32_t size = 0;
    BOOL enrolled = FALSE;
    if (handle != nullptr) {
        handle->parentWindow = dialog;
        enrolled = BioGetBIR(handle, nullptr, &size);
        if (!enrolled) {
            DWORD error = GetLastError();
            g_pendingSize = kCancelledSize;
            handle->parentWindow = nullptr;
            BioCloseReader(handle);
            SetLastError(error);
            EndDialog(dialog, 0);
            return;
        }
    }
    if (handle == nullptr || size == 0) {
        if (handle != nullptr)
            BioCloseReader(handle);
        g_idle = true;
        g_pendingSize = kCancelledSize;
        char text[kTextSize], caption[kTextSize];
        MessageBoxA(dialog, Text(2540, text), Text(2334, caption), MB_OK | MB_ICONERROR);
        return;
    }
    g_pendingRecord = static_cast<uint8_t *>(std::calloc(1, static_cast<size_t>(size) + 1));
    g_pendingSize = kCancelledSize;
    if (g_pendingRecord != nullptr) {
        uint32_t written = size;
        if (BioGetBIR(handle, g_pendingRecord, &written) && GetLastError() == 0)
            g_pendingSize = written;
        else
            DiscardPending();
    }
    handle->parentWindow = nullptr;
    BioCloseReader(handle);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK ChangeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ChangeInit(dialog);
        return TRUE;
    case WM_NOTIFY:
        if (SelectionChanged(lParam, IDC_BIO_DEVICES))
            EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), TRUE);
        return TRUE;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            if (g_idle) {
                g_pendingSize = kCancelledSize;
                EndDialog(dialog, 0);
            } else {
                MessageBeep(MB_OK);
            }
            return TRUE;
        }
        if (IsOkCommand(message, wParam)) {
            ChangeOkBtClick(dialog);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_BIO_ENABLE && HIWORD(wParam) == BN_CLICKED) {
            EnableBtClick(dialog);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- dialog 108 ---------------------------------------------------------------------------

INT_PTR CALLBACK CaptureProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ForgetSelection();
        HWND list = GetDlgItem(dialog, IDC_BIO_DEVICES);
        if (FillDeviceList(list))
            SelectItem(list, 0, true);
        else
            EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), FALSE);
        SetDialogTexts(dialog, 2344, 2337);
        CenterOverOwner(dialog);
        return TRUE;
    }
    case WM_NOTIFY:
        SelectionChanged(lParam, IDC_BIO_DEVICES);
        return TRUE;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            g_currentDeviceName[0] = 0;
            EndDialog(dialog, 0);
            return TRUE;
        }
        if (IsOkCommand(message, wParam)) {
            LogMessage(kLogStep, "BioCaptureBIR_GUI", "%s", g_selectedName);
            ChooseSelectedDevice(dialog);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- dialogs 103 and 104 ------------------------------------------------------------------

INT_PTR CALLBACK MissingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        ForgetSelection();
        FillDeviceList(GetDlgItem(dialog, IDC_BIO_DEVICES));
        SendDlgItemMessageA(dialog, IDC_BIO_WARNING_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_WARNING)), 0);
        EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), FALSE);
        SetItemText(dialog, IDC_BIO_MISSING_TEXT, 2338);
        char quoted[kReaderNameSize + 3];
        wsprintfA(quoted, "\"%s\"", g_currentDeviceName);
        HDC dc = GetDC(dialog);
        int height = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
        ReleaseDC(dialog, dc);
        HFONT bold = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS Shell Dlg");
        SetPropA(dialog, "BraxialBoldFont", bold);
        SendDlgItemMessageA(dialog, IDC_BIO_MISSING_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
        SetDlgItemTextA(dialog, IDC_BIO_MISSING_NAME, quoted);
        g_currentDeviceName[0] = 0;
        SetDialogTexts(dialog, 2335, 2339);
        CenterOverOwner(dialog);
        return TRUE;
    }
    case WM_DESTROY: {
        HFONT bold = static_cast<HFONT>(RemovePropA(dialog, "BraxialBoldFont"));
        if (bold != nullptr)
            DeleteObject(bold);
        return FALSE;
    }
    case WM_NOTIFY:
        if (SelectionChanged(lParam, IDC_BIO_DEVICES))
            EnableWindow(GetDlgItem(dialog, IDC_BIO_OK), TRUE);
        return TRUE;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        if (IsOkCommand(message, wParam)) {
            ChooseSelectedDevice(dialog);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK NoMatchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, IDC_BIO_ERROR_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_ERROR)), 0);
        MessageBeep(MB_ICONHAND);
        SetTitle(dialog, 2335);
        SetItemText(dialog, IDC_BIO_FAILED_TEXT, 2539);
        SetItemText(dialog, IDC_BIO_TRY_AGAIN, 2020);
        SetItemText(dialog, IDC_BIO_CANCEL, 2002);
        CenterOverOwner(dialog);
        SetFocus(GetDlgItem(dialog, IDC_BIO_TRY_AGAIN));
        return FALSE;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        if (IsCloseCommand(message, wParam)) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (message == WM_COMMAND && (LOWORD(wParam) == IDC_BIO_TRY_AGAIN || LOWORD(wParam) == IDOK)) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The copy call of the two-call pattern.
BOOL CopyPending(uint8_t *buffer, uint32_t *size)
{
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (g_pendingRecord != nullptr && *size < g_pendingSize) {
        DiscardPending();
        g_pendingSize = 0;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (g_pendingRecord != nullptr && g_pendingSize != 0)
        std::memcpy(buffer, g_pendingRecord, g_pendingSize);
    *size = g_pendingSize;
    DiscardPending();
    g_pendingSize = 0;
    SetLastError(0);
    return TRUE;
}

// Captures one sample on `handle` into the pending record; its size goes to `size` when given.
bool CaptureIntoPending(ReaderHandle *handle, HWND parent, uint32_t *size)
{
    handle->parentWindow = parent;
    uint32_t needed = 0;
    bool ok = BioCaptureBIR(handle, nullptr, &needed) && needed != 0;
    if (ok) {
        DiscardPending();
        g_pendingRecord = static_cast<uint8_t *>(std::calloc(1, needed));
        ok = g_pendingRecord != nullptr;
        if (ok) {
            uint32_t written = needed;
            ok = BioCaptureBIR(handle, g_pendingRecord, &written) && GetLastError() == 0;
            g_pendingSize = written;
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
    return captured && BioCompareBIRS(g_pendingRecord, g_pendingSize, stored, storedLength);
}

// Dialog 104; true when the user asks to try again.
bool TryAgain(HWND parent)
{
    return DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(IDD_BIO_NO_MATCH), parent, NoMatchProc, 0) == 0;
}

// A match: the captured sample stays pending only for a caller that asked for its size.
BOOL Verified(uint32_t *size)
{
    if (size == nullptr)
        DiscardPending();
    SetLastError(0);
    return TRUE;
}

HMODULE StringModule(HMODULE given)
{
    return given != nullptr ? given : g_braxialInstance;
}

}  // namespace

extern "C" {

BOOL __stdcall BioGetBIR_GUI(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size, int mode)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioGetBIR_GUI");
    g_stringModule = StringModule(resources);
    if (buffer != nullptr) {
        if (g_pendingRecord == nullptr) {
            if (size == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            if (g_pendingSize == kCancelledSize) {
                SetLastError(ERROR_CANCELLED);
                return FALSE;
            }
            *size = g_pendingSize;
            SetLastError(0);
            return TRUE;
        }
        return CopyPending(buffer, size);
    }
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DiscardPending();
    g_mode = mode;
    g_pendingSize = kCancelledSize;
    DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(IDD_BIO_CHANGE), parent, ChangeProc, 0);
    LogMessage(kLogStep, "BioGetBIR_GUI", " after selection - bir size%d", static_cast<int>(g_pendingSize));
    if (g_pendingSize == kCancelledSize) {
        LogMessage(kLogStep, "BioGetBIR_GUI", " user cancelled ");
        DiscardPending();
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    *size = g_pendingSize;
    SetLastError(0);
    return TRUE;
}

BOOL __stdcall BioCaptureBIR_GUI(HMODULE resources, HWND parent, uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioCaptureBIR_GUI");
    g_stringModule = StringModule(resources);
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer != nullptr) {
        if (g_pendingRecord == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return CopyPending(buffer, size);
    }
    DiscardPending();
    g_currentDeviceName[0] = 0;
    DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(IDD_BIO_CAPTURE), parent, CaptureProc, 0);
    if (g_currentDeviceName[0] == 0) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    ReaderHandle *handle = BioInitReader(g_currentDeviceName);
    if (handle == nullptr)
        return FALSE;
    bool ok = CaptureIntoPending(handle, parent, size);
    DWORD error = GetLastError();
    BioCloseReader(handle);
    if (!ok)
        DiscardPending();
    SetLastError(ok ? 0 : error);
    return ok ? TRUE : FALSE;
}

BOOL __stdcall BioVerifyBIR_GUI(HMODULE resources, HWND parent, const uint8_t *stored, uint32_t storedLength,
                                uint8_t *buffer, uint32_t *size)
{
    LogMessage(kLogDetail, BRAXIAL_LOG, "Call BioVerifyBIR_GUI");
    g_stringModule = StringModule(resources);
    if (buffer != nullptr) {
        if (g_pendingRecord == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return CopyPending(buffer, size);
    }
    if (stored == nullptr || storedLength == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DiscardPending();
    RebuildReaderTable();
    char name[kReaderNameSize] = {};
    ReaderHandle *handle = nullptr;
    uint32_t nameSize = kReaderNameSize;
    if (BirStringHasTag(stored, storedLength, "BioAPI")) {
        if (g_bioApiBackEnd.GetBIRDeviceName(stored, storedLength, name, &nameSize))
            handle = BioInitReader(name);
    } else if (BirStringHasTag(stored, storedLength, "HA_API")) {
        if (g_haApiBackEnd.GetBIRDeviceName(stored, storedLength, name, &nameSize))
            handle = BioInitReader(name);
    }
    lstrcpynA(g_currentDeviceName, name, kReaderNameSize);

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
            if (!TryAgain(parent))
                break;
            RebuildReaderTable();
            handle = BioInitReader(name);
            if (handle == nullptr)
                break;
        }
    } else {
        // It is not: the user picks another device in dialog 103 (which can only match when it
        // carries the recorded name).
        for (;;) {
            if (DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(IDD_BIO_VERIFY_MISSING), parent, MissingProc, 0) != 1 ||
                g_currentDeviceName[0] == 0)
                break;
            handle = BioInitReader(g_currentDeviceName);
            if (handle != nullptr) {
                LogMessage(kLogStep, "BioVerifyBIR_GUI", "Call BioCaptureBIR");
                if (CaptureCloseCompare(handle, parent, size, stored, storedLength))
                    return Verified(size);
            }
            if (!TryAgain(parent))
                break;
        }
    }
    if (size == nullptr)
        DiscardPending();
    SetLastError(ERROR_INTERNAL_ERROR);  // 1359: the user gave up
    return FALSE;
}

}  // extern "C"
