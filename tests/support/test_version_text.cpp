// The product's version texts.
#include <gtest/gtest.h>

#include "version_text.h"

namespace {

struct Case {
    unsigned major, minor, build, revision;
    const char *expected;
};

TEST(VersionText, WrittenAsTheProductWritesIt)
{
    const Case cases[] = {
        {2, 5, 0, 0, "2.05"},    {2, 12, 3, 0, "2.12.3"}, {1, 2, 3, 4, "1.02.3.4"},
        {3, 0, 0, 0, "3.00"},    {1, 0, 0, 7, "1.00.0.7"}, {10, 100, 0, 0, "10.100"},
        {65535, 65535, 65535, 65535, "65535.65535.65535.65535"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        char out[64];
        EXPECT_STREQ(c.expected, FormatFileVersion(c.major, c.minor, c.build, c.revision, out, sizeof out));
    }
}

TEST(VersionText, CutToTheBuffer)
{
    char out[6] = {'X', 'X', 'X', 'X', 'X', 'X'};
    FormatFileVersion(1, 2, 3, 4, out, 5);
    EXPECT_STREQ("1.02", out);
    EXPECT_EQ('X', out[5]);
}

}  // namespace
