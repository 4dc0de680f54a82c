// List editing of comma-separated values: the worked results, substrings, limits.
#include <gtest/gtest.h>

#include <string>

#include "item_list.h"

namespace {

std::string Removed(const std::string &value, const std::string &item)
{
    std::string out = "untouched";
    EXPECT_EQ(EditResult::kChanged, RemoveItem(value, item, &out)) << value << " less " << item;
    return out;
}

TEST(ItemList, WorkedResults)
{
    EXPECT_EQ("A,C", Removed("A,B,C", "B"));
    EXPECT_EQ("B,C", Removed("A,B,C", "A"));
    EXPECT_EQ("A,B", Removed("A,B,C", "C"));
    std::string out;
    EXPECT_EQ(EditResult::kChanged, AddItem("A,B,C", "D", &out));
    EXPECT_EQ("A,B,C,D", out);
    EXPECT_EQ(EditResult::kChanged, AddItem("", "D", &out));
    EXPECT_EQ("D", out);
}

TEST(ItemList, ItemsAreFoundAsSubstrings)
{
    EXPECT_NE(std::string::npos, FindItem("nlnotes,x", "notes"));
    EXPECT_FALSE(OccurrenceStartsEntry("nlnotes,x", FindItem("nlnotes,x", "notes")));
    EXPECT_TRUE(OccurrenceStartsEntry("a, notes", FindItem("a, notes", "notes")));
    EXPECT_TRUE(OccurrenceStartsEntry("x,notes", FindItem("x,notes", "notes")));
    // The first occurrence lies inside "AB": that entry goes.
    EXPECT_EQ("B", Removed("AB,B", "B"));
    EXPECT_EQ(std::string::npos, FindItem("A,B", ""));
}

TEST(ItemList, RemovingTheOnlyItemLeavesAnEmptyValue)
{
    EXPECT_EQ("", Removed("Tolvik.dll", "Tolvik.dll"));
    std::string out = "x";
    EXPECT_EQ(EditResult::kNotFound, RemoveItem("A,B", "Q", &out));
    EXPECT_EQ("x", out);
}

TEST(ItemList, AnItemHoldingACommaIsRemovedWhole)
{
    EXPECT_EQ("A,D", Removed("A,B,C,D", "B,C"));
}

TEST(ItemList, TheNotesExtensionList)
{
    EXPECT_EQ("nextpwd.dll", Removed("nextpwd.dll,Tolvik.dll", "Tolvik.dll"));
    EXPECT_EQ("nextpwd.dll", Removed("Tolvik.dll,nextpwd.dll", "Tolvik.dll"));
}

TEST(ItemList, ValuesOverTheirLimitAreNotBuilt)
{
    std::string out = "untouched";
    std::string value(190, 'v');
    EXPECT_EQ(EditResult::kChanged, AddItem(value, "12345678", &out));  // 199 characters: fits
    EXPECT_EQ(199u, out.size());
    out = "untouched";
    EXPECT_EQ(EditResult::kTooLong, AddItem(value, "123456789", &out));  // 200: does not
    EXPECT_EQ("untouched", out);
}

}  // namespace
