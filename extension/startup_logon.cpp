// The start-up logon: one component per Windows logon, the Key access layer started, the wait for
// a Key, its PIN, the record read and the client switched to the ID from the Key.
#include <cstring>

#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "key_messages.h"
#include "log.h"
#include "logon_rules.h"
#include "logon_state.h"
#include "pin_dialog.h"
#include "text_ids.h"
#include "tolvik_key.h"

namespace {

const char kMappingName[] = "Sentrio";
const char kLogonSemaphoreName[] = "SNTR_dll";
constexpr DWORD kMappingSize = 256;
constexpr DWORD kStartWaitMs = 15000;   // for the Key library, then for the first Key event
constexpr DWORD kSettleMs = 500;        // lets the monitor finish the event that woke the logon

std::string StatusText(STATUS status)
{
    return NotesStatusText(status, STATUS_TEXT_SIZE);
}

void ClearKeyFlags()
{
    LogonState &s = State();
    SetFlag(s.bPinAccepted, false);
    SetFlag(s.bDataLoaded, false);
    SetFlag(s.bKeyBound, false);
    SetFlag(s.bWorkingWithKey, false);
}

// The read failed or the Key could not be opened: reported once, with the Key's reason.
bool ReportReadFailure(const char *why)
{
    LogonState &s = State();
    CloseWaitWindow();
    LogMessage(kLogError, kLogModule, "GetDataFromKSD:Read Reader: %s, wDataSize = %lu", s.sReaderName,
               static_cast<unsigned long>(s.keyData.wDataSize));
    if (Key().GetKeyInfo(s.sReaderName, nullptr, nullptr, nullptr) == csBlocked) {
        ErrorBox(Text(IDS_KSD_IN_PREFIX) + s.sReaderName + Text(IDS_IS_BLOCKED_SUFFIX));
        SetFlag(s.bErrorShown, true);
        LogMessage(kLogStep, kLogModule, "GetDataFromKSD:Read status = csBlocked");
        return false;
    }
    char text[256] = "";
    bool hasText = why != nullptr ? (CopyCut(text, sizeof text, why), true) : Key().GetErrorText(s.sReaderName, text);
    if (!IsSet(s.bErrorShown) && hasText)
        ErrorBox(Text(IDS_ERROR_READING_KSD) + "\n\n" + text);
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD:Read %s", text);
    ClearKeyFlags();
    SetFlag(s.bErrorShown, true);
    return false;
}

}  // namespace

void WriteKeyFileName(const char *value)
{
    OSSetEnvironmentVariable(NOTES_INI_KEYFILENAME, value);
}

WORD GetNotesVersion()
{
    DBHANDLE db = 0;
    STATUS status = NSFDbOpen(nullptr, &db);
    if (status != NOERROR) {
        ErrorBox(TextF(IDS_NOTES_VERSION_OPEN_ERROR, StatusText(status).c_str()));
        return 0;
    }
    WORD build = 0;
    status = NSFDbGetBuildVersion(db, &build);
    NSFDbClose(db);
    if (status != NOERROR) {
        ErrorBox(TextF(IDS_NOTES_VERSION_BUILD_ERROR, StatusText(status).c_str()));
        return 0;
    }
    LogMessage(kLogStep, kLogModule, "GetNotesVersion - Exit <%d>", build);
    return build;
}

PinLoopEnd RunPinLoop(const char *label)
{
    LogonState &s = State();
    for (;;) {
        TPINDlg prompt;
        prompt.lengthLimit = static_cast<int>(InterlockedCompareExchange(&s.pinLengthLimit, 0, 0));
        prompt.length = s.pinLength;
        prompt.label = label;
        prompt.shownWindow = &s.hPinPrompt;
        SetFlag(s.bPinPrompt, true);
        int result = prompt.Show(s.instance);
        SetFlag(s.bPinPrompt, false);
        s.pinLength = prompt.length;
        CopyCut(s.sPinEdit, sizeof s.sPinEdit, prompt.pin.c_str());
        if (result < 0)
            return PinLoopEnd::kWithoutKey;  // no prompt could be shown: the client goes on alone
        switch (JudgePinEntry(result, prompt.pin.c_str())) {
        case PinVerdict::kAccept:
            CopyCut(s.sPin, sizeof s.sPin, prompt.pin.c_str());
            SetFlag(s.bPinAccepted, true);
            return PinLoopEnd::kAccepted;
        case PinVerdict::kTooShort:
            ErrorBox(Text(IDS_PIN_TOO_SHORT));
            break;
        case PinVerdict::kRequired:
            ErrorBox(Text(IDS_PIN_REQUIRED));
            break;
        case PinVerdict::kWithoutKey:
            return PinLoopEnd::kWithoutKey;
        }
    }
}

bool GetDataFromKSD()
{
    LogonState &s = State();
    ShowWaitWindow();
    std::string caption = TextF(IDS_BIR_VERIFY_CAPTION, "Morvath");
    if (!Key().VerifyBioID(s.sReaderName, s.instance, GetWindowHandle(s.hWait), caption.c_str())) {
        if (Key().GetKeyInfo(s.sReaderName, nullptr, nullptr, nullptr) == csBioFailed) {
            CloseWaitWindow();
            ErrorBox(Text(IDS_BIO_VERIFY_FAILED));
            SetFlag(s.bDataLoaded, false);
            return false;
        }
        // The Key could not be opened at all (a refused PIN, say): that is the read's failure,
        // reported without trying the PIN a second time.
        s.keyData.wDataSize = 0;
        return ReportReadFailure(nullptr);
    }

    LogonRecordError why = LogonRecordError::kNone;
    switch (ReadNotesKeyData(Key(), s.sReaderName, &s.keyData, &why)) {
    case KeyDataRead::kReadFailed:
        return ReportReadFailure(nullptr);
    case KeyDataRead::kUnreadable:
        return ReportReadFailure(LogonRecordErrorText(why));
    case KeyDataRead::kEmpty:
        CloseWaitWindow();
        LogMessage(kLogStep, kLogModule, "GetDataFromKSD - False");
        return false;
    case KeyDataRead::kRead:
        break;
    }
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD : Data Readed %lu length",
               static_cast<unsigned long>(s.keyData.wDataSize));
    const NotesLogonRecord &record = s.keyData.record;
    CopyCut(s.sUserName, sizeof s.sUserName, record.sUserName);
    CopyCut(s.sPassword, sizeof s.sPassword, record.sPassword);
    CopyCut(s.sIDFileName, sizeof s.sIDFileName, record.sIDFileName);

    char keyFileName[MAXENVVALUE] = "";
    OSGetEnvironmentString(NOTES_INI_KEYFILENAME, keyFileName, sizeof keyFileName);
    char idPath[sizeof s.sIDPath] = "", oldName[sizeof s.sOldKeyFileName] = "";
    if (!MaterialiseIdFile(s.keyData, keyFileName, idPath, sizeof idPath, oldName, sizeof oldName)) {
        ErrorBox(Text(IDS_ERROR_OPENING_TEMP_ID_FILE));
        SetFlag(s.bDataLoaded, false);
        return false;
    }
    // notes.ini still naming the temporary ID (a read while switched to it) is not the user's own.
    if (!(s.sIDPath[0] != 0 && lstrcmpiA(keyFileName, s.sIDPath) == 0 && s.sOldKeyFileName[0] != 0))
        CopyCut(s.sOldKeyFileName, sizeof s.sOldKeyFileName, oldName);
    CopyCut(s.sIDPath, sizeof s.sIDPath, idPath);
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD: sOldKeyFileName = %s", s.sOldKeyFileName);
    SetFlag(s.bDataLoaded, true);
    CloseWaitWindow();
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD - True");
    return true;
}

STATUS LNPUBLIC MainEntryPoint(void)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "MainEntryPoint - Begin");
    HANDLE existing = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kMappingName);
    if (existing != nullptr) {
        CloseHandle(existing);
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit (Already Inited) ");
        return NOERROR;
    }
    s.hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, kMappingSize,
                                    kMappingName);
    s.wNotesBuild = GetNotesVersion();
    WatchClientEnd();

    // Made before the Key layer starts, so that a first Key event during the start is never lost.
    if (s.hSemaphore == nullptr)
        s.hSemaphore = CreateSemaphoreA(nullptr, 0, 255, kLogonSemaphoreName);

    ShowWaitWindow();
    HANDLE initDone = Key().StartInit(kAppNotes);
    if (initDone != INVALID_HANDLE_VALUE && initDone != nullptr)
        WaitServingMessages(initDone, kStartWaitMs);
    if (!Key().IsLoaded()) {
        ErrorBox(Text(IDS_ERROR_LOADING_QUOREL));
        return NOERROR;
    }
    if (!IsSet(s.bKeyBound))
        WaitServingMessages(s.hSemaphore, kStartWaitMs);

    CloseWaitWindow();
    WaitServingMessages(nullptr, kSettleMs);
    int state = Key().GetKeyInfo(s.sReaderName, nullptr, nullptr, s.KSDLabel);
    LogMessage(kLogStep, kLogModule, "MainEntryPoint - csStatus = %d KSDLabel=%s", state, s.KSDLabel);
    if (s.KSDLabel[0] == 0 && s.sReaderName[0] != 0) {
        Key().GetKSD_ID(s.sReaderName, s.KSDLabel, sizeof s.KSDLabel);
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - csStatus = %d KSDLabel=%s", state, s.KSDLabel);
    }

    if (state == csNeedPIN) {
        if (RunPinLoop(s.KSDLabel) == PinLoopEnd::kWithoutKey) {
            SetFlag(s.bWorkingWithKey, false);
            SetFlag(s.bLogonDone, false);
            return NOERROR;
        }
        Key().SetPIN(s.sReaderName, s.sPin);
    } else if (state == csReady) {
        SetFlag(s.bPinAccepted, true);
    } else {
        ClearKeyFlags();
        // A Key problem already reported (a blocked Key, say) is not reported again as no Key.
        if (!IsSet(s.bErrorShown))
            ErrorBox(Text(IDS_KSD_NOT_FOUND));
        return NOERROR;
    }

    if (!IsSet(s.bDataLoaded) && !GetDataFromKSD()) {
        if (!IsSet(s.bErrorShown))
            ErrorBox(Text(IDS_ERROR_READING_KSD));
        return NOERROR;
    }

    if (SwitchToKeyId("MainEntryPoint") != NOERROR) {
        // Nothing will open the temporary ID: it is not left behind on disk.
        DeleteFileA(s.sIDPath);
        return NOERROR;
    }

    CloseWaitWindow();
    SetFlag(s.bErrorShown, false);
    STATUS status = RegisterExtHandlers();
    if (status != NOERROR) {
        ErrorBox(Text(IDS_EXT_REGISTER_FAILED));
        return status;
    }
    SetFlag(s.bLogonDone, true);
    s.dwLogonTick = GetTickCount();
    LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit");
    return NOERROR;
}
