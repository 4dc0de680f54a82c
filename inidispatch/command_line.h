// Splitting Peglar's command line into its tokens.
#pragma once

#include <string>
#include <vector>

constexpr std::size_t kPeglarMaxTokens = 6;

// Tokens are separated by runs of spaces; a token may be enclosed in double quotes, which lets it
// hold spaces (an unbalanced quote runs to the end of the line). At most `maxTokens` tokens are
// taken; the rest of the line is ignored.
std::vector<std::string> SplitCommandLine(const char *line, std::size_t maxTokens = kPeglarMaxTokens);
