// Splitting Peglar's command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace {

using Tokens = std::vector<std::string>;

TEST(CommandLine, SpacesQuotesAndLimits)
{
    EXPECT_EQ((Tokens{"a", "b", "c"}), SplitCommandLine("  a   b c  "));
    EXPECT_EQ((Tokens{"C:\\Program Files\\Notes\\notes.ini", "Notes", "EXTMGR_ADDINS", "Tolvik.dll", "a"}),
              SplitCommandLine("\"C:\\Program Files\\Notes\\notes.ini\" Notes EXTMGR_ADDINS Tolvik.dll a"));
    // A closing quote ends the token even without a space after it.
    EXPECT_EQ((Tokens{"a b", "c"}), SplitCommandLine("\"a b\"c"));
    // An unbalanced quote runs to the end of the line.
    EXPECT_EQ((Tokens{"x", "open quote to the end"}), SplitCommandLine("x \"open quote to the end"));
    EXPECT_EQ((Tokens{"", "y"}), SplitCommandLine("\"\" y"));
    // A seventh and later tokens are ignored.
    EXPECT_EQ((Tokens{"1", "2", "3", "4", "5", "6"}), SplitCommandLine("1 2 3 4 5 6 7 8"));
    EXPECT_TRUE(SplitCommandLine("").empty());
    EXPECT_TRUE(SplitCommandLine(nullptr).empty());
    EXPECT_TRUE(SplitCommandLine("     ").empty());
}

TEST(CommandLine, LongInputIsTakenWhole)
{
    std::string longToken(100000, 'z');
    Tokens tokens = SplitCommandLine(("a " + longToken + " \"" + longToken).c_str());
    ASSERT_EQ(3u, tokens.size());
    EXPECT_EQ(longToken, tokens[1]);
    EXPECT_EQ(longToken, tokens[2]);
}

TEST(CommandLine, FlagTokenReadsAsADecimalHeldInsideTheRangeOfInt)
{
    const struct {
        const char *token;
        int flag;
    } kCases[] = {{"1", 1}, {"0", 0}, {"", 0}, {"x", 0}, {"12x", 12}, {"-7", -7}, {"+3", 3},
                  {"2147483647", 2147483647}, {"2147483648", 2147483647},
                  {"99999999999999999999", 2147483647}, {"-2147483648", -2147483647 - 1},
                  {"-99999999999999999999", -2147483647 - 1}, {"--1", 0}};
    for (const auto &c : kCases)
        EXPECT_EQ(c.flag, ParseFlagToken(c.token)) << c.token;
}

}  // namespace
