// The ID file name taken from a Key, which names a file in the temporary directory: an accepted
// name never leaves that directory, names no device and is the name Windows writes.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "fuzz_check.h"
#include "notes_logon_record.h"

namespace {

std::string UpperStem(const char *name)
{
    std::string stem;
    for (const char *p = name; *p != 0 && *p != '.'; ++p)
        stem += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    return stem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The field as the record parser leaves it: up to 256 bytes, terminated.
    std::string name(reinterpret_cast<const char *>(data), size > kIDFileNameMax + 8 ? kIDFileNameMax + 8 : size);
    name = name.c_str();
    bool plain = IsPlainIdFileName(name.c_str());

    char bare[kIDFileNameMax + 1];
    BareFileName(name.c_str(), bare, sizeof bare);
    FUZZ_CHECK(std::strlen(bare) <= kIDFileNameMax);
    FUZZ_CHECK(std::strpbrk(bare, "\\/:") == nullptr);
    FUZZ_CHECK(std::strlen(bare) <= name.size());

    if (!plain)
        return 0;
    FUZZ_CHECK(!name.empty() && name.size() <= kIDFileNameMax);
    FUZZ_CHECK(std::strcmp(bare, name.c_str()) == 0);
    FUZZ_CHECK(name != "." && name != "..");
    FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
    for (char c : name)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && std::strchr("<>\"|?*", c) == nullptr);
    std::string stem = UpperStem(name.c_str());
    for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        FUZZ_CHECK(stem != device);
    FUZZ_CHECK(!(stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                 stem[3] >= '1' && stem[3] <= '9'));
    return 0;
}
