// Version texts read from real version resources.
#include <gtest/gtest.h>

#include <string>

#include "module_version.h"
#include "testkit.h"

namespace {

struct Outs {
    char fileVersion[kVersionTextSize], path[kVersionTextSize], description[kVersionTextSize];
    char productName[kVersionTextSize], productVersion[kVersionTextSize], copyright[kVersionTextSize];
    void Read(HMODULE module, const char *name)
    {
        GetModuleVersionInfo(module, name, fileVersion, path, description, productName,
                             productVersion, copyright);
    }
};

struct Case {
    const char *dll;
    const char *fileVersion;
};

TEST(ModuleVersion, FileVersionsOfLoadedModules)
{
    const Case cases[] = {
        {"ver205.dll", "2.05"}, {"ver2123.dll", "2.12.3"}, {"ver1234.dll", "1.02.3.4"}, {"ver300.dll", "3.00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dll);
        std::string file = testkit::ExeDir() + c.dll;
        HMODULE module = LoadLibraryA(file.c_str());
        ASSERT_NE(nullptr, module);
        Outs outs;
        outs.Read(module, nullptr);
        EXPECT_STREQ(c.fileVersion, outs.fileVersion);
        EXPECT_EQ(0, lstrcmpiA(file.c_str(), outs.path)) << outs.path;
        std::string stem = std::string(c.dll).substr(0, std::string(c.dll).find('.'));
        EXPECT_EQ("Fixture " + stem, outs.productName);
        EXPECT_EQ("Description of " + stem, outs.description);
        EXPECT_EQ("Copyright " + stem, outs.copyright);
        FreeLibrary(module);
    }
}

TEST(ModuleVersion, FileFoundByNameOnTheSearchPath)
{
    // The program's directory is on the search path: a bare name finds the fixture there.
    Outs outs;
    outs.Read(nullptr, "ver2123.dll");
    EXPECT_STREQ("2.12.3", outs.fileVersion);
    EXPECT_EQ(0, lstrcmpiA((testkit::ExeDir() + "ver2123.dll").c_str(), outs.path)) << outs.path;
}

TEST(ModuleVersion, NoVersionResourceLeavesUnknownButThePath)
{
    Outs outs;
    outs.Read(nullptr, "vernone.dll");
    EXPECT_EQ(0, lstrcmpiA((testkit::ExeDir() + "vernone.dll").c_str(), outs.path)) << outs.path;
    EXPECT_STREQ("Unknown", outs.fileVersion);
    EXPECT_STREQ("Unknown", outs.description);
    EXPECT_STREQ("Unknown", outs.productName);
    EXPECT_STREQ("Unknown", outs.productVersion);
    EXPECT_STREQ("Unknown", outs.copyright);
}

TEST(ModuleVersion, MissingFileIsUnknownEverywhere)
{
    Outs outs;
    outs.Read(nullptr, "no-such-module-anywhere.dll");
    EXPECT_STREQ("Unknown", outs.path);
    EXPECT_STREQ("Unknown", outs.fileVersion);
    EXPECT_STREQ("Unknown", outs.productName);
}

TEST(ModuleVersion, MissingStringEndsTheStringsButNotTheFileVersion)
{
    Outs outs;
    outs.Read(nullptr, "vernocopy.dll");
    EXPECT_STREQ("Fixture vernocopy", outs.productName);
    EXPECT_STREQ("product 4,7,0,0", outs.productVersion);
    EXPECT_STREQ("Description of vernocopy", outs.description);
    EXPECT_STREQ("Unknown", outs.copyright);
    EXPECT_STREQ("4.07", outs.fileVersion);
}

TEST(ModuleVersion, TheRunningProgramAndOptionalOuts)
{
    char productName[kVersionTextSize], fileVersion[kVersionTextSize];
    GetModuleVersionInfo(nullptr, nullptr, fileVersion, nullptr, nullptr, productName, nullptr, nullptr);
    EXPECT_STREQ("Sentrio", productName);
    EXPECT_STRNE("Unknown", fileVersion);
}

}  // namespace
