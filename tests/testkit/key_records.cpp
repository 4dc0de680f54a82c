// Records on virtual Keys.
#include "key_records.h"

#include <vector>

#include "notes_logon_record.h"
#include "quorel_control.h"

namespace testkit {

bool PutKeyRecord(int key, const KeyRecordFields &fields)
{
    std::vector<std::uint8_t> record(kLogonRecordMaxSize);
    std::size_t total = 0;
    if (!BuildNotesLogonRecord(fields.user.c_str(), fields.password.c_str(), fields.idFileName.c_str(),
                               reinterpret_cast<const std::uint8_t *>(fields.idFile.data()), fields.idFile.size(),
                               record.data(), record.size(), &total, nullptr))
        return false;
    return QsimSetData(key, 225, record.data(), static_cast<DWORD>(total)) != FALSE;
}

KeyRecordFields GetKeyRecord(int key)
{
    KeyRecordFields fields;
    std::vector<std::uint8_t> data(kLogonRecordMaxSize);
    DWORD size = QsimGetData(key, 225, data.data(), static_cast<DWORD>(data.size()));
    NotesLogonRecord record;
    if (size == 0 || size > data.size() || !ParseNotesLogonRecord(data.data(), size, &record, nullptr))
        return fields;
    fields.found = true;
    fields.user = record.sUserName;
    fields.password = record.sPassword;
    fields.idFileName = record.sIDFileName;
    fields.idFile.assign(reinterpret_cast<const char *>(data.data()) + record.idFileOffset, record.wIDFileLength);
    return fields;
}

}  // namespace testkit
