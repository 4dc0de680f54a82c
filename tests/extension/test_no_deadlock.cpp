// A Key operation never waits for an event handler: a removal while a generated password is being
// written comes to an end, the Key's record the old one or the new one, whole; a password change
// left open across a pull and the Key's return is not carried into the new session.
// Nor does the client's end: closed while the re-entry's PIN prompt waits for the user, or while
// the re-entry reads the Key, it ends at once, with KeyFileName back and no ID file left.
#include <gtest/gtest.h>

#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

constexpr int kGenerate = 111;

class NoDeadlock : public TolvikClient {
protected:
    void TearDown() override
    {
        QsimSetLatency(0, 0);
        QsimSetCallDelay("ReadData", 0);
    }

    HWND OpenChange()
    {
        PostMessageA(s.WaitMain(), WM_COMMAND, IDM_CHANGE_PASSWORD, 0);
        HWND d = nullptr;
        DWORD start = GetTickCount();
        while (d == nullptr && GetTickCount() - start < NotesScenario::kWait) {
            d = s.Find("#32770", NotesScenario::kCaption, 50);
            if (d != nullptr && GetDlgItem(d, kGenerate) == nullptr)
                d = nullptr;
        }
        return d;
    }
    bool WaitCalls(const char *entry, DWORD above)
    {
        DWORD start = GetTickCount();
        while (QsimCallCount(entry) <= above) {
            if (GetTickCount() - start >= NotesScenario::kWait)
                return false;
            testkit::PumpMessages(5);
        }
        return true;
    }
    // Pulled (the client locks, the ID file is gone) and put back: the re-entry asks the PIN.
    HWND PullAndReinsert(int key)
    {
        EXPECT_TRUE(s.Pull(key));
        DWORD start = GetTickCount();
        while (testkit::FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait)
            testkit::PumpMessages(50);
        EXPECT_TRUE(s.Insert(key));
        return s.WaitPinPrompt();
    }
    // The client ended of itself (exit code 0), after the termination notice, and left notes.ini
    // and the temporary directory as they were before the Key.
    void ExpectCleanEnd()
    {
        EXPECT_EQ(0, s.Close()) << s.HostLog();
        std::string log = s.HostLog();
        std::size_t notice = log.find("NSF terminating");
        EXPECT_NE(std::string::npos, notice) << log;
        EXPECT_LT(notice, log.find("extension Tolvik.dll: unloaded")) << log;
        EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
        EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
    }
    static bool StartsWith(const std::string &text, const std::string &head)
    {
        return text.compare(0, head.size(), head) == 0;
    }
};

TEST_F(NoDeadlock, KeyPulledWhileAGeneratedPasswordIsWrittenEndsBothSides)
{
    int key = LogOn("");
    // A slow Key: the change holds the handler lock across the Key's calls for a while.
    ASSERT_TRUE(QsimSetLatency(150, 0));
    DWORD draws = QsimCallCount("GetRandom");
    HWND ask = OpenChange();
    ASSERT_NE(nullptr, ask);
    testkit::ClickDialogButton(ask, kGenerate);
    ASSERT_TRUE(WaitCalls("GetRandom", draws));
    ASSERT_TRUE(s.Pull(key));  // the removal's ExtClear now waits for the handler lock

    // The change ends (whatever the Key managed), and so does the removal.
    std::string box = s.TakeBox();
    EXPECT_TRUE(box == "Password was successfuly changed" || StartsWith(box, "Error writing data into KSD.") ||
                StartsWith(box, "Error geting random data from KSD"))
        << box;
    EXPECT_TRUE(s.WaitHostLog("password change")) << s.HostLog();
    DWORD start = GetTickCount();
    while (testkit::FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait)
        testkit::PumpMessages(50);
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));

    // The record on the Key is whole: its ID file opens with its password, old or new.
    QsimSetLatency(0, 0);
    ASSERT_TRUE(s.Insert(key));
    NotesKeyRecord record;
    std::string id;
    ASSERT_TRUE(s.ReadRecord(key, &record, &id));
    EXPECT_TRUE(record.password == kAnnaPassword || record.password.size() == 60) << record.password;
    std::string copy = s.dir().file("from-key.id");
    ASSERT_TRUE(testkit::WriteFileBytes(copy, id));
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(copy.c_str(), record.password.c_str()));
}

TEST_F(NoDeadlock, PasswordChangeLeftOpenAcrossAPullAndReturnIsNotCarriedToTheNewSession)
{
    int key = LogOn("1234");
    HWND ask = OpenChange();  // the change dialog waits for its answer on the client's thread
    ASSERT_NE(nullptr, ask);
    ASSERT_TRUE(s.Pull(key));
    ASSERT_TRUE(testkit::WaitUntil([&] { return !testkit::FileExists(s.TempFile("anna.id")); }, NotesScenario::kWait));
    ASSERT_TRUE(s.Insert(key));
    // The re-insertion's prompt opens on the client's thread, over the change dialog left open.
    HWND prompt = s.WaitPinPrompt();
    ASSERT_NE(nullptr, prompt);
    EXPECT_TRUE(IsWindow(ask));

    // Generate is chosen in the change dialog meanwhile; the logon goes on and the client is back
    // on the Key's ID. The change was asked for in the session the pull ended: it is not carried
    // out in the new one (the handlers leave it to the client), and the Key keeps its password.
    testkit::ClickDialogButton(ask, kGenerate);
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_TRUE(s.WaitHostLog("handlers answered 725")) << s.HostLog();
    EXPECT_TRUE(testkit::WaitUntil([&] { return s.IniValue("KeyFileName") == s.TempFile("anna.id"); },
                                   NotesScenario::kWait));
    NotesKeyRecord record;
    ASSERT_TRUE(s.ReadRecord(key, &record));
    EXPECT_EQ(kAnnaPassword, record.password);
}

TEST_F(NoDeadlock, ClientClosedWhileTheReentryPromptWaitsForTheUserEnds)
{
    int key = LogOn("1234");
    HWND prompt = PullAndReinsert(key);
    ASSERT_NE(nullptr, prompt);
    ExpectCleanEnd();
    EXPECT_FALSE(IsWindow(prompt));
}

TEST_F(NoDeadlock, ClientClosedWhileTheReentryReadsTheKeyEndsWithoutTheIdFile)
{
    int key = LogOn("1234");
    ASSERT_NE(nullptr, PullAndReinsert(key));
    // The record's read takes a while: the client is closed meanwhile, and the re-entry still
    // writes the ID file after it.
    DWORD reads = QsimCallCount("ReadData");
    ASSERT_TRUE(QsimSetCallDelay("ReadData", 1500));
    ASSERT_TRUE(s.AnswerPin("1234"));
    ASSERT_TRUE(WaitCalls("ReadData", reads));
    ExpectCleanEnd();
}

}  // namespace
