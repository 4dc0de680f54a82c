// The Notes logon record as read from a Key: any bytes, any lengths. A record that parses has
// fields inside the bytes read and within their buffers, and builds back to the same bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "notes_logon_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // What the readers hand over: at most the 16768 bytes a Key holds, in a buffer of exactly the
    // bytes read (so ASan sees every read past them).
    if (size > kLogonRecordMaxSize)
        size = kLogonRecordMaxSize;
    std::vector<std::uint8_t> bytes(data, data + size);

    NotesLogonRecord record;
    std::memset(&record, 0x5A, sizeof record);
    NotesLogonRecord before = record;
    LogonRecordError error = LogonRecordError::kNone;
    if (!ParseNotesLogonRecord(bytes.data(), bytes.size(), &record, &error)) {
        FUZZ_CHECK(error != LogonRecordError::kNone);
        FUZZ_CHECK(std::memcmp(&before, &record, sizeof record) == 0);  // left as it was
        FUZZ_CHECK(LogonRecordErrorText(error) != nullptr);
        return 0;
    }
    FUZZ_CHECK(error == LogonRecordError::kNone);
    std::size_t user = std::strlen(record.sUserName), password = std::strlen(record.sPassword),
                file = std::strlen(record.sIDFileName);
    FUZZ_CHECK(user <= kUserNameMax && password <= kPasswordMax && file <= kIDFileNameMax);
    FUZZ_CHECK(record.idFileOffset <= bytes.size());
    FUZZ_CHECK(record.wIDFileLength <= bytes.size() - record.idFileOffset);
    FUZZ_CHECK(record.wIDFileLength <= kIDFileMax);

    // The texts hold no zero byte of their own when the record is a written one: then the record
    // builds back byte for byte (the stored total aside, which readers ignore).
    std::size_t fieldsEnd = record.idFileOffset + record.wIDFileLength;
    bool plainTexts = kLogonHeaderSize + user + password + file + record.wIDFileLength == fieldsEnd;
    if (plainTexts) {
        std::vector<std::uint8_t> rebuilt(kLogonRecordMaxSize);
        std::size_t total = 0;
        FUZZ_CHECK(BuildNotesLogonRecord(record.sUserName, record.sPassword, record.sIDFileName,
                                         bytes.data() + record.idFileOffset, record.wIDFileLength,
                                         rebuilt.data(), rebuilt.size(), &total, &error));
        FUZZ_CHECK(total == fieldsEnd);
        FUZZ_CHECK(std::memcmp(rebuilt.data() + 4, bytes.data() + 4, total - 4) == 0);
    }

    // The name as the extension takes it: a plain name, or refused.
    if (IsPlainIdFileName(record.sIDFileName)) {
        char bare[kIDFileNameMax + 1];
        BareFileName(record.sIDFileName, bare, sizeof bare);
        FUZZ_CHECK(std::strcmp(bare, record.sIDFileName) == 0);
    }
    return 0;
}
