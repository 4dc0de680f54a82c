// The start-up logon's pieces: one component per Windows logon, the PIN prompt's loop, the Key's
// record read and its ID file materialised, the client's build. The sequence itself is the Key
// session's (key_session.cpp).
#include <cstring>

#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "key_messages.h"
#include "key_session.h"
#include "log.h"
#include "logon_rules.h"
#include "logon_state.h"
#include "pin_dialog.h"
#include "session_journal.h"
#include "text_ids.h"
#include "tolvik_key.h"

namespace {

const char kMappingName[] = "Sentrio";
constexpr DWORD kMappingSize = 256;

std::string StatusText(STATUS status)
{
    return NotesStatusText(status, STATUS_TEXT_SIZE);
}

// The read failed or the Key could not be opened: reported once, with the Key's reason.
bool ReportReadFailure(const char *reader, const char *why)
{
    LogonState &s = State();
    CloseWaitWindow();
    LogMessage(kLogError, kLogModule, "GetDataFromKSD:Read Reader: %s, wDataSize = %lu", reader,
               static_cast<unsigned long>(s.keyData.wDataSize));
    if (Key().GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBlocked) {
        ErrorBox(Text(IDS_KSD_IN_PREFIX) + reader + Text(IDS_IS_BLOCKED_SUFFIX));
        Session().NoteErrorShown();
        LogMessage(kLogStep, kLogModule, "GetDataFromKSD:Read status = csBlocked");
        return false;
    }
    char text[256] = "";
    bool hasText = why != nullptr ? (CopyCut(text, sizeof text, why), true) : Key().GetErrorText(reader, text);
    // Said once, with the Key's reason when it gives one: a failed read is never silent.
    if (!Session().ErrorShown())
        ErrorBox(hasText ? Text(IDS_ERROR_READING_KSD) + "\n\n" + text : Text(IDS_ERROR_READING_KSD));
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD:Read %s", text);
    Session().NoteErrorShown();
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
    if (NotesHandleIsWide(db))
        LogMessage(kLogDetail, kLogModule, "GetNotesVersion : database handle wider than 32 bits, kept whole");
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
        int result = prompt.Show(s.instance);
        s.pinLength = prompt.length;
        CopyCut(s.sPinEdit, sizeof s.sPinEdit, prompt.pin.c_str());
        if (result < 0)
            return PinLoopEnd::kWithoutKey;  // no prompt could be shown: the client goes on alone
        if (Session().Stopping() || Session().PulledDuringFlow())
            return PinLoopEnd::kWithoutKey;  // cancelled by the client's end or a pull: the caller knows
        switch (JudgePinEntry(result, prompt.pin.c_str())) {
        case PinVerdict::kAccept:
            CopyCut(s.sPin, sizeof s.sPin, prompt.pin.c_str());
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

bool GetDataFromKSD(const char *reader)
{
    LogonState &s = State();
    ShowWaitWindow();
    std::string caption = TextF(IDS_BIR_VERIFY_CAPTION, "Morvath");
    if (!Key().VerifyBioID(reader, s.instance, GetWindowHandle(s.hWait), caption.c_str())) {
        if (Key().GetKeyInfo(reader, nullptr, nullptr, nullptr) == csBioFailed) {
            CloseWaitWindow();
            ErrorBox(Text(IDS_BIO_VERIFY_FAILED));
            return false;
        }
        // The Key could not be opened at all (a refused PIN, say): that is the read's failure,
        // reported without trying the PIN a second time.
        s.keyData.wDataSize = 0;
        return ReportReadFailure(reader, nullptr);
    }

    LogonRecordError why = LogonRecordError::kNone;
    switch (ReadNotesKeyData(Key(), reader, &s.keyData, &why)) {
    case KeyDataRead::kReadFailed:
        return ReportReadFailure(reader, nullptr);
    case KeyDataRead::kUnreadable:
        return ReportReadFailure(reader, LogonRecordErrorText(why));
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
    // notes.ini still naming the temporary ID (a read while switched to it) is not the user's own.
    bool onKeyId = s.bOldKeyFileNameKept && s.sIDPath[0] != 0 && lstrcmpiA(keyFileName, s.sIDPath) == 0;
    const char *previous = onKeyId ? s.sOldKeyFileName : keyFileName;

    // The ID file goes into a folder of its own, which only the user may enter; the journal names
    // it before it exists, so that a client killed from here on leaves nothing a start misses.
    char folder[MAX_PATH] = "", idPath[sizeof s.sIDPath] = "";
    bool made = IsPlainIdFileName(record.sIDFileName) && MakeSessionFolder(folder, sizeof folder) &&
                std::strlen(folder) + std::strlen(record.sIDFileName) < sizeof idPath;
    if (made) {
        FormatCut(idPath, sizeof idPath, "%s%s", folder, record.sIDFileName);
        WriteJournal(previous, idPath);
        made = MaterialiseIdFileIn(s.keyData, folder, idPath, sizeof idPath);
    }
    if (!made) {
        LogMessage(kLogError, kLogModule, "GetDataFromKSD - ID file not made in <%s> (error %lu)", folder,
                   static_cast<unsigned long>(GetLastError()));
        if (folder[0] != 0) {
            RemoveDirectoryA(folder);
            if (!onKeyId)
                ClearJournal();
            else
                WriteJournal(s.sOldKeyFileName, s.sIDPath);  // the ID the client still runs on
        }
        ErrorBox(Text(IDS_ERROR_OPENING_TEMP_ID_FILE));
        return false;
    }
    if (!onKeyId) {
        CopyCut(s.sOldKeyFileName, sizeof s.sOldKeyFileName, keyFileName);
        s.bOldKeyFileNameKept = true;
    }
    CopyCut(s.sIDPath, sizeof s.sIDPath, idPath);
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD: sOldKeyFileName = %s", s.sOldKeyFileName);
    CloseWaitWindow();
    LogMessage(kLogStep, kLogModule, "GetDataFromKSD - True");
    return true;
}

void ForgetKeyData()
{
    LogonState &s = State();
    SecureZeroMemory(s.sPin, sizeof s.sPin);
    SecureZeroMemory(s.sPinEdit, sizeof s.sPinEdit);
    SecureZeroMemory(s.sPassword, sizeof s.sPassword);
    SecureZeroMemory(&s.keyData, sizeof s.keyData);
}

STATUS LNPUBLIC MainEntryPoint(void)
{
    LogonState &s = State();
    LogMessage(kLogStep, kLogModule, "MainEntryPoint - Begin");
    if (Session().State() != SessionState::kLoaded) {
        // The client called the entry a second time: one Key session per process.
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit (Already Inited) ");
        return NOERROR;
    }
    // Whatever this start becomes (with the Key or without, active or passive): a session that a
    // killed or crashed client left behind is put right first.
    RepairLeftoverSession();
    HANDLE existing = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kMappingName);
    if (existing != nullptr) {
        CloseHandle(existing);
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit (Already Inited) ");
        Session().BecomePassive();
        return NOERROR;
    }
    // Two clients started at the same moment may both have found no marker: the one whose create
    // found it made already stays passive.
    s.hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, kMappingSize,
                                    kMappingName);
    if (s.hMapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(s.hMapping);
        s.hMapping = nullptr;
        LogMessage(kLogStep, kLogModule, "MainEntryPoint - Exit (Already Inited) ");
        Session().BecomePassive();
        return NOERROR;
    }
    return Session().Start();
}
