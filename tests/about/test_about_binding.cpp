// BindAbout against the real Ostrel.dll and against an About DLL that lacks an entry.
#include <gtest/gtest.h>

#include "about_binding.h"
#include "testkit.h"

namespace {

bool TableEmpty()
{
    return g_about.AboutDialog == nullptr && g_about.DeleteConfigKey == nullptr &&
           g_about.ReadConfigKey == nullptr && g_about.WriteConfigKey == nullptr &&
           g_about.CheckForUpdates == nullptr && g_about.Associate == nullptr &&
           g_about.SetRegistryKey == nullptr && g_about.UnAssociate == nullptr;
}

TEST(AboutBinding, BindsTheRealOstrelAndFillsTheWholeTable)
{
    HMODULE module = nullptr;
    ASSERT_TRUE(BindAbout(&module));
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(module, GetModuleHandleA("Ostrel.dll"));
    const struct {
        const char *name;
        void *entry;
    } entries[] = {
        {"AboutDialog", reinterpret_cast<void *>(g_about.AboutDialog)},
        {"DeleteConfigKey", reinterpret_cast<void *>(g_about.DeleteConfigKey)},
        {"ReadConfigKey", reinterpret_cast<void *>(g_about.ReadConfigKey)},
        {"WriteConfigKey", reinterpret_cast<void *>(g_about.WriteConfigKey)},
        {"CheckForUpdates", reinterpret_cast<void *>(g_about.CheckForUpdates)},
        {"Associate", reinterpret_cast<void *>(g_about.Associate)},
        {"SetRegistryKey", reinterpret_cast<void *>(g_about.SetRegistryKey)},
        {"UnAssociate", reinterpret_cast<void *>(g_about.UnAssociate)},
    };
    for (const auto &e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, e.name)), e.entry);
        EXPECT_NE(nullptr, e.entry);
    }
    FreeLibrary(module);
    g_about = AboutEntries{};
    EXPECT_EQ(nullptr, GetModuleHandleA("Ostrel.dll"));
}

TEST(AboutBinding, MissingEntryClearsTheTableKeepsTheErrorAndFreesTheLibrary)
{
    // A table left over from an earlier bind must not survive a failed one either.
    HMODULE real = nullptr;
    ASSERT_TRUE(BindAbout(&real));
    std::string path = testkit::ExeDir() + "ostrel_lacking.dll";
    HMODULE module = reinterpret_cast<HMODULE>(0x1234);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(BindAboutLibrary(path.c_str(), &module));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, module);
    EXPECT_TRUE(TableEmpty());
    EXPECT_EQ(nullptr, GetModuleHandleA("ostrel_lacking.dll"));
    FreeLibrary(real);
}

TEST(AboutBinding, MissingLibraryFailsWithTheLoadersError)
{
    SetLastError(0xdeadbeef);
    HMODULE module = reinterpret_cast<HMODULE>(0x1234);
    EXPECT_FALSE(BindAboutLibrary("no-such-about.dll", &module));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, module);
    EXPECT_TRUE(TableEmpty());
}

TEST(AboutBinding, ShowAboutUnboundFailsWithoutCalling)
{
    g_about = AboutEntries{};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(-1, ShowAbout(nullptr, nullptr, nullptr, 101, nullptr, "Sentrio", 0, "", "", 5006,
                            255, 0, "Morvath", 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
}

}  // namespace
