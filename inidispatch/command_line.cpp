// Command-line split: plain code, no Windows API, reachable from the host build and its fuzzers.
#include "command_line.h"

#include <climits>

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

int ParseFlagToken(const std::string &token)
{
    std::size_t i = 0;
    while (i < token.size() && (token[i] == ' ' || token[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > limit)
            value = limit;
    }
    return static_cast<int>(negative ? -value : value);
}
