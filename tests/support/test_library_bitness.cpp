// An outside library of the other bitness: found, refused by the loader, and reported in words that
// name the file, say what it is and what is needed instead.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library_bitness.h"
#include "library_loader.h"
#include "testkit.h"
#include "text_ids.h"
#include "texts.h"

namespace {

std::string OtherBitnessDir()
{
    return testkit::ExeDir() + "other_bitness\\";
}

#ifdef _WIN64
const char kOtherKind[] = "is a 32-bit library";
const char kNeeded[] = "install the vendor's 64-bit version";
const WORD kOtherMachine = IMAGE_FILE_MACHINE_I386;
#else
const char kOtherKind[] = "is a 64-bit library";
const char kNeeded[] = "install the vendor's 32-bit version";
const WORD kOtherMachine = IMAGE_FILE_MACHINE_AMD64;
#endif

class LibraryBitness : public testing::Test {
protected:
    void SetUp() override
    {
        ResetLanguageForTests();
        ASSERT_TRUE(LoadLanguage(nullptr, GetModuleHandleA(nullptr)));
    }
};

TEST_F(LibraryBitness, TheMachineFieldTellsTheBitness)
{
    EXPECT_EQ(kOtherMachine, LibraryMachine((OtherBitnessDir() + "Quorel32.dll").c_str()));
    EXPECT_EQ(kOwnMachine, LibraryMachine((testkit::ExeDir() + "support_tests.exe").c_str()));
    testkit::TempDir dir;
    ASSERT_TRUE(testkit::WriteFileBytes(dir.file("text.dll"), "MZ but nothing after"));
    EXPECT_EQ(0, LibraryMachine(dir.file("text.dll").c_str()));
    EXPECT_EQ(0, LibraryMachine(dir.file("absent.dll").c_str()));
}

TEST_F(LibraryBitness, ALibraryOfTheOtherBitnessIsRefusedAndNamedInWords)
{
    for (const char *name : {"Quorel32.dll", "bioapi100.dll"}) {
        SCOPED_TRACE(name);
        std::string path = OtherBitnessDir() + name;
        SetLastError(0xdeadbeef);
        HMODULE module = LoadProductLibrary(path.c_str());
        EXPECT_EQ(nullptr, module);
        DWORD error = GetLastError();
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), error);
        if (module != nullptr)
            FreeLibrary(module);

        char text[1024] = "sentinel";
        ASSERT_TRUE(OtherBitnessText(path.c_str(), error, text, sizeof text));
        std::string words = text;
        EXPECT_EQ(0u, words.find(path + " " + kOtherKind)) << words;
        EXPECT_NE(std::string::npos, words.find(kNeeded)) << words;
        EXPECT_NE(std::string::npos, words.find("under the same file name")) << words;
    }
}

TEST_F(LibraryBitness, TheFailureTextGetsTheWordsAfterAnEmptyLine)
{
    std::string path = OtherBitnessDir() + "Quorel32.dll";
    std::string text = LibraryFailureText(IDS_ERROR_LOADING_QUOREL, path.c_str(), ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(0u, text.find("An error occurred while loading Quorel32.DLL!\n\n" + path + " " + kOtherKind)) << text;
}

// Only a library found and of the other bitness gets the words; every other failure keeps the
// caller's own message alone.
TEST_F(LibraryBitness, OtherFailuresGetNoWords)
{
    testkit::TempDir dir;
    ASSERT_TRUE(testkit::WriteFileBytes(dir.file("broken.dll"), "not a library at all"));
    struct Case {
        std::string name;
        DWORD error;
    } cases[] = {
        {OtherBitnessDir() + "Quorel32.dll", ERROR_MOD_NOT_FOUND},  // the code says another failure
        {dir.file("absent.dll"), ERROR_BAD_EXE_FORMAT},             // no such file
        {dir.file("broken.dll"), ERROR_BAD_EXE_FORMAT},             // a file that is no library
        {testkit::ExeDir() + "support_tests.exe", ERROR_BAD_EXE_FORMAT},  // one of the same bitness
        {"NoSuchLibraryAnywhere.dll", ERROR_BAD_EXE_FORMAT},        // a bare name found nowhere
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char text[256] = "sentinel";
        EXPECT_FALSE(OtherBitnessText(c.name.c_str(), c.error, text, sizeof text));
        EXPECT_STREQ("", text);
        EXPECT_EQ("An error occurred while loading Quorel32.DLL!",
                  LibraryFailureText(IDS_ERROR_LOADING_QUOREL, c.name.c_str(), c.error));
    }
}

TEST_F(LibraryBitness, TheWordsAreCutToTheBuffer)
{
    std::string path = OtherBitnessDir() + "Quorel32.dll";
    char text[24];
    std::memset(text, 'x', sizeof text);
    ASSERT_TRUE(OtherBitnessText(path.c_str(), ERROR_BAD_EXE_FORMAT, text, 16));
    EXPECT_EQ(15u, std::strlen(text));
    EXPECT_EQ('x', text[16]);
}

}  // namespace
