// Test-support helpers over plain Win32.
#include "testkit.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <vector>

namespace testkit {

namespace {

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

}  // namespace

TempDir::TempDir() : TempDir(std::string())
{
}

TempDir::TempDir(const std::string &parent)
{
    char base[MAX_PATH];
    if (parent.empty())
        GetTempPathA(sizeof base, base);
    else
        std::snprintf(base, sizeof base, "%s\\", parent.c_str());
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%ssentrio-test-%lu-%ld", base, GetCurrentProcessId(),
                      InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            // Should not happen; tests then fail on their own files. A folder that was not made
            // here, so that the end removes nothing.
            path_ = std::string(base) + "sentrio-test-not-made";
            return;
        }
    }
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

std::string TempDir::file(const std::string &name) const
{
    return path_ + "\\" + name;
}

bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string IniValue(const std::string &iniPath, const char *name)
{
    char value[1024] = "";
    GetPrivateProfileStringA("Notes", name, "", value, sizeof value, iniPath.c_str());
    return value;
}

std::string ReadFileBytes(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(h, chunk, sizeof chunk, &read, nullptr) && read > 0)
        out.append(chunk, read);
    CloseHandle(h);
    return out;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ExeDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

void PumpMessages(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

namespace {

struct WindowQuery {
    const char *caption;
    const char *className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowQuery *query = reinterpret_cast<WindowQuery *>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    if (query->caption != nullptr) {
        char text[512];
        GetWindowTextA(window, text, sizeof text);
        if (std::string(text) != query->caption)
            return TRUE;
    }
    if (query->className != nullptr) {
        char cls[256];
        GetClassNameA(window, cls, sizeof cls);
        if (lstrcmpiA(cls, query->className) != 0)
            return TRUE;
    }
    query->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForWindow(const char *caption, const char *className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        WindowQuery query = {caption, className, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr)
            return query.found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        PumpMessages(20);
    }
}

namespace {

struct FindQuery {
    DWORD pid;
    const char *className;
    const char *caption;
    int needsControl;  // a child with this id must exist (0: no condition)
    int lacksControl;  // and one with this id must not (0: no condition)
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param)
{
    FindQuery *q = reinterpret_cast<FindQuery *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != q->pid || !IsWindowVisible(window))
        return TRUE;
    char text[512];
    if (q->className != nullptr) {
        GetClassNameA(window, text, sizeof text);
        if (lstrcmpiA(text, q->className) != 0)
            return TRUE;
    }
    if (q->caption != nullptr) {
        GetWindowTextA(window, text, sizeof text);
        if (std::strcmp(text, q->caption) != 0)
            return TRUE;
    }
    if (q->needsControl != 0 && GetDlgItem(window, q->needsControl) == nullptr)
        return TRUE;
    if (q->lacksControl != 0 && GetDlgItem(window, q->lacksControl) != nullptr)
        return TRUE;
    q->found = window;
    return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const char *className, const char *caption, DWORD timeoutMs,
                       int needs, int lacks)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindQuery q = {pid, className, caption, needs, lacks, nullptr};
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&q));
        if (q.found != nullptr || GetTickCount() - start >= timeoutMs)
            return q.found;
        PumpMessages(20);
    }
}

namespace {

struct ProcessWindows {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM param)
{
    ProcessWindows *p = reinterpret_cast<ProcessWindows *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == p->pid && IsWindowVisible(window))
        p->windows.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD pid)
{
    ProcessWindows p = {pid, {}};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&p));
    return p.windows;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpMessages(20);
    }
    return true;
}

bool SetControlText(HWND control, const char *text)
{
    return control != nullptr &&
           SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != FALSE;
}

std::string GetControlText(HWND control)
{
    if (control == nullptr)
        return std::string();
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(static_cast<size_t>(length) + 1);
    LRESULT got = SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.data(), static_cast<size_t>(got));
}

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

void ClickButton(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void ClickDialogButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (button != nullptr)
        ClickButton(button);
    else
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string SaveScreenshot(HWND window, const char *name)
{
    RECT rect;
    if (window != nullptr)
        GetWindowRect(window, &rect);
    else
        SetRect(&rect, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return std::string();

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::string path;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();

        std::string dir = ExeDir() + "..\\screenshots";
        CreateDirectoryA(dir.c_str(), nullptr);
        path = dir + "\\" + name + ".bmp";
        DWORD stride = ((width * 3 + 3) / 4) * 4;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + stride * height;
        std::string bytes(reinterpret_cast<const char *>(&file), sizeof file);
        bytes.append(reinterpret_cast<const char *>(&info.bmiHeader), sizeof info.bmiHeader);
        bytes.append(static_cast<const char *>(bits), stride * height);
        if (!WriteFileBytes(path, bytes))
            path.clear();
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return path;
}

HANDLE StartProcess(const std::string &commandLine)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool RunningOnWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int RunProcess(const std::string &commandLine, DWORD timeoutMs)
{
    HANDLE process = StartProcess(commandLine);
    if (process == nullptr)
        return -1000;
    int result = -1000;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        result = static_cast<int>(code);
    } else {
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
    return result;
}

namespace {

// One line "<kind> <text>" appended whole (tests of several processes note at once).
void NoteLine(char kind, const std::string &text)
{
    if (text.empty() || text.find_first_of("\r\n") != std::string::npos)
        return;
    // At the drive's root beside the log, not under %TEMP%: scenarios point TMP elsewhere.
    const char path[] = "C:\\SentrioTestSecrets.txt";
    DWORD saved = GetLastError();  // tests check the product's last error around these calls
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::string line = std::string(1, kind) + " " + text + "\n";
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    SetLastError(saved);
}

}  // namespace

void NoteSecret(const std::string &secret)
{
    NoteLine('S', secret);
}

std::vector<std::string> FindInPrivateMemory(HANDLE process, const std::vector<std::string> &needles)
{
    struct Form {
        std::string bytes, name;
        const std::string *needle;
    };
    std::vector<Form> forms;
    for (const std::string &needle : needles) {
        if (needle.empty())
            continue;
        std::string wide;
        for (char c : needle) {
            wide += c;
            wide += '\0';
        }
        forms.push_back({needle, "text", &needle});
        forms.push_back({wide, "UTF-16", &needle});
    }
    std::vector<std::string> finds;
    std::vector<char> buffer;
    MEMORY_BASIC_INFORMATION info;
    int regions = 0, read = 0;
    for (const char *at = nullptr; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         at = static_cast<const char *>(info.BaseAddress) + info.RegionSize) {
        DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                         PAGE_EXECUTE_WRITECOPY;
        // Private pages, and the writable pages of the images (their data: a module's globals).
        DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        bool wanted = info.Type == MEM_PRIVATE || (info.Type == MEM_IMAGE && (info.Protect & writable) != 0);
        if (info.State != MEM_COMMIT || !wanted || (info.Protect & readable) == 0 ||
            (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
            continue;
        ++regions;
        buffer.resize(info.RegionSize);
        SIZE_T got = 0;
        if (!ReadProcessMemory(process, info.BaseAddress, buffer.data(), info.RegionSize, &got) || got == 0)
            continue;
        ++read;
        for (const Form &form : forms) {
            auto begin = buffer.begin(), end = buffer.begin() + static_cast<std::ptrdiff_t>(got);
            for (auto hit = std::search(begin, end, form.bytes.begin(), form.bytes.end()); hit != end;
                 hit = std::search(hit + 1, end, form.bytes.begin(), form.bytes.end())) {
                char line[160];
                std::snprintf(line, sizeof line, " %s at %p (allocation %p)", form.name.c_str(),
                              static_cast<const void *>(static_cast<const char *>(info.BaseAddress) + (hit - begin)),
                              info.AllocationBase);
                finds.push_back(*form.needle + line);
            }
        }
    }
    if (regions == 0 || read == 0)
        finds.push_back("(nothing could be read: " + std::to_string(regions) + " regions, " + std::to_string(read) + " read)");
    return finds;
}

void NoteTemporaryIdFile(const std::string &name)
{
    NoteLine('F', name);
}

void NoteLeftover(const std::string &path)
{
    NoteLine('L', path);
}

}  // namespace testkit
