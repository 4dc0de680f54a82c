// Nothing of a Key session is left behind, whatever way the client ends: a client killed on the
// Key's ID is put right by its next start (with the Key, without it, or passive beside the
// console), a process that ends with Tolvik still loaded restores notes.ini without touching the
// Key library, KeyFileName comes back whole, and an ID the user switched to is never overwritten.
#include <gtest/gtest.h>

#include <string>

#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;
using testkit::FileExists;

class Leftovers : public ToolsClient {
protected:
    // Logged on with the Key, then the client killed as Task Manager does: its traces stay.
    int KilledOnKeyId(std::string *tempId)
    {
        int key = LogOn("1234");
        *tempId = s.IniValue("KeyFileName");
        EXPECT_TRUE(FileExists(*tempId)) << *tempId;
        EXPECT_TRUE(FileExists(s.JournalFile()));
        EXPECT_TRUE(s.Kill());
        EXPECT_EQ(*tempId, s.IniValue("KeyFileName"));
        EXPECT_TRUE(FileExists(*tempId));
        return key;
    }
    // The client's own ID back in notes.ini, the Key's ID file and the journal gone.
    void ExpectNothingLeft(const std::string &tempId, const std::string &ownId = "own.id")
    {
        EXPECT_EQ(ownId, s.IniValue("KeyFileName"));
        EXPECT_FALSE(FileExists(tempId)) << tempId;
        EXPECT_FALSE(FileExists(s.JournalFile()));
    }
};

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedWithTheKeyGivesTheUsersIdBackAtTheEnd)
{
    std::string tempId;
    KilledOnKeyId(&tempId);

    s.Restart(190);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
    EXPECT_TRUE(FileExists(s.JournalFile()));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId);
}

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedWithoutTheKeyOpensTheUsersOwnId)
{
    std::string tempId;
    int key = KilledOnKeyId(&tempId);
    ASSERT_TRUE(s.Pull(key));

    s.Restart(190);
    EXPECT_EQ("Key Storage Device not found or not formatted for Sentrio", s.TakeBox());
    ExpectClientsOwnPrompt();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0, s.Close());
}

TEST_F(Leftovers, KilledOnTheKeysIdThenStartedPassiveBesideTheConsoleStillRepairs)
{
    std::string tempId;
    KilledOnKeyId(&tempId);
    // The console holds the marker: the client's Tolvik stays passive.
    HANDLE marker = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 256, "Sentrio");
    ASSERT_NE(nullptr, marker);

    s.Restart(190);
    ExpectClientsOwnPrompt();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0, s.Close());
    CloseHandle(marker);
}

TEST_F(Leftovers, AJournalOfAClientThatStillRunsIsLeftAlone)
{
    std::string tempId;
    LogOn("1234");
    tempId = s.IniValue("KeyFileName");
    std::string journal = testkit::ReadFileBytes(s.JournalFile());
    ASSERT_FALSE(journal.empty());

    // A second client of the same Windows user (passive) starts while the first runs on the Key.
    NotesScenario second(false);
    SetEnvironmentVariableA("LOCALAPPDATA", s.appData().path().c_str());  // the same Windows user
    ASSERT_FALSE(second.MakeIdFile("own.id", kOwner, kOwnPassword).empty());
    second.Start(190, "own.id");
    ASSERT_TRUE(second.AnswerClientPrompt(kOwnPassword)) << second.HostLog();
    ASSERT_NE(nullptr, second.WaitMain());
    EXPECT_TRUE(FileExists(tempId));
    EXPECT_EQ(tempId, s.IniValue("KeyFileName"));
    EXPECT_EQ(0, second.Close());
    EXPECT_TRUE(FileExists(tempId));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId);
}

TEST_F(Leftovers, ProcessEndingWithTolvikLoadedRestoresWithoutCallingTheKeyLibrary)
{
    s.hostOptions = "-end process";
    LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    EXPECT_EQ(0, s.Close());
    EXPECT_TRUE(s.WaitHostLog("client ends the process")) << s.HostLog();
    ExpectNothingLeft(tempId);
    EXPECT_EQ(0u, QsimCallsAfterDetach());
}

// ---- KeyFileName kept whole ---------------------------------------------------------------------

struct NameCase {
    const char *name;
    const char *keyFileName;  // "%d" stands for the scenario's folder
};

class WholeKeyFileName : public Leftovers, public testing::WithParamInterface<NameCase> {
protected:
    std::string Value() const
    {
        std::string value = GetParam().keyFileName;
        std::size_t at = value.find("%d");
        if (at != std::string::npos)
            value.replace(at, 2, s.dir().path());
        return value;
    }
};

TEST_P(WholeKeyFileName, ComesBackAsItWasAfterTheUnloadAPullAndAKill)
{
    std::string value = Value();
    int key = s.MakeKey("Anna's Key", "1234", &kAnnaRecord);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, value, extraIni);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();

    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_TRUE(testkit::WaitUntil([&] { return s.IniValue("KeyFileName") == value; })) << s.IniValue("KeyFileName");

    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    std::string tempId = s.IniValue("KeyFileName");
    ASSERT_NE(value, tempId);
    ASSERT_TRUE(s.Kill());

    s.Restart(190);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ASSERT_NE(nullptr, s.WaitMain());
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, value);
}

INSTANTIATE_TEST_SUITE_P(Values, WholeKeyFileName,
                         testing::Values(NameCase{"Bare", "own.id"}, NameCase{"Relative", "ids\\jdoe.id"},
                                         NameCase{"Absolute", "%d\\own.id"}, NameCase{"Empty", ""}),
                         [](const testing::TestParamInfo<NameCase> &info) { return info.param.name; });

TEST_F(Leftovers, AnIdTheUserSwitchedToAfterWorkWithoutKeyIsKeptAtTheEnd)
{
    LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    std::string other = s.MakeIdFile("other.id", kOwner, "pw-other");
    ASSERT_FALSE(other.empty());
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithoutKey, true, false));
    s.TakeBox(IDYES);
    s.TakeBox();
    HWND choose = s.Find("#32770", "Choose User ID to switch to");
    ASSERT_NE(nullptr, choose);
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), other.c_str()));
    testkit::ClickDialogButton(choose, IDOK);
    ASSERT_TRUE(s.AnswerClientPrompt("pw-other")) << s.HostLog();
    ASSERT_TRUE(s.WaitStatus(std::string("User=") + kOwner)) << s.Status();
    ASSERT_EQ(other, s.IniValue("KeyFileName"));

    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, other);
}

TEST_F(Leftovers, AnIdTheUserNamedWhileOnTheKeyIsKeptAtThePull)
{
    int key = LogOn("1234");
    std::string tempId = s.IniValue("KeyFileName");
    ASSERT_FALSE(s.MakeIdFile("other.id", kOwner, "pw-other").empty());
    ASSERT_TRUE(s.SetIniValue("KeyFileName", "other.id"));
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_TRUE(testkit::WaitUntil([&] { return !FileExists(tempId); }));
    EXPECT_EQ("other.id", s.IniValue("KeyFileName"));
    EXPECT_EQ(0, s.Close());
    ExpectNothingLeft(tempId, "other.id");
}

}  // namespace
