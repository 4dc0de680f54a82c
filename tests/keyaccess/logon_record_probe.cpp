// Reads the Notes logon record from the first Key with the PIN given on the command line, in a
// process of its own, and writes what it found to a file:
//   logon_record_probe <out file> <PIN>
// The file holds "user\npassword\nfile name\n<ID file length>\n" and the ID file bytes.
#include <windows.h>

#include <cstdio>

#include "notes_key_data.h"
#include "recording_key.h"
#include "texts.h"

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    LoadLanguage(nullptr, nullptr);
    RecordingKey key;
    key.SetPIN(nullptr, argv[2]);
    if (!key.Start(true))
        return 5;
    // The insertion event names the reader, which this program does not know: wait for any.
    for (int i = 0; i < 500; ++i) {
        bool inserted = false;
        for (const std::string &e : key.Events())
            inserted |= e.rfind("inserted ", 0) == 0;
        if (inserted)
            break;
        Sleep(20);
    }
    static NotesKeyData data;
    LogonRecordError why = LogonRecordError::kNone;
    KeyDataRead result = ReadNotesKeyData(key, nullptr, &data, &why);
    FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr)
        return 3;
    if (result != KeyDataRead::kRead) {
        std::fprintf(out, "not read: %d %s\n", static_cast<int>(result), LogonRecordErrorText(why));
        std::fclose(out);
        return 4;
    }
    std::fprintf(out, "%s\n%s\n%s\n%lu\n", data.record.sUserName, data.record.sPassword, data.record.sIDFileName,
                 static_cast<unsigned long>(data.record.wIDFileLength));
    std::fwrite(data.wData + data.record.idFileOffset, 1, data.record.wIDFileLength, out);
    std::fclose(out);
    return 0;
}
