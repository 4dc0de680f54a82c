// The admin console scenario helper.
#include "arbolin_window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "quorel_control.h"

namespace testkit {

const char *const ArbolinConsole::kCaption = "Morvath Sentrio - Key Storage Device Manager";

namespace {

const int kListId = 1002;
const int kCloseId = 1023;

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

bool ArbolinConsole::Start()
{
    process_ = StartProcess("\"" + ProgramPath() + "\"");
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
    RemoteBlock block(process_, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (!block.ok() || !block.Write(0, &item, sizeof item))
        return false;
    return SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.at(0))) != 0;
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

}  // namespace testkit
