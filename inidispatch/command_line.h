// Splitting Peglar's command line into its tokens.
#pragma once

#include <string>
#include <vector>

constexpr std::size_t kPeglarMaxTokens = 6;

// Tokens are separated by runs of spaces; a token may be enclosed in double quotes, which lets it
// hold spaces (an unbalanced quote runs to the end of the line). At most `maxTokens` tokens are
// taken; the rest of the line is ignored.
std::vector<std::string> SplitCommandLine(const char *line, std::size_t maxTokens = kPeglarMaxTokens);

// The flag token read as a decimal integer: leading spaces and a sign allowed, reading stops at
// the first character that is not a digit; no digits is 0; a number beyond the range of int is
// held at its nearest end (atoi's behaviour there is undefined).
int ParseFlagToken(const std::string &token);
