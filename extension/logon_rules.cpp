// The logon and password rules that need no window.
#include "logon_rules.h"

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
