// Key events in the running client: pulling the bound Key locks the client (the ID locked by F5,
// the Logout Screen disabled on newer builds, the removal box on older ones), restores notes.ini
// and deletes the temporary ID; putting it back asks the PIN and gives the client back its screen
// and its ID; a second Key is ignored.
#include <gtest/gtest.h>

#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "testkit.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

// The removal box of the older clients.
const char kRemovalBoxText[] = "Working with Key Storage Device (KSD) will be stopped.\nPrivate User Information "
                               "cleared (User ID Locked).\n\nPress <OK> to work without KSD or <Cancel> to lock LN "
                               "display";
constexpr DWORD kOlderClientLockDelay = 25000;  // the display lock waits this long after logon
constexpr int kWaitTextId = 115;                // the text of the wait window

class KeyEvents : public TolvikClient {
protected:
    // Pulled: notes.ini names the own ID again and the temporary ID is gone.
    void ExpectTracesUndone()
    {
        DWORD start = GetTickCount();
        while (testkit::FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait)
            testkit::PumpMessages(50);
        EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
        EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    }
    // The Logout Screen, once it is shown and disabled under the lock.
    HWND WaitLockedLogoutScreen()
    {
        HWND logout = s.Find(nullptr, "Logout Screen");
        DWORD start = GetTickCount();
        while (logout != nullptr && IsWindowEnabled(logout) && GetTickCount() - start < NotesScenario::kWait)
            testkit::PumpMessages(20);
        return logout;
    }
};

TEST_F(KeyEvents, NewerClientLocksOnRemovalAndComesBackOnReinsertion)
{
    int key = LogOn("1234");
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    HWND logout = WaitLockedLogoutScreen();
    ASSERT_NE(nullptr, logout);
    EXPECT_FALSE(IsWindowEnabled(logout));
    ExpectTracesUndone();

    ASSERT_TRUE(s.Insert(key));
    HWND prompt = s.WaitPinPrompt();
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ("Anna's Key", testkit::GetControlText(GetDlgItem(prompt, 110)));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(testkit::WaitForWindowGone(logout, NotesScenario::kWait));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_NE(std::string::npos, s.Status().find(std::string("User=") + kAnna));
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
    EXPECT_TRUE(testkit::FileExists(s.TempFile("anna.id")));
    EXPECT_EQ(std::string::npos, s.HostLog().find("own password prompt")) << s.HostLog();

    EXPECT_EQ(0, s.Close());
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
}

TEST_F(KeyEvents, KeyErrorMetAtTheRemovalStillLocksTheClient)
{
    int key = LogOn("1234");
    // The monitor's next look at the reader fails with a Key error: the Key's removal is met as
    // that error, and the removal reported after it must not be ignored.
    ASSERT_TRUE(QsimFailNextEx("InitCard", ERROR_IO_DEVICE, -3, 1));
    ASSERT_TRUE(s.Pull(key));
    std::string text = s.TakeBox();
    EXPECT_NE("<no box>", text);
    EXPECT_FALSE(text.empty());
    // The Key's own reason follows in a second box.
    std::string reason = s.TakeBox(IDOK, NotesScenario::kWait);
    EXPECT_NE(std::string::npos, reason.find("Reader A")) << reason;
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    ExpectTracesUndone();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
    EXPECT_EQ(0, s.Close());
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
}

TEST_F(KeyEvents, OlderClientGetsEscapeAndF5AndTheRemovalBox)
{
    int key = LogOn("", 189);
    ASSERT_TRUE(s.Pull(key));
    std::string text = s.TakeBox(IDOK);
    EXPECT_EQ(kRemovalBoxText, text);
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    std::string log = s.HostLog();
    std::size_t escape = log.find("escape");
    EXPECT_NE(std::string::npos, escape) << log;
    EXPECT_LT(escape, log.find("ID locked")) << log;
    EXPECT_EQ(nullptr, s.Find(nullptr, "Logout Screen", 0));
    ExpectTracesUndone();
    EXPECT_TRUE(IsWindowVisible(s.WaitMain()));  // OK: the display is not locked
}

TEST_F(KeyEvents, OlderClientCancelLocksTheDisplayOnceTwentyFiveSecondsHavePassedSinceLogon)
{
    DWORD beforeStart = GetTickCount();
    int key = LogOn("", 189);
    DWORD loggedOn = GetTickCount();
    HWND main = s.WaitMain();
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(s.Pull(key));
    EXPECT_EQ(kRemovalBoxText, s.TakeBox(IDCANCEL));

    // Less than 25 s since logon: the wait window holds the lock back; the client is still shown.
    HWND wait = testkit::FindProcessWindow(s.pid(), "#32770", NotesScenario::kCaption, NotesScenario::kWait,
                                           kWaitTextId);
    ASSERT_NE(nullptr, wait);
    EXPECT_EQ("Key Storage Device operations. Please wait...", testkit::GetControlText(GetDlgItem(wait, kWaitTextId)));
    EXPECT_TRUE(IsWindowVisible(main));

    ASSERT_TRUE(testkit::WaitUntil([&] { return !IsWindowVisible(main); }, kOlderClientLockDelay + 10000))
        << s.HostLog();
    DWORD hiddenAt = GetTickCount();
    EXPECT_GE(hiddenAt - beforeStart, kOlderClientLockDelay);
    EXPECT_LT(hiddenAt - loggedOn, kOlderClientLockDelay + 5000);
    EXPECT_FALSE(IsWindow(wait) && IsWindowVisible(wait));  // closed before the client was hidden

    // Nothing else changed: the ID locked, the traces undone, no Logout Screen, no further box.
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    EXPECT_NE(std::string::npos, s.Status().find("Handlers=0,0")) << s.Status();
    ExpectTracesUndone();
    EXPECT_EQ(nullptr, s.Find(nullptr, "Logout Screen", 0));
    EXPECT_EQ(nullptr, s.WaitBox(500));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s.process(), 0));
}

TEST_F(KeyEvents, SecondKeyWhileOneIsBoundIsIgnored)
{
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int other = s.MakeKey("Other Key", "5678", &kAnnaRecord);
    ASSERT_NE(0, other);
    int key = LogOn("1234");
    ASSERT_TRUE(s.Insert(other, "Reader B"));
    EXPECT_EQ(nullptr, s.WaitPinPrompt(1500));
    // Pulling the other Key changes nothing either.
    ASSERT_TRUE(s.Pull(other));
    EXPECT_EQ(nullptr, s.WaitBox(500));
    EXPECT_TRUE(s.WaitStatus("State=open"));
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
    EXPECT_NE(0, key);
}

TEST_F(KeyEvents, RemovalWhileThePinPromptIsOpenCancelsThePrompt)
{
    int key = StartWithKey("1234");
    ASSERT_NE(nullptr, s.WaitPinPrompt());
    HWND prompt = s.WaitPinPrompt();
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(testkit::WaitForWindowGone(prompt, NotesScenario::kWait));
    ExpectClientsOwnPrompt();
}

}  // namespace
