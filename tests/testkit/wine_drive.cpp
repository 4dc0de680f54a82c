// Drives defined through Wine's mount manager (its IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE extension):
// the letter becomes a link to the folder's Unix path, of the type given.
#include "wine_drive.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

namespace testkit {

namespace {

// Wine's request record (include/ddk/mountmgr.h, WINE_MOUNTMGR_EXTENSIONS); the Unix path
// follows it in the same buffer.
struct MountmgrUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDev;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Defines (unixPath given) or undefines (null) drive `letter`.
bool DefineDrive(char letter, const char *unixPath, UINT type)
{
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    std::size_t pathLength = unixPath != nullptr ? std::strlen(unixPath) + 1 : 0;
    std::vector<char> buffer(sizeof(MountmgrUnixDrive) + pathLength, 0);
    MountmgrUnixDrive *request = reinterpret_cast<MountmgrUnixDrive *>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(letter - 'A' + 'a');
    if (unixPath != nullptr) {
        request->mountPointOffset = sizeof(MountmgrUnixDrive);
        std::memcpy(buffer.data() + sizeof(MountmgrUnixDrive), unixPath, pathLength);
    }
    DWORD returned = 0;
    BOOL done = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                                0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
}

// The Unix path of a Windows path, through Wine's kernel32 export.
std::string UnixPathOf(const std::string &path)
{
    using ToUnix = char *(CDECL *)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr)
        return "";
    wchar_t wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0)
        return "";
    char *unix = toUnix(wide);
    if (unix == nullptr)
        return "";
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

}  // namespace

WineDrive::WineDrive(const std::string &folder, UINT type)
{
    std::string unixPath = UnixPathOf(folder);
    if (unixPath.empty())
        return;
    for (char letter = 'P'; letter <= 'Y'; ++letter) {
        char root[4] = {letter, ':', '\\', 0};
        if (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR)
            continue;
        if (DefineDrive(letter, unixPath.c_str(), type))
            letter_ = letter;
        return;
    }
}

WineDrive::~WineDrive()
{
    if (letter_ != 0)
        DefineDrive(letter_, nullptr, 0);
}

std::string WineDrive::root() const
{
    return letter_ != 0 ? std::string(1, letter_) + ":\\" : std::string();
}

}  // namespace testkit
