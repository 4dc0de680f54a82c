// One-argument formatting of fetched texts: which formats the shorthands fill, and what a refused
// one gives.
#include <gtest/gtest.h>

#include <cstring>

#include "one_argument_format.h"

namespace {

struct FormatCase {
    const char *format;
    OneArgument kind;
    bool fits;
};

const FormatCase kFormats[] = {
    {"%s Sentrio", OneArgument::kText, true},
    {"Remain %d attempts", OneArgument::kInteger, true},
    {"Internal error [%08X]!", OneArgument::kInteger, true},
    {"100%% done", OneArgument::kInteger, true},       // no conversion at all
    {"%-5.3s|", OneArgument::kText, true},
    {"%hd", OneArgument::kInteger, true},
    {nullptr, OneArgument::kText, true},
    {"%s : %s", OneArgument::kText, false},            // two arguments
    {"%d", OneArgument::kText, false},                 // wrong kind
    {"%s", OneArgument::kInteger, false},
    {"count%n", OneArgument::kInteger, false},         // writes through a pointer
    {"%*d", OneArgument::kInteger, false},             // width from an argument
    {"%.*s", OneArgument::kText, false},
    {"%1$s", OneArgument::kText, false},               // positional
    {"%lld", OneArgument::kInteger, false},            // other sizes
    {"%ls", OneArgument::kText, false},
    {"%p", OneArgument::kInteger, false},
    {"%f", OneArgument::kInteger, false},
    {"%99999d", OneArgument::kInteger, false},         // a field of millions of characters
    {"%.99999s", OneArgument::kText, false},
    {"ends in %", OneArgument::kText, false},
};

TEST(OneArgumentFormat, FormatsTakingMoreOrOtherArgumentsAreRefused)
{
    for (const FormatCase &c : kFormats)
        EXPECT_EQ(c.fits, FormatTakesOneArgument(c.format, c.kind)) << (c.format ? c.format : "(null)");
}

// A language text checked against the deliverable's own text.
struct TranslationCase {
    const char *format;
    const char *own;
    bool fits;
};

const TranslationCase kTranslations[] = {
    {"Fehler bei %s [%s]", "Error at %s [%s]", true},
    {"Fehler bei %s", "Error at %s [%s]", true},               // fewer: the rest is left unread
    {"no placeholder", "Error at %s [%s]", true},
    {"%-10s|%04X", "%s %d", true},                               // flags and widths of the same kinds
    {"[%s] at %s", "Error at %s [%s]", true},
    {"%d at %s", "Error at %s [%s]", false},                     // a number where a text is passed
    {"%s [%s] %s", "Error at %s [%s]", false},                   // one more than passed
    {"%s %n", "%s %s", false},
    {"%s", "%d", false},
    {"%*s", "%d %s", false},
    {"%s", "%s%s%s%s%s%s%s%s%s", false},                         // an own text past the limit reads as unknown
};

TEST(OneArgumentFormat, ATranslationFitsOnlyTheArgumentsOfTheOwnText)
{
    for (const TranslationCase &c : kTranslations)
        EXPECT_EQ(c.fits, FormatTakesArgumentsOf(c.format, c.own)) << c.format << " against " << c.own;
    char kinds[kMaxFormatArguments + 1];
    ASSERT_TRUE(FormatArgumentKinds("%s=%-3d%%%hx%c", kinds, sizeof kinds));
    EXPECT_STREQ("siii", kinds);
    EXPECT_FALSE(FormatArgumentKinds("%s%s", kinds, 2));  // more than the room
}

TEST(OneArgumentFormat, FillsAFittingFormatAndCopiesARefusedOneUnfilled)
{
    char out[64];
    EXPECT_EQ(15u, FormatOneArgument(out, sizeof out, "%s Sentrio", OneArgument::kText, 0, "Morvath"));
    EXPECT_STREQ("Morvath Sentrio", out);
    FormatOneArgument(out, sizeof out, "Internal error [%08X]!", OneArgument::kInteger, 8, nullptr);
    EXPECT_STREQ("Internal error [00000008]!", out);
    FormatOneArgument(out, sizeof out, "%s : %s", OneArgument::kText, 0, "Reader");
    EXPECT_STREQ("%s : %s", out);
    FormatOneArgument(out, sizeof out, "[%s]", OneArgument::kText, 0, nullptr);
    EXPECT_STREQ("[]", out);
}

TEST(OneArgumentFormat, NeverPastTheBufferAndTheLengthIsTheTexts)
{
    char out[8];
    std::memset(out, 'X', sizeof out);
    EXPECT_EQ(4u, FormatOneArgument(out, 5, "%s Sentrio", OneArgument::kText, 0, "Morvath"));
    EXPECT_STREQ("Morv", out);
    EXPECT_EQ('X', out[5]);
    EXPECT_EQ(0u, FormatOneArgument(out, 0, "%d", OneArgument::kInteger, 1, nullptr));
    EXPECT_EQ('M', out[0]);
    EXPECT_EQ(1u, FormatOneArgument(out, sizeof out, "a%cb", OneArgument::kInteger, 0, nullptr));  // "%c" of 0
    EXPECT_STREQ("a", out);
}

}  // namespace
