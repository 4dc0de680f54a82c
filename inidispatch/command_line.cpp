// Command-line split: plain code, no Windows API, reachable from the host build and its fuzzers.
#include "command_line.h"

std::vector<std::string> SplitCommandLine(const char *line, std::size_t maxTokens)
{
    std::vector<std::string> tokens;
    if (line == nullptr)
        return tokens;
    const char *p = line;
    while (tokens.size() < maxTokens) {
        while (*p == ' ')
            ++p;
        if (*p == 0)
            break;
        std::string token;
        if (*p == '"') {
            ++p;
            while (*p != 0 && *p != '"')
                token += *p++;
            if (*p == '"')
                ++p;
        } else {
            while (*p != 0 && *p != ' ')
                token += *p++;
        }
        tokens.push_back(token);
    }
    return tokens;
}
