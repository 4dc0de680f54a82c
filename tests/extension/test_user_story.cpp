// The user's day with the Key, from start to finish in one run: start with the Key and its PIN,
// no password prompt, a password change, the Key pulled (client locked, notes.ini restored, no
// temporary ID left), put back (PIN, the client on the Key's ID again), the client closed
// (notes.ini as it was before the start). And the Key commands of the Actions menu in one run: the
// PIN changed, the ID file saved onto the Key, work without the Key and with it again.
#include <gtest/gtest.h>

#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

using UserStory = TolvikClient;

TEST_F(UserStory, StartChangePasswordPullReinsertClose)
{
    const std::string iniBefore = "own.id";
    int key = LogOn("1234");
    EXPECT_EQ(nullptr, s.Find("#32770", "Enter Password", 0));

    // A generated password.
    PostMessageA(s.WaitMain(), WM_COMMAND, IDM_CHANGE_PASSWORD, 0);
    HWND ask = nullptr;
    for (DWORD start = GetTickCount(); ask == nullptr && GetTickCount() - start < NotesScenario::kWait;) {
        ask = s.Find("#32770", NotesScenario::kCaption, 50);
        if (ask != nullptr && GetDlgItem(ask, 111) == nullptr)
            ask = nullptr;
    }
    ASSERT_NE(nullptr, ask);
    testkit::ClickDialogButton(ask, 111);
    EXPECT_EQ("Password was successfuly changed", s.TakeBox());
    NotesKeyRecord record;
    ASSERT_TRUE(s.ReadRecord(key, &record));
    ASSERT_EQ(60u, record.password.size());
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("anna.id").c_str(), record.password.c_str()));

    // Pulled: locked, notes.ini restored, no temporary ID.
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    HWND logout = s.Find(nullptr, "Logout Screen");
    ASSERT_NE(nullptr, logout);
    for (DWORD start = GetTickCount(); IsWindowEnabled(logout) && GetTickCount() - start < NotesScenario::kWait;)
        testkit::PumpMessages(20);
    EXPECT_FALSE(IsWindowEnabled(logout));
    for (DWORD start = GetTickCount();
         testkit::FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait;)
        testkit::PumpMessages(20);
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
    EXPECT_EQ(iniBefore, s.IniValue("KeyFileName"));

    // Back: PIN, and the client on the Key's ID with the new password.
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_NE(std::string::npos, s.Status().find(std::string("User=") + kAnna));
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("anna.id").c_str(), record.password.c_str()));
    EXPECT_EQ(std::string::npos, s.HostLog().find("own password prompt")) << s.HostLog();

    // Closed: notes.ini as before the start.
    EXPECT_EQ(0, s.Close());
    EXPECT_EQ(iniBefore, s.IniValue("KeyFileName"));
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
}

using ToolsStory = ToolsClient;

TEST_F(ToolsStory, ChangePinSaveIdStopAndResumeWorkingWithTheKey)
{
    int key = LogOn("1234");

    // Actions > "Morvath Sentrio Tools >" > Change PIN: the new PIN twice.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    ASSERT_TRUE(s.AnswerNewPin("Enter new PIN code:", "24680"));
    ASSERT_TRUE(s.AnswerNewPin("Confirm new PIN code:", "24680"));
    EXPECT_EQ("PIN is changed successfully!", s.TakeBox());
    QsimKeyState state = {};
    ASSERT_TRUE(QsimGetKey(key, &state));
    EXPECT_STREQ("24680", state.pin);

    // Save ID file onto KSD: the ID file the client uses becomes the Key's record.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    EXPECT_NE(std::string::npos, s.TakeBox(IDYES).find(s.TempFile("anna.id")));
    EXPECT_EQ("ID file was successfuly saved onto KSD", s.TakeBox());
    NotesKeyRecord record;
    std::string bytes;
    ASSERT_TRUE(s.ReadRecord(key, &record, &bytes));
    EXPECT_EQ(testkit::ReadFileBytes(s.TempFile("anna.id")), bytes);

    // Work without KSD: the handlers go, notes.ini names the own ID, the client's Switch ID opens.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithoutKey, true, false));
    s.TakeBox(IDYES);
    s.TakeBox();
    HWND choose = s.Find("#32770", "Choose User ID to switch to");
    ASSERT_NE(nullptr, choose);
    testkit::ClickDialogButton(choose, IDCANCEL);
    EXPECT_TRUE(s.WaitStatus("Handlers=0,0")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));

    // Work with KSD: back on the Key's ID with its handlers.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithKey, false, true));
    EXPECT_TRUE(s.WaitStatus("Handlers=1,1")) << s.Status();
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));

    EXPECT_NE(std::string::npos, s.Status().find(std::string("User=") + kAnna)) << s.Status();

    EXPECT_EQ(0, s.Close());
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
}

}  // namespace
