// Peglar's command line, as any installer or user may write it: at most six tokens, each one a
// piece of the line, quoted tokens without their quotes; the flag token read without overflow.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string line(reinterpret_cast<const char *>(data), size);
    line = line.c_str();  // the program sees a C string
    std::vector<std::string> tokens = SplitCommandLine(line.c_str());
    FUZZ_CHECK(tokens.size() <= kPeglarMaxTokens);
    std::size_t from = 0;
    for (const std::string &token : tokens) {
        // In order, each a piece of the line; one holding a space or starting empty was quoted.
        std::size_t at = line.find(token, from);
        FUZZ_CHECK(at != std::string::npos);
        if (token.empty() || token.find(' ') != std::string::npos) {
            FUZZ_CHECK(line.find("\"" + token, from) != std::string::npos);
            FUZZ_CHECK(token.find('"') == std::string::npos);
        }
        from = at + token.size();
    }
    FUZZ_CHECK(SplitCommandLine(line.c_str(), 2).size() <= 2);
    std::vector<std::string> all = SplitCommandLine(line.c_str(), SIZE_MAX);
    FUZZ_CHECK(all.size() >= tokens.size());
    for (std::size_t i = 0; i < tokens.size(); ++i)
        FUZZ_CHECK(all[i] == tokens[i]);

    // The flag: any token reads as some int, digits beyond the range held at its ends.
    for (const std::string &token : tokens) {
        int flag = ParseFlagToken(token);
        if (token.find_first_of("123456789") == std::string::npos)
            FUZZ_CHECK(flag == 0);
        (void)flag;
    }
    FUZZ_CHECK(ParseFlagToken(line) == ParseFlagToken(line + "x"));
    return 0;
}
