// The Notes client host: a program that stands where notes.exe would, over the nnotes.dll
// stand-in, so that Tolvik, TolvikM and the tests meet a client with the behaviour they rely on:
//   - reads its notes.ini (-ini, SENTRIO_NOTES_INI, or notes.ini beside the program);
//   - loads the DLLs of EXTMGR_ADDINS and calls their export ordinal 1 on its main thread before
//     the workspace opens; unloads them at exit;
//   - opens the ID that notes.ini names, asking the Extension Manager handlers for the password
//     before its own prompt ("Enter Password");
//   - a top-level window of class "NOTES" with the File menu (Tools below build 190, Security from
//     190, then Switch ID and Change Password) and the Actions menu of the AddInMenus add-ins;
//   - File > Open Database opens a database that asks for the ID's password, handlers first;
//   - F5 locks the ID; from build 190 a top-level "Logout Screen" asks for the password when
//     clicked, older builds ask with the standard dialog when the workspace is next used;
//   - the password change asks the EM_SETPASSWORD handlers first, then its own dialog.
// Scripting: see docs/sim-notes.md (command line, window captions, the event log).
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library_loader.h"
#include "notes_control.h"
#include "notes_host_res.h"

namespace {

const char kMainClass[] = "NOTES";
const char kMainTitle[] = "Notes Client";
const char kLogoutClass[] = "NsimLogoutScreen";
const char kLogoutTitle[] = "Logout Screen";
const char kBoxCaption[] = "Notes";

constexpr UINT WM_APP_UNLOCK = WM_APP + 1;  // ask for the password of the locked ID
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 250;
// The client's password buffer: handlers are told 63 characters; the buffer has room to spare so
// that a handler that copies a byte or two past the length it was given corrupts nothing.
constexpr DWORD kMaxPassword = 63;
constexpr size_t kPasswordBuffer = 256;
constexpr int kMaxEntriesPerAddin = 32;

struct Options {
    std::string ini;
    std::string log;
    int build = -1;
    bool endProcess = false;  // "-end process": the process ends with the extensions still loaded
};

struct Extension {
    std::string name;
    HMODULE module = nullptr;
};

struct MenuAddin {
    std::string name;
    HMODULE module = nullptr;
    ADDIN_MENU_PROC proc = nullptr;
};

struct MenuEntry {
    size_t addin;
    WORD addinId;  // the add-in's own id of the entry
    std::string label;
};

struct Host {
    HINSTANCE instance = nullptr;
    Options options;
    WORD build = 0;
    HWND main = nullptr;
    HWND status = nullptr;
    HWND workspace = nullptr;
    HWND logout = nullptr;
    HMENU actions = nullptr;
    HMENU file = nullptr;
    HMENU security = nullptr;
    std::vector<Extension> extensions;
    std::vector<MenuAddin> addins;
    std::vector<MenuEntry> entries;
    std::string lastEvent;
    bool asking = false;  // a password request is running (no second one meanwhile)
};

Host g;

// One line in the event log (-log) and in the workspace.
void Event(const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (!g.options.log.empty()) {
        FILE *f = std::fopen(g.options.log.c_str(), "ab");
        if (f != nullptr) {
            std::fprintf(f, "%s\n", line);
            std::fclose(f);
        }
    }
    g.lastEvent = line;
    if (g.workspace != nullptr)
        SetWindowTextA(g.workspace, line);
}

std::string StatusText(STATUS status)
{
    char text[STATUS_TEXT_SIZE];
    OSLoadString(nullptr, ERR(status), text, sizeof text);
    return text;
}

void ErrorBox(HWND owner, STATUS status)
{
    MessageBoxA(owner, StatusText(status).c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

std::string IniValue(const char *name)
{
    char value[MAXENVVALUE];
    OSGetEnvironmentString(name, value, sizeof value);
    return value;
}

std::vector<std::string> SplitList(const std::string &list)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        std::string item = list.substr(start, comma - start);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        if (first != std::string::npos)
            items.push_back(item.substr(first, last - first + 1));
        start = comma + 1;
    }
    return items;
}

// A DLL named in notes.ini: as written, then with ".dll" when the name has no extension.
HMODULE LoadNamedLibrary(const std::string &name)
{
    HMODULE module = LoadProductLibrary(name.c_str());
    if (module == nullptr && name.find('.') == std::string::npos)
        module = LoadProductLibrary((name + ".dll").c_str());
    return module;
}

WORD ReadBuild()
{
    DBHANDLE db = 0;
    STATUS status = NSFDbOpen(nullptr, &db);
    if (status != NOERROR) {
        Event("build: NSFDbOpen status %u", static_cast<unsigned>(status));
        return 0;
    }
    WORD build = 0;
    status = NSFDbGetBuildVersion(db, &build);
    NSFDbClose(db);
    if (status != NOERROR) {
        Event("build: NSFDbGetBuildVersion status %u", static_cast<unsigned>(status));
        return 0;
    }
    return build;
}

// The ID file notes.ini names: KeyFileName as a path when it holds one, else in Directory.
std::string KeyFilePath()
{
    std::string key = IniValue(NOTES_INI_KEYFILENAME);
    if (key.empty() || key.find(':') != std::string::npos || key[0] == '\\')
        return key;
    std::string dir = IniValue(NOTES_INI_DIRECTORY);
    if (dir.empty()) {
        size_t slash = g.options.ini.find_last_of('\\');
        dir = slash == std::string::npos ? std::string() : g.options.ini.substr(0, slash);
    }
    if (!dir.empty() && dir.back() != '\\')
        dir += '\\';
    return dir + key;
}

// ---------------------------------------------------------------------------------------------
// The client's own dialogs

// Each asks for texts: every edit gets its length limit, and OK reads every edit into its string.
struct TextField {
    int id;
    int limit;
    std::string *text;
};
struct TextsDialog {
    int promptId;  // 0: the dialog's prompt stays as it is
    std::string prompt;
    std::vector<TextField> fields;
};

std::string DialogText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(control, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

INT_PTR CALLBACK TextsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TextsDialog *data = reinterpret_cast<TextsDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        data = reinterpret_cast<TextsDialog *>(lParam);
        if (data->promptId != 0)
            SetDlgItemTextA(dialog, data->promptId, data->prompt.c_str());
        for (const TextField &field : data->fields)
            SendDlgItemMessageA(dialog, field.id, EM_LIMITTEXT, static_cast<WPARAM>(field.limit), 0);
        SetForegroundWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            for (const TextField &field : data->fields)
                *field.text = DialogText(dialog, field.id);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// True when the user ended dialog `dialogId` with OK.
bool AskTexts(HWND owner, int dialogId, TextsDialog *texts)
{
    return DialogBoxParamA(g.instance, MAKEINTRESOURCEA(dialogId), owner, TextsDlgProc,
                           reinterpret_cast<LPARAM>(texts)) == IDOK;
}

// ---------------------------------------------------------------------------------------------
// Passwords: the handlers first, then the client's own prompt

enum class Answer { kGiven, kCancelled };

// The password of `idFile` (owner `user`): from the EM_GETPASSWORD handlers when `handlersFirst`
// and one of them supplies it (*fromHandler set), else from the client's own prompt. A handler's
// answer other than ERR_EM_CONTINUE ends the chain and skips the prompt.
Answer RequestPassword(HWND owner, const std::string &idFile, const std::string &user,
                       bool handlersFirst, std::string *password, bool *fromHandler)
{
    *fromHandler = false;
    if (handlersFirst) {
        char buffer[kPasswordBuffer] = {};
        DWORD length = 0;
        STATUS answer = ERR_EM_CONTINUE;
        BOOL answered = NsimFirePasswordRequest(idFile.c_str(), user.c_str(), kMaxPassword, &answer,
                                                buffer, &length);
        Event("password request <%s><%s>: handlers answered %u", idFile.c_str(), user.c_str(),
              static_cast<unsigned>(answer));
        if (answered) {
            if (answer == ERR_BSAFE_EXTERNAL_PASSWORD) {
                // Never read past the client's buffer, whatever length the handler claims.
                if (length > kMaxPassword)
                    length = kMaxPassword;
                password->assign(buffer, strnlen(buffer, length));
                *fromHandler = true;
                return Answer::kGiven;
            }
            return Answer::kCancelled;  // ERR_BSAFE_USER_ABORT, or an error that ends the request
        }
    }
    Event("own password prompt <%s><%s>", idFile.c_str(), user.c_str());
    std::string typed;
    TextsDialog texts = {IDC_PASSWORD_PROMPT, "Enter the password for " + user + " (" + idFile + "):",
                         {{IDC_PASSWORD_EDIT, kMaxPassword, &typed}}};
    if (!AskTexts(owner, IDD_PASSWORD, &texts)) {
        Event("own password prompt cancelled");
        return Answer::kCancelled;
    }
    *password = typed;
    return Answer::kGiven;
}

// Opens (switches to) `idFile` with its password; false when the user cancelled.
bool OpenId(HWND owner, const std::string &idFile, DWORD flags)
{
    char owned[MAXUSERNAME + 1];
    STATUS status = NsimReadIdOwner(idFile.c_str(), owned, sizeof owned);
    if (status != NOERROR) {
        Event("ID <%s>: status %u", idFile.c_str(), static_cast<unsigned>(status));
        ErrorBox(owner, status);
        return false;
    }
    bool handlersFirst = true;
    for (;;) {
        std::string password;
        bool fromHandler = false;
        if (RequestPassword(owner, idFile, owned, handlersFirst, &password, &fromHandler) !=
            Answer::kGiven)
            return false;
        char user[MAXUSERNAME + 1];
        std::string path = idFile;
        status = SECKFMSwitchToIDFile(&path[0], &password[0], user, MAXUSERNAME, flags, nullptr);
        if (status == NOERROR) {
            Event("ID opened <%s><%s>", idFile.c_str(), user);
            return true;
        }
        Event("ID <%s>: status %u", idFile.c_str(), static_cast<unsigned>(status));
        ErrorBox(owner, status);
        if (fromHandler)  // a handler's password did not open it: ask the user
            handlersFirst = false;
    }
}

void UpdateStatus()
{
    NSIM_STATE state;
    NsimGetState(&state);
    static DWORD offThreadSeen = 0;
    if (state.dwOffThreadCalls != offThreadSeen) {
        offThreadSeen = state.dwOffThreadCalls;
        Event("Notes call <%s> off the client's thread (%lu so far)", state.szOffThreadCall,
              static_cast<unsigned long>(state.dwOffThreadCalls));
    }
    const char *condition = state.szIdFile[0] == 0 ? "none" : state.fLocked ? "locked" : "open";
    char text[2 * MAX_PATH + MAXUSERNAME + 64];
    std::snprintf(text, sizeof text, "User=%s;ID=%s;State=%s;Build=%u;Handlers=%lu,%lu", state.szUserName,
                  state.szIdFile, condition, static_cast<unsigned>(g.build),
                  static_cast<unsigned long>(state.dwHandlers73), static_cast<unsigned long>(state.dwHandlers74));
    char old[sizeof text];
    GetWindowTextA(g.status, old, sizeof old);
    if (std::strcmp(old, text) != 0)
        SetWindowTextA(g.status, text);
    std::string caption = kMainTitle;
    if (state.szUserName[0] != 0)
        caption += std::string(" - ") + state.szUserName;
    GetWindowTextA(g.main, old, sizeof old);
    if (caption != old)
        SetWindowTextA(g.main, caption.c_str());
}

void CloseLogoutScreen()
{
    if (g.logout != nullptr) {
        DestroyWindow(g.logout);
        g.logout = nullptr;
        Event("Logout Screen closed");
    }
}

// Unlocks the locked ID: the handlers first, then the client's prompt.
void Unlock()
{
    if (g.asking)
        return;
    NSIM_STATE state;
    NsimGetState(&state);
    if (!state.fLocked) {
        CloseLogoutScreen();  // opened meanwhile (an extension switched the ID)
        UpdateStatus();
        return;
    }
    g.asking = true;
    HWND owner = g.logout != nullptr ? g.logout : g.main;
    bool handlersFirst = true;
    for (;;) {
        std::string password;
        bool fromHandler = false;
        if (RequestPassword(owner, state.szIdFile, state.szUserName, handlersFirst, &password,
                            &fromHandler) != Answer::kGiven) {
            Event("ID stays locked");
            break;
        }
        STATUS status = NsimUnlockId(password.c_str());
        if (status == NOERROR) {
            Event("ID unlocked <%s><%s>%s", state.szIdFile, state.szUserName,
                  fromHandler ? " by a handler" : "");
            CloseLogoutScreen();
            break;
        }
        Event("unlock: status %u", static_cast<unsigned>(status));
        ErrorBox(owner, status);
        if (fromHandler)
            handlersFirst = false;
    }
    g.asking = false;
    UpdateStatus();
}

void ShowLogoutScreen()
{
    if (g.logout == nullptr) {
        g.logout = CreateWindowExA(0, kLogoutClass, kLogoutTitle,
                                   WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, CW_USEDEFAULT,
                                   CW_USEDEFAULT, 360, 160, nullptr, nullptr, g.instance, nullptr);
        Event("Logout Screen shown");
    }
    SetForegroundWindow(g.logout);
}

void LockId()
{
    NSIM_STATE state;
    NsimGetState(&state);
    if (state.szIdFile[0] == 0) {
        Event("lock: no ID in use");
        return;
    }
    NsimLockId();
    Event("ID locked <%s>", state.szIdFile);
    UpdateStatus();
    if (g.build >= NOTES_BUILD_NEWER_CLIENT)
        ShowLogoutScreen();
}

// The workspace is used (click, Enter): an older client asks for the locked ID's password here.
void UseWorkspace()
{
    NSIM_STATE state;
    NsimGetState(&state);
    if (state.fLocked && g.build < NOTES_BUILD_NEWER_CLIENT)
        PostMessageA(g.main, WM_APP_UNLOCK, 0, 0);
}

// File > Open Database: a database that asks for the password of the ID in use (as a server's
// does), the handlers first, then the client's own prompt; the password must open the ID.
void OpenDatabase()
{
    NSIM_STATE state;
    NsimGetState(&state);
    if (state.szIdFile[0] == 0 || state.fLocked) {
        Event("database not opened: no open ID");
        return;
    }
    g.asking = true;
    bool handlersFirst = true;
    for (;;) {
        std::string password;
        bool fromHandler = false;
        if (RequestPassword(g.main, state.szIdFile, state.szUserName, handlersFirst, &password,
                            &fromHandler) != Answer::kGiven) {
            Event("database not opened");
            break;
        }
        STATUS status = NsimCheckIdPassword(state.szIdFile, password.c_str());
        DBHANDLE db = 0;
        char path[] = "names.nsf";
        if (status == NOERROR)
            status = NSFDbOpen(path, &db);
        if (status == NOERROR) {
            NSFDbClose(db);
            Event("database opened <%s><%s>%s", path, state.szUserName, fromHandler ? " by a handler" : "");
            break;
        }
        Event("database <%s>: status %u", path, static_cast<unsigned>(status));
        ErrorBox(g.main, status);
        if (fromHandler)
            handlersFirst = false;
    }
    g.asking = false;
}

void SwitchId()
{
    std::string path;
    TextsDialog texts = {0, "", {{IDC_SWITCHID_PATH, MAX_PATH - 1, &path}}};
    if (!AskTexts(g.main, IDD_SWITCHID, &texts) || path.empty()) {
        Event("switch ID cancelled");
        return;
    }
    g.asking = true;
    if (OpenId(g.main, path, 0)) {
        Event("switched to <%s>", path.c_str());
        CloseLogoutScreen();
    }
    g.asking = false;
    UpdateStatus();
}

void ChangePassword()
{
    NSIM_STATE state;
    NsimGetState(&state);
    if (state.szIdFile[0] == 0 || state.fLocked) {
        Event("change password: no open ID");
        return;
    }
    char buffer[kPasswordBuffer] = {};
    DWORD length = 0;
    STATUS answer = ERR_EM_CONTINUE;
    BOOL answered = NsimFirePasswordChange(state.szIdFile, state.szUserName, kMaxPassword, &answer,
                                           buffer, &length);
    Event("password change <%s><%s>: handlers answered %u", state.szIdFile, state.szUserName,
          static_cast<unsigned>(answer));
    if (answered) {
        if (answer == ERR_BSAFE_EXTERNAL_PASSWORD)
            Event("password changed by a handler");
        else if (answer == ERR_BSAFE_USER_ABORT)
            Event("password change cancelled");
        else if (answer == ERR_BSAFE_PASSWORD_REQUIRED)
            Event("new password refused");
        else
            Event("password change ended with status %u", static_cast<unsigned>(answer));
        return;
    }
    struct {
        std::string oldPassword, newPassword, confirm;
    } data;
    TextsDialog texts = {0,
                         "",
                         {{IDC_CHANGEPWD_OLD, kMaxPassword, &data.oldPassword},
                          {IDC_CHANGEPWD_NEW, kMaxPassword, &data.newPassword},
                          {IDC_CHANGEPWD_CONFIRM, kMaxPassword, &data.confirm}}};
    if (!AskTexts(g.main, IDD_CHANGEPWD, &texts)) {
        Event("password change cancelled");
        return;
    }
    if (data.newPassword != data.confirm) {
        Event("new password refused: confirmation differs");
        MessageBoxA(g.main, "The new password and its confirmation differ.", kBoxCaption,
                    MB_OK | MB_ICONERROR);
        return;
    }
    STATUS status = SECKFMChangePassword(state.szIdFile, &data.oldPassword[0],
                                         &data.newPassword[0]);
    if (status != NOERROR) {
        Event("password change: status %u", static_cast<unsigned>(status));
        ErrorBox(g.main, status);
        return;
    }
    Event("password changed by the client");
}

// ---------------------------------------------------------------------------------------------
// Extensions and menu add-ins

// Loads an extension or menu add-in named in notes.ini and finds its export ordinal 1, as the
// client does for both; null (and the reason in the event log) when either is missing.
HMODULE LoadWithOrdinalOne(const char *kind, const std::string &name, FARPROC *first)
{
    HMODULE module = LoadNamedLibrary(name);
    if (module == nullptr) {
        Event("%s %s: not loaded (error %lu)", kind, name.c_str(), GetLastError());
        return nullptr;
    }
    *first = GetProcAddress(module, MAKEINTRESOURCEA(1));
    if (*first == nullptr) {
        Event("%s %s: no export ordinal 1", kind, name.c_str());
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

void LoadExtensions()
{
    for (const std::string &name : SplitList(IniValue(NOTES_INI_EXTMGR_ADDINS))) {
        FARPROC first = nullptr;
        HMODULE module = LoadWithOrdinalOne("extension", name, &first);
        if (module == nullptr)
            continue;
        EXTENSION_ENTRY entry = reinterpret_cast<EXTENSION_ENTRY>(reinterpret_cast<void *>(first));
        Event("extension %s: loaded", name.c_str());
        STATUS status = entry();
        Event("extension %s: entry point returned %u", name.c_str(), static_cast<unsigned>(status));
        g.extensions.push_back({name, module});
    }
}

// The NSF service ends for the process (EM_TERMINATENSF goes to the extensions' handlers), then
// the extensions are unloaded, as the client does at its end.
void UnloadExtensions()
{
    if (!g.extensions.empty()) {
        STATUS status = NsimTerminateNsf();
        Event("NSF terminating: handlers answered %u", static_cast<unsigned>(status));
    }
    for (size_t i = g.extensions.size(); i-- > 0;) {
        FreeLibrary(g.extensions[i].module);
        Event("extension %s: unloaded", g.extensions[i].name.c_str());
    }
    g.extensions.clear();
}

void LoadMenuAddins()
{
    for (const std::string &name : SplitList(IniValue(NOTES_INI_ADDINMENUS))) {
        FARPROC first = nullptr;
        HMODULE module = LoadWithOrdinalOne("menu add-in", name, &first);
        if (module == nullptr)
            continue;
        ADDIN_MENU_PROC proc = reinterpret_cast<ADDIN_MENU_PROC>(reinterpret_cast<void *>(first));
        size_t index = g.addins.size();
        g.addins.push_back({name, module, proc});
        for (WORD number = 0; number < kMaxEntriesPerAddin; ++number) {
            size_t next = g.entries.size();
            if (IDM_ADDIN_FIRST + next > IDM_ADDIN_LAST)
                break;
            NAM_INIT_INFO info = {};
            info.wStartingID = static_cast<WORD>(IDM_ADDIN_FIRST + next);
            info.wMenuItemNumber = number;
            NAMRESULT result = proc(NAMM_INIT, &info);
            if (result != NAM_INIT_CONTINUE && result != NAM_INIT_STOP) {
                Event("menu add-in %s: init answered %u", name.c_str(), static_cast<unsigned>(result));
                break;
            }
            info.MenuItemName[MAX_ADDIN_MENU_NAME - 1] = 0;  // the label is cut to the field
            g.entries.push_back({index, info.wMenuID, info.MenuItemName});
            AppendMenuA(g.actions, MF_STRING, IDM_ADDIN_FIRST + next, info.MenuItemName);
            Event("menu add-in %s: entry %u <%s> id %u", name.c_str(), static_cast<unsigned>(number),
                  info.MenuItemName, static_cast<unsigned>(info.wMenuID));
            if (result == NAM_INIT_STOP)
                break;
        }
    }
    DrawMenuBar(g.main);
}

void UnloadMenuAddins()
{
    for (size_t i = g.addins.size(); i-- > 0;) {
        g.addins[i].proc(NAMM_TERM, nullptr);
        FreeLibrary(g.addins[i].module);
        Event("menu add-in %s: unloaded", g.addins[i].name.c_str());
    }
    g.addins.clear();
    g.entries.clear();
}

void RunMenuEntry(size_t index)
{
    if (index >= g.entries.size())
        return;
    const MenuEntry &entry = g.entries[index];
    NAM_COMMAND_INFO info = {};
    // A child of the main window, as the real client passes: add-ins take its parent as owner.
    info.hNotesWnd = g.workspace;
    info.wMenuID = entry.addinId;
    Event("menu add-in %s: command <%s>", g.addins[entry.addin].name.c_str(), entry.label.c_str());
    g.addins[entry.addin].proc(NAMM_COMMAND, &info);
    Event("menu add-in %s: command returned", g.addins[entry.addin].name.c_str());
}

// An action's LotusScript, as the administrator's guide gives it, for a client that shows no
// menu add-ins:
//   Declare Sub SentrioTools Lib "Tolvik.dll" (ByVal hWnd As Long)
//   Declare Function GetActiveWindow Lib "user32" () As Long
//   Call SentrioTools(GetActiveWindow())
// The script runtime finds the entry by name in the Tolvik.dll the client loaded and passes the
// client's window as a 32-bit Long. In a 64-bit client the upper half of that argument's register
// is not defined; the stand-in fills it with a marker, as the worst a runtime could leave there.
void RunScriptAction(HWND window)
{
    HMODULE tolvik = GetModuleHandleA("Tolvik.dll");
    FARPROC entry = tolvik != nullptr ? GetProcAddress(tolvik, "SentrioTools") : nullptr;
    if (entry == nullptr) {
        Event("script action: SentrioTools not found in Tolvik.dll");
        return;
    }
    typedef void(WINAPI * ByLong)(ULONG_PTR);
    ULONG_PTR argument = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window));
#ifdef _WIN64
    argument |= 0xA5A5A5A500000000ull;
#endif
    Event("script action: SentrioTools");
    reinterpret_cast<ByLong>(reinterpret_cast<void *>(entry))(argument);
    Event("script action: returned");
}

// ---------------------------------------------------------------------------------------------
// Windows

HMENU BuildMenu()
{
    HMENU bar = CreateMenu();
    HMENU file = g.file = CreatePopupMenu();
    HMENU security = g.security = CreatePopupMenu();
    AppendMenuA(security, MF_STRING, IDM_SWITCH_ID, "S&witch ID...");
    AppendMenuA(security, MF_STRING, IDM_CHANGE_PASSWORD, "Change &Password...");
    bool newer = g.build >= NOTES_BUILD_NEWER_CLIENT;
    AppendMenuA(file, MF_POPUP, reinterpret_cast<UINT_PTR>(security), newer ? "Securit&y" : "&Tools");
    AppendMenuA(file, MF_STRING, IDM_OPEN_DATABASE, "&Open Database...");
    AppendMenuA(file, MF_STRING, IDM_LOCK_ID, "&Lock ID\tF5");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, IDM_EXIT, "E&xit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    g.actions = CreatePopupMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(g.actions), "&Actions");
    return bar;
}

// A popup menu of someone else's (an add-in's) about to open over the main window: its items in the
// event log, so that a script sees what it offers: "popup <text>[ grey][ default]|<text>...",
// separators as "-".
void LogForeignPopup(HMENU popup)
{
    std::string line = "popup ";
    int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA item = {};
        char text[256] = "";
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (i > 0)
            line += "|";
        if (!GetMenuItemInfoA(popup, static_cast<UINT>(i), TRUE, &item)) {
            line += "?";
            continue;
        }
        if (item.fType & MFT_SEPARATOR) {
            line += "-";
            continue;
        }
        line += std::string("<") + text + ">";
        if (item.fState & MFS_GRAYED)
            line += " grey";
        if (item.fState & MFS_DEFAULT)
            line += " default";
    }
    Event("%s", line.c_str());
}

// The lines of a list box of this process, for a script that cannot read them from outside.
void LogListBox(HWND list)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    if (list == nullptr || !IsWindow(list) || pid != GetCurrentProcessId()) {
        Event("list: not a window of the client");
        return;
    }
    std::string line = "list ";
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
        LRESULT got = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        line += (i > 0 ? "|" : "") + text;
    }
    Event("%s", line.c_str());
}

// What a menu command (chosen by keys, mouse or a posted WM_COMMAND) was, for the event log.
const char *CommandName(UINT id)
{
    switch (id) {
    case IDM_SWITCH_ID:
        return "Switch ID";
    case IDM_CHANGE_PASSWORD:
        return "Change Password";
    case IDM_LOCK_ID:
        return "Lock ID";
    case IDM_ENTER:
        return "Enter";
    case IDM_OPEN_DATABASE:
        return "Open Database";
    case IDM_EXIT:
        return "Exit";
    default:
        return nullptr;
    }
}

void Layout(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    MoveWindow(g.status, 0, 0, r.right, 20, TRUE);
    MoveWindow(g.workspace, 0, 20, r.right, r.bottom > 20 ? r.bottom - 20 : 0, TRUE);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        g.status = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0, 0,
                                   window, reinterpret_cast<HMENU>(IDC_MAIN_STATUS), g.instance, nullptr);
        g.workspace = CreateWindowExA(WS_EX_CLIENTEDGE, "STATIC", g.lastEvent.c_str(),
                                      WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, 0, 0, 0, window,
                                      reinterpret_cast<HMENU>(IDC_MAIN_EVENTS), g.instance, nullptr);
        SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
        return 0;
    case WM_SIZE:
        Layout(window);
        return 0;
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            UpdateStatus();
        return 0;
    case WM_INITMENUPOPUP:
        if (reinterpret_cast<HMENU>(wParam) == g.actions) {
            for (const MenuAddin &addin : g.addins) {
                NAM_INITMENU_INFO info = {};
                info.hMenu = g.actions;
                addin.proc(NAMM_INITMENU, &info);
            }
        } else if (reinterpret_cast<HMENU>(wParam) != g.file && reinterpret_cast<HMENU>(wParam) != g.security) {
            LogForeignPopup(reinterpret_cast<HMENU>(wParam));
        }
        return 0;
    case WM_NSIM_READ_LIST:
        LogListBox(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_NSIM_FAIL_NEXT:
        NsimFailNext(static_cast<WORD>(wParam), static_cast<STATUS>(lParam));
        Event("fault planned %u %u", static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        return 0;
    case WM_LBUTTONUP:
        UseWorkspace();
        return 0;
    case WM_APP_UNLOCK:
        Unlock();
        return 0;
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        if (id >= IDM_ADDIN_FIRST && id <= IDM_ADDIN_LAST) {
            RunMenuEntry(id - IDM_ADDIN_FIRST);
            return 0;
        }
        if (const char *name = CommandName(id))
            Event("command <%s>", name);
        switch (id) {
        case IDM_SWITCH_ID:
            SwitchId();
            break;
        case IDM_OPEN_DATABASE:
            OpenDatabase();
            break;
        case IDM_SCRIPT_ACTION:
            RunScriptAction(window);
            break;
        case IDM_CHANGE_PASSWORD:
            ChangePassword();
            break;
        case IDM_LOCK_ID:
            LockId();
            break;
        case IDM_ENTER:
            UseWorkspace();
            break;
        case IDM_ESCAPE:
            Event("escape");
            break;
        case IDM_EXIT:
            DestroyWindow(window);
            break;
        case IDC_MAIN_EVENTS:
            if (HIWORD(wParam) == STN_CLICKED)
                UseWorkspace();
            break;
        }
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        CloseLogoutScreen();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK LogoutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT r;
        GetClientRect(window, &r);
        DrawTextA(dc, "The ID is locked. Click here to log in again.", -1, &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_LBUTTONUP:
        // Posted, not run here: the click may be sent from another thread, which must not wait
        // for the password prompt.
        PostMessageA(g.main, WM_APP_UNLOCK, 0, 0);
        return 0;
    case WM_CLOSE:
        return 0;  // only logging in again closes it
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterClasses()
{
    WNDCLASSA main = {};
    main.lpfnWndProc = MainProc;
    main.hInstance = g.instance;
    main.hCursor = LoadCursor(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    main.lpszClassName = kMainClass;
    WNDCLASSA logout = main;
    logout.lpfnWndProc = LogoutProc;
    logout.lpszClassName = kLogoutClass;
    return RegisterClassA(&main) != 0 && RegisterClassA(&logout) != 0;
}

bool ParseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        if (arg == "-ini")
            options->ini = argv[++i];
        else if (arg == "-log")
            options->log = argv[++i];
        else if (arg == "-end") {
            if (std::string(argv[++i]) != "process")
                return false;
            options->endProcess = true;
        } else if (arg == "-build") {
            char *end = nullptr;
            unsigned long build = std::strtoul(argv[++i], &end, 10);
            if (end == argv[i] || *end != 0 || build > 0xFFFF)
                return false;
            options->build = static_cast<int>(build);
        } else
            return false;
    }
    return true;
}

std::string DefaultIni()
{
    char value[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(NSIM_ENV_INI, value, sizeof value);
    if (n > 0 && n < sizeof value)
        return value;
    char exe[MAX_PATH];
    n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe, n < sizeof exe ? n : 0);
    size_t slash = path.find_last_of('\\');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "notes.ini";
}

int Run()
{
    if (!ParseOptions(__argc, __argv, &g.options)) {
        // No box: a script that started the client with a wrong line gets exit code 2 at once.
        std::fprintf(stderr, "usage: notes [-ini FILE] [-build N] [-log FILE] [-end process]\n");
        return 2;
    }
    if (g.options.ini.empty())
        g.options.ini = DefaultIni();
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(g.options.ini.c_str(), sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full)
        g.options.ini = full;
    if (g.options.build >= 0)
        NsimSetBuildVersion(static_cast<WORD>(g.options.build));
    STATUS status = NotesInitIni(&g.options.ini[0]);
    if (status != NOERROR) {
        Event("notes.ini <%s>: status %u", g.options.ini.c_str(), static_cast<unsigned>(status));
        return 2;
    }
    g.build = ReadBuild();
    Event("client started: notes.ini <%s>, build %u, thread %lu", g.options.ini.c_str(),
          static_cast<unsigned>(g.build), GetCurrentThreadId());
    if (!RegisterClasses())
        return 2;

    LoadExtensions();

    // Open the ID, unless an extension has switched to one already.
    NSIM_STATE state;
    NsimGetState(&state);
    if (state.szIdFile[0] != 0) {
        Event("ID in use <%s><%s>", state.szIdFile, state.szUserName);
    } else {
        std::string path = KeyFilePath();
        if (path.empty()) {
            Event("notes.ini names no ID file");
        } else if (!OpenId(nullptr, path, fKFM_switchid_DontSetEnvVar)) {
            Event("client ends: the ID was not opened");
            UnloadExtensions();
            NotesTerm();
            return 3;
        }
    }

    g.main = CreateWindowExA(0, kMainClass, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 640, 400, nullptr, BuildMenu(), g.instance, nullptr);
    if (g.main == nullptr)
        return 2;
    LoadMenuAddins();
    UpdateStatus();
    ShowWindow(g.main, SW_SHOW);
    SetForegroundWindow(g.main);
    Event("workspace open");

    ACCEL keys[] = {{FVIRTKEY, VK_F5, IDM_LOCK_ID},
                    {FVIRTKEY, VK_RETURN, IDM_ENTER},
                    {FVIRTKEY, VK_ESCAPE, IDM_ESCAPE}};
    HACCEL accelerators = CreateAcceleratorTableA(keys, sizeof keys / sizeof keys[0]);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (accelerators != nullptr && TranslateAcceleratorA(g.main, accelerators, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyAcceleratorTable(accelerators);
    g.main = nullptr;
    g.workspace = nullptr;
    if (g.options.endProcess) {
        // As at the end of a Windows session: no termination notice, no unload; the loader
        // detaches the DLLs as the process ends.
        Event("client ends the process");
        ExitProcess(0);
    }
    UnloadMenuAddins();
    UnloadExtensions();
    Event("client ended");
    NotesTerm();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g.instance = instance;
    return Run();
}
