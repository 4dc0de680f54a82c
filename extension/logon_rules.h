// The rules of the logon and password flows that need no window: what a PIN prompt's answer
// means, how many random bytes a generated password takes, whether the Key's password fits the
// client's buffer.
#pragma once

#include <cstddef>

// What the PIN prompt answered (TPINDlg::Show).
enum PinPromptResult { kPinOk = 0, kPinSecondButton = 1, kPinOkEmpty = 2 };

enum class PinVerdict {
    kAccept,       // the PIN goes to the Key
    kTooShort,     // fewer than 4 characters: IDS_PIN_TOO_SHORT, ask again
    kRequired,     // OK on an empty field: IDS_PIN_REQUIRED, ask again
    kWithoutKey,   // "Work without KSD"
};

constexpr std::size_t kMinPinLength = 4;

// The verdict on one answer of the prompt: its result and the PIN it read.
PinVerdict JudgePinEntry(int result, const char *pin);

// Random bytes asked of the Key for a generated password when the client's buffer holds
// `maxLength` bytes: 3 x floor(min(maxLength - 1, 64) / 4), so the Base64 text (4 characters per
// 3 bytes) and its terminator fit the buffer and the text never exceeds the record's 64 characters.
std::size_t GeneratedRandomBytes(std::size_t maxLength);

// True when a password of `length` characters and its terminator fit the client's buffer of
// `maxLength` bytes.
bool PasswordFitsClient(std::size_t length, std::size_t maxLength);

// The longest password the change dialog accepts for a client buffer of `maxLength` bytes: one
// byte is the terminator, and the Key's record holds 64 characters.
std::size_t TypedPasswordLimit(std::size_t maxLength);

// The ID file that notes.ini names: `keyFileName` itself when it holds a colon (a path), else
// `directory` + "\" + `keyFileName`. Written into `path` of `size` bytes; false, with `path`
// empty, when the whole path and its terminator do not fit.
bool JoinIdFilePath(const char *directory, const char *keyFileName, char *path, std::size_t size);
