// The console and the Notes client: the client's extension, started while the console runs, finds
// the console's marker and leaves the Key alone; and the provisioning story from an ID file made
// by mkid to the client logged on from the Key, with the console's password change seen by the
// next logon.
#include <gtest/gtest.h>

#include <string>

#include "arbolin_res.h"
#include "arbolin_window.h"
#include "key_records.h"
#include "notes_control.h"
#include "notes_scenario.h"
#include "quorel_control.h"

namespace {

using testkit::ArbolinConsole;
using testkit::NotesKeyRecord;
using testkit::NotesScenario;
using testkit::WaitUntil;

TEST(ConsoleAndClient, TolvikStartedWhileTheConsoleRunsStaysPassive)
{
    ArbolinConsole c;
    NotesScenario s(false);
    QsimAddReader(NotesScenario::kReader);
    ASSERT_FALSE(s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty());
    const NotesKeyRecord record = {"Anna Berg/Morvath", "pw-anna-key", "anna.id"};
    int key = s.MakeKey("Anna's Key", "", &record);
    ASSERT_NE(0, key);
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(c.Start());
    ASSERT_NE(nullptr, c.WaitMain());
    ASSERT_TRUE(c.WaitRowCount(1));

    s.Start(190, "own.id");
    // The client asks its own password for its own ID: the extension did not take over.
    ASSERT_TRUE(s.AnswerClientPrompt("pw-own")) << s.HostLog();
    ASSERT_NE(nullptr, s.WaitMain());
    EXPECT_TRUE(s.WaitStatus("User=Olaf Own/Morvath")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
    EXPECT_EQ(0, s.Close());
    EXPECT_EQ(0, c.Close());
}

// ---- Provisioning ---------------------------------------------------------------------------------

const char kPin[] = "2468";
const char kUser[] = "Carla Dorn/Morvath";

// A console on the Keys as they are: started, the Key's PIN given, its Notes data read.
void OpenConsoleOnTheKey(ArbolinConsole &c)
{
    ASSERT_TRUE(c.Start());
    ASSERT_NE(nullptr, c.WaitMain());
    ASSERT_TRUE(c.WaitRowCount(1));
    ASSERT_TRUE(c.GivePin(0, kPin));
}

// The client started on the Key: the PIN asked and given, the ID opened from the Key with no
// password prompt of the client's own.
void LogOnWithTheKey(NotesScenario &s, const std::string &ownId)
{
    s.Start(190, ownId);
    ASSERT_TRUE(s.AnswerPin(kPin)) << s.HostLog();
    ASSERT_NE(nullptr, s.WaitMain());
    ASSERT_TRUE(s.WaitStatus("State=open")) << s.Status();
    EXPECT_NE(std::string::npos, s.Status().find(std::string("User=") + kUser)) << s.Status();
    EXPECT_EQ(s.TempFile("carla.id"), s.IniValue("KeyFileName"));
    EXPECT_EQ(std::string::npos, s.HostLog().find("own password prompt")) << s.HostLog();
}

TEST(Provisioning, IdFileFromMkidThroughTheConsoleToTheClientsLogonAndAPasswordChange)
{
    ArbolinConsole c;  // empties the Keys now and at the end of the story
    testkit::TempDir admin;
    // 1. An ID file, as an administrator makes it.
    std::string id = admin.file("carla.id");
    ASSERT_EQ(0, testkit::RunProcess("\"" + testkit::ExeDir() + "mkid.exe\" \"" + id + "\" \"" + kUser +
                                     "\" first-pw"));
    std::string ini = admin.file("notes.ini");
    ASSERT_TRUE(testkit::WriteFileBytes(ini, "[Notes]\r\nDirectory=" + admin.path() + "\r\nKeyFileName=carla.id\r\n"));
    QsimAddReader(NotesScenario::kReader);
    int key = ArbolinConsole::MakeKey("Carla's Key", kPin);
    ASSERT_TRUE(ArbolinConsole::Insert(key, NotesScenario::kReader));

    // 2. The console writes it and its password onto the Key.
    OpenConsoleOnTheKey(c);
    c.WriteIdFile(id, ini, "first-pw");
    ASSERT_TRUE(WaitUntil([&] { return c.Rows()[0].info == kUser; }));
    EXPECT_EQ("first-pw", testkit::GetKeyRecord(key).password);
    EXPECT_EQ(0, c.Close());

    // 3. The client logs on from the Key with its PIN alone.
    {
        NotesScenario s(false);
        ASSERT_FALSE(s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty());
        LogOnWithTheKey(s, "own.id");
        EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("carla.id").c_str(), "first-pw"));
        EXPECT_EQ(0, s.Close());
    }

    // 4. The console changes the Notes password on the Key.
    ArbolinConsole again(false);
    OpenConsoleOnTheKey(again);
    ASSERT_TRUE(WaitUntil([&] { return again.Enabled(IDC_CHANGE_LN_PASSWORD); }));
    again.Click(IDC_CHANGE_LN_PASSWORD);
    testkit::PlaySteps(again,
                       {testkit::InputStep("Change current Lotus Notes password", "Enter new Lotus Notes password:",
                                           "second-pw"),
                        testkit::InputStep("Change current Lotus Notes password", "Confirm new Lotus Notes password",
                                           "second-pw"),
                        testkit::FileStep("Initialize Notes - Select \"notes.ini\"", ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password == "second-pw"; }));
    EXPECT_EQ(0, again.Close());

    // 5. The next logon opens the ID with the new password, again without a prompt.
    NotesScenario s(false);
    ASSERT_FALSE(s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty());
    LogOnWithTheKey(s, "own.id");
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(s.TempFile("carla.id").c_str(), "second-pw"));
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, NsimCheckIdPassword(s.TempFile("carla.id").c_str(), "first-pw"));
    EXPECT_EQ(0, s.Close());
}

}  // namespace
