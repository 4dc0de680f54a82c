// The About box of Ostrel.dll driven through its real window, shown on a second thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "about_binding.h"
#include "about_modules.h"
#include "about_window.h"
#include "module_version.h"
#include "testkit.h"

namespace {

const char *const kModules[] = {"about_tests.exe", "Ostrel.dll", "absent-module.dll", nullptr};

struct ShowArgs {
    HWND parent;
    const char *const *modules;
    int result;
    DWORD error;
};

DWORD WINAPI ShowThread(void *param)
{
    ShowArgs *args = static_cast<ShowArgs *>(param);
    HINSTANCE self = GetModuleHandleA(nullptr);
    SetLastError(0);
    args->result = ShowAbout(self, self, args->parent, 101, args->modules, "Sentrio", 0,
                             "https://www.morvath.example", "support@morvath.example", 5006, 255,
                             0, "Morvath", 1);
    args->error = GetLastError();
    return 0;
}

// The screen resolution the run was started for (SENTRIO_EXPECT_DPI), 96 by default, and the
// screenshot name that goes with it.
int ExpectedDpi()
{
    char value[16] = "";
    GetEnvironmentVariableA("SENTRIO_EXPECT_DPI", value, sizeof value);
    return value[0] != 0 ? atoi(value) : 96;
}

std::string ShotName(const char *name)
{
    return ExpectedDpi() == 96 ? name : std::string(name) + "_" + std::to_string(ExpectedDpi()) + "dpi";
}

std::string FileVersionOf(const char *name)
{
    char version[kVersionTextSize];
    GetModuleVersionInfo(nullptr, (testkit::ExeDir() + name).c_str(), version, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
    return version;
}

class AboutBox : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(BindAbout(&module_)); }
    void TearDown() override
    {
        if (thread_ != nullptr) {
            if (dialog_ != nullptr && IsWindow(dialog_))
                PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
        FreeLibrary(module_);
        g_about = AboutEntries{};
    }
    HWND Open(HWND parent = nullptr, const char *const *modules = kModules)
    {
        args_ = {parent, modules, -2, 0};
        thread_ = CreateThread(nullptr, 0, ShowThread, &args_, 0, nullptr);
        dialog_ = testkit::WaitForWindow("About Sentrio", "#32770", abouttest::kWindowWait);
        return dialog_;
    }
    int Closed()
    {
        EXPECT_TRUE(testkit::WaitForWindowGone(dialog_, 10000));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread_, 10000));
        CloseHandle(thread_);
        thread_ = nullptr;
        return args_.result;
    }
    HMODULE module_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND dialog_ = nullptr;
    ShowArgs args_ = {};
};

TEST_F(AboutBox, ListsEachModuleWithItsVersionAndMarksTheAbsentOne)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    std::vector<abouttest::Line> lines = abouttest::ReadModuleList(dialog);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("about_tests.exe", lines[0].file);
    EXPECT_EQ(FileVersionOf("about_tests.exe"), lines[0].version);
    EXPECT_NE("Unknown", lines[0].version);
    EXPECT_EQ("Sentrio About tests", lines[0].description);
    EXPECT_EQ("Ostrel.dll", lines[1].file);
    EXPECT_EQ(FileVersionOf("Ostrel.dll"), lines[1].version);
    EXPECT_EQ("Sentrio About box", lines[1].description);
    EXPECT_EQ("absent-module.dll", lines[2].file);
    EXPECT_EQ("not found", lines[2].version);

    char productVersion[kVersionTextSize];
    GetModuleVersionInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, productVersion, nullptr);
    EXPECT_EQ("Sentrio", testkit::GetControlText(GetDlgItem(dialog, 102)));
    EXPECT_EQ(std::string("Version ") + productVersion, testkit::GetControlText(GetDlgItem(dialog, 103)));
    EXPECT_EQ("Morvath", testkit::GetControlText(GetDlgItem(dialog, 107)));
    EXPECT_EQ("https://www.morvath.example", testkit::GetControlText(GetDlgItem(dialog, 108)));
    EXPECT_EQ("support@morvath.example", testkit::GetControlText(GetDlgItem(dialog, 109)));

    testkit::PumpMessages(300);
    EXPECT_FALSE(testkit::SaveScreenshot(dialog, ShotName("about_box").c_str()).empty());
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
}

TEST_F(AboutBox, EnterClosesIt)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    abouttest::PressKey(dialog, VK_RETURN);
    EXPECT_EQ(IDOK, Closed());
}

TEST_F(AboutBox, ModalToItsParentWindow)
{
    HWND parent = CreateWindowA("STATIC", "About parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    HWND dialog = Open(parent);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(parent, GetWindow(dialog, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(parent));
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
    EXPECT_TRUE(IsWindowEnabled(parent));
    DestroyWindow(parent);
}

TEST_F(AboutBox, CentredOverItsParentAndOnTheWorkAreaWithoutOne)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &work = monitor.rcWork;
    // A parent a little left of and above the work area's centre.
    int width = (work.right - work.left) * 3 / 4, height = (work.bottom - work.top) * 3 / 4;
    HWND parent = CreateWindowA("STATIC", "About parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, work.left + 20,
                                work.top + 10, width, height, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    RECT around;
    GetWindowRect(parent, &around);
    HWND dialog = Open(parent);
    ASSERT_NE(nullptr, dialog);
    RECT box;
    GetWindowRect(dialog, &box);
    EXPECT_NEAR((around.left + around.right) / 2, (box.left + box.right) / 2, 1);
    EXPECT_NEAR((around.top + around.bottom) / 2, (box.top + box.bottom) / 2, 1);
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
    DestroyWindow(parent);

    dialog = Open();
    ASSERT_NE(nullptr, dialog);
    GetWindowRect(dialog, &box);
    EXPECT_NEAR((work.left + work.right) / 2, (box.left + box.right) / 2, 1);
    EXPECT_NEAR((work.top + work.bottom) / 2, (box.top + box.bottom) / 2, 1);
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
}

TEST_F(AboutBox, TextsFitTheirControlsAndControlsStayInside)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(ExpectedDpi(), GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    RECT client;
    GetClientRect(dialog, &client);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(child);
        SCOPED_TRACE(id);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
        EXPECT_GE(rect.left, client.left);
        EXPECT_GE(rect.top, client.top);
        EXPECT_LE(rect.right, client.right);
        EXPECT_LE(rect.bottom, client.bottom);
        if (id == abouttest::kModuleListId || id == 106 || id == 101)
            continue;
        std::string text = testkit::GetControlText(child);
        HDC dc = GetDC(child);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
        SIZE size = {};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        RECT inner;
        GetClientRect(child, &inner);
        EXPECT_LE(size.cx, inner.right) << text;
        EXPECT_LE(size.cy, inner.bottom + 1) << text;
    }
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
}

TEST_F(AboutBox, LinksCanBeReadOnTheDialogFace)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    testkit::PumpMessages(300);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    int faceLuminance = (GetRValue(face) * 299 + GetGValue(face) * 587 + GetBValue(face) * 114) / 1000;
    for (int id : {108, 109}) {
        SCOPED_TRACE(id);
        HWND link = GetDlgItem(dialog, id);
        ASSERT_NE(nullptr, link);
        RECT rect;
        GetClientRect(link, &rect);
        HDC dc = GetDC(link);
        int darkest = 255;
        for (int y = 0; y < rect.bottom; ++y)
            for (int x = 0; x < rect.right && x < 200; ++x) {
                COLORREF c = GetPixel(dc, x, y);
                if (c == CLR_INVALID)
                    continue;
                int l = (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000;
                if (l < darkest)
                    darkest = l;
            }
        ReleaseDC(link, dc);
        EXPECT_GE(faceLuminance - darkest, 96);  // the text stands out from its background
    }
    abouttest::PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(IDOK, Closed());
}

TEST_F(AboutBox, InvalidParentIsRefused)
{
    HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(-1, ShowAbout(nullptr, nullptr, gone, 101, kModules, "Sentrio", 0, "", "", 5006, 255,
                            0, "Morvath", 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST(AboutModules, RowsAndLinks)
{
    AboutModuleRow absent = ReadAboutModule("absent-module.dll");
    EXPECT_FALSE(absent.found);
    EXPECT_EQ("absent-module.dll\tnot found\t(none)", FormatAboutModuleLine(absent, "not found", "(none)"));
    AboutModuleRow ostrel = ReadAboutModule("Ostrel.dll");
    EXPECT_TRUE(ostrel.found);
    EXPECT_EQ("Sentrio About box", ostrel.description);
    EXPECT_EQ("Ostrel.dll\t" + ostrel.version + "\tSentrio About box", FormatAboutModuleLine(ostrel, "x", "y"));
    EXPECT_EQ("mailto:support@morvath.example", ContactLinkTarget("support@morvath.example", true));
    EXPECT_EQ("mailto:a@b.example", ContactLinkTarget("mailto:a@b.example", true));
    EXPECT_EQ("https://www.morvath.example", ContactLinkTarget("https://www.morvath.example", false));
    EXPECT_EQ("", ContactLinkTarget(nullptr, true));
}

}  // namespace
