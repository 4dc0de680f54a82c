// The one-argument message shorthands against any fetched text (a language DLL's texts are
// outside data): the format is filled only when it takes the one argument given, the result never
// runs past the buffer, and a refused format comes back as it stands; a text checked against the
// arguments of another is filled with those without a read past them.
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "one_argument_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Byte 0: kind and buffer size; bytes 1-4: the integer; then "format\0text".
    if (size < 5)
        return 0;
    OneArgument kind = data[0] & 1 ? OneArgument::kText : OneArgument::kInteger;
    std::size_t bufferSize = data[0] >> 1;  // 0 to 127: short buffers cut the text
    int integer = static_cast<int>(static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
                                   static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24);
    std::string rest(reinterpret_cast<const char *>(data + 5), size - 5);
    std::size_t zero = rest.find('\0');
    std::string format = rest.substr(0, zero);
    std::string text = zero == std::string::npos ? std::string() : rest.substr(zero + 1);
    text = text.c_str();
    if (format.size() > 1024)
        format.resize(1024);

    std::vector<char> out(bufferSize + 1, '\x7F');
    std::size_t n = FormatOneArgument(bufferSize ? out.data() : nullptr, bufferSize, format.c_str(), kind,
                                      integer, text.c_str());
    FUZZ_CHECK(out[bufferSize] == '\x7F');  // never past the buffer
    if (bufferSize == 0) {
        FUZZ_CHECK(n == 0);
        return 0;
    }
    FUZZ_CHECK(n < bufferSize && out[n] == 0 && std::strlen(out.data()) == n);

    std::vector<char> full(4096 + 64 * 1024);
    if (FormatTakesOneArgument(format.c_str(), kind)) {
        int m = kind == OneArgument::kInteger ? std::snprintf(full.data(), full.size(), format.c_str(), integer)
                                              : std::snprintf(full.data(), full.size(), format.c_str(), text.c_str());
        FUZZ_CHECK(m >= 0);
        FUZZ_CHECK(std::strncmp(out.data(), full.data(), n) == 0);
        FUZZ_CHECK(n == std::min(std::strlen(full.data()), bufferSize - 1));
    } else {
        FUZZ_CHECK(std::strncmp(out.data(), format.c_str(), n) == 0);
        FUZZ_CHECK(n == std::min(format.size(), bufferSize - 1));
    }

    // A format that takes the arguments of a text, a number and a text (or the first of them) is
    // filled with those: the sanitizers see every read it makes.
    if (FormatTakesArgumentsOf(format.c_str(), "%s %d %s")) {
        char kinds[kMaxFormatArguments + 1];
        FUZZ_CHECK(FormatArgumentKinds(format.c_str(), kinds, sizeof kinds) && std::strlen(kinds) <= 3);
        int m = std::snprintf(full.data(), full.size(), format.c_str(), text.c_str(), integer, text.c_str());
        FUZZ_CHECK(m >= 0);
    }
    return 0;
}
