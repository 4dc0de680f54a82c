// The console and the Notes client at once: the client's extension, started while the console
// runs, finds the console's marker and leaves the Key alone; the client opens its own ID.
#include <gtest/gtest.h>

#include <string>

#include "arbolin_window.h"
#include "notes_scenario.h"
#include "quorel_control.h"

namespace {

using testkit::ArbolinConsole;
using testkit::NotesKeyRecord;
using testkit::NotesScenario;

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

}  // namespace
