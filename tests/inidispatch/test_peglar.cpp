// Peglar.exe as installers run it: a process with a command line, an INI file and an exit code.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "peglar.h"
#include "testkit.h"

namespace {

std::string ReadValue(const std::string &ini, const char *section, const char *key)
{
    char value[1024];
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, ini.c_str());
    return value;
}

class Peglar : public testing::Test {
protected:
    void SetUp() override
    {
        ini_ = dir_.file("notes.ini");
        // No log unless a test asks for one.
        WriteProfileStringA("MvSentrio", "Peglar", nullptr);
    }
    void TearDown() override { WriteProfileStringA("MvSentrio", "Peglar", nullptr); }

    int Run(const std::string &arguments)
    {
        return testkit::RunProcess("\"" + testkit::ExeDir() + "Peglar.exe\" " + arguments);
    }
    int RunOn(const std::string &key, const std::string &item, const std::string &action)
    {
        return Run("\"" + ini_ + "\" Notes " + key + " " + item + " " + action);
    }
    void Ini(const std::string &text) { ASSERT_TRUE(testkit::WriteFileBytes(ini_, text)); }

    testkit::TempDir dir_;
    std::string ini_;
};

TEST_F(Peglar, WorkedResultsOnABC)
{
    struct Case {
        const char *item, *action, *expected;
    } const cases[] = {{"B", "d", "A,C"}, {"A", "d", "B,C"}, {"C", "d", "A,B"}, {"D", "a", "A,B,C,D"},
                       {"B", "a", "A,B,C"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.item);
        Ini("[Notes]\r\nKeyFileName=user.id\r\nEXTMGR_ADDINS=A,B,C\r\n");
        EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", c.item, c.action));
        EXPECT_EQ(c.expected, ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
        EXPECT_EQ("user.id", ReadValue(ini_, "Notes", "KeyFileName"));
    }
}

TEST_F(Peglar, SubstringsCountAsPresent)
{
    const std::string before = "[Notes]\r\nEXTMGR_ADDINS=nlnotes,x\r\n";
    Ini(before);
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "notes", "a"));
    EXPECT_EQ(before, testkit::ReadFileBytes(ini_));

    Ini("[Notes]\r\nEXTMGR_ADDINS=AB,B\r\n");
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "B", "d"));
    EXPECT_EQ("B", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
}

TEST_F(Peglar, RemovingTheOnlyItemLeavesAnEmptyValue)
{
    Ini("[Notes]\r\nAddInMenus=TolvikM.dll\r\n");
    EXPECT_EQ(kPeglarOk, RunOn("AddInMenus", "TolvikM.dll", "delete"));
    EXPECT_EQ("", ReadValue(ini_, "Notes", "AddInMenus"));
}

TEST_F(Peglar, EmptySectionCountsAsAbsent)
{
    Ini("[Notes]\r\n[Other]\r\nx=1\r\n");
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "append"));  // "append" reads as "a"
    EXPECT_EQ("Tolvik.dll", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
    EXPECT_EQ("1", ReadValue(ini_, "Other", "x"));
}

TEST_F(Peglar, AddCreatesAMissingIniFile)
{
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "a"));
    EXPECT_EQ("Tolvik.dll", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
}

TEST_F(Peglar, RemoveAndCheckNeverCreateTheFile)
{
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "d"));
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "c"));
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "x"));  // a bad action
    EXPECT_FALSE(testkit::FileExists(ini_));
}

TEST_F(Peglar, IniThatCannotBeCreatedExitsWithMinusOne)
{
    std::string missing = dir_.file("no such folder\\notes.ini");
    EXPECT_EQ(kPeglarCannotCreateIni, Run("\"" + missing + "\" Notes EXTMGR_ADDINS Tolvik.dll a"));
    EXPECT_FALSE(testkit::FileExists(missing));
}

TEST_F(Peglar, ValuesOf194CharactersAreLeftAsTheyAre)
{
    // The value is seen cut to 194 characters: rebuilding it would destroy the rest of the list.
    std::string list;
    while (list.size() < 230)
        list += "ext" + std::to_string(list.size()) + ".dll,";
    list += "Tolvik.dll";
    const std::string before = "[Notes]\r\nEXTMGR_ADDINS=" + list + "\r\n";
    Ini(before);
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "ext0.dll", "d"));
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "New.dll", "a"));
    EXPECT_EQ(before, testkit::ReadFileBytes(ini_));
}

TEST_F(Peglar, JoinedValueOver199CharactersIsNotWritten)
{
    const std::string before = "[Notes]\r\nEXTMGR_ADDINS=" + std::string(185, 'v') + "\r\n";
    Ini(before);
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik12345678.dll", "a"));
    EXPECT_EQ(before, testkit::ReadFileBytes(ini_));
}

TEST_F(Peglar, TooFewTokensWriteNothing)
{
    Ini("[Notes]\r\nEXTMGR_ADDINS=A\r\n");
    EXPECT_EQ(kPeglarOk, Run("\"" + ini_ + "\" Notes EXTMGR_ADDINS B"));
    EXPECT_EQ(kPeglarOk, Run(""));
    EXPECT_EQ("A", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
}

TEST_F(Peglar, QuotedPathsWithSpacesAndASeventhToken)
{
    CreateDirectoryA(dir_.file("Lotus Notes").c_str(), nullptr);
    std::string ini = dir_.file("Lotus Notes\\notes.ini");
    ASSERT_TRUE(testkit::WriteFileBytes(ini, "[Notes]\r\nEXTMGR_ADDINS=nextpwd.dll\r\n"));
    EXPECT_EQ(kPeglarOk, Run("\"" + ini + "\"   Notes  EXTMGR_ADDINS \"Tolvik.dll\" a 3 ignored tokens"));
    EXPECT_EQ("nextpwd.dll,Tolvik.dll", ReadValue(ini, "Notes", "EXTMGR_ADDINS"));
}

TEST_F(Peglar, HugeAndUnbalancedCommandLinesAreHandled)
{
    Ini("[Notes]\r\nEXTMGR_ADDINS=A\r\n");
    std::string huge(20000, 'q');
    EXPECT_EQ(kPeglarOk, RunPeglar((ini_ + " Notes EXTMGR_ADDINS " + huge + " a").c_str()));
    EXPECT_EQ("A", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));  // too long to join: not written
    EXPECT_EQ(kPeglarOk, RunPeglar((ini_ + " Notes EXTMGR_ADDINS \"B C a").c_str()));
    EXPECT_EQ("A", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));  // the quote swallowed the rest
}

TEST_F(Peglar, LogOnlyWithTheWinIniEntry)
{
    std::string log = dir_.file("peglar.log");
    Ini("[Notes]\r\nEXTMGR_ADDINS=A,B\r\n");
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "B", "c"));
    EXPECT_FALSE(testkit::FileExists(log));

    ASSERT_TRUE(WriteProfileStringA("MvSentrio", "Peglar", log.c_str()));
    EXPECT_EQ(kPeglarOk, Run("\"" + ini_ + "\" Notes EXTMGR_ADDINS B c 7"));
    std::string text = testkit::ReadFileBytes(log);
    const char *stamp = "\\[[ 0-9]{2}:[ 0-9]{2}:[ 0-9]{2}:[ 0-9]{3}\\] ";
    EXPECT_TRUE(std::regex_search(text, std::regex(std::string("^") + stamp + "INI file dispatcher =+ \n")))
        << text;
    EXPECT_NE(std::string::npos, text.find("sect:Notes, key:EXTMGR_ADDINS, val:B, act:c, flag=7\n")) << text;
    EXPECT_NE(std::string::npos, text.find("old value: A,B\n"));
    EXPECT_NE(std::string::npos, text.find("value exist: A,B\n"));
    EXPECT_NE(std::string::npos, text.find("isIniExist=1, isSectExist=1, isKeyExist=1, isValueExist=1\n"));

    EXPECT_EQ(kPeglarOk, Run("too few"));
    EXPECT_NE(std::string::npos, testkit::ReadFileBytes(log).find("] not enought params\n"));
}

// A notes.ini as the client writes it: several sections, a few hundred lines, CRLF.
std::string RealisticNotesIni()
{
    std::string text = "[Notes]\r\nKitType=1\r\nDirectory=C:\\Lotus\\Notes\\Data\r\n"
                       "KeyFileName=user.id\r\nEXTMGR_ADDINS=nextpwd.dll\r\nAddInMenus=other.dll\r\n";
    for (int i = 0; i < 250; ++i)
        text += "Setting" + std::to_string(i) + "=value " + std::to_string(i * 37) + "\r\n";
    text += "[Workspace]\r\nWindowSizeX=800\r\n[Ports]\r\nTCPIP=TCP, 0, 15, 0\r\n";
    return text;
}

TEST_F(Peglar, AddThenRemoveLeavesARealNotesIniByteForByte)
{
    const std::string original = RealisticNotesIni();
    Ini(original);
    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "a"));
    EXPECT_EQ(kPeglarOk, Run("\"" + ini_ + "\" Notes AddInMenus TolvikM.dll a"));
    EXPECT_EQ("nextpwd.dll,Tolvik.dll", ReadValue(ini_, "Notes", "EXTMGR_ADDINS"));
    EXPECT_EQ("other.dll,TolvikM.dll", ReadValue(ini_, "Notes", "AddInMenus"));
    EXPECT_EQ("TCP, 0, 15, 0", ReadValue(ini_, "Ports", "TCPIP"));

    EXPECT_EQ(kPeglarOk, RunOn("EXTMGR_ADDINS", "Tolvik.dll", "d"));
    EXPECT_EQ(kPeglarOk, Run("\"" + ini_ + "\" Notes AddInMenus TolvikM.dll d"));
    EXPECT_EQ(original, testkit::ReadFileBytes(ini_));
}

}  // namespace
