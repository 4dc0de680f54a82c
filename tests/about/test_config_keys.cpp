// The configuration entries of Ostrel.dll round-trip; the unsupported ones fail honestly.
#include <gtest/gtest.h>

#include <string>

#include "about_binding.h"

namespace {

class OstrelEntries : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(BindAbout(&module_)); }
    void TearDown() override
    {
        if (g_about.DeleteConfigKey != nullptr)
            g_about.DeleteConfigKey("TestValue");
        if (module_ != nullptr)
            FreeLibrary(module_);
        g_about = AboutEntries{};
    }
    HMODULE module_ = nullptr;
};

TEST_F(OstrelEntries, ConfigValueRoundTripsThroughTheProductKey)
{
    ASSERT_TRUE(g_about.WriteConfigKey("TestValue", "C:\\Notes\\data"));
    char value[64] = "x";
    ASSERT_TRUE(g_about.ReadConfigKey("TestValue", value, sizeof value));
    EXPECT_STREQ("C:\\Notes\\data", value);

    // It lives where the product's configuration lives.
    char direct[64] = {};
    DWORD size = sizeof direct;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, "Software\\Morvath\\Sentrio",
                                          "TestValue", RRF_RT_REG_SZ, nullptr, direct, &size));
    EXPECT_STREQ("C:\\Notes\\data", direct);

    ASSERT_TRUE(g_about.WriteConfigKey("TestValue", "second"));
    ASSERT_TRUE(g_about.ReadConfigKey("TestValue", value, sizeof value));
    EXPECT_STREQ("second", value);

    ASSERT_TRUE(g_about.DeleteConfigKey("TestValue"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.ReadConfigKey("TestValue", value, sizeof value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_STREQ("", value);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.DeleteConfigKey("TestValue"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(OstrelEntries, ReadBufferExactFitOneShortAndBadArguments)
{
    ASSERT_TRUE(g_about.WriteConfigKey("TestValue", "12345"));
    char value[16];
    EXPECT_TRUE(g_about.ReadConfigKey("TestValue", value, 6));  // exact fit with the terminator
    EXPECT_STREQ("12345", value);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.ReadConfigKey("TestValue", value, 5));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    EXPECT_STREQ("", value);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.ReadConfigKey("TestValue", nullptr, 16));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.WriteConfigKey("", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.WriteConfigKey("TestValue", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.DeleteConfigKey(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    // A refused write changed nothing.
    EXPECT_TRUE(g_about.ReadConfigKey("TestValue", value, sizeof value));
    EXPECT_STREQ("12345", value);
}

TEST_F(OstrelEntries, UnsupportedEntriesSaySo)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.CheckForUpdates(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.Associate(".nsf", "notes.exe %1"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.SetRegistryKey("Elsewhere"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(g_about.UnAssociate(".nsf"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    // Nothing was associated behind the answer.
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Classes\\.nsf", 0, KEY_READ, &key));
}

}  // namespace
