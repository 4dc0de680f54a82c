// The programs' help calls reach the built help file: F1 in the console opens the help window of
// Sentrio.CHM beside Arbolin.exe in the console's own process.
//
// Which page the window then shows cannot be read back here: Wine's help window draws its pages
// with Gecko, which the test prefixes do not have. That the context numbers open the right topics
// is held by the help file tests (the context table read as the help control reads it), and
// Wine's help control opens no window at all for a context the file does not map.
#include <gtest/gtest.h>

#include "arbolin_layout.h"
#include "arbolin_window.h"
#include "testkit.h"

namespace {

using testkit::ArbolinConsole;

const char kHelpWindowClass[] = "HH Parent";
const char kHelpTitle[] = "Morvath Sentrio Help";

TEST(ConsoleHelpCall, F1OpensTheHelpWindowOfTheHelpFileBesideTheConsole)
{
    ArbolinConsole c;
    ASSERT_TRUE(testkit::FileExists(c.dir().file("Sentrio.CHM")));
    ASSERT_TRUE(c.Start());
    ASSERT_NE(nullptr, c.WaitMain());
    EXPECT_EQ(nullptr, c.Find(kHelpWindowClass, nullptr, 0, 0));
    SetForegroundWindow(c.main());
    PostMessageA(c.main(), WM_KEYDOWN, VK_F1, 0);
    HWND help = c.Find(kHelpWindowClass, kHelpTitle, 0);
    ASSERT_NE(nullptr, help) << "no help window for context " << kFormHelpContext;
    testkit::SaveScreenshot(help, "help_console_f1");
    PostMessageA(help, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testkit::WaitForWindowGone(help, ArbolinConsole::kWait));
    EXPECT_EQ(0, c.Close());
}

}  // namespace
