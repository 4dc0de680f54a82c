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
#include "key_session.h"
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
// on Cancel (or when no prompt could be shown, or a pull cancelled it).
bool AskNewPin(int mode, std::string *pin)
{
    LogonState &s = State();
    TPINDlg prompt;
    prompt.mode = mode;
    InterlockedExchange(&s.pinLengthLimit, kNewPinLengthLimit);
    prompt.lengthLimit = kNewPinLengthLimit;
    prompt.length = -1;  // an empty entry is an answer here
    prompt.shownWindow = &s.hPinPrompt;
    int result = prompt.Show(s.instance);
    if (result != kPinOk && result != kPinOkEmpty) {
        SecureZeroMemory(&prompt.pin[0], prompt.pin.size());
        return false;
    }
    *pin = prompt.pin;
    SecureZeroMemory(&prompt.pin[0], prompt.pin.size());
    return true;
}

// A command runs for the Key the client's ID came from. Its copy of that Key's reader is taken
// when it starts; before it touches the Key it checks that the session is still on that Key's ID
// (a pull or a stop may have ended it while its dialogs were open) and refuses otherwise.
bool StillOnKey(const KeySession::Ticket &key)
{
    if (Session().StillOnKey(key))
        return true;
    LogMessage(kLogStep, kLogModule, "SentrioTools : the Key session changed (%s): command refused",
               SessionStateName(Session().State()));
    if (!Session().Stopping() && !Session().PulledDuringFlow())
        ErrorBox(Text(IDS_KSD_NOT_FOUND));
    return false;
}

void WipeString(std::string *text)
{
    if (!text->empty())
        SecureZeroMemory(&(*text)[0], text->size());
    text->clear();
}

}  // namespace

void ChangePinCommand()
{
    LogonState &s = State();
    KeySession::Flow flow(Session());
    KeySession::Ticket key = Session().CurrentKey();
    const std::string &reader = key.reader;
    if (!StillOnKey(key))
        return;
    std::string newPin, confirmation;
    for (;;) {
        if (!AskNewPin(TPINDlg::kModeNewPin, &newPin))
            return;
        if (!newPin.empty() && newPin.size() < kMinPinLength) {
            ErrorBox(Text(IDS_PIN_TOO_SHORT));
            continue;
        }
        if (newPin.empty())
            break;  // removes the PIN: nothing to confirm
        bool answered = AskNewPin(TPINDlg::kModeConfirmPin, &confirmation);
        if (!answered) {
            WipeString(&newPin);
            return;
        }
        bool same = confirmation == newPin;
        WipeString(&confirmation);
        if (same)
            break;
        ErrorBox(Text(IDS_PIN_CONFIRM_MISMATCH));
    }
    if (!StillOnKey(key)) {
        WipeString(&newPin);
        return;
    }
    LogMessage(kLogStep, kLogModule, "SentrioTools : ChangePIN <%s>", reader.c_str());
    if (!Key().ChangePIN(reader.c_str(), newPin.c_str())) {
        WipeString(&newPin);
        if (Session().KeyLeftDuringFlow(reader))
            return;  // the Key was pulled: the lock follows at once
        // The Key kept its PIN (or could not be reached): said so, with the Key's own reason.
        std::string text = Text(IDS_ERROR_CHANGING_PIN);
        char keyText[256] = "";
        if (Key().GetErrorText(reader.c_str(), keyText))
            text += std::string("\n\n") + keyText;
        ErrorBox(text);
        return;
    }
    CopyCut(s.sPin, sizeof s.sPin, newPin.c_str());
    WipeString(&newPin);
    Key().SetPIN(reader.c_str(), s.sPin);
    InformBox(GetFocus(), Text(IDS_PIN_CHANGED));
}

void ChangeBioIdCommand(HWND window)
{
    LogonState &s = State();
    KeySession::Flow flow(Session());
    KeySession::Ticket key = Session().CurrentKey();
    const std::string &reader = key.reader;
    if (!StillOnKey(key))
        return;
    std::string caption = TextF(IDS_CHANGE_BIO_CAPTION, kMaker);
    int result = Key().ChangeBioID(reader.c_str(), s.instance, window, caption.c_str());
    LogMessage(kLogStep, kLogModule, "SentrioTools : ChangeBioID = %d", result);
}

void SaveIdFileCommand(HWND owner)
{
    LogonState &s = State();
    KeySession::Flow flow(Session());
    KeySession::Ticket key = Session().CurrentKey();
    const std::string &reader = key.reader;
    if (!StillOnKey(key))
        return;
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
    char userName[MAXUSERNAME + 1] = "";
    SECKFMGetUserName(userName);
    if (!AskYesNo(owner, TextF(IDS_SAVE_ID_FILE_QUESTION, path, userName) + "\n\n" + Text(IDS_ARE_YOU_SURE)))
        return;
    if (!StillOnKey(key))
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
    bool written = WriteNotesKeyDataFromFile(Key(), reader.c_str(), userName, s.sPassword, s.sIDFileName, path,
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
    KeySession::Ticket key = Session().CurrentKey();
    {
        KeySession::Flow flow(Session());
        if (!StillOnKey(key))
            return;
        char label[kToolsLabelSize] = "";
        CopyCut(label, sizeof label, TextF(IDS_TOOLS_MENU, kMaker).c_str());
        if (!AskYesNo(owner, TextF(IDS_STOP_KSD_QUESTION, label)))
            return;
        bool newer = NewerClient();
        InformBox(owner, TextF(newer ? IDS_SWITCH_ID_HINT_190 : IDS_SWITCH_ID_HINT, label));
        if (!StillOnKey(key))
            return;
        Session().WorkWithoutKey();
        LogMessage(kLogStep, kLogModule, "SentrioTools : Work without KSD");
    }
    // File, Tools (older builds) or Security, Switch ID: the user picks another ID file there. The
    // keys go to the client's own window through its queue.
    OpenSwitchIdMenu(owner, NewerClient());
}

void WorkWithKeyCommand()
{
    SessionState state = Session().State();
    if (state != SessionState::kWithoutKey || !Session().Bound()) {
        LogMessage(kLogStep, kLogModule, "SentrioTools : Work with KSD refused (%s)", SessionStateName(state));
        ErrorBox(Text(IDS_KSD_NOT_FOUND));
        return;
    }
    if (!Session().Logon(LogonOrigin::kWorkWithKey))
        return;
    LogMessage(kLogStep, kLogModule, "SentrioTools : Work with KSD");
    PostKeyToFocus(VK_RETURN);
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
