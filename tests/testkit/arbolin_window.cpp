// The admin console scenario helper.
#include "arbolin_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "arbolin_res.h"
#include "quorel_control.h"

namespace testkit {

const char *const ArbolinConsole::kCaption = "Morvath Sentrio - Key Storage Device Manager";

namespace {

// The console's controls by their names in its resources.
const int kListId = IDC_KSD_LIST;
const int kCloseId = IDC_CLOSE_BT;
// The console's input dialogs: TChangePINDlg (prompt, edit, note) and TChangePasDlg.
const int kInputPromptId = IDC_ENTER_NEW_LAB;
const int kInputEditId = IDC_NEW_PIN_EDIT;
const int kInputNoteId = IDC_NOTE_LAB;
const int kPasswordPromptId = IDC_ENTER_CONF_LAB;
const int kPasswordEditId = IDC_PASSWORD_EDIT;
// The file dialogs' name field: a combo box on Windows (cmb13), an edit in Wine (edt1).
const int kFileNameCombo = 0x47c;
const int kFileNameEdit = 0x480;

bool CopyProgramFile(const std::string &to, const char *name)
{
    return CopyFileA((ExeDir() + name).c_str(), (to + "\\" + name).c_str(), FALSE) != FALSE;
}

// Memory in the console's process for one list-view call.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size) : process_(process)
    {
        address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock()
    {
        if (address_ != nullptr)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    char *at(SIZE_T offset) const { return static_cast<char *>(address_) + offset; }
    bool ok() const { return address_ != nullptr; }
    bool Write(SIZE_T offset, const void *data, SIZE_T size) const
    {
        return WriteProcessMemory(process_, at(offset), data, size, nullptr) != FALSE;
    }
    bool Read(SIZE_T offset, void *data, SIZE_T size) const
    {
        return ReadProcessMemory(process_, at(offset), data, size, nullptr) != FALSE;
    }

private:
    HANDLE process_;
    void *address_ = nullptr;
};

}  // namespace

ArbolinConsole::ArbolinConsole(bool freshKeys, bool withHelpFile) : freshKeys_(freshKeys)
{
    if (freshKeys_)
        QsimReset();
    CopyProgramFile(dir_.path(), "Arbolin.exe");
    CopyProgramFile(dir_.path(), "Quorel32.dll");
    CopyProgramFile(dir_.path(), "Ostrel.dll");
    CopyProgramFile(dir_.path(), "nnotes.dll");
    if (withHelpFile)
        CopyProgramFile(dir_.path(), "Sentrio.CHM");  // the help file the build made
}

ArbolinConsole::~ArbolinConsole()
{
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
            if (main_ != nullptr)
                PostMessageA(main_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
    if (freshKeys_)
        QsimReset();
}

int ArbolinConsole::MakeKey(const char *label, const char *pin)
{
    testkit::NoteSecret(pin != nullptr ? pin : "");
    return QsimCreateKey(label, pin);
}

bool ArbolinConsole::Insert(int key, const char *reader)
{
    QsimAddReader(reader);  // already there: nothing changes
    return QsimInsertKey(key, reader) != FALSE;
}

bool ArbolinConsole::Pull(int key)
{
    return QsimPullKey(key) != FALSE;
}

std::string ArbolinConsole::CardIdText(int key)
{
    QsimKeyState state = {};
    if (!QsimGetKey(key, &state))
        return "";
    char text[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", state.cardId[i]);
    return text;
}

std::string ArbolinConsole::TempFolder() const
{
    return dir_.file("tmp");
}

bool ArbolinConsole::Start()
{
    // The console's temporary directory is a folder of its own, so that a test sees what it
    // leaves there.
    CreateDirectoryA(TempFolder().c_str(), nullptr);
    char oldTmp[MAX_PATH] = "", oldTemp[MAX_PATH] = "";
    DWORD hadTmp = GetEnvironmentVariableA("TMP", oldTmp, sizeof oldTmp);
    DWORD hadTemp = GetEnvironmentVariableA("TEMP", oldTemp, sizeof oldTemp);
    SetEnvironmentVariableA("TMP", TempFolder().c_str());
    SetEnvironmentVariableA("TEMP", TempFolder().c_str());
    process_ = StartProcess("\"" + ProgramPath() + "\"");
    SetEnvironmentVariableA("TMP", hadTmp > 0 && hadTmp < sizeof oldTmp ? oldTmp : nullptr);
    SetEnvironmentVariableA("TEMP", hadTemp > 0 && hadTemp < sizeof oldTemp ? oldTemp : nullptr);
    if (process_ == nullptr)
        return false;
    pid_ = GetProcessId(process_);
    return true;
}

HWND ArbolinConsole::Find(const char *className, const char *caption, int childId, DWORD timeoutMs) const
{
    return FindProcessWindow(pid_, className, caption, timeoutMs, childId);
}

HWND ArbolinConsole::WaitMain(DWORD timeoutMs)
{
    main_ = Find("TArbolinForm", nullptr, kListId, timeoutMs);
    return main_;
}

HWND ArbolinConsole::WaitBox(DWORD timeoutMs) const
{
    return Find("#32770", nullptr, 0xFFFF, timeoutMs);
}

std::string ArbolinConsole::BoxText(HWND box)
{
    return GetControlText(GetDlgItem(box, 0xFFFF));
}

bool ArbolinConsole::AnswerBox(HWND box, int button)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitForWindowGone(box, kWait);
}

std::string ArbolinConsole::TakeBox(DWORD timeoutMs)
{
    HWND box = WaitBox(timeoutMs);
    if (box == nullptr)
        return "(no box)";
    std::string text = BoxText(box);
    AnswerBox(box);
    return text;
}

std::vector<ConsoleRow> ArbolinConsole::Rows() const
{
    std::vector<ConsoleRow> rows;
    HWND list = Item(kListId);
    if (list == nullptr)
        return rows;
    constexpr SIZE_T kText = 512;
    RemoteBlock block(process_, sizeof(LVITEMA) + kText);
    if (!block.ok())
        return rows;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string texts[3];
        for (int column = 0; column < 3; ++column) {
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = block.at(sizeof(LVITEMA));
            item.cchTextMax = kText;
            char text[kText] = "";
            if (block.Write(0, &item, sizeof item) &&
                SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.at(0))) >= 0)
                block.Read(sizeof(LVITEMA), text, kText);
            text[kText - 1] = 0;
            texts[column] = text;
        }
        rows.push_back({texts[0], texts[1], texts[2]});
    }
    return rows;
}

bool ArbolinConsole::WaitRowCount(size_t count, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Rows().size() == count; }, timeoutMs);
}

bool ArbolinConsole::SelectRow(int row)
{
    HWND list = Item(kListId);
    // Posted, not sent: the selection runs the console's read, which may show a box that this
    // thread is to answer. The item lives in the console's memory for as long as the console.
    if (selectItem_ == nullptr)
        selectItem_ = VirtualAllocEx(process_, nullptr, sizeof(LVITEMA), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (selectItem_ == nullptr || !WriteProcessMemory(process_, selectItem_, &item, sizeof item, nullptr))
        return false;
    return PostMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(selectItem_)) != FALSE;
}

bool ArbolinConsole::StartWithKey(int key, const char *reader)
{
    return Insert(key, reader) && Start() && WaitMain() != nullptr && WaitRowCount(1) && SelectRow(0);
}

void ArbolinConsole::Click(int id) const
{
    ClickButton(Item(id));
}

void ArbolinConsole::DoubleClick() const
{
    // Below the list, left of the groups' buttons: the window itself, no control.
    LPARAM at = MAKELPARAM(4, 105);
    PostMessageA(main_, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
}

HWND ArbolinConsole::WaitInput(const char *caption, DWORD timeoutMs) const
{
    // Either input dialog: the one-line dialog or the password dialog.
    HWND dialog = nullptr;
    WaitUntil([&] {
        dialog = Find("#32770", caption, kInputEditId, 0);
        if (dialog == nullptr)
            dialog = Find("#32770", caption, kPasswordEditId, 0);
        return dialog != nullptr;
    }, timeoutMs);
    return dialog;
}

std::string ArbolinConsole::InputPrompt(HWND dialog)
{
    HWND prompt = GetDlgItem(dialog, kInputPromptId);
    return GetControlText(prompt != nullptr ? prompt : GetDlgItem(dialog, kPasswordPromptId));
}

std::string ArbolinConsole::InputNote(HWND dialog)
{
    return GetControlText(GetDlgItem(dialog, kInputNoteId));
}

bool ArbolinConsole::AnswerInput(HWND dialog, const char *text, int button)
{
    if (dialog == nullptr)
        return false;
    HWND edit = GetDlgItem(dialog, kInputEditId);
    if (edit == nullptr)
        edit = GetDlgItem(dialog, kPasswordEditId);
    if (!SetControlText(edit, text))
        return false;
    ClickDialogButton(dialog, button);
    return WaitForWindowGone(dialog, kWait);
}

bool ArbolinConsole::AnswerInput(const char *caption, const char *text, int button)
{
    return AnswerInput(WaitInput(caption), text, button);
}

HWND ArbolinConsole::WaitFileDialog(const char *title, DWORD timeoutMs) const
{
    return Find("#32770", title, 0, timeoutMs);
}

HWND ArbolinConsole::FileNameField(HWND dialog)
{
    // The dialog may still be filling itself in: its name field is written once it exists.
    HWND field = nullptr;
    WaitUntil([&] {
        field = GetDlgItem(dialog, kFileNameEdit);
        if (field == nullptr)
            field = GetDlgItem(dialog, kFileNameCombo);
        return field != nullptr;
    });
    return field;
}

bool ArbolinConsole::AnswerFileDialog(const char *title, const std::string &path)
{
    HWND dialog = WaitFileDialog(title);
    if (dialog == nullptr)
        return false;
    if (path.empty()) {
        ClickDialogButton(dialog, IDCANCEL);
        return WaitForWindowGone(dialog, kWait);
    }
    if (!SetControlText(FileNameField(dialog), path.c_str()))
        return false;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return WaitForWindowGone(dialog, kWait);
}

ConsoleBox ArbolinConsole::TakeBoxWith(int button, DWORD timeoutMs)
{
    ConsoleBox box;
    HWND window = WaitBox(timeoutMs);
    if (window == nullptr)
        return box;
    box.found = true;
    box.caption = GetControlText(window);
    box.text = BoxText(window);
    AnswerBox(window, button);
    return box;
}

int ArbolinConsole::Close()
{
    if (main_ == nullptr || process_ == nullptr)
        return -1;
    ClickButton(Item(kCloseId));
    if (WaitForSingleObject(process_, kWait) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

ConsoleStep InputStep(const std::string &caption, const std::string &prompt, const std::string &typed, int button)
{
    return {ConsoleStep::kInput, caption, prompt, typed, button};
}

ConsoleStep BoxStep(const std::string &caption, const std::string &text, int button)
{
    return {ConsoleStep::kBox, caption, text, "", button};
}

ConsoleStep FileStep(const std::string &title, const std::string &path)
{
    return {ConsoleStep::kFile, title, "", path, IDOK};
}

void PlaySteps(ArbolinConsole &console, const std::vector<ConsoleStep> &steps)
{
    for (const ConsoleStep &s : steps) {
        SCOPED_TRACE(s.caption + ": " + (s.kind == ConsoleStep::kFile ? s.typed : s.expected));
        switch (s.kind) {
        case ConsoleStep::kBox: {
            ConsoleBox box = console.TakeBoxWith(s.button);
            ASSERT_TRUE(box.found);
            EXPECT_EQ(s.caption, box.caption);
            EXPECT_EQ(s.expected, box.text);
            break;
        }
        case ConsoleStep::kInput: {
            HWND dialog = console.WaitInput(s.caption.c_str());
            ASSERT_NE(nullptr, dialog);
            EXPECT_EQ(s.expected, ArbolinConsole::InputPrompt(dialog));
            HWND edit = GetDlgItem(dialog, kInputEditId);
            EXPECT_EQ("", GetControlText(edit != nullptr ? edit : GetDlgItem(dialog, kPasswordEditId)))
                << "every show starts empty";
            ASSERT_TRUE(ArbolinConsole::AnswerInput(dialog, s.typed.c_str(), s.button));
            break;
        }
        case ConsoleStep::kFile:
            ASSERT_TRUE(console.AnswerFileDialog(s.caption.c_str(), s.typed));
            break;
        }
    }
}

HWND WaitStepWindow(ArbolinConsole &console, const ConsoleStep &step)
{
    switch (step.kind) {
    case ConsoleStep::kBox:
        return console.WaitBox();
    case ConsoleStep::kInput:
        return console.WaitInput(step.caption.c_str());
    case ConsoleStep::kFile:
        return console.WaitFileDialog(step.caption.c_str());
    }
    return nullptr;
}

NotesRuntimeLog::NotesRuntimeLog() : path_(dir_.file("notes-runtime.log"))
{
    SetEnvironmentVariableA("SENTRIO_NOTES_RUNTIME_LOG", path_.c_str());
}

NotesRuntimeLog::~NotesRuntimeLog()
{
    SetEnvironmentVariableA("SENTRIO_NOTES_RUNTIME_LOG", nullptr);
}

int NotesRuntimeLog::Count(const std::string &line) const
{
    std::string text = ReadFileBytes(path_);
    int count = 0;
    for (std::size_t at = 0; (at = text.find(line + "\n", at)) != std::string::npos; at += line.size() + 1)
        if (at == 0 || text[at - 1] == '\n')
            ++count;
    return count;
}

bool ArbolinConsole::GivePin(int row, const char *pin)
{
    if (!SelectRow(row) || !WaitUntil([&] { return Enabled(IDC_PIN_ENTER); }) ||
        !SetControlText(Item(IDC_PIN_EDIT), pin))
        return false;
    Click(IDC_PIN_ENTER);
    return WaitUntil([&] { return Enabled(IDC_CHANGE_ID); });
}

void ArbolinConsole::WriteIdFile(const std::string &idFile, const std::string &notesIni, const std::string &password)
{
    Click(IDC_CHANGE_ID);
    PlaySteps(*this, {FileStep("Change ID file - Select ID file", idFile),
                      FileStep("Initialize Notes - Select \"notes.ini\"", notesIni),
                      InputStep("Get Password Dialog", "Enter Lotus Notes password:", password)});
}

}  // namespace testkit
