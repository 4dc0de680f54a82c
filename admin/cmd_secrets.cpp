// The sources of PINs and Notes passwords, the check that a secrets file is the administrators'
// alone, and the store of one run's secrets.
#include "cmd_secrets.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

#include "admin_files.h"
#include "arbolin_cmd_texts.h"
#include "text_strings.h"

namespace {

// Groups whose read access makes a secrets file readable by ordinary users of the PC.
bool IsEveryoneLike(PSID sid)
{
    static const WELL_KNOWN_SID_TYPE kTypes[] = {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid,
                                                  WinInteractiveSid, WinBuiltinGuestsSid, WinAnonymousSid};
    for (WELL_KNOWN_SID_TYPE type : kTypes)
        if (IsWellKnownSid(sid, type))
            return true;
    return false;
}

constexpr ACCESS_MASK kReadRights = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;

std::string Trimmed(const std::string &text)
{
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

bool FirstLineOf(const std::string &path, std::string *line, std::string *error)
{
    if (!OnlyAdministratorsRead(path, error))
        return false;
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path, &bytes, 64 * 1024)) {
        *error = TextF(IDS_CMD_SECRET_FILE_UNREADABLE, path.c_str(), static_cast<unsigned long>(GetLastError()));
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    SecureZeroMemory(bytes.data(), bytes.size());
    std::size_t end = text.find_first_of("\r\n");
    *line = text.substr(0, end);
    WipeString(text);
    return true;
}

}  // namespace

bool SecretSource::Parse(const std::string &text, bool noneAllowed, SecretSource *source, std::string *error)
{
    *source = SecretSource();
    if (text == "stdin") {
        source->kind = Kind::kStdin;
    } else if (text == "prompt") {
        source->kind = Kind::kPrompt;
    } else if (text == "none" && noneAllowed) {
        source->kind = Kind::kNone;
    } else if (text.compare(0, 5, "file:") == 0 && text.size() > 5) {
        source->kind = Kind::kFile;
        source->where = text.substr(5);
    } else if (text.compare(0, 7, "secret:") == 0 && text.size() > 7) {
        source->kind = Kind::kSecret;
        source->where = text.substr(7);
    } else {
        *error = TextF(IDS_CMD_NO_SOURCE, noneAllowed ? Text(IDS_CMD_OR_NONE).c_str() : "");
        return false;
    }
    return true;
}

bool OnlyAdministratorsRead(const std::string &path, std::string *error)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD r = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &sd);
    if (r != ERROR_SUCCESS) {
        *error = TextF(IDS_CMD_SECRET_FILE_UNREADABLE, path.c_str(), static_cast<unsigned long>(r));
        return false;
    }
    bool open = dacl == nullptr;  // no access list: everyone may read it
    for (DWORD i = 0; !open && i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            continue;
        const ACE_HEADER *header = static_cast<const ACE_HEADER *>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const ACCESS_ALLOWED_ACE *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(ace);
        if ((allowed->Mask & kReadRights) != 0 && IsEveryoneLike(const_cast<DWORD *>(&allowed->SidStart)))
            open = true;
    }
    LocalFree(sd);
    if (open) {
        *error = TextF(IDS_CMD_SECRET_FILE_OPEN, path.c_str(), path.c_str());
        return false;
    }
    return true;
}

SecretStore::~SecretStore()
{
    for (auto &entry : entries_)
        WipeString(entry.second);
}

bool SecretStore::LoadFile(const std::string &path, std::string *error)
{
    if (!OnlyAdministratorsRead(path, error))
        return false;
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path, &bytes, 1024 * 1024)) {
        *error = TextF(IDS_CMD_SECRET_FILE_UNREADABLE, path.c_str(), static_cast<unsigned long>(GetLastError()));
        return false;
    }
    std::string text(bytes.begin(), bytes.end());
    SecureZeroMemory(bytes.data(), bytes.size());
    std::size_t start = 0;
    int number = 0;
    bool ok = true;
    while (ok && start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string bare = Trimmed(line);
        if (!bare.empty() && bare[0] != '#') {
            std::size_t eq = line.find('=');
            std::string name = eq == std::string::npos ? std::string() : Trimmed(line.substr(0, eq));
            if (name.empty()) {
                *error = TextF(IDS_CMD_SECRETS_LINE, number, path.c_str());
                ok = false;
            } else {
                entries_[name] = line.substr(eq + 1);
            }
        }
        WipeString(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    WipeString(text);
    file_ = path;
    return ok;
}

bool SecretStore::Get(const SecretSource &source, const std::string &what, std::string *secret, std::string *error)
{
    WipeString(*secret);
    switch (source.kind) {
    case SecretSource::Kind::kNone:
        return true;
    case SecretSource::Kind::kStdin:
        if (!io_.ReadLine(secret)) {
            *error = TextF(IDS_CMD_STDIN_ENDED, what.c_str());
            return false;
        }
        return true;
    case SecretSource::Kind::kPrompt: {
        std::string first = what;
        first[0] = static_cast<char>(toupper(static_cast<unsigned char>(first[0])));
        if (!io_.Ask(first + ": ", true, secret)) {
            *error = TextF(IDS_CMD_CANNOT_PROMPT, what.c_str());
            return false;
        }
        return true;
    }
    case SecretSource::Kind::kFile:
        return FirstLineOf(source.where, secret, error);
    case SecretSource::Kind::kSecret: {
        if (file_.empty()) {
            *error = TextF(IDS_CMD_NO_SECRETS_FILE, source.where.c_str());
            return false;
        }
        auto found = entries_.find(source.where);
        if (found == entries_.end()) {
            *error = TextF(IDS_CMD_NO_SECRET_ENTRY, file_.c_str(), source.where.c_str(), what.c_str(),
                           source.where.c_str());
            return false;
        }
        *secret = found->second;
        return true;
    }
    }
    return false;
}
