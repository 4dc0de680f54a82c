// The product's library loading: what a library loaded by its full path may import, and from
// where.
#include <gtest/gtest.h>

#include <string>

#include "library_loader.h"
#include "testkit.h"

namespace {

std::string FixtureDir()
{
    return testkit::ExeDir() + "loader_fixtures\\";
}

// The current directory for one scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string &path)
    {
        GetCurrentDirectoryA(sizeof old_, old_);
        SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(old_); }

private:
    char old_[MAX_PATH] = {};
};

class LibraryLoader : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileA((FixtureDir() + "loader_importer.dll").c_str(), libraryDir_.file("loader_importer.dll").c_str(), FALSE));
    }
    testkit::TempDir libraryDir_;  // the importing DLL
    testkit::TempDir userDir_;     // the current directory, beside a user's document say
};

TEST_F(LibraryLoader, ImportsOfALibraryAreNotTakenFromTheCurrentDirectory)
{
    ASSERT_TRUE(CopyFileA((FixtureDir() + "loader_importee.dll").c_str(), userDir_.file("loader_importee.dll").c_str(), FALSE));
    CurrentDirectory cwd(userDir_.path());
    SetLastError(0xdeadbeef);
    HMODULE module = LoadProductLibrary(libraryDir_.file("loader_importer.dll").c_str());
    EXPECT_EQ(nullptr, module);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    if (module != nullptr)
        FreeLibrary(module);
    EXPECT_EQ(nullptr, GetModuleHandleA("loader_importee.dll"));
}

TEST_F(LibraryLoader, ImportsBesideTheLibraryAreFound)
{
    ASSERT_TRUE(CopyFileA((FixtureDir() + "loader_importee.dll").c_str(), libraryDir_.file("loader_importee.dll").c_str(), FALSE));
    CurrentDirectory cwd(userDir_.path());
    HMODULE module = LoadProductLibrary(libraryDir_.file("loader_importer.dll").c_str());
    ASSERT_NE(nullptr, module);
    auto importer = reinterpret_cast<int (*)()>(reinterpret_cast<void *>(GetProcAddress(module, "LoaderImporter")));
    ASSERT_NE(nullptr, importer);
    EXPECT_EQ(43, importer());
    FreeLibrary(module);
}

TEST_F(LibraryLoader, ABareNameInTheCurrentDirectoryIsNotLoaded)
{
    ASSERT_TRUE(CopyFileA((FixtureDir() + "loader_importee.dll").c_str(), userDir_.file("loader_importee.dll").c_str(), FALSE));
    CurrentDirectory cwd(userDir_.path());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadProductLibrary("loader_importee.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

}  // namespace
