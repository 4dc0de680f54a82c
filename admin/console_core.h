// The console's core: its commands as plain classes and functions over the Key layer, without a
// window. The main form reads its controls, calls these, and writes the results back; a command
// line front end calls the same. Each Key command takes the KeyTarget it was started for and
// checks, right before it touches the Key, that the same Key is still in its reader: a Key pulled
// or replaced meanwhile fails the command with the Key-not-found text, and no Key is touched.
//
// The Notes workflows (attach, the Notes password) are in notes_workflows.h.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "key_target.h"

class CSmartKey;

// The Notes data the console holds for the selected Key: always what the Key's record holds.
struct HeldNotesData {
    std::string idFilePath;    // the ID file chosen by the last attach
    std::string idFileName;    // its name and extension, or the record's
    std::string iniPath;
    std::string userName;
    std::string password;      // the password the Key's record holds
    std::vector<BYTE> idFile;  // the ID file bytes of the record

    HeldNotesData() = default;
    HeldNotesData(const HeldNotesData &) = default;
    HeldNotesData &operator=(const HeldNotesData &) = default;
    HeldNotesData(HeldNotesData &&) = default;
    HeldNotesData &operator=(HeldNotesData &&) = default;
    // The password and the ID file are not left in memory.
    ~HeldNotesData() { Clear(); }

    // Forgets everything; the password and the ID file are wiped first.
    void Clear();
};

// The end of one core call: done, or failed with the text the user is told ("" when the user has
// been told already, or nothing is to be said).
struct CoreResult {
    bool ok = false;
    std::string message;

    static CoreResult Done() { return {true, ""}; }
    static CoreResult Failed(const std::string &message) { return {false, message}; }
};

// The running marker of an admin console, the window or the command line: the page-file backed
// mapping "Sentrio" of 256 bytes. Only its existence matters: the Notes extension finds it when it
// starts and leaves the Keys to the console. Null when it cannot be made; the caller closes it.
HANDLE CreateConsoleMarker();

// ---- Rules of the inputs (no Key, no window) ------------------------------------------------------

constexpr std::size_t kShortestPin = 4;
constexpr std::size_t kLabelMax = 31;         // the layer stores at most 31 characters
constexpr std::size_t kGeneratedBytes = 48;   // a generated Notes password: 64 Base64 characters

// The refusal of a PIN given to Verify PIN: 0 when it may be handed to the Key, else its text id.
UINT VerifyPinRefusal(const std::string &pin);
// The refusal of a new PIN's first entry (empty removes the PIN and needs no confirmation).
UINT NewPinRefusal(const std::string &pin);
// The refusal of a typed Notes password: empty, not confirmed, or the one the Key holds already.
UINT NewNotesPasswordRefusal(const std::string &password, const std::string &confirmation,
                             const std::string &current);

// ---- The Key commands ---------------------------------------------------------------------------------

enum class ReadOutcome {
    kRead,        // the record was read: `data` holds it
    kEmpty,       // the Key holds no Notes data
    kUnreadable,  // the Key's bytes are no record: Clear and "Change ID file" may overwrite them
    kBioFailed,   // the biometric verification failed
    kBlocked,     // the Key is blocked (its PIN refused once too often)
    kFailed,      // the Key could not be read (`message` says why)
    kGone,        // the Key of the target is no longer there
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::kFailed;
    std::string message;  // the text for the user, for every outcome but kRead and kEmpty
    HeldNotesData data;   // kRead: the record's fields
};

class ConsoleCore {
public:
    explicit ConsoleCore(CSmartKey &key) : key_(key) {}
    ConsoleCore(const ConsoleCore &) = delete;
    ConsoleCore &operator=(const ConsoleCore &) = delete;

    CSmartKey &Key() { return key_; }

    // Called with true before a Key operation and false after it (the form's wait window).
    std::function<void(bool busy)> onBusy;

    // The command's copy of the Key now in `reader`.
    KeyTarget Target(const std::string &reader) { return TakeKeyTarget(key_, reader); }
    // Whether the target's Key is still there; the Key-not-found text when it is not.
    bool Present(const KeyTarget &target) { return KeyTargetPresent(key_, target); }
    static std::string KeyNotFoundText();

    // The Notes data of the target's Key, after the biometric check (instance and owner: the
    // verification's window, if the Key holds a biometric identifier).
    ReadResult ReadNotesData(const KeyTarget &target, HINSTANCE instance, HWND owner);

    // Hands `pin` to the layer for the target's Key (Verify PIN; the Key checks it when read).
    CoreResult GivePin(const KeyTarget &target, const std::string &pin);
    // Changes the PIN ("" removes it); the new PIN is the one presented from then on.
    CoreResult ChangePin(const KeyTarget &target, const std::string &newPin);
    // Unblocks the Key with the right PIN, which is presented from then on.
    CoreResult Unblock(const KeyTarget &target, const std::string &pin);
    // Sets the label (cut to 31 characters); *shown receives what the list shows for the Key then
    // (the label, or the card identifier for an empty label).
    CoreResult ChangeLabel(KeyTarget *target, const std::string &label, std::string *shown);
    // Deletes the Key's Notes data.
    CoreResult ClearNotesData(const KeyTarget &target);
    // 48 random bytes of the Key as a new Notes password of 64 Base64 characters.
    CoreResult GeneratePassword(const KeyTarget &target, std::string *password);
    // Enrols a new biometric identifier: 0 done, 1 failed, ERROR_CANCELLED (the enrolment showed
    // what it had to); the Key-not-found result when the Key is gone.
    CoreResult ChangeBio(const KeyTarget &target, HINSTANCE instance, HWND owner, const std::string &caption);

    // Builds the record of the four fields and writes it whole at offset 0. Fields no record can
    // take are refused before the Key is touched. A write reported failed whose record is on the
    // Key all the same (read back) is a success.
    CoreResult WriteNotesRecord(const KeyTarget &target, const std::string &userName, const std::string &password,
                                const std::string &idFileName, const std::vector<BYTE> &idFile);

    // Detach: saves the ID file the Key's record holds (`held`) to `path`, written beside it and
    // moved over it whole, so that an existing file is either replaced or left as it was.
    static CoreResult SaveIdFile(const HeldNotesData &held, const std::string &path);

    // The refusal of an ID file whose record could not be stored on any Key: "" when it fits.
    static std::string RecordLimitMessage(const std::string &idFileName, unsigned long long idFileLength,
                                          std::size_t textLengths);

private:
    void Busy(bool busy)
    {
        if (onBusy)
            onBusy(busy);
    }
    // The failure `first` with the layer's reason for the target when it has one.
    std::string Failure(UINT first, const KeyTarget &target);
    bool KeyHoldsRecord(const KeyTarget &target, const BYTE *record, std::size_t size);

    CSmartKey &key_;
};
