// The logon and password rules that need no window.
#include "logon_rules.h"
#include "session_state.h"

#include <cstring>

#include "notes_logon_record.h"

PinVerdict JudgePinEntry(int result, const char *pin)
{
    if (result == kPinSecondButton)
        return PinVerdict::kWithoutKey;
    if (result == kPinOkEmpty)
        return PinVerdict::kRequired;
    std::size_t length = pin == nullptr ? 0 : std::strlen(pin);
    return length < kMinPinLength ? PinVerdict::kTooShort : PinVerdict::kAccept;
}

std::size_t TypedPasswordLimit(std::size_t maxLength)
{
    if (maxLength <= 1)
        return 0;
    std::size_t limit = maxLength - 1;
    return limit < kPasswordMax ? limit : kPasswordMax;
}

std::size_t GeneratedRandomBytes(std::size_t maxLength)
{
    return 3 * (TypedPasswordLimit(maxLength) / 4);
}

bool PasswordFitsClient(std::size_t length, std::size_t maxLength)
{
    return length < maxLength;  // the terminator needs its byte too
}

const char *SessionStateName(SessionState state)
{
    switch (state) {
    case SessionState::kLoaded: return "loaded";
    case SessionState::kPassive: return "passive";
    case SessionState::kWaitingForKey: return "waiting for a Key";
    case SessionState::kAskingPin: return "asking the PIN";
    case SessionState::kReading: return "reading the Key";
    case SessionState::kOnKeyId: return "on the Key's ID";
    case SessionState::kLocked: return "locked";
    case SessionState::kWithoutKey: return "without the Key";
    case SessionState::kEnded: return "ended";
    }
    return "?";
}

ToolsOffer ToolsMenuOffer(SessionState state, bool keyBound)
{
    return {state == SessionState::kOnKeyId, state == SessionState::kWithoutKey && keyBound};
}

bool JoinIdFilePath(const char *directory, const char *keyFileName, char *path, std::size_t size)
{
    if (path == nullptr || size == 0)
        return false;
    path[0] = 0;
    if (directory == nullptr)
        directory = "";
    if (keyFileName == nullptr)
        keyFileName = "";
    bool absolute = std::strchr(keyFileName, ':') != nullptr;
    std::size_t dirLength = absolute ? 0 : std::strlen(directory);
    std::size_t nameLength = std::strlen(keyFileName);
    std::size_t needed = dirLength + (absolute ? 0 : 1) + nameLength;
    if (needed >= size)
        return false;
    char *out = path;
    if (!absolute) {
        std::memcpy(out, directory, dirLength);
        out += dirLength;
        *out++ = '\\';
    }
    std::memcpy(out, keyFileName, nameLength);
    out[nameLength] = 0;
    return true;
}
