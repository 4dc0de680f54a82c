// Peglar's work over the Windows profile API, so notes.ini is read and written exactly as Windows
// itself does (case, spacing, sections, encoding). The list editing and the command-line split are
// plain functions of their own.
#include "peglar.h"

#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "command_line.h"
#include "cut_format.h"
#include "item_list.h"

namespace {

// The log: enabled by WIN.INI [MvSentrio] Peglar=<path>.
class PeglarLog {
public:
    PeglarLog()
    {
        GetProfileStringA("MvSentrio", "Peglar", "", path_, sizeof path_);
        enabled_ = lstrlenA(path_) >= 3;
    }

    void Write(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (!enabled_)
            return;
        SYSTEMTIME now;
        GetLocalTime(&now);
        char line[1024];
        std::size_t n = FormatCut(line, sizeof line, "[%2d:%2d:%2d:%3d] ", now.wHour, now.wMinute,
                                  now.wSecond, now.wMilliseconds);
        va_list args;
        va_start(args, format);
        n += VFormatCut(line + n, sizeof line - n - 1, format, args);
        va_end(args);
        line[n++] = '\n';
        HANDLE file = CreateFileA(path_, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;  // dropped; the run goes on
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
        CloseHandle(file);
    }

private:
    char path_[60] = {};  // at most 59 characters are read
    bool enabled_ = false;
};

struct Probe {
    bool iniExists = false, sectionExists = false, keyExists = false, itemExists = false;
    bool valueCut = false;  // the value filled the read buffer: what was read may be cut
    std::string value;
};

Probe ProbeIni(const char *ini, const std::string &section, const std::string &key,
               const std::string &item, PeglarLog &log)
{
    Probe probe;
    if (GetFileAttributesA(ini) != INVALID_FILE_ATTRIBUTES) {
        probe.iniExists = true;
        char entries[19];
        if (GetPrivateProfileSectionA(section.c_str(), entries, sizeof entries, ini) != 0)
            probe.sectionExists = true;
    }
    if (probe.sectionExists) {
        char value[kValueReadMax + 1];
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value, ini);
        probe.value = value;
        if (!probe.value.empty()) {
            log.Write("old value: %s", value);
            probe.keyExists = true;
            if (probe.value.size() >= kValueReadMax) {
                log.Write("isExist_: to big value size!");
                probe.valueCut = true;
            }
        }
    }
    std::size_t at = FindItem(probe.value, item);
    if (at != std::string::npos) {
        if (OccurrenceStartsEntry(probe.value, at))
            log.Write("value exist: %s", probe.value.c_str());
        probe.itemExists = true;
    }
    log.Write("isIniExist=%d, isSectExist=%d, isKeyExist=%d, isValueExist=%d", probe.iniExists,
              probe.sectionExists, probe.keyExists, probe.itemExists);
    return probe;
}

bool WriteValue(const char *ini, const std::string &section, const std::string &key,
                const std::string &value, PeglarLog &log)
{
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), ini)) {
        log.Write("ERR: cannot write %s in [%s] of %s (error %lu)", key.c_str(), section.c_str(), ini,
                  GetLastError());
        return false;
    }
    return true;
}

int Add(const char *ini, const std::string &section, const std::string &key, const std::string &item,
        const Probe &probe, PeglarLog &log)
{
    if (probe.itemExists)
        return kPeglarOk;
    if (probe.valueCut) {
        // Rebuilt from a cut copy, the value would lose the rest of the user's list.
        log.Write("WARN: Add_Value: value too long to be read whole, nothing written");
        return kPeglarOk;
    }
    if (!probe.iniExists) {
        HANDLE file = CreateFileA(ini, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            log.Write("ERR: Add_Value: err create inifile");
            return kPeglarCannotCreateIni;
        }
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    std::string joined;
    if (AddItem(probe.keyExists ? probe.value : std::string(), item, &joined) == EditResult::kTooLong) {
        log.Write("WARN: Add_Value: new value would exceed %u characters, nothing written",
                  static_cast<unsigned>(kValueWriteMax));
        return kPeglarOk;
    }
    WriteValue(ini, section, key, joined, log);
    return kPeglarOk;
}

void Remove(const char *ini, const std::string &section, const std::string &key,
            const std::string &item, const Probe &probe, PeglarLog &log)
{
    if (!probe.itemExists)
        return;
    if (probe.valueCut) {
        log.Write("WARN: Del_Value: value too long to be read whole, nothing written");
        return;
    }
    std::string rebuilt;
    if (RemoveItem(probe.value, item, &rebuilt) != EditResult::kChanged)
        return;
    WriteValue(ini, section, key, rebuilt, log);
}

}  // namespace

int RunPeglar(const char *commandLine)
{
    PeglarLog log;
    log.Write("INI file dispatcher ======================== ");
    log.Write("%s", commandLine ? commandLine : "");

    std::vector<std::string> tokens = SplitCommandLine(commandLine);
    if (tokens.size() < 5) {
        log.Write("not enought params");
        return kPeglarOk;
    }
    const std::string &section = tokens[1], &key = tokens[2], &item = tokens[3], &action = tokens[4];
    int flag = tokens.size() > 5 ? ParseFlagToken(tokens[5]) : 0;

    // One full path for both the existence probe and the profile API: given a bare name, the
    // profile API would look in the Windows directory while the probe looked in the current one.
    char ini[MAX_PATH];
    DWORD n = GetFullPathNameA(tokens[0].c_str(), sizeof ini, ini, nullptr);
    if (n == 0 || n >= sizeof ini)
        CopyCut(ini, sizeof ini, tokens[0].c_str());

    log.Write("Loaded parameters: file:%s", ini);
    log.Write("sect:%s, key:%s, val:%s, act:%s, flag=%d", section.c_str(), key.c_str(), item.c_str(),
              action.c_str(), flag);

    Probe probe = ProbeIni(ini, section, key, item, log);
    switch (action.empty() ? 0 : action[0]) {
    case 'a':
        return Add(ini, section, key, item, probe, log);
    case 'd':
        Remove(ini, section, key, item, probe, log);
        break;
    case 'c':
        break;
    default:
        log.Write("WARN: bad action");
        break;
    }
    return kPeglarOk;
}
