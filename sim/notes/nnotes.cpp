// Stand-in for the Notes client's C API library, nnotes.dll (never shipped). It exports, as the
// product imports them (by the 32-bit library's ordinals in the 32-bit build, by name in the
// 64-bit one), the fourteen calls the product makes, with their prototypes and calling convention:
//   - notes.ini: NotesInitIni makes a file the active notes.ini, NotesTerm ends it; variables are
//     read and written with the profile API in the [Notes] section of the active file.
//   - ID files (format of its own, idfile.h): switch to an ID with its password (the switch names
//     the ID in KeyFileName), change an ID's password (the file is re-encrypted), the user name.
//   - status texts that read like the client's own (OSLoadString);
//   - the build number (SENTRIO_NOTES_BUILD, or NsimSetBuildVersion) through a database handle;
//   - the Extension Manager: handlers for EM_GETPASSWORD and EM_SETPASSWORD, called in
//     registration order until one answers something else than ERR_EM_CONTINUE, and for
//     EM_TERMINATENSF, which the client host raises right before it unloads the extensions.
// Tests and the Notes client host steer it through the exports of notes_control.h.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "idfile.h"
#include "notes_control.h"

namespace {

const char kSection[] = "Notes";

struct Registration {
    HEMREGISTRATION handle;
    EID eid;
    DWORD flags;
    EMHANDLER proc;
    WORD recursionId;
};

struct State {
    CRITICAL_SECTION lock;
    std::string iniPath;
    std::string idFile;
    std::string userName;
    bool locked = false;
    WORD build = NSIM_DEFAULT_BUILD;
    std::vector<Registration> registrations;
#ifdef _WIN64
    // Registrations are handed out wider than 32 bits: a caller that kept only the lower half
    // could not deregister.
    HEMREGISTRATION nextRegistration = 0x5E00000000000001ull;
#else
    HEMREGISTRATION nextRegistration = 1;
#endif
    WORD nextRecursionId = 1;
    std::vector<DBHANDLE> databases;
    DBHANDLE nextDatabase = 0x100;
    WORD failOrdinal = 0;
    STATUS failStatus = 0;
    DWORD handlerCalls = 0;
    DWORD offThreadCalls = 0;      // Notes calls made on another thread than the client's
    std::string offThreadCall;     // the first of them
};

State *g_state = nullptr;
WORD g_startBuild = NSIM_DEFAULT_BUILD;  // the build this process started with (SENTRIO_NOTES_BUILD)
// Recursion ids of the handlers running on this thread, innermost last.
thread_local std::vector<WORD> t_activeRecursion;

// The client's thread: the one that started the Notes runtime (NotesInitIni). An extension that
// calls the API from a thread it never initialised for it (a worker of its own) is counted.
DWORD g_clientThread = 0;

class Locked {
public:
    Locked() { EnterCriticalSection(&g_state->lock); }
    ~Locked() { LeaveCriticalSection(&g_state->lock); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;
};

// The fault planted for the function at `ordinal`, once.
bool TakeFault(WORD ordinal, STATUS *status)
{
    Locked hold;
    if (g_state->failOrdinal != ordinal || g_state->failStatus == 0)
        return false;
    *status = g_state->failStatus;
    g_state->failOrdinal = 0;
    g_state->failStatus = 0;
    return true;
}

void CopyCut(char *out, size_t size, const std::string &text)
{
    if (out == nullptr || size == 0)
        return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

bool ReadWholeFile(const std::string &path, std::string *bytes, DWORD *error)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    bytes->clear();
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0)
        bytes->append(chunk, got);
    if (!ok)
        *error = GetLastError();
    CloseHandle(h);
    return ok;
}

// Writes beside the target and moves over it, so a failed write never leaves half a file.
bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::string temp = path + ".nsim-new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    ok = CloseHandle(h) && ok;
    if (ok)
        ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!ok)
        DeleteFileA(temp.c_str());
    return ok;
}

void MakeSalt(uint8_t (&salt)[nsim::kIdSaltSize])
{
    static LONG counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long seed = static_cast<unsigned long long>(now.QuadPart) ^
                              (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                              static_cast<unsigned long long>(InterlockedIncrement(&counter)) *
                                  0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < nsim::kIdSaltSize; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        salt[i] = static_cast<uint8_t>(seed >> 24);
    }
}

STATUS StatusOf(nsim::IdResult result)
{
    switch (result) {
    case nsim::IdResult::kOk:
        return NOERROR;
    case nsim::IdResult::kWrongPassword:
        return ERR_SECURE_BADPASSWORD;
    case nsim::IdResult::kDamaged:
        break;
    }
    return NSIM_ERR_ID_DAMAGED;
}

STATUS LoadIdFile(const char *path, std::string *bytes)
{
    if (path == nullptr || *path == 0)
        return NSIM_ERR_BAD_ARGUMENT;
    DWORD error = 0;
    if (!ReadWholeFile(path, bytes, &error))
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERR_NOEXIST
                                                                             : NSIM_ERR_ID_READ;
    return NOERROR;
}

STATUS OpenIdFile(const char *path, const char *password, nsim::IdContents *contents)
{
    std::string bytes;
    STATUS status = LoadIdFile(path, &bytes);
    if (status != NOERROR)
        return status;
    return StatusOf(nsim::DecodeIdFile(bytes, password != nullptr ? password : "", contents));
}

std::string IniPath()
{
    Locked hold;
    return g_state->iniPath;
}

std::string IniValue(const std::string &ini, const char *name)
{
    char value[MAXENVVALUE];
    GetPrivateProfileStringA(kSection, name, "", value, sizeof value, ini.c_str());
    return value;
}

// The ID file notes.ini names: KeyFileName as a path when it holds one, else in Directory
// (or beside notes.ini when Directory is unset).
std::string KeyFilePath(const std::string &ini)
{
    std::string key = IniValue(ini, NOTES_INI_KEYFILENAME);
    if (key.empty() || key.find(':') != std::string::npos || key[0] == '\\')
        return key;
    std::string dir = IniValue(ini, NOTES_INI_DIRECTORY);
    if (dir.empty()) {
        size_t slash = ini.find_last_of('\\');
        dir = slash == std::string::npos ? std::string() : ini.substr(0, slash);
    }
    if (!dir.empty() && dir.back() != '\\')
        dir += '\\';
    return dir + key;
}

struct StatusText {
    STATUS code;
    const char *text;
};

const StatusText kTexts[] = {
    {ERR_NOEXIST, "File does not exist"},
    {ERR_EM_CONTINUE, "Extension Manager: continue with the normal operation"},
    {ERR_BSAFE_USER_ABORT, "Operation stopped at your request"},
    {ERR_BSAFE_EXTERNAL_PASSWORD, "The password was supplied by an external password handler"},
    {ERR_BSAFE_PASSWORD_REQUIRED, "You must supply a password"},
    {ERR_SECURE_BADPASSWORD,
     "Wrong Password. (Passwords are case sensitive - be sure to use correct upper and lower case.)"},
    {NSIM_ERR_NOT_INITIALIZED, "Notes has not been initialized with a notes.ini file"},
    {NSIM_ERR_NO_KEYFILENAME, "Your notes.ini file does not name an ID file (KeyFileName)"},
    {NSIM_ERR_ID_DAMAGED, "The ID file is damaged or is not a Notes ID file"},
    {NSIM_ERR_ID_WRITE, "Unable to write to the ID file"},
    {NSIM_ERR_ID_READ, "Unable to read the ID file"},
    {NSIM_ERR_NO_ID, "No user ID is in use"},
    {NSIM_ERR_BAD_ARGUMENT, "Invalid argument"},
    {NSIM_ERR_BAD_HANDLE, "Invalid handle"},
};

// A DWORD argument's slot. On 64-bit Windows the value sits in the low half of its 8-byte slot and
// the upper half is undefined: the stand-in fills it with a marker, so a handler that read the whole
// slot would see a wrong value.
EMARGSLOT DwordSlot(DWORD value)
{
#ifdef _WIN64
    return (static_cast<EMARGSLOT>(0xA5A5A5A5u) << 32) | value;
#else
    return value;
#endif
}

// Calls the before-handlers of `eid` with the argument slots `slots`, in registration order,
// until one answers something else than ERR_EM_CONTINUE; that answer (ERR_EM_CONTINUE when none
// answered).
STATUS FireWith(EID eid, EMARGSLOT *slots)
{
    std::vector<Registration> handlers;
    {
        Locked hold;
        for (const Registration &r : g_state->registrations) {
            // Only before-registrations are called: the password notifications have no after
            // phase, and the termination notice is raised once.
            if (r.eid == eid && (r.flags & EM_REG_BEFORE) != 0)
                handlers.push_back(r);
        }
    }
    STATUS answer = ERR_EM_CONTINUE;
    for (const Registration &r : handlers) {
        // As the Extension Manager does, a handler is not entered again, on the same thread,
        // for a notification raised while a handler of its recursion id runs.
        if (r.recursionId != 0 && std::find(t_activeRecursion.begin(), t_activeRecursion.end(),
                                            r.recursionId) != t_activeRecursion.end())
            continue;
        // A handler deregistered by an earlier one (or by another thread) is not called.
        {
            Locked hold;
            bool still = false;
            for (const Registration &current : g_state->registrations)
                still = still || current.handle == r.handle;
            if (!still)
                continue;
            ++g_state->handlerCalls;
        }
        EMRECORD record = {};
        record.EId = eid;
        record.NotificationType = EM_BEFORE;
        record.Status = NOERROR;
        record.Ap = slots;
        t_activeRecursion.push_back(r.recursionId);
        answer = r.proc(&record);
        t_activeRecursion.pop_back();
        if (answer != ERR_EM_CONTINUE)
            break;
    }
    return answer;
}

BOOL Fire(EID eid, const char *idFile, const char *user, DWORD maxLen, STATUS *status, char *buffer,
          DWORD *length)
{
    EMARGSLOT slots[EM_SETPASSWORD_ARGCOUNT] = {};
    DWORD newDataLength = 0;
    slots[EM_GETPASSWORD_MAXPWDLEN] = DwordSlot(maxLen);
    slots[EM_GETPASSWORD_RETLENGTH] = reinterpret_cast<EMARGSLOT>(length);
    slots[EM_GETPASSWORD_RETPASSWORD] = reinterpret_cast<EMARGSLOT>(buffer);
    slots[EM_GETPASSWORD_FILENAME] = reinterpret_cast<EMARGSLOT>(idFile);
    slots[EM_GETPASSWORD_OWNERNAME] = reinterpret_cast<EMARGSLOT>(user);
    slots[EM_GETPASSWORD_DATALEN] = DwordSlot(0);
    slots[EM_GETPASSWORD_DATA] = 0;
    slots[EM_SETPASSWORD_MAXNEWDATA] = DwordSlot(0);
    slots[EM_SETPASSWORD_RETNEWDATALEN] = reinterpret_cast<EMARGSLOT>(&newDataLength);
    slots[EM_SETPASSWORD_RETNEWDATA] = 0;

    STATUS answer = FireWith(eid, slots);
    if (status != nullptr)
        *status = answer;
    return answer != ERR_EM_CONTINUE;
}

// Appends `line` to the runtime log named by NSIM_ENV_RUNTIME_LOG, when there is one.
void NoteRuntime(const char *line)
{
    char path[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(NSIM_ENV_RUNTIME_LOG, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

// Counts a call of the API made off the client's thread.
void NoteCaller(const char *name)
{
    if (g_state == nullptr || g_clientThread == 0 || GetCurrentThreadId() == g_clientThread)
        return;
    EnterCriticalSection(&g_state->lock);
    if (g_state->offThreadCalls++ == 0)
        g_state->offThreadCall = name;
    LeaveCriticalSection(&g_state->lock);
}

// ---------------------------------------------------------------------------------------------
// The Notes C API

extern "C" {

STATUS LNPUBLIC NotesInitIni(char *pConfigFileName)
{
    if (g_clientThread == 0)
        g_clientThread = GetCurrentThreadId();
    STATUS fault;
    if (TakeFault(12, &fault))
        return fault;
    if (pConfigFileName == nullptr || *pConfigFileName == 0)
        return NSIM_ERR_BAD_ARGUMENT;
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(pConfigFileName, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full)
        return NSIM_ERR_BAD_ARGUMENT;
    DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return ERR_NOEXIST;
    Locked hold;
    // A second start on another file switches to it, as the admin console expects.
    if (_stricmp(g_state->iniPath.c_str(), full) != 0) {
        g_state->idFile.clear();
        g_state->userName.clear();
        g_state->locked = false;
    }
    g_state->iniPath = full;
    NoteRuntime("init\n");
    return NOERROR;
}

void LNPUBLIC NotesTerm(void)
{
    NoteRuntime("term\n");
    Locked hold;
    g_state->iniPath.clear();
    g_state->idFile.clear();
    g_state->userName.clear();
    g_state->locked = false;
    g_state->databases.clear();
}

void LNPUBLIC OSSetEnvironmentVariable(const char *VariableName, const char *Value)
{
    NoteCaller("OSSetEnvironmentVariable");
    std::string ini = IniPath();
    if (ini.empty() || VariableName == nullptr || *VariableName == 0)
        return;
    WritePrivateProfileStringA(kSection, VariableName, Value, ini.c_str());
    // Flush at once: another process (the admin console, a test) may read the file next.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
}

BOOL LNPUBLIC OSGetEnvironmentString(const char *VariableName, char *retValueBuffer,
                                     WORD BufferLength)
{
    NoteCaller("OSGetEnvironmentString");
    if (retValueBuffer == nullptr || BufferLength == 0)
        return FALSE;
    retValueBuffer[0] = 0;
    std::string ini = IniPath();
    if (ini.empty() || VariableName == nullptr)
        return FALSE;
    DWORD n = GetPrivateProfileStringA(kSection, VariableName, "", retValueBuffer, BufferLength,
                                       ini.c_str());
    return n > 0;
}

WORD LNPUBLIC OSLoadString(HMODULE hModule, STATUS StringCode, char *retBuffer, WORD BufferLength)
{
    NoteCaller("OSLoadString");
    (void)hModule;
    if (retBuffer == nullptr || BufferLength == 0)
        return 0;
    STATUS code = ERR(StringCode);
    std::string text;
    for (const StatusText &t : kTexts) {
        if (t.code == code)
            text = t.text;
    }
    if (text.empty()) {
        char unknown[64];
        std::snprintf(unknown, sizeof unknown, "Unknown error code %u", static_cast<unsigned>(code));
        text = unknown;
    }
    CopyCut(retBuffer, BufferLength, text);
    return static_cast<WORD>(std::strlen(retBuffer));
}

STATUS LNPUBLIC SECKFMGetUserName(char *retUserName)
{
    NoteCaller("SECKFMGetUserName");
    STATUS fault;
    if (TakeFault(1562, &fault))
        return fault;
    if (retUserName == nullptr)
        return NSIM_ERR_BAD_ARGUMENT;
    retUserName[0] = 0;
    std::string ini;
    {
        Locked hold;
        if (!g_state->idFile.empty()) {
            CopyCut(retUserName, MAXUSERNAME + 1, g_state->userName);
            return NOERROR;
        }
        ini = g_state->iniPath;
    }
    // No switch yet: the owner of the ID that notes.ini names, read from its clear header.
    if (ini.empty())
        return NSIM_ERR_NOT_INITIALIZED;
    std::string path = KeyFilePath(ini);
    if (path.empty())
        return NSIM_ERR_NO_KEYFILENAME;
    return NsimReadIdOwner(path.c_str(), retUserName, MAXUSERNAME + 1);
}

STATUS LNPUBLIC SECKFMChangePassword(char *pIDFile, char *pOldPassword, char *pNewPassword)
{
    NoteCaller("SECKFMChangePassword");
    STATUS fault;
    if (TakeFault(1667, &fault))
        return fault;
    nsim::IdContents contents;
    STATUS status = OpenIdFile(pIDFile, pOldPassword, &contents);
    if (status != NOERROR)
        return status;
    uint8_t salt[nsim::kIdSaltSize];
    MakeSalt(salt);
    std::string bytes = nsim::EncodeIdFile(contents, pNewPassword != nullptr ? pNewPassword : "", salt);
    return WriteWholeFile(pIDFile, bytes) ? NOERROR : NSIM_ERR_ID_WRITE;
}

STATUS LNPUBLIC SECKFMSwitchToIDFile(char *pIDFileName, char *pPassword, char *pUserName,
                                     WORD MaxUserNameLength, DWORD Flags, void *pReserved)
{
    NoteCaller("SECKFMSwitchToIDFile");
    (void)pReserved;
    STATUS fault;
    if (TakeFault(1747, &fault))
        return fault;
    nsim::IdContents contents;
    STATUS status = OpenIdFile(pIDFileName, pPassword, &contents);
    if (status != NOERROR)
        return status;
    std::string ini;
    {
        Locked hold;
        g_state->idFile = pIDFileName;
        g_state->userName = contents.userName;
        g_state->locked = false;
        ini = g_state->iniPath;
    }
    if (pUserName != nullptr && MaxUserNameLength > 0)
        CopyCut(pUserName, MaxUserNameLength, contents.userName);
    if ((Flags & fKFM_switchid_DontSetEnvVar) == 0 && !ini.empty())
        OSSetEnvironmentVariable(NOTES_INI_KEYFILENAME, pIDFileName);
    return NOERROR;
}

STATUS LNPUBLIC NSFDbOpen(const char *PathName, DBHANDLE *rethDB)
{
    NoteCaller("NSFDbOpen");
    (void)PathName;  // any database answers with the client's build
    STATUS fault;
    if (TakeFault(2005, &fault))
        return fault;
    if (rethDB == nullptr)
        return NSIM_ERR_BAD_ARGUMENT;
    Locked hold;
    DBHANDLE handle = g_state->nextDatabase++;
    g_state->databases.push_back(handle);
#ifdef _WIN64
    // A 32-bit DHANDLE written into the caller's 8-byte storage: the upper half is the caller's
    // (zeroed, as it must be, or the handle it passes back is not this one).
    *reinterpret_cast<DHANDLE *>(rethDB) = static_cast<DHANDLE>(handle);
#else
    *rethDB = handle;
#endif
    return NOERROR;
}

STATUS LNPUBLIC NSFDbClose(DBHANDLE hDB)
{
    NoteCaller("NSFDbClose");
    STATUS fault;
    if (TakeFault(2001, &fault))
        return fault;
    Locked hold;
    for (size_t i = 0; i < g_state->databases.size(); ++i) {
        if (g_state->databases[i] == hDB) {
            g_state->databases.erase(g_state->databases.begin() + static_cast<long>(i));
            return NOERROR;
        }
    }
    return NSIM_ERR_BAD_HANDLE;
}

STATUS LNPUBLIC NSFDbGetBuildVersion(DBHANDLE hDB, WORD *retVersion)
{
    NoteCaller("NSFDbGetBuildVersion");
    STATUS fault;
    if (TakeFault(2024, &fault))
        return fault;
    if (retVersion == nullptr)
        return NSIM_ERR_BAD_ARGUMENT;
    Locked hold;
    for (DBHANDLE h : g_state->databases) {
        if (h == hDB) {
            *retVersion = g_state->build;
            return NOERROR;
        }
    }
    return NSIM_ERR_BAD_HANDLE;
}

STATUS LNPUBLIC EMCreateRecursionID(WORD *retRecursionID)
{
    NoteCaller("EMCreateRecursionID");
    STATUS fault;
    if (TakeFault(2394, &fault))
        return fault;
    if (retRecursionID == nullptr)
        return NSIM_ERR_BAD_ARGUMENT;
    Locked hold;
    *retRecursionID = g_state->nextRecursionId++;
    return NOERROR;
}

STATUS LNPUBLIC EMRegister(EID EmID, DWORD Flags, EMHANDLER Proc, WORD RecursionID,
                           HEMREGISTRATION *rethRegistration)
{
    NoteCaller("EMRegister");
    STATUS fault;
    if (TakeFault(2348, &fault))
        return fault;
    if (Proc == nullptr || rethRegistration == nullptr)
        return NSIM_ERR_BAD_ARGUMENT;
    Locked hold;
    Registration r = {g_state->nextRegistration++, EmID, Flags, Proc, RecursionID};
    g_state->registrations.push_back(r);
    *rethRegistration = r.handle;
    return NOERROR;
}

STATUS LNPUBLIC EMDeregister(HEMREGISTRATION hRegistration)
{
    NoteCaller("EMDeregister");
    STATUS fault;
    if (TakeFault(2349, &fault))
        return fault;
    Locked hold;
    std::vector<Registration> &list = g_state->registrations;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].handle == hRegistration) {
            list.erase(list.begin() + static_cast<long>(i));
            return NOERROR;
        }
    }
    return NSIM_ERR_BAD_HANDLE;
}

// ---------------------------------------------------------------------------------------------
// Control surface

BOOL NsimFirePasswordRequest(const char *idFile, const char *user, DWORD maxLen, STATUS *status,
                             char *buffer, DWORD *length)
{
    return Fire(EM_GETPASSWORD, idFile, user, maxLen, status, buffer, length);
}

BOOL NsimFirePasswordChange(const char *idFile, const char *user, DWORD maxLen, STATUS *status,
                            char *buffer, DWORD *length)
{
    return Fire(EM_SETPASSWORD, idFile, user, maxLen, status, buffer, length);
}

STATUS NsimTerminateNsf(void)
{
    EMARGSLOT unused[1] = {};
    return FireWith(EM_TERMINATENSF, unused);
}

void NsimGetState(NSIM_STATE *state)
{
    if (state == nullptr)
        return;
    std::memset(state, 0, sizeof *state);
    Locked hold;
    CopyCut(state->szIniPath, sizeof state->szIniPath, g_state->iniPath);
    CopyCut(state->szIdFile, sizeof state->szIdFile, g_state->idFile);
    CopyCut(state->szUserName, sizeof state->szUserName, g_state->userName);
    state->fLocked = g_state->locked ? TRUE : FALSE;
    state->wBuild = g_state->build;
    for (const Registration &r : g_state->registrations) {
        if (r.eid == EM_GETPASSWORD)
            ++state->dwHandlers73;
        else if (r.eid == EM_SETPASSWORD)
            ++state->dwHandlers74;
    }
    state->dwHandlerCalls = g_state->handlerCalls;
    state->dwOffThreadCalls = g_state->offThreadCalls;
    CopyCut(state->szOffThreadCall, sizeof state->szOffThreadCall, g_state->offThreadCall);
}

void NsimSetBuildVersion(WORD build)
{
    Locked hold;
    g_state->build = build;
}

void NsimLockId(void)
{
    Locked hold;
    if (!g_state->idFile.empty())
        g_state->locked = true;
}

STATUS NsimUnlockId(const char *password)
{
    std::string idFile;
    {
        Locked hold;
        idFile = g_state->idFile;
    }
    if (idFile.empty())
        return NSIM_ERR_NO_ID;
    nsim::IdContents contents;
    STATUS status = OpenIdFile(idFile.c_str(), password, &contents);
    if (status == NOERROR) {
        Locked hold;
        g_state->locked = false;
    }
    return status;
}

void NsimFailNext(WORD ordinal, STATUS status)
{
    Locked hold;
    g_state->failOrdinal = ordinal;
    g_state->failStatus = status;
}

STATUS NsimReadIdOwner(const char *idFile, char *user, WORD size)
{
    if (user == nullptr || size == 0)
        return NSIM_ERR_BAD_ARGUMENT;
    user[0] = 0;
    std::string bytes;
    STATUS status = LoadIdFile(idFile, &bytes);
    if (status != NOERROR)
        return status;
    std::string name;
    status = StatusOf(nsim::ReadIdOwner(bytes, &name));
    if (status == NOERROR)
        CopyCut(user, size, name);
    return status;
}

STATUS NsimCreateIdFileOfSize(const char *idFile, const char *user, const char *password, DWORD size)
{
    if (idFile == nullptr || *idFile == 0 || user == nullptr || *user == 0)
        return NSIM_ERR_BAD_ARGUMENT;
    nsim::IdContents contents;
    contents.userName = user;
    // Something for the encrypted part to carry, distinct per file.
    char payload[96];
    std::snprintf(payload, sizeof payload, "nsim-keys:%s:%lu:%lu", user, GetTickCount(),
                  GetCurrentProcessId());
    contents.payload = payload;
    uint8_t salt[nsim::kIdSaltSize];
    MakeSalt(salt);
    const std::string pass = password != nullptr ? password : "";
    std::string bytes = nsim::EncodeIdFile(contents, pass, salt);
    if (size > bytes.size()) {
        // The payload grows by what the file lacks: the file's size follows it byte for byte.
        for (std::size_t i = contents.payload.size(), n = contents.payload.size() + (size - bytes.size()); i < n; ++i)
            contents.payload += static_cast<char>('a' + i % 26);
        bytes = nsim::EncodeIdFile(contents, pass, salt);
    }
    return WriteWholeFile(idFile, bytes) ? NOERROR : NSIM_ERR_ID_WRITE;
}

STATUS NsimCreateIdFile(const char *idFile, const char *user, const char *password)
{
    return NsimCreateIdFileOfSize(idFile, user, password, 0);
}

STATUS NsimCheckIdPassword(const char *idFile, const char *password)
{
    nsim::IdContents contents;
    return OpenIdFile(idFile, password, &contents);
}

void NsimReset(void)
{
    Locked hold;
    g_state->iniPath.clear();
    g_state->idFile.clear();
    g_state->userName.clear();
    g_state->locked = false;
    g_state->registrations.clear();
    g_state->databases.clear();
    g_state->failOrdinal = 0;
    g_state->failStatus = 0;
    g_state->handlerCalls = 0;
    g_state->build = g_startBuild;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    if (reason == DLL_PROCESS_ATTACH) {
        g_state = new State();
        InitializeCriticalSection(&g_state->lock);
        char build[16];
        DWORD n = GetEnvironmentVariableA(NSIM_ENV_BUILD, build, sizeof build);
        if (n > 0 && n < sizeof build) {
            // Only a whole number that fits a build number counts; anything else keeps the default.
            char *end = nullptr;
            unsigned long value = std::strtoul(build, &end, 10);
            if (end != build && *end == 0 && value <= 0xFFFF)
                g_state->build = static_cast<WORD>(value);
        }
        g_startBuild = g_state->build;
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr && g_state != nullptr) {
        DeleteCriticalSection(&g_state->lock);
        delete g_state;
        g_state = nullptr;
    }
    return TRUE;
}

}  // extern "C"
