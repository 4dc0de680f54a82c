// The Notes logon record on a Key, as both programs use it: read and parsed from the Key's data
// area, written back whole, and (in the Notes extension) the ID file it carries materialised as a
// temporary file for the client to open.
#pragma once

#include <windows.h>

#include <cstddef>

#include "notes_logon_record.h"
#include "smart_key.h"

// Texts of the reports (shown by the callers in their message boxes).
extern const char kTextTempIdFileError[];  // "Error ID file opening in TEMP directury"
extern const char kTextKeyWriteError[];    // "Error writing data into KSD."
extern const char kTextKeyNoSpace[];       // "Not enough free space on KSD."

// What the last read left: the parsed texts and, in wData, the bytes of the record with the ID file.
struct NotesKeyData {
    NotesLogonRecord record;
    BYTE wData[kLogonRecordMaxSize];
    DWORD wDataSize;
};

enum class KeyDataRead {
    kRead,        // parsed: record holds the Key's fields
    kEmpty,       // the Key carries no Notes data
    kReadFailed,  // the Key could not be read (GetErrorText says why)
    kUnreadable,  // the bytes on the Key are not a record this program can trust (see `why`)
};

// Reads the bound reader's data area and parses it. Only kRead changes `data->record`.
KeyDataRead ReadNotesKeyData(CSmartKey &key, const char *reader, NotesKeyData *data, LogonRecordError *why);

// Writes the ID file of the last read to the user's temporary directory under the record's file
// name, replacing a file of that name; the file appears whole or not at all. `keyFileName` is the
// client's notes.ini KeyFileName before the switch: it is kept whole in `sOldKeyFileName` (a
// path comes back as the path it was). False with the last error set when the file cannot be written.
bool MaterialiseIdFile(const NotesKeyData &data, const char *keyFileName, char *sIDPath, std::size_t pathSize,
                       char *sOldKeyFileName, std::size_t oldSize);

// The same into `directory` (ending in a separator), a folder the caller made for it.
bool MaterialiseIdFileIn(const NotesKeyData &data, const char *directory, char *sIDPath, std::size_t pathSize);

// Builds the record from the four fields and writes it whole at offset 0. On failure `report`
// (of `reportSize` characters) receives the text for the user: too little space with the figures,
// the Key's own error text, or why the fields cannot be stored (then nothing was written).
bool WriteNotesKeyData(CSmartKey &key, const char *reader, const char *userName, const char *password,
                       const char *idFileName, const BYTE *idFile, std::size_t idFileLength, char *report,
                       std::size_t reportSize);

// The same with the ID file read from `idFilePath` in binary mode.
bool WriteNotesKeyDataFromFile(CSmartKey &key, const char *reader, const char *userName, const char *password,
                               const char *idFileName, const char *idFilePath, char *report,
                               std::size_t reportSize);
