// The session journal: what a Key session changed on this PC (notes.ini's KeyFileName and the
// temporary ID file), kept in a file of the Windows user's own until the session ends cleanly.
// A client killed or crashed on the Key's ID leaves it behind; the next start of the client (with
// the Key or without, active or passive) reads it and puts things back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

struct JournalEntry {
    DWORD process = 0;        // the client process that wrote it
    ULONGLONG started = 0;    // that process's creation time (a reused id is another process)
    std::string idPath;       // the temporary ID file
    std::string keyFileName;  // notes.ini KeyFileName before the switch, whole
};

// %LOCALAPPDATA%\Morvath\Sentrio\Tolvik.journal (else under %APPDATA%, else the temporary
// directory); "" when none of them is known. The folder is made when `create` is set.
std::string JournalPath(bool create);

// Writes the entry for this process, whole or not at all. False when it could not be written.
bool WriteJournal(const std::string &keyFileName, const std::string &idPath);
// The entry left in the journal; false when there is none (or it cannot be read).
bool ReadJournal(JournalEntry *entry);
// Removes the journal (the session ended cleanly).
void ClearJournal();

// True while the process that wrote `entry` still runs (its session is live, not a leftover).
bool JournalWriterRuns(const JournalEntry &entry);

// Makes the temporary ID's own folder for one session: "Sentrio-" and 16 random hexadecimal
// digits in the user's temporary directory (long form), with an access list that lets the user
// alone in (protected: nothing inherited from the temporary directory). `out` receives it with a
// trailing separator. False with the last error set when it cannot be made.
bool MakeSessionFolder(char *out, std::size_t size);

// Deletes the temporary ID file, tried again for a while when it is held (the client may still
// have it open); when it still fails, scheduled for deletion at the next restart, with a log line.
// Its folder goes with it when the folder is a session folder of the product's and empty.
// True when the file is gone now.
bool RemoveTemporaryId(const char *path);

// A leftover of a session that did not end cleanly, put right at the start: the stale temporary
// ID deleted, and notes.ini's KeyFileName given its previous value back, but only while it still
// names that temporary ID (an ID the user switched to since is never overwritten). A journal of a
// client that still runs is left alone.
void RepairLeftoverSession();
