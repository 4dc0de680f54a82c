// The console's help through a seam over the HTML Help entry: F1 opens context 400 and keeps the
// window; a control's pop-up goes as HH_DISPLAY_TEXT_POPUP on "::/Cshelp.txt" with its pop-up
// description; nothing pops up while the F1 window is open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arbolin_help.h"
#include "testkit.h"

namespace {

struct Call {
    HWND caller;
    std::string file;
    UINT command;
    DWORD_PTR data;
    HH_POPUP popup;
    std::string font;
};

std::vector<Call> g_calls;
HWND g_answer = nullptr;

HWND WINAPI RecordingEntry(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    Call call = {caller, file != nullptr ? file : "", command, data, {}, ""};
    if (command == HH_DISPLAY_TEXT_POPUP && data != 0) {
        call.popup = *reinterpret_cast<const HH_POPUP *>(data);
        call.font = call.popup.pszFont != nullptr ? call.popup.pszFont : "";
    }
    g_calls.push_back(call);
    return g_answer;
}

class Help : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_answer = nullptr;
        help.entry = RecordingEntry;
        help.helpFile = "C:\\Program\\Sentrio.CHM";
    }
    ArbolinHelp help;
};

TEST_F(Help, F1OpensTheFormsContextAndKeepsTheWindow)
{
    HWND window = CreateWindowA("STATIC", "help", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    g_answer = window;
    help.ShowContext(nullptr, 400);
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ(static_cast<UINT>(HH_HELP_CONTEXT), g_calls[0].command);
    EXPECT_EQ(15u, g_calls[0].command);
    EXPECT_EQ(400u, g_calls[0].data);
    EXPECT_EQ("C:\\Program\\Sentrio.CHM", g_calls[0].file);
    EXPECT_EQ(window, help.helpWindow);
    DestroyWindow(window);
}

TEST_F(Help, ContextPopupGoesAsTextPopupWithItsDescription)
{
    bool callHelp = true;
    EXPECT_TRUE(help.ApplicationEventsHelp(kHelpContextPopupCommand, 805, POINT{120, 45}, &callHelp));
    EXPECT_FALSE(callHelp);
    ASSERT_EQ(1u, g_calls.size());
    const Call &call = g_calls[0];
    EXPECT_EQ(14u, call.command);
    EXPECT_EQ("C:\\Program\\Sentrio.CHM::/Cshelp.txt", call.file);
    EXPECT_EQ(static_cast<int>(sizeof(HH_POPUP)), call.popup.cbStruct);
#ifndef _WIN64
    EXPECT_EQ(52, call.popup.cbStruct);
#endif
    EXPECT_EQ(nullptr, call.popup.hinst);
    EXPECT_EQ(805u, call.popup.idString);
    EXPECT_EQ(nullptr, call.popup.pszText);
    EXPECT_EQ(120, call.popup.pt.x);
    EXPECT_EQ(45, call.popup.pt.y);
    EXPECT_EQ(static_cast<COLORREF>(-1), call.popup.clrForeground);
    EXPECT_EQ(static_cast<COLORREF>(-1), call.popup.clrBackground);
    EXPECT_EQ(10, call.popup.rcMargins.left);
    EXPECT_EQ(10, call.popup.rcMargins.top);
    EXPECT_EQ(10, call.popup.rcMargins.right);
    EXPECT_EQ(10, call.popup.rcMargins.bottom);
    EXPECT_EQ("MS Sans Serif, 10", call.font);
}

TEST_F(Help, NoPopupWhileTheF1WindowIsOpen)
{
    HWND window = CreateWindowA("STATIC", "help", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    help.helpWindow = window;
    bool callHelp = true;
    EXPECT_TRUE(help.ApplicationEventsHelp(kHelpContextPopupCommand, 805, POINT{}, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_TRUE(g_calls.empty());
    // Once the help window is gone the pop-up works again.
    DestroyWindow(window);
    callHelp = true;
    help.ApplicationEventsHelp(kHelpContextPopupCommand, 805, POINT{}, &callHelp);
    EXPECT_EQ(1u, g_calls.size());
}

TEST_F(Help, OtherCommandsAreLeftToTheStandardHandling)
{
    bool callHelp = true;
    EXPECT_TRUE(help.ApplicationEventsHelp(1, 805, POINT{}, &callHelp));
    EXPECT_TRUE(callHelp);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Help, HelpFileIsBesideTheProgram)
{
    EXPECT_EQ("C:\\Program Files\\Sentrio\\Sentrio.CHM",
              ArbolinHelp::HelpFileBeside("C:\\Program Files\\Sentrio\\Arbolin.exe", "Sentrio.CHM"));
}

TEST_F(Help, RealEntryShowsTheTextPopup)
{
    HH_POPUP popup = ArbolinHelp::PopupFor(805, POINT{100, 100});
    popup.pszText = "Context help";
    popup.idString = 0;
    HWND shown = HtmlHelpA(nullptr, nullptr, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
    if (testkit::RunningOnWine() && shown == nullptr)
        GTEST_SKIP() << "Wine's hhctrl.ocx does not implement HH_DISPLAY_TEXT_POPUP (returns NULL)";
    EXPECT_NE(nullptr, shown);
    if (shown != nullptr)
        DestroyWindow(shown);
}

}  // namespace
