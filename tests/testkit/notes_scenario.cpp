// The Notes client scenario helper: Keys with records, the client host with Tolvik, its windows.
#include "notes_scenario.h"

#include <cstring>

#include "notes_control.h"
#include "notes_host_res.h"
#include "notes_key_data.h"
#include "quorel_control.h"

namespace testkit {

const char *const NotesScenario::kReader = "Reader A";
const char *const NotesScenario::kCaption = "Morvath Sentrio";

namespace {

const char kWriterReader[] = "Key writer";
constexpr int kPinEditId = 101;
constexpr int kPinPromptTextId = 120;
const char kPopupMenuClass[] = "#32768";

std::string GetEnv(const char *name)
{
    char value[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

void SetEnv(const char *name, const std::string &value)
{
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

// A Key access object of the test's own, without a monitor, for writing and reading records.
class RecordKey : public CSmartKey {
public:
    ~RecordKey() override { StopMonitoring(); }
};

}  // namespace

NotesScenario::NotesScenario(bool freshKeys) : freshKeys_(freshKeys)
{
    if (freshKeys_) {
        QsimReset();
        QsimAddReader(kReader);
    }
    oldTmp_ = GetEnv("TMP");
    oldTemp_ = GetEnv("TEMP");
    SetEnv("TMP", temp_.path());
    SetEnv("TEMP", temp_.path());
    oldAppData_ = GetEnv("LOCALAPPDATA");
    SetEnv("LOCALAPPDATA", appData_.path());
    ini_ = dir_.file("notes.ini");
    hostLog_ = dir_.file("host.log");
}

NotesScenario::~NotesScenario()
{
    bool endedItself = true;
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
            if (main_ != nullptr)
                PostMessageA(main_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
                TerminateProcess(process_, 99);
                endedItself = false;
            }
        }
        CloseHandle(process_);
    }
    // A client that ended by itself leaves no temporary ID file behind (a killed one may).
    if (endedItself && !killed_ && process_ != nullptr) {
        for (const std::string &name : idNames_)
            if (FileExists(TempFile(name)))
                NoteLeftover(TempFile(name));
        for (const std::string &folder : SessionFolders())
            NoteLeftover(folder);
    }
    SetEnv("TMP", oldTmp_);
    SetEnv("TEMP", oldTemp_);
    SetEnv("LOCALAPPDATA", oldAppData_);
    if (freshKeys_)
        QsimReset();
}

std::vector<std::string> NotesScenario::SessionFolders() const
{
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((temp_.path() + "\\Sentrio-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            folders.push_back(temp_.file(found.cFileName));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return folders;
}

std::string NotesScenario::TempFile(const std::string &name) const
{
    std::string newest;
    ULONGLONG newestTime = 0;
    for (const std::string &folder : SessionFolders()) {
        std::string path = folder + "\\" + name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
            continue;
        ULONGLONG made = (static_cast<ULONGLONG>(data.ftCreationTime.dwHighDateTime) << 32) |
                         data.ftCreationTime.dwLowDateTime;
        if (newest.empty() || made >= newestTime) {
            newest = path;
            newestTime = made;
        }
    }
    return newest.empty() ? temp_.file(name) : newest;
}

std::string NotesScenario::MakeIdFile(const std::string &name, const std::string &user, const std::string &password)
{
    std::string path = dir_.file(name);
    return NsimCreateIdFile(path.c_str(), user.c_str(), password.c_str()) == NOERROR ? path : std::string();
}

int NotesScenario::MakeKey(const std::string &label, const std::string &pin, const NotesKeyRecord *record)
{
    NoteSecret(pin);
    int key = QsimCreateKey(label.c_str(), pin.c_str());
    if (key == 0 || record == nullptr)
        return key;
    NoteSecret(record->password);
    NoteTemporaryIdFile(record->idFileName);
    idNames_.push_back(record->idFileName);
    std::string idPath = dir_.file("key" + std::to_string(++ids_) + "-" + record->idFileName);
    if (NsimCreateIdFile(idPath.c_str(), record->user.c_str(), record->password.c_str()) != NOERROR)
        return 0;
    bool ok = QsimAddReader(kWriterReader) && QsimInsertKey(key, kWriterReader);
    if (ok) {
        RecordKey writer;
        ok = writer.Init(kAppNotes);
        writer.SetPIN(nullptr, pin.c_str());  // tried on the Key's first visit
        char report[512] = "";
        ok = ok && WriteNotesKeyDataFromFile(writer, kWriterReader, record->user.c_str(), record->password.c_str(),
                                             record->idFileName.c_str(), idPath.c_str(), report, sizeof report);
    }
    QsimPullKey(key);
    QsimRemoveReader(kWriterReader);
    return ok ? key : 0;
}

bool NotesScenario::Insert(int key, const char *reader)
{
    return QsimInsertKey(key, reader) != FALSE;
}

bool NotesScenario::Pull(int key)
{
    return QsimPullKey(key) != FALSE;
}

bool NotesScenario::WaitKeyVisits(int visits, DWORD timeoutMs) const
{
    DWORD from = QsimCallCount("InitCard");
    return WaitUntil([&] { return QsimCallCount("InitCard") - from >= static_cast<DWORD>(visits); }, timeoutMs);
}

bool NotesScenario::ReadRecord(int key, NotesKeyRecord *record, std::string *idBytes)
{
    QsimKeyState state;
    if (!QsimGetKey(key, &state) || state.reader[0] == 0)
        return false;
    RecordKey reader;
    if (!reader.Init(kAppNotes))
        return false;
    reader.SetPIN(nullptr, state.pin);
    static NotesKeyData data;
    if (ReadNotesKeyData(reader, state.reader, &data, nullptr) != KeyDataRead::kRead)
        return false;
    record->user = data.record.sUserName;
    record->password = data.record.sPassword;
    NoteSecret(record->password);  // a generated password, say
    record->idFileName = data.record.sIDFileName;
    if (idBytes != nullptr)
        idBytes->assign(reinterpret_cast<const char *>(data.wData) + data.record.idFileOffset,
                        data.record.wIDFileLength);
    return true;
}

void NotesScenario::Start(int build, const std::string &ownId, const std::string &extra)
{
    std::string ini = "[Notes]\r\nDirectory=" + dir_.path() + "\r\nKeyFileName=" + ownId + "\r\n";
    if (!extensions.empty())
        ini += "EXTMGR_ADDINS=" + extensions + "\r\n";
    ini += extra;
    WriteFileBytes(ini_, ini);
    Restart(build);
}

void NotesScenario::Restart(int build)
{
    if (process_ != nullptr)
        CloseHandle(process_);
    main_ = nullptr;
    killed_ = false;
    std::string folder = clientFolder.empty() ? ExeDir() : clientFolder;
    std::string command = "\"" + folder + "notes.exe\" -ini \"" + ini_ + "\" -log \"" + hostLog_ + "\"";
    if (build >= 0)
        command += " -build " + std::to_string(build);
    if (!hostOptions.empty())
        command += " " + hostOptions;
    process_ = StartProcess(command);
    pid_ = process_ != nullptr ? GetProcessId(process_) : 0;
}

bool NotesScenario::Kill()
{
    if (process_ == nullptr || !TerminateProcess(process_, 9))
        return false;
    killed_ = true;
    return WaitForSingleObject(process_, kWait) == WAIT_OBJECT_0;
}

std::string NotesScenario::JournalFile() const
{
    return appData_.path() + "\\Morvath\\Sentrio\\Tolvik.journal";
}

HWND NotesScenario::Find(const char *className, const char *caption, DWORD timeoutMs) const
{
    return FindProcessWindow(pid_, className, caption, timeoutMs);
}

HWND NotesScenario::WaitPinPrompt(DWORD timeoutMs) const
{
    return FindProcessWindow(pid_, "#32770", kCaption, timeoutMs, kPinPromptTextId);
}

bool NotesScenario::AnswerPin(const char *pin)
{
    NoteSecret(pin);
    HWND prompt = WaitPinPrompt();
    if (prompt == nullptr || !SetControlText(GetDlgItem(prompt, kPinEditId), pin))
        return false;
    ClickDialogButton(prompt, IDOK);
    return WaitForWindowGone(prompt, kWait);
}

bool NotesScenario::WorkWithoutKey()
{
    HWND prompt = WaitPinPrompt();
    if (prompt == nullptr)
        return false;
    ClickDialogButton(prompt, IDCANCEL);
    return WaitForWindowGone(prompt, kWait);
}

HWND NotesScenario::WaitBox(DWORD timeoutMs) const
{
    // A message box: the product caption and its text in the static 0xFFFF, no PIN edit.
    return FindProcessWindow(pid_, "#32770", kCaption, timeoutMs, 0xFFFF, kPinEditId);
}

std::string NotesScenario::BoxText(HWND box)
{
    return GetControlText(GetDlgItem(box, 0xFFFF));
}

bool NotesScenario::AnswerBox(HWND box, int button)
{
    if (box == nullptr)
        return false;
    ClickDialogButton(box, button);
    return WaitForWindowGone(box, kWait);
}

std::string NotesScenario::TakeBox(int button, DWORD timeoutMs)
{
    HWND box = WaitBox(timeoutMs);
    if (box == nullptr)
        return "<no box>";
    std::string text = BoxText(box);
    AnswerBox(box, button);
    return text;
}

HWND NotesScenario::WaitMain()
{
    main_ = Find("NOTES", nullptr, kWait);
    return main_;
}

std::string NotesScenario::Status() const
{
    return GetControlText(GetDlgItem(main_, IDC_MAIN_STATUS));
}

bool NotesScenario::WaitStatus(const std::string &part, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (Status().find(part) == std::string::npos) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(50);
    }
    return true;
}

void NotesScenario::Keys(std::initializer_list<BYTE> keys) const
{
    SetForegroundWindow(main_);
    PumpMessages(200);
    for (BYTE key : keys) {
        keybd_event(key, 0, 0, 0);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        PumpMessages(250);
    }
}

std::string NotesScenario::OpenTools()
{
    std::size_t from = HostLog().size();
    if (main_ == nullptr && WaitMain() == nullptr)
        return "";
    // The Actions menu's first add-in entry chosen, as its menu loop would send it. Not by keys: a
    // prompt of the extension's on top (the re-entry's PIN prompt) holds the keyboard, and Alt, A
    // would go to it.
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(IDM_ADDIN_FIRST, 0), 0);
    std::string items;
    if (!WaitHostLogAfter(from, "popup ", &items) || Find(kPopupMenuClass, nullptr) == nullptr)
        return "";
    return items;
}

// A key pressed in an open popup menu: the menu's loop reads the keys of its thread's queue whatever
// window they were posted to, so the key reaches the popup even when another thread's window has the
// keyboard.
static void PressInMenu(HWND popup, BYTE key)
{
    PostMessageA(popup, WM_KEYDOWN, key, 1);
    PostMessageA(popup, WM_KEYUP, key, 0xC0000001);
}

bool NotesScenario::ChooseTool(int position)
{
    HWND popup = Find(kPopupMenuClass, nullptr);
    if (popup == nullptr)
        return false;
    for (int i = 0; i < position; ++i)
        PressInMenu(popup, VK_DOWN);
    PressInMenu(popup, VK_RETURN);
    return WaitForWindowGone(popup, kWait) || !IsWindowVisible(popup);
}

bool NotesScenario::CloseTools()
{
    HWND popup = Find(kPopupMenuClass, nullptr);
    if (popup == nullptr)
        return false;
    PressInMenu(popup, VK_ESCAPE);
    for (DWORD start = GetTickCount(); IsWindowVisible(popup) && GetTickCount() - start < kWait;)
        PumpMessages(20);
    return !IsWindowVisible(popup);
}

bool NotesScenario::AnswerNewPin(const char *caption, const char *pin, int button)
{
    NoteSecret(pin);
    HWND prompt = FindProcessWindow(pid_, "#32770", caption, kWait, kPinEditId);
    if (prompt == nullptr)
        return false;
    if (button == IDOK && !SetControlText(GetDlgItem(prompt, kPinEditId), pin))
        return false;
    ClickDialogButton(prompt, button);
    return WaitForWindowGone(prompt, kWait);
}

bool NotesScenario::PlanClientFault(WORD ordinal, STATUS status)
{
    std::size_t from = HostLog().size();
    if (main_ == nullptr || !PostMessageA(main_, WM_NSIM_FAIL_NEXT, ordinal, status))
        return false;
    return WaitHostLogAfter(from, "fault planned ");
}

std::string NotesScenario::ClientListText(HWND list)
{
    std::size_t from = HostLog().size();
    if (main_ == nullptr || !PostMessageA(main_, WM_NSIM_READ_LIST, reinterpret_cast<WPARAM>(list), 0))
        return "";
    std::string lines;
    WaitHostLogAfter(from, "list ", &lines);
    return lines;
}

bool NotesScenario::AnswerClientPrompt(const char *password)
{
    NoteSecret(password);
    HWND prompt = Find("#32770", "Enter Password", kWait);
    if (prompt == nullptr || !SetControlText(GetDlgItem(prompt, IDC_PASSWORD_EDIT), password))
        return false;
    ClickDialogButton(prompt, IDOK);
    return WaitForWindowGone(prompt, kWait);
}

std::string NotesScenario::IniValue(const char *name) const
{
    return testkit::IniValue(ini_, name);
}

bool NotesScenario::SetIniValue(const char *name, const std::string &value) const
{
    return WritePrivateProfileStringA("Notes", name, value.c_str(), ini_.c_str()) != FALSE;
}

std::string NotesScenario::HostLog() const
{
    return ReadFileBytes(hostLog_);
}

bool NotesScenario::WaitHostLog(const std::string &line, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (HostLog().find(line) == std::string::npos) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(50);
    }
    return true;
}

bool NotesScenario::WaitHostLogAfter(std::size_t from, const std::string &line, std::string *rest,
                                     DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string log = HostLog();
        std::size_t at = log.size() > from ? log.find(line, from) : std::string::npos;
        std::size_t end = at != std::string::npos ? log.find('\n', at) : std::string::npos;
        if (end != std::string::npos) {
            if (rest != nullptr) {
                *rest = log.substr(at + line.size(), end - at - line.size());
                if (!rest->empty() && rest->back() == '\r')
                    rest->pop_back();
            }
            return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(50);
    }
}

int NotesScenario::Close()
{
    if (process_ == nullptr)
        return -1;
    if (main_ != nullptr)
        PostMessageA(main_, WM_CLOSE, 0, 0);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process_, kWait) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

}  // namespace testkit
