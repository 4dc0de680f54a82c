// The Key commands of the tools popup: change the PIN or the biometric identifier, save the ID file
// onto the Key, stop and resume working with the Key, help and About.
#include "tools_commands.h"

#include <string>

#include "about_binding.h"
#include "client_window.h"
#include "common_ui.h"
#include "cut_format.h"
#include "extension.h"
#include "html_help.h"
#include "log.h"
#include "logon_rules.h"
#include "logon_state.h"
#include "module_activation.h"
#include "notes_key_data.h"
#include "pin_dialog.h"
#include "text_ids.h"
#include "tolvik_key.h"

namespace {

const char kMaker[] = "Morvath";
constexpr std::size_t kToolsLabelSize = 129;  // the tools label, at most 128 characters

// A plain box with the product caption and an OK button.
void InformBox(HWND owner, const std::string &text)
{
    ModuleActivation activation;  // the DLL's boxes in common controls 6, as its dialogs
    MessageBoxA(owner, text.c_str(), ProductCaption().c_str(), MB_OK);
}

bool AskYesNo(HWND owner, const std::string &text)
{
    ModuleActivation activation;  // the DLL's boxes in common controls 6, as its dialogs
    return MessageBoxA(owner, text.c_str(), ProductCaption().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// One of the change-PIN prompts (mode 6 or 7) with the change-PIN length limit. Its PIN, or false
// on Cancel (or when no prompt could be shown).
bool AskNewPin(int mode, std::string *pin)
{
    LogonState &s = State();
    TPINDlg prompt;
    prompt.mode = mode;
    InterlockedExchange(&s.pinLengthLimit, kNewPinLengthLimit);
    prompt.lengthLimit = kNewPinLengthLimit;
    prompt.length = -1;  // an empty entry is an answer here
    prompt.shownWindow = &s.hPinPrompt;
    SetFlag(s.bNewPinPrompt, true);
    SetFlag(s.bPinPrompt, true);
    int result = prompt.Show(s.instance);
    SetFlag(s.bPinPrompt, false);
    SetFlag(s.bNewPinPrompt, false);
    if (result != kPinOk && result != kPinOkEmpty)
        return false;
    *pin = prompt.pin;
    return true;
}

// The flags a failed "Work with KSD" gives back.
struct FlagSnapshot {
    LONG pinAccepted, dataLoaded, workingWithKey, logonDone, errorShown;

    static FlagSnapshot Take()
    {
        LogonState &s = State();
        return {IsSet(s.bPinAccepted), IsSet(s.bDataLoaded), IsSet(s.bWorkingWithKey), IsSet(s.bLogonDone),
                IsSet(s.bErrorShown)};
    }
    void Restore() const
    {
        LogonState &s = State();
        SetFlag(s.bPinAccepted, pinAccepted != 0);
        SetFlag(s.bDataLoaded, dataLoaded != 0);
        SetFlag(s.bWorkingWithKey, workingWithKey != 0);
        SetFlag(s.bLogonDone, logonDone != 0);
        SetFlag(s.bErrorShown, errorShown != 0);
    }
};

}  // namespace

void ChangePinCommand()
{
    LogonState &s = State();
    std::string newPin;
    for (;;) {
        if (!AskNewPin(TPINDlg::kModeNewPin, &newPin))
            return;
        if (!newPin.empty() && newPin.size() < kMinPinLength) {
            ErrorBox(Text(IDS_PIN_TOO_SHORT));
            continue;
        }
        if (newPin.empty())
            break;  // removes the PIN: nothing to confirm
        std::string confirmation;
        if (!AskNewPin(TPINDlg::kModeConfirmPin, &confirmation))
            return;
        if (confirmation == newPin)
            break;
        ErrorBox(Text(IDS_PIN_CONFIRM_MISMATCH));
    }
    LogMessage(kLogStep, kLogModule, "SentrioTools : ChangePIN <%s>", s.sReaderName);
    if (!Key().ChangePIN(s.sReaderName, newPin.c_str())) {
        // The Key kept its PIN (or could not be reached): said so, with the Key's own reason.
        std::string text = Text(IDS_ERROR_CHANGING_PIN);
        char keyText[256] = "";
        if (Key().GetErrorText(s.sReaderName, keyText))
            text += std::string("\n\n") + keyText;
        ErrorBox(text);
        return;
    }
    InformBox(GetFocus(), Text(IDS_PIN_CHANGED));
    CopyCut(s.sPin, sizeof s.sPin, newPin.c_str());
    Key().SetPIN(s.sReaderName, s.sPin);
    SetFlag(s.bPinAccepted, true);
}

void ChangeBioIdCommand(HWND window)
{
    LogonState &s = State();
    std::string caption = TextF(IDS_CHANGE_BIO_CAPTION, kMaker);
    int result = Key().ChangeBioID(s.sReaderName, s.instance, window, caption.c_str());
    LogMessage(kLogStep, kLogModule, "SentrioTools : ChangeBioID = %d", result);
}

void SaveIdFileCommand(HWND owner)
{
    LogonState &s = State();
    char directory[MAXENVVALUE] = "", keyFileName[MAXENVVALUE] = "";
    OSGetEnvironmentString(NOTES_INI_DIRECTORY, directory, sizeof directory);
    OSGetEnvironmentString(NOTES_INI_KEYFILENAME, keyFileName, sizeof keyFileName);
    char path[MAXENVVALUE] = "";
    if (!JoinIdFilePath(directory, keyFileName, path, sizeof path)) {
        // Cut, the path would name some other file: refused before anything is asked or read.
        LogMessage(kLogError, kLogModule, "SentrioTools : ID file path too long <%s><%s>", directory, keyFileName);
        ErrorBox(Text(IDS_ERROR_READING_ID_FILE));
        return;
    }
    SECKFMGetUserName(s.sUserName);
    if (!AskYesNo(owner, TextF(IDS_SAVE_ID_FILE_QUESTION, path, s.sUserName) + "\n\n" + Text(IDS_ARE_YOU_SURE)))
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorBox(Text(IDS_ERROR_READING_ID_FILE));
        return;
    }
    CloseHandle(file);
    ShowWaitWindow();
    char report[1024] = "";
    bool written = WriteNotesKeyDataFromFile(Key(), s.sReaderName, s.sUserName, s.sPassword, s.sIDFileName, path,
                                             report, sizeof report);
    CloseWaitWindow();
    if (!written) {
        LogMessage(kLogStep, kLogModule, "ExtHandlerSetPassword:Write %s ", report);
        ErrorBox(report);
        return;
    }
    InformBox(GetFocus(), Text(IDS_ID_FILE_SAVED));
}

void WorkWithoutKeyCommand(HWND owner)
{
    LogonState &s = State();
    char label[kToolsLabelSize] = "";
    CopyCut(label, sizeof label, TextF(IDS_TOOLS_MENU, kMaker).c_str());
    if (!AskYesNo(owner, TextF(IDS_STOP_KSD_QUESTION, label)))
        return;
    bool newer = NewerClient();
    InformBox(owner, TextF(newer ? IDS_SWITCH_ID_HINT_190 : IDS_SWITCH_ID_HINT, label));

    ExtClear();
    SetFlag(s.bPinAccepted, false);
    SetFlag(s.bDataLoaded, false);
    SetFlag(s.bWorkingWithKey, false);
    if (s.sOldKeyFileName[0] != 0)
        WriteKeyFileName(s.sOldKeyFileName);
    LogMessage(kLogStep, kLogModule, "SentrioTools : Work without KSD");

    // File, Tools (older builds) or Security, Switch ID: the user picks another ID file there.
    if (owner != nullptr)
        SetForegroundWindow(owner);
    PressKey(VK_MENU);
    PressKey('F');
    PressKey(newer ? 'Y' : 'T');
    PressKey('W');
}

void WorkWithKeyCommand()
{
    LogonState &s = State();
    FlagSnapshot before = FlagSnapshot::Take();
    char label[kLabelSize] = "";
    int state = Key().GetKeyInfo(s.sReaderName, nullptr, nullptr, label);
    if (state == csNeedPIN) {
        if (label[0] == 0)
            Key().GetKSD_ID(s.sReaderName, label, sizeof label);
        if (RunPinLoop(label) == PinLoopEnd::kWithoutKey) {
            SetFlag(s.bWorkingWithKey, false);
            return;
        }
        Key().SetPIN(s.sReaderName, s.sPin);
    } else {
        SetFlag(s.bPinAccepted, true);
    }

    if (!IsSet(s.bDataLoaded) && !GetDataFromKSD()) {
        if (!IsSet(s.bErrorShown))
            ErrorBox(Text(IDS_ERROR_READING_KSD));
        return;
    }
    if (SwitchToKeyId("SentrioTools") != NOERROR)
        return;
    SetFlag(s.bErrorShown, false);
    if (RegisterExtHandlers() != NOERROR) {
        // The registration said so in its own box. Nothing of the Key is left in use: a handler
        // registered before the failure goes, notes.ini and the temporary ID are put back, and
        // the flags are those the command found.
        ExtClear();
        before.Restore();
        LogMessage(kLogError, kLogModule, "SentrioTools : handlers not registered, flags restored");
        return;
    }
    SetFlag(s.bWorkingWithKey, true);
    SetFlag(s.bLogonDone, true);
    LogMessage(kLogStep, kLogModule, "SentrioTools : Work with KSD");
    PressKey(VK_RETURN);
}

void HelpCommand()
{
    HWND help = ShowHelpContext(State().sHelpFile, kToolsHelpContext);
    LogMessage(kLogStep, kLogModule, "SentrioTools : help <%s> %d = %p", State().sHelpFile,
               static_cast<int>(kToolsHelpContext), static_cast<void *>(help));
}

void AboutCommand(HWND window)
{
    static const char *const kModules[] = {"Tolvik.dll", "TolvikM.dll", "Quorel32.dll", "Ostrel.dll",
                                           "Tabrix.dll", "Braxial.dll", nullptr};
    RunAboutCommand(State().instance, window, kModules);
}
