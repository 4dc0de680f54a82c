// Numbered texts: where they are looked up, cutting, placeholders, and the shared buffer.
#include <gtest/gtest.h>

#include <string>

#include "testkit.h"
#include "text_ids.h"
#include "text_strings.h"
#include "texts.h"

namespace {

class Texts : public testing::Test {
protected:
    void SetUp() override { ResetLanguageForTests(); }
    void TearDown() override
    {
        ResetLanguageForTests();
        if (own_ != nullptr)
            FreeLibrary(own_);
    }
    HMODULE LoadOwn(const std::string &path)
    {
        own_ = LoadLibraryA(path.c_str());
        return own_;
    }
    // The test language DLL (a careless translation) over textsown.dll as the own module.
    bool LoadTestLanguage()
    {
        return LoadOwn(testkit::ExeDir() + "textsown.dll") != nullptr && LoadLanguage("testlang", own_);
    }
    HMODULE own_ = nullptr;
};

TEST_F(Texts, ProgramTextsWithoutALanguage)
{
    EXPECT_TRUE(LoadLanguage(nullptr, nullptr));
    EXPECT_EQ(GetModuleHandleA(nullptr), GetLanguageModule());
    EXPECT_STREQ("Waiting for Key insertion . . .", LoadResString(IDS_WAITING_FOR_KEY));
    // Escapes of the string tables: a line break, and double quotes inside a text.
    EXPECT_STREQ("The Key is finally blocked!\nIt should be reformatted to reuse.", LoadResString(IDS_KEY_FINALLY_BLOCKED));
    EXPECT_STREQ("Initialize Notes - Select \"notes.ini\"", LoadResString(IDS_INIT_NOTES_TITLE));
    EXPECT_STREQ("Error: \"Password can't be empty\"", LoadResString(IDS_PASSWORD_EMPTY));
}

TEST_F(Texts, LanguageModuleFirstThenOwnModuleNeverAnotherProgramsTexts)
{
    ASSERT_TRUE(LoadTestLanguage());
    HMODULE language = GetLanguageModule();
    EXPECT_NE(own_, language);
    EXPECT_NE(GetModuleHandleA(nullptr), language);

    EXPECT_STREQ("%s Sentrio (test language)", LoadResString(IDS_PRODUCT_CAPTION));  // language module
    EXPECT_STREQ("own module's waiting text", LoadResString(IDS_WAITING_FOR_KEY));  // own before the program
    EXPECT_STREQ("only in the own module", LoadResString(2999));
    // A DLL inside another program: a text missing from its own modules is not taken from the
    // program's string table (this test program has that text).
    EXPECT_STREQ("", LoadResString(IDS_KEY_FINALLY_BLOCKED));
    EXPECT_STREQ("", LoadResString(2998));  // nowhere: empty
}

TEST_F(Texts, NoLanguageDllMeansTheGivenModuleComesFirst)
{
    HMODULE own = LoadOwn(testkit::ExeDir() + "textsown.dll");
    ASSERT_NE(nullptr, own);
    ASSERT_TRUE(LoadLanguage("nosuchlanguage", own));
    EXPECT_EQ(own, GetLanguageModule());
    EXPECT_STREQ("own module's waiting text", LoadResString(IDS_WAITING_FOR_KEY));
}

TEST_F(Texts, LanguageDllBesideTheModuleOutsideTheSearchPath)
{
    // The own module and its language DLL in a folder that is neither the program's nor on the
    // search path: only the module-directory step can find the language DLL.
    testkit::TempDir dir;
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "textsown.dll").c_str(), dir.file("textsown.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "testlang_lang.dll").c_str(),
                          dir.file("besidelang_lang.dll").c_str(), FALSE));
    HMODULE own = LoadOwn(dir.file("textsown.dll"));
    ASSERT_NE(nullptr, own);
    ASSERT_TRUE(LoadLanguage("besidelang", own));
    EXPECT_NE(own, GetLanguageModule());
    EXPECT_STREQ("%s Sentrio (test language)", LoadResString(IDS_PRODUCT_CAPTION));
    ResetLanguageForTests();
    FreeLibrary(own);
    own_ = nullptr;
}

TEST_F(Texts, LanguageDllInTheCurrentDirectoryIsNotLoaded)
{
    testkit::TempDir dir;
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "testlang_lang.dll").c_str(),
                          dir.file("planted_lang.dll").c_str(), FALSE));
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    bool loaded = LoadLanguage("planted", nullptr);
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(GetModuleHandleA(nullptr), GetLanguageModule());
    EXPECT_STREQ("%s Sentrio", LoadResString(IDS_PRODUCT_CAPTION));
}

TEST_F(Texts, CutToTheCallersSize)
{
    LoadLanguage(nullptr, nullptr);
    char buffer[16];
    memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(buffer, LoadResString(IDS_WAITING_FOR_KEY, buffer, 8));
    EXPECT_STREQ("Waiting", buffer);
    EXPECT_EQ('X', buffer[8]);
}

TEST_F(Texts, SharedBufferServesCallsWithoutABuffer)
{
    LoadLanguage(nullptr, nullptr);
    char *first = LoadResString(IDS_WAITING_FOR_KEY);
    char *second = LoadResString(IDS_KEY_READY);
    EXPECT_EQ(first, second);
    EXPECT_STREQ("Ready for operation.", first);
    // A size larger than the shared buffer is held to it.
    std::string huge(3000, 'y');
    char *filled = FormatResString(IDS_ERROR_WHILE_OP, nullptr, 5000, huge.c_str());
    EXPECT_EQ(first, filled);
    EXPECT_EQ(static_cast<size_t>(kSharedTextSize - 1), strlen(filled));
}

TEST_F(Texts, PlaceholdersAndShorthands)
{
    LoadLanguage(nullptr, nullptr);
    char buffer[300];
    EXPECT_STREQ("Morvath Sentrio", FormatResString(IDS_PRODUCT_CAPTION, "Morvath", buffer, sizeof buffer));
    EXPECT_STREQ("ATTENTION! Bad PIN code was entered!\n\nRemain 2 attempts to enter correct PIN code",
                 FormatResString(IDS_BAD_PIN_ATTEMPTS_LEFT, 2, buffer, sizeof buffer));
    EXPECT_STREQ("Error during working with Key Storage Device occured : at Reader 1 [Read]",
                 FormatResString(IDS_KSD_WORK_ERROR, buffer, sizeof buffer, "Reader 1", "Read"));
    EXPECT_STREQ("", FormatResString(2998, buffer, sizeof buffer, 1));
}

TEST_F(Texts, FormatNeverWritesPastTheGivenSize)
{
    LoadLanguage(nullptr, nullptr);
    char buffer[32];
    memset(buffer, 'X', sizeof buffer);
    FormatResString(IDS_PRODUCT_CAPTION, "Morvath", buffer, 10);
    EXPECT_STREQ("Morvath S", buffer);
    for (size_t i = 10; i < sizeof buffer; ++i)
        ASSERT_EQ('X', buffer[i]) << "byte " << i;
    memset(buffer, 'X', sizeof buffer);
    FormatResString(IDS_BAD_PIN_ATTEMPTS_LEFT, 12345, buffer, 1);
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ('X', buffer[1]);
}

TEST_F(Texts, ShorthandsFillOnlyALanguageTextThatTakesTheirOneArgument)
{
    // The language DLL's texts ask for three arguments and for a text where a number is given:
    // the program's own texts are filled instead.
    ASSERT_TRUE(LoadTestLanguage());
    EXPECT_STREQ("Remain %s%s%n attempts", LoadResString(IDS_BAD_PIN_ATTEMPTS_LEFT));
    char buffer[300];
    EXPECT_STREQ("ATTENTION! Bad PIN code was entered!\n\nRemain 2 attempts to enter correct PIN code",
                 FormatResString(IDS_BAD_PIN_ATTEMPTS_LEFT, 2, buffer, sizeof buffer));
    EXPECT_STREQ("Internal error [00000008]!", FormatResString(IDS_INTERNAL_ERROR, 8, buffer, sizeof buffer));
    // A text that fits is the language's.
    EXPECT_STREQ("Morvath Sentrio (test language)",
                 FormatResString(IDS_PRODUCT_CAPTION, "Morvath", buffer, sizeof buffer));
}

TEST_F(Texts, FormattingFillsOnlyALanguageTextThatTakesTheOwnTextsArguments)
{
    // Two texts are passed where the language DLL's text asks for a number and a text: the
    // program's own text is filled instead; a text taking the same arguments is the language's.
    ASSERT_TRUE(LoadTestLanguage());
    EXPECT_STREQ("Key error %d in %s", LoadResString(IDS_KSD_WORK_ERROR));
    char buffer[300];
    EXPECT_STREQ("Error during working with Key Storage Device occured : at Reader 1 [Read]",
                 FormatResString(IDS_KSD_WORK_ERROR, buffer, sizeof buffer, "Reader 1", "Read"));
    EXPECT_STREQ("Error (test language) while reading!",
                 FormatResString(IDS_ERROR_WHILE_OP, buffer, sizeof buffer, "reading"));
}

TEST_F(Texts, TextFFillsOnlyATextThatTakesTheOwnTextsArguments)
{
    // TextF, the extension's formatting, goes through the same check: the careless translation's
    // "%d ... %s" is never handed two texts.
    ASSERT_TRUE(LoadTestLanguage());
    EXPECT_EQ("Error during working with Key Storage Device occured : at Reader 1 [Read]",
              TextF(IDS_KSD_WORK_ERROR, "Reader 1", "Read"));
    EXPECT_EQ("Error (test language) while reading!", TextF(IDS_ERROR_WHILE_OP, "reading"));
}

}  // namespace
