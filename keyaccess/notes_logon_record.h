// The Notes logon record kept in the Key's application area 225: user name, ID password, ID file
// name and the whole ID file. One codec for the admin console and the Notes extension.
//
// Layout, little-endian, no padding:
//   u32 total = 12 + L1 + L2 + L3 + L4
//   u16 L1, user name | u16 L2, password | u16 L3, ID file name | u16 L4, ID file bytes
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kLogonRecordMaxSize = 16768;  // what a reader accepts for the whole record
constexpr std::size_t kLogonHeaderSize = 12;        // total length and the four field lengths
constexpr std::size_t kUserNameMax = 256;
constexpr std::size_t kPasswordMax = 64;
constexpr std::size_t kIDFileNameMax = 256;
constexpr std::size_t kIDFileMax = 65535;

// A record goes onto a Key in several reader commands, and a Key pulled between two of them keeps
// part of the new record over the old one. So the writers first put the record on with its first
// bytes marked unfinished (the user name's length L1 set to kLogonRecordUnfinished, which no
// reader takes: a user name holds at most 256 bytes), set the data size, and only then write the
// true first kLogonRecordHeadSize bytes, in one command. Whatever a pull leaves is then the old
// record, the new one, or a record every reader refuses.
constexpr std::size_t kLogonRecordHeadSize = 6;         // the total length and L1
constexpr std::uint16_t kLogonRecordUnfinished = 0xFFFF;

// Why a record could not be read or built.
enum class LogonRecordError {
    kNone,
    kTruncated,        // a length field or a field runs past the bytes read
    kUserNameTooLong,  // more than kUserNameMax bytes
    kPasswordTooLong,
    kFileNameTooLong,
    kIDFileTooLong,    // more than kIDFileMax bytes
    kRecordTooLarge,   // more than kLogonRecordMaxSize bytes in all
    kBufferTooSmall,   // the caller's output buffer cannot hold the record
    kUnfinished,       // the record's write never reached its end (its first bytes still say so)
    kLengthsDisagree,  // the field lengths do not add up to the bytes read: a torn or damaged record
};

// A parsed record. The texts are terminated; the ID file stays in the caller's read buffer, at
// `idFileOffset`, `wIDFileLength` bytes long.
struct NotesLogonRecord {
    char sUserName[kUserNameMax + 1];
    char sPassword[kPasswordMax + 1];
    char sIDFileName[kIDFileNameMax + 1];
    std::size_t idFileOffset;
    std::size_t wIDFileLength;
};

// Parses the `dataSize` bytes read from the Key (the data size is the record's length; the stored
// total is not relied on). Every length is checked against its buffer and against the bytes read
// before anything is copied, and the header and the four fields must fill the bytes read exactly:
// anything left over or missing is a damaged record. A record marked unfinished is refused as
// such. On failure `record` is left exactly as it was and `error` says why.
bool ParseNotesLogonRecord(const std::uint8_t *data, std::size_t dataSize, NotesLogonRecord *record,
                           LogonRecordError *error);

// Builds a record into `out` (of `outSize` bytes) and sets `total` to its length. Refuses, writing
// nothing, fields longer than the readers accept, an ID file over 65535 bytes and a record over
// kLogonRecordMaxSize bytes.
bool BuildNotesLogonRecord(const char *userName, const char *password, const char *idFileName,
                           const std::uint8_t *idFile, std::size_t idFileLength, std::uint8_t *out,
                           std::size_t outSize, std::size_t *total, LogonRecordError *error);

// The first kLogonRecordHeadSize bytes of `record` (built by BuildNotesLogonRecord) are copied to
// `head`, and in `record` they are marked unfinished: `record` is then what goes on the Key first,
// `head` what goes on last. False for a record shorter than its header.
bool MarkLogonRecordUnfinished(std::uint8_t *record, std::size_t size, std::uint8_t head[kLogonRecordHeadSize]);

// A short English text for people and the log.
const char *LogonRecordErrorText(LogonRecordError error);

// The file name and extension of `path`, without drive or directory, cut to `size`.
void BareFileName(const char *path, char *out, std::size_t size);

// Whether the ID file name taken from a Key may name a file in the temporary directory: a plain
// file name of 1 to kIDFileNameMax characters, with no drive, directory or stream (no \ / :), no
// character Windows refuses in a name (control characters, < > " | ? *), not "." or "..", not
// ending in a dot or a space (Windows would drop them and write another name than the recorded
// one), and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or
// without an extension), which would open the device instead of a file.
bool IsPlainIdFileName(const char *name);
