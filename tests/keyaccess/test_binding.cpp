// Binding the smart-key library: a missing library or a missing entry point leaves the layer
// unloaded, onFinishInit(0) still comes, and GetErrorText names Quorel32.dll.
#include <gtest/gtest.h>

#include <string>

#include "quorel_library.h"
#include "testkit.h"

namespace {

// Runs the probe alone in `dir` and answers what it wrote.
std::string RunProbe(const testkit::TempDir &dir)
{
    std::string probe = dir.file("keyaccess_probe.exe");
    EXPECT_TRUE(CopyFileA((testkit::ExeDir() + "keyaccess_probe.exe").c_str(), probe.c_str(), FALSE));
    std::string out = dir.file("probe.txt");
    EXPECT_EQ(0, testkit::RunProcess("\"" + probe + "\" \"" + out + "\""));
    return testkit::ReadFileBytes(out);
}

TEST(Binding, ResolvesAllEntryPointsOfTheStandIn)
{
    QuorelLibrary table;
    HMODULE library = BindQuorelLibrary(&table);
    ASSERT_NE(nullptr, library);
    const void *const *entries = reinterpret_cast<const void *const *>(&table);
    for (int i = 0; i < kQuorelEntryCount; ++i)
        EXPECT_NE(nullptr, entries[i]) << "entry " << i;
    static_assert(sizeof(QuorelLibrary) == kQuorelEntryCount * sizeof(void *), "one slot per entry point");
    FreeLibrary(library);
}

TEST(Binding, LibraryMissing)
{
    testkit::TempDir dir;
    std::string result = RunProbe(dir);
    EXPECT_EQ("finished=1 loaded=0 reported=1 init=0 error=126 module=0\n"
              "An error occurred while loading Quorel32.dll!",
              result);
}

TEST(Binding, OneEntryPointMissingFreesTheLibraryAndKeepsTheError)
{
    testkit::TempDir dir;
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "Quorel32_noexport.dll").c_str(), dir.file("Quorel32.dll").c_str(),
                          FALSE));
    std::string result = RunProbe(dir);
    EXPECT_EQ("finished=1 loaded=0 reported=1 init=0 error=127 module=0\n"
              "An error occurred while loading Quorel32.dll!",
              result);
}

}  // namespace
