// Bounded formatting: exact fit, one short, far too small, and a zero size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cut_format.h"

namespace {

TEST(CutFormat, ExactFitOneShortAndTooSmall)
{
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(5u, FormatCut(buffer, 6, "%s-%d", "ab", 12));  // "ab-12" and zero: exact fit
    EXPECT_STREQ("ab-12", buffer);
    EXPECT_EQ('X', buffer[6]);

    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(4u, FormatCut(buffer, 5, "%s-%d", "ab", 12));  // one short: cut
    EXPECT_STREQ("ab-1", buffer);
    EXPECT_EQ('X', buffer[5]);

    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(0u, FormatCut(buffer, 1, "%s", "anything"));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ('X', buffer[1]);

    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(0u, FormatCut(buffer, 0, "%s", "anything"));
    EXPECT_EQ('X', buffer[0]);
}

TEST(CutFormat, CopyCutKeepsTheBound)
{
    char buffer[8];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(3u, CopyCut(buffer, 4, "abcdefgh"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ('X', buffer[4]);
    EXPECT_EQ(0u, CopyCut(buffer, 4, nullptr));
    EXPECT_STREQ("", buffer);
}

}  // namespace
