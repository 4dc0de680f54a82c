// The session journal of Tolvik and the repair of a session's leftover at the client's start.
#include "session_journal.h"

#include <ntsecapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "cut_format.h"
#include "extension.h"
#include "log.h"
#include "logon_state.h"
#include "notes_api.h"

namespace {

const char kJournalFolder[] = "Morvath\\Sentrio";
const char kJournalName[] = "Tolvik.journal";
const char kHeader[] = "[Tolvik session]";
// A temporary ID's own folder under the temporary directory starts with this.
const char kSessionFolderPrefix[] = "Sentrio-";
constexpr int kDeleteTries = 20;
constexpr DWORD kDeletePauseMs = 50;

std::string Environment(const char *name)
{
    char value[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

// The folder's components made one by one; true when it exists afterwards.
bool MakeFolders(const std::string &base, const char *relative)
{
    std::string path = base;
    const char *part = relative;
    while (*part != 0) {
        const char *end = std::strchr(part, '\\');
        std::size_t length = end != nullptr ? static_cast<std::size_t>(end - part) : std::strlen(part);
        path += "\\" + std::string(part, length);
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        part += length;
        if (*part == '\\')
            ++part;
    }
    return true;
}

ULONGLONG ProcessStarted(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool WriteAll(HANDLE file, const std::string &text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string KeyFileName()
{
    char value[MAXENVVALUE] = "";
    OSGetEnvironmentString(NOTES_INI_KEYFILENAME, value, sizeof value);
    return value;
}

// A security descriptor whose access list lets the token's user alone in, inherited by what is
// made inside; the buffers hold its parts for as long as it is used.
bool UserOnlyDescriptor(SECURITY_DESCRIPTOR *descriptor, std::vector<BYTE> *user, std::vector<BYTE> *acl)
{
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user->assign(size != 0 ? size : 1, 0);
    bool ok = size != 0 && GetTokenInformation(token, TokenUser, user->data(), size, &size);
    CloseHandle(token);
    if (!ok)
        return false;
    PSID sid = reinterpret_cast<TOKEN_USER *>(user->data())->User.Sid;
    DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    acl->assign(aclSize, 0);
    PACL list = reinterpret_cast<PACL>(acl->data());
    return InitializeAcl(list, aclSize, ACL_REVISION) &&
           AddAccessAllowedAceEx(list, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid) &&
           InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(descriptor, TRUE, list, FALSE) &&
           SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

}  // namespace

bool MakeSessionFolder(char *out, std::size_t size)
{
    char shortForm[MAX_PATH], temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof shortForm, shortForm);
    if (n == 0 || n >= sizeof shortForm)
        return false;
    n = GetLongPathNameA(shortForm, temp, sizeof temp);
    if (n == 0 || n >= sizeof temp)
        CopyCut(temp, sizeof temp, shortForm);
    std::size_t length = std::strlen(temp);
    if (length > 0 && temp[length - 1] != '\\' && temp[length - 1] != '/')
        CopyCut(temp + length, sizeof temp - length, "\\");

    SECURITY_DESCRIPTOR descriptor;
    std::vector<BYTE> user, acl;
    if (!UserOnlyDescriptor(&descriptor, &user, &acl)) {
        LogMessage(kLogError, kLogModule, "MakeSessionFolder - no access list (error %lu)",
                   static_cast<unsigned long>(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    for (int attempt = 0; attempt < 8; ++attempt) {
        unsigned char random[8];
        if (!RtlGenRandom(random, sizeof random))
            return false;
        char path[MAX_PATH];
        FormatCut(path, sizeof path, "%s%s%02x%02x%02x%02x%02x%02x%02x%02x\\", temp, kSessionFolderPrefix, random[0],
                  random[1], random[2], random[3], random[4], random[5], random[6], random[7]);
        SecureZeroMemory(random, sizeof random);
        if (std::strlen(path) + 1 > size) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        if (CreateDirectoryA(path, &attributes)) {
            CopyCut(out, size, path);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

std::string JournalPath(bool create)
{
    LogonState &s = State();
    if (s.sJournal[0] != 0 && !create)
        return s.sJournal;
    std::string base = Environment("LOCALAPPDATA");
    if (base.empty())
        base = Environment("APPDATA");
    if (base.empty()) {
        char temp[MAX_PATH] = "";
        DWORD n = GetTempPathA(sizeof temp, temp);
        if (n == 0 || n >= sizeof temp)
            return "";
        base = temp;
    }
    while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();
    if (create && !MakeFolders(base, kJournalFolder))
        return "";
    std::string path = base + "\\" + kJournalFolder + "\\" + kJournalName;
    if (path.size() >= sizeof s.sJournal)
        return "";
    // Kept for the unload at the process's end, which asks nothing of the environment.
    CopyCut(s.sJournal, sizeof s.sJournal, path.c_str());
    return path;
}

bool WriteJournal(const std::string &keyFileName, const std::string &idPath)
{
    std::string path = JournalPath(true);
    if (path.empty()) {
        LogMessage(kLogWarning, kLogModule, "Journal - no folder for it: a crash would leave the ID file behind");
        return false;
    }
    char head[96];
    FormatCut(head, sizeof head, "%s\r\nProcess=%lu\r\nStarted=%llx\r\n", kHeader,
              static_cast<unsigned long>(GetCurrentProcessId()),
              static_cast<unsigned long long>(ProcessStarted(GetCurrentProcess())));
    std::string text = std::string(head) + "TempId=" + idPath + "\r\nKeyFileName=" + keyFileName + "\r\n";
    // Written beside and moved over the journal: the next start reads the old entry or this one.
    std::string partial = path + ".new";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    if (ok) {
        ok = WriteAll(file, text) && FlushFileBuffers(file);
        CloseHandle(file);
    }
    ok = ok && MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        LogMessage(kLogWarning, kLogModule, "Journal - not written to %s (error %lu)", path.c_str(),
                   static_cast<unsigned long>(GetLastError()));
        DeleteFileA(partial.c_str());
    }
    return ok;
}

bool ReadJournal(JournalEntry *entry)
{
    std::string path = JournalPath(false);
    if (path.empty())
        return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[2048];
    DWORD got = 0;
    bool read = ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr) != FALSE;
    CloseHandle(file);
    if (!read)
        return false;
    buffer[got] = 0;
    std::string text(buffer, got);
    if (text.compare(0, sizeof kHeader - 1, kHeader) != 0)
        return false;
    *entry = JournalEntry();
    bool haveId = false, haveName = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            break;  // a line without its end was not written whole
        std::string line = text.substr(at, end - at);
        at = end + 2;
        std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string name = line.substr(0, equals), value = line.substr(equals + 1);
        if (name == "Process")
            entry->process = std::strtoul(value.c_str(), nullptr, 10);
        else if (name == "Started")
            entry->started = std::strtoull(value.c_str(), nullptr, 16);
        else if (name == "TempId")
            entry->idPath = value, haveId = true;
        else if (name == "KeyFileName")
            entry->keyFileName = value, haveName = true;
    }
    return haveId && haveName && !entry->idPath.empty();
}

void ClearJournal()
{
    LogonState &s = State();
    if (s.sJournal[0] != 0)
        DeleteFileA(s.sJournal);
}

bool JournalWriterRuns(const JournalEntry &entry)
{
    if (entry.process == 0 || entry.process == GetCurrentProcessId())
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.process);
    if (process == nullptr)
        process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.process);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at: left alone
    DWORD code = 0;
    bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE && ProcessStarted(process) == entry.started;
    CloseHandle(process);
    return runs;
}

bool RemoveTemporaryId(const char *path)
{
    if (path == nullptr || path[0] == 0)
        return true;
    bool gone = false;
    for (int attempt = 0; attempt < kDeleteTries; ++attempt) {
        if (DeleteFileA(path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
            gone = true;
            break;
        }
        Sleep(kDeletePauseMs);
    }
    // The session folder goes with its file.
    char folder[MAX_PATH] = "";
    CopyCut(folder, sizeof folder, path);
    char *slash = std::strrchr(folder, '\\');
    bool sessionFolder = false;
    if (slash != nullptr) {
        *slash = 0;
        const char *leaf = std::strrchr(folder, '\\');
        leaf = leaf != nullptr ? leaf + 1 : folder;
        sessionFolder = std::strncmp(leaf, kSessionFolderPrefix, sizeof kSessionFolderPrefix - 1) == 0;
    }
    if (gone) {
        if (sessionFolder)
            RemoveDirectoryA(folder);
        return true;
    }
    DWORD error = GetLastError();
    bool scheduled = MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    if (scheduled && sessionFolder)
        MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    LogMessage(kLogError, kLogModule, "RemoveTemporaryId - %s not deleted (error %lu), %s", path,
               static_cast<unsigned long>(error), scheduled ? "deleted at the next restart" : "not scheduled either");
    return false;
}

void RepairLeftoverSession()
{
    JournalEntry entry;
    if (!ReadJournal(&entry))
        return;
    if (JournalWriterRuns(entry)) {
        LogMessage(kLogStep, kLogModule, "RepairLeftoverSession - the session of process %lu still runs",
                   static_cast<unsigned long>(entry.process));
        return;
    }
    std::string now = KeyFileName();
    LogMessage(kLogStep, kLogModule, "RepairLeftoverSession - TempId <%s> KeyFileName <%s> before <%s>",
               entry.idPath.c_str(), now.c_str(), entry.keyFileName.c_str());
    if (lstrcmpiA(now.c_str(), entry.idPath.c_str()) == 0)
        WriteKeyFileName(entry.keyFileName.c_str());
    RemoveTemporaryId(entry.idPath.c_str());
    ClearJournal();
}
