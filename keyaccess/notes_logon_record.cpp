// Notes logon record codec: plain code, no Windows API, so the host build can reach it with the
// sanitizers. The record comes from a Key: every length in it is distrusted.
#include "notes_logon_record.h"

#include <cstring>

namespace {

std::uint16_t ReadU16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void WriteU16(std::uint8_t *p, std::size_t v)
{
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void WriteU32(std::uint8_t *p, std::size_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

// Takes the next length-prefixed field at `*at`: checks the length field and the field against the
// bytes read and the field against `max`.
bool TakeField(const std::uint8_t *data, std::size_t dataSize, std::size_t *at, std::size_t max,
               LogonRecordError tooLong, std::size_t *fieldOffset, std::size_t *fieldLength,
               LogonRecordError *error)
{
    if (dataSize - *at < 2) {
        *error = LogonRecordError::kTruncated;
        return false;
    }
    std::size_t length = ReadU16(data + *at);
    *at += 2;
    if (length > max) {
        *error = tooLong;
        return false;
    }
    if (dataSize - *at < length) {
        *error = LogonRecordError::kTruncated;
        return false;
    }
    *fieldOffset = *at;
    *fieldLength = length;
    *at += length;
    return true;
}

void CopyText(char *out, const std::uint8_t *data, std::size_t offset, std::size_t length)
{
    if (length)
        std::memcpy(out, data + offset, length);
    out[length] = 0;
}

void SetError(LogonRecordError *error, LogonRecordError value)
{
    if (error != nullptr)
        *error = value;
}

}  // namespace

bool ParseNotesLogonRecord(const std::uint8_t *data, std::size_t dataSize, NotesLogonRecord *record,
                           LogonRecordError *error)
{
    LogonRecordError why = LogonRecordError::kNone;
    if (data == nullptr || dataSize < 4) {
        SetError(error, LogonRecordError::kTruncated);
        return false;
    }
    std::size_t at = 4;  // the stored total is not relied on
    if (dataSize >= kLogonRecordHeadSize && ReadU16(data + 4) == kLogonRecordUnfinished) {
        SetError(error, LogonRecordError::kUnfinished);
        return false;
    }
    std::size_t offsets[4], lengths[4];
    const std::size_t limits[4] = {kUserNameMax, kPasswordMax, kIDFileNameMax, kIDFileMax};
    const LogonRecordError tooLong[4] = {LogonRecordError::kUserNameTooLong,
                                         LogonRecordError::kPasswordTooLong,
                                         LogonRecordError::kFileNameTooLong,
                                         LogonRecordError::kIDFileTooLong};
    for (int i = 0; i < 4; ++i) {
        if (!TakeField(data, dataSize, &at, limits[i], tooLong[i], &offsets[i], &lengths[i], &why)) {
            SetError(error, why);
            return false;
        }
    }
    if (at != dataSize) {
        // Bytes beyond the last field: the lengths describe another record than the one read.
        SetError(error, LogonRecordError::kLengthsDisagree);
        return false;
    }
    CopyText(record->sUserName, data, offsets[0], lengths[0]);
    CopyText(record->sPassword, data, offsets[1], lengths[1]);
    CopyText(record->sIDFileName, data, offsets[2], lengths[2]);
    record->idFileOffset = offsets[3];
    record->wIDFileLength = lengths[3];
    SetError(error, LogonRecordError::kNone);
    return true;
}

bool BuildNotesLogonRecord(const char *userName, const char *password, const char *idFileName,
                           const std::uint8_t *idFile, std::size_t idFileLength, std::uint8_t *out,
                           std::size_t outSize, std::size_t *total, LogonRecordError *error)
{
    const char *texts[3] = {userName ? userName : "", password ? password : "",
                            idFileName ? idFileName : ""};
    const std::size_t limits[3] = {kUserNameMax, kPasswordMax, kIDFileNameMax};
    const LogonRecordError tooLong[3] = {LogonRecordError::kUserNameTooLong,
                                         LogonRecordError::kPasswordTooLong,
                                         LogonRecordError::kFileNameTooLong};
    std::size_t lengths[3];
    for (int i = 0; i < 3; ++i) {
        lengths[i] = std::strlen(texts[i]);
        if (lengths[i] > limits[i]) {
            SetError(error, tooLong[i]);
            return false;
        }
    }
    if (idFileLength > kIDFileMax || (idFileLength > 0 && idFile == nullptr)) {
        SetError(error, LogonRecordError::kIDFileTooLong);
        return false;
    }
    std::size_t size = kLogonHeaderSize + lengths[0] + lengths[1] + lengths[2] + idFileLength;
    if (size > kLogonRecordMaxSize) {
        SetError(error, LogonRecordError::kRecordTooLarge);
        return false;
    }
    if (out == nullptr || outSize < size) {
        SetError(error, LogonRecordError::kBufferTooSmall);
        return false;
    }
    std::size_t at = 0;
    WriteU32(out, size);
    at += 4;
    for (int i = 0; i < 3; ++i) {
        WriteU16(out + at, lengths[i]);
        at += 2;
        if (lengths[i])
            std::memcpy(out + at, texts[i], lengths[i]);
        at += lengths[i];
    }
    WriteU16(out + at, idFileLength);
    at += 2;
    if (idFileLength)
        std::memcpy(out + at, idFile, idFileLength);
    if (total != nullptr)
        *total = size;
    SetError(error, LogonRecordError::kNone);
    return true;
}

bool MarkLogonRecordUnfinished(std::uint8_t *record, std::size_t size, std::uint8_t head[kLogonRecordHeadSize])
{
    if (record == nullptr || head == nullptr || size < kLogonHeaderSize)
        return false;
    std::memcpy(head, record, kLogonRecordHeadSize);
    WriteU16(record + 4, kLogonRecordUnfinished);
    return true;
}

const char *LogonRecordErrorText(LogonRecordError error)
{
    switch (error) {
    case LogonRecordError::kNone: return "no error";
    case LogonRecordError::kTruncated: return "the Notes data on the Key is damaged (a field runs past its end)";
    case LogonRecordError::kUserNameTooLong: return "the user name on the Key is longer than 256 characters";
    case LogonRecordError::kPasswordTooLong: return "the password on the Key is longer than 64 characters";
    case LogonRecordError::kFileNameTooLong: return "the ID file name on the Key is longer than 256 characters";
    case LogonRecordError::kIDFileTooLong: return "the ID file is larger than 65535 bytes";
    case LogonRecordError::kRecordTooLarge: return "the Notes data would exceed the 16768 bytes a Key holds";
    case LogonRecordError::kBufferTooSmall: return "the buffer is too small for the Notes data";
    case LogonRecordError::kUnfinished:
        return "the Notes data on the Key is damaged (its writing was cut short, the Key pulled meanwhile?)";
    case LogonRecordError::kLengthsDisagree:
        return "the Notes data on the Key is damaged (its lengths do not add up to the data read)";
    }
    return "unknown error";
}

void BareFileName(const char *path, char *out, std::size_t size)
{
    if (out == nullptr || size == 0)
        return;
    const char *name = path ? path : "";
    for (const char *p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    std::size_t n = std::strlen(name);
    if (n > size - 1)
        n = size - 1;
    std::memcpy(out, name, n);
    out[n] = 0;
}

namespace {

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The part of `name` before its first dot, with trailing spaces dropped, compared without case.
bool StemIs(const char *name, const char *device)
{
    std::size_t stem = 0;
    while (name[stem] != 0 && name[stem] != '.')
        ++stem;
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    std::size_t n = std::strlen(device);
    if (stem != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Upper(name[i]) != device[i])
            return false;
    return true;
}

bool IsDeviceName(const char *name)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : kDevices)
        if (StemIs(name, device))
            return true;
    static const char *const kNumbered[] = {"COM", "LPT"};
    char numbered[5] = {0, 0, 0, 0, 0};
    for (const char *prefix : kNumbered) {
        for (char digit = '1'; digit <= '9'; ++digit) {
            std::memcpy(numbered, prefix, 3);
            numbered[3] = digit;
            if (StemIs(name, numbered))
                return true;
        }
    }
    return false;
}

}  // namespace

bool IsPlainIdFileName(const char *name)
{
    if (name == nullptr || name[0] == 0)
        return false;
    std::size_t length = std::strlen(name);
    if (length > kIDFileNameMax)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || std::strchr("\\/:<>\"|?*", c) != nullptr)
            return false;
    }
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return false;  // also refuses "." and ".."
    return !IsDeviceName(name);
}
