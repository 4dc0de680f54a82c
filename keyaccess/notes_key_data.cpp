// The Notes logon record on the Key and the temporary ID file made from it.
#include "notes_key_data.h"

#include <cstring>
#include <vector>

#include "cut_format.h"
#include "log.h"
#include "secure_wipe.h"

const char kTextTempIdFileError[] = "Error ID file opening in TEMP directury";
const char kTextKeyWriteError[] = "Error writing data into KSD.";
const char kTextKeyNoSpace[] = "Not enough free space on KSD.";

namespace {

const char kLogContext[] = "KeyData";

bool WriteWhole(HANDLE file, const BYTE *bytes, DWORD length)
{
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, length, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        length -= written;
    }
    return true;
}

// The user's temporary directory in its long form, ending in a separator.
bool TempDirectory(char *out, DWORD size)
{
    char shortForm[MAX_PATH];
    DWORD n = GetTempPathA(sizeof shortForm, shortForm);
    if (n == 0 || n >= sizeof shortForm)
        return false;
    n = GetLongPathNameA(shortForm, out, size);
    if (n == 0 || n >= size)
        CopyCut(out, size, shortForm);  // the folder has no long form to give: keep it as it is
    std::size_t len = std::strlen(out);
    if (len == 0 || len + 1 >= size)
        return false;
    if (out[len - 1] != '\\' && out[len - 1] != '/') {
        out[len] = '\\';
        out[len + 1] = 0;
    }
    return true;
}

}  // namespace

KeyDataRead ReadNotesKeyData(CSmartKey &key, const char *reader, NotesKeyData *data, LogonRecordError *why)
{
    if (why != nullptr)
        *why = LogonRecordError::kNone;
    data->wDataSize = sizeof data->wData;
    if (!key.Read(reader, data->wData, &data->wDataSize)) {
        data->wDataSize = 0;
        return KeyDataRead::kReadFailed;
    }
    if (data->wDataSize == 0)
        return KeyDataRead::kEmpty;
    LogonRecordError error = LogonRecordError::kNone;
    if (!ParseNotesLogonRecord(data->wData, data->wDataSize, &data->record, &error)) {
        LogMessage(kLogError, kLogContext, "Notes data on the Key refused (%lu bytes): %s",
                   static_cast<unsigned long>(data->wDataSize), LogonRecordErrorText(error));
        if (why != nullptr)
            *why = error;
        return KeyDataRead::kUnreadable;
    }
    return KeyDataRead::kRead;
}

bool MaterialiseIdFile(const NotesKeyData &data, const char *keyFileName, char *sIDPath, std::size_t pathSize,
                       char *sOldKeyFileName, std::size_t oldSize)
{
    char directory[MAX_PATH];
    if (!TempDirectory(directory, sizeof directory)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (!MaterialiseIdFileIn(data, directory, sIDPath, pathSize))
        return false;
    CopyCut(sOldKeyFileName, oldSize, keyFileName != nullptr ? keyFileName : "");
    return true;
}

bool MaterialiseIdFileIn(const NotesKeyData &data, const char *directory, char *sIDPath, std::size_t pathSize)
{
    // The name comes from the Key: only a plain file name may place the file, never a path.
    const char *name = data.record.sIDFileName;
    if (!IsPlainIdFileName(name)) {
        LogMessage(kLogError, kLogContext, "ID file name on the Key is not a plain file name: %s",
                   data.record.sIDFileName);
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (data.record.idFileOffset + data.record.wIDFileLength > data.wDataSize) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }

    char path[MAX_PATH], partial[MAX_PATH];
    // Room for the name, the partial file's suffix (".<pid>.part") and the terminator.
    if (std::strlen(directory) + std::strlen(name) + 16 >= sizeof partial || std::strlen(directory) +
        std::strlen(name) >= pathSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    FormatCut(path, sizeof path, "%s%s", directory, name);
    FormatCut(partial, sizeof partial, "%s%s.%lx.part", directory, name,
              static_cast<unsigned long>(GetCurrentProcessId()));

    // Written beside its place and moved there whole: the client never finds half a file.
    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = WriteWhole(file, data.wData + data.record.idFileOffset,
                              static_cast<DWORD>(data.record.wIDFileLength)) &&
                   FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!written || !MoveFileExA(partial, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (written)
            error = GetLastError();
        DeleteFileA(partial);
        LogMessage(kLogError, kLogContext, "ID file not written to %s (error %lu)", path,
                   static_cast<unsigned long>(error));
        SetLastError(error);
        return false;
    }
    CopyCut(sIDPath, pathSize, path);
    return true;
}

bool WriteNotesKeyData(CSmartKey &key, const char *reader, const char *userName, const char *password,
                       const char *idFileName, const BYTE *idFile, std::size_t idFileLength, char *report,
                       std::size_t reportSize)
{
    if (report != nullptr && reportSize > 0)
        report[0] = 0;
    std::vector<BYTE> record(kLogonRecordMaxSize);
    WipeOnExit wipe([&] { WipeVector(record); });  // the password in clear, and the ID file
    std::size_t total = 0;
    LogonRecordError error = LogonRecordError::kNone;
    if (!BuildNotesLogonRecord(userName, password, idFileName, idFile, idFileLength, record.data(), record.size(),
                               &total, &error)) {
        LogMessage(kLogError, kLogContext, "Notes data not written: %s", LogonRecordErrorText(error));
        if (report != nullptr)
            FormatCut(report, reportSize, "%s\n\n%s", kTextKeyWriteError, LogonRecordErrorText(error));
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    BYTE head[kLogonRecordHeadSize];
    WipeOnExit wipeHead([&] { SecureZeroMemory(head, sizeof head); });
    MarkLogonRecordUnfinished(record.data(), total, head);
    if (key.WriteHeadLast(reader, record.data(), static_cast<DWORD>(total), head, sizeof head))
        return true;

    DWORD lastError = GetLastError();
    DWORD allocated = 0, freeSpace = 0;
    key.GetKeyInfo(reader, &allocated, &freeSpace, nullptr);
    unsigned long long room = static_cast<unsigned long long>(allocated) + freeSpace;
    if (report != nullptr) {
        if (room < total) {
            FormatCut(report, reportSize, "%s\n%s\n\n(Neaded: %d, Exist free: %d bytes only...)", kTextKeyWriteError,
                      kTextKeyNoSpace, static_cast<int>(total), static_cast<int>(room));
        } else {
            char keyText[256] = "";
            if (key.GetErrorText(reader, keyText))
                FormatCut(report, reportSize, "%s\n\n%s", kTextKeyWriteError, keyText);
            else
                CopyCut(report, reportSize, kTextKeyWriteError);
        }
    }
    SetLastError(lastError);
    return false;
}

bool WriteNotesKeyDataFromFile(CSmartKey &key, const char *reader, const char *userName, const char *password,
                               const char *idFileName, const char *idFilePath, char *report,
                               std::size_t reportSize)
{
    HANDLE file = CreateFileA(idFilePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (report != nullptr)
            FormatCut(report, reportSize, "%s\n\n%s", kTextKeyWriteError, idFilePath);
        SetLastError(error);
        return false;
    }
    // One byte more than an ID file may have, so that a larger file is seen as such.
    std::vector<BYTE> bytes(kIDFileMax + 1);
    WipeOnExit wipe([&] { WipeVector(bytes); });
    DWORD got = 0, total = 0;
    bool ok = true;
    while (total < bytes.size()) {
        if (!ReadFile(file, bytes.data() + total, static_cast<DWORD>(bytes.size()) - total, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        total += got;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        if (report != nullptr)
            FormatCut(report, reportSize, "%s\n\n%s", kTextKeyWriteError, idFilePath);
        SetLastError(error);
        return false;
    }
    return WriteNotesKeyData(key, reader, userName, password, idFileName, bytes.data(), total, report, reportSize);
}
