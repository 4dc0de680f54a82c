// The About command of a program: the box lists the program and Ostrel.dll with their versions;
// without a usable Ostrel.dll a plain box with the product caption and version appears instead.
#include <gtest/gtest.h>

#include <string>

#include "about_binding.h"
#include "about_window.h"
#include "module_version.h"
#include "testkit.h"

namespace {

std::string VersionText(const std::string &path, bool product)
{
    char fileVersion[kVersionTextSize], productVersion[kVersionTextSize];
    GetModuleVersionInfo(nullptr, path.c_str(), fileVersion, nullptr, nullptr, nullptr,
                         productVersion, nullptr);
    return product ? productVersion : fileVersion;
}

int WaitExit(HANDLE process)
{
    DWORD code = 0xdead;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 15000));
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return static_cast<int>(code);
}

struct CommandArgs {
    int result;
};

DWORD WINAPI CommandThread(void *param)
{
    static const char *const modules[] = {"about_tests.exe", "Ostrel.dll", nullptr};
    static_cast<CommandArgs *>(param)->result =
        RunAboutCommand(GetModuleHandleA(nullptr), nullptr, modules);
    return 0;
}

// The list box is read in-process: Wine does not carry LB_GETTEXT between processes.
TEST(AboutCommand, ProgramListsItselfAndOstrelWithVersions)
{
    CommandArgs args = {-2};
    HANDLE thread = CreateThread(nullptr, 0, CommandThread, &args, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    HWND dialog = testkit::WaitForWindow("About Sentrio", "#32770", abouttest::kWindowWait);
    EXPECT_NE(nullptr, dialog);
    if (dialog != nullptr) {
        std::vector<abouttest::Line> lines = abouttest::ReadModuleList(dialog);
        EXPECT_EQ(2u, lines.size());
        if (lines.size() == 2) {
            EXPECT_EQ("about_tests.exe", lines[0].file);
            EXPECT_EQ(VersionText(testkit::ExeDir() + "about_tests.exe", false), lines[0].version);
            EXPECT_NE("Unknown", lines[0].version);
            EXPECT_EQ("Sentrio About tests", lines[0].description);
            EXPECT_EQ("Ostrel.dll", lines[1].file);
            EXPECT_EQ(VersionText(testkit::ExeDir() + "Ostrel.dll", false), lines[1].version);
            EXPECT_NE("Unknown", lines[1].version);
        }
        EXPECT_FALSE(testkit::SaveScreenshot(dialog, "about_box_program").empty());
        abouttest::PressKey(dialog, VK_RETURN);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 15000));
    CloseHandle(thread);
    EXPECT_EQ(IDOK, args.result);
    // The command freed Ostrel.dll and left no table behind.
    EXPECT_EQ(nullptr, GetModuleHandleA("Ostrel.dll"));
    EXPECT_EQ(nullptr, g_about.AboutDialog);
}

// Runs a copy of the program from a folder of its own and expects the plain box.
void ExpectPlainBox(const testkit::TempDir &dir)
{
    std::string host = testkit::ExeDir() + "about_host.exe";
    std::string copy = dir.file("about_host.exe");
    ASSERT_TRUE(CopyFileA(host.c_str(), copy.c_str(), FALSE));
    HANDLE process = testkit::StartProcess("\"" + copy + "\" about_host.exe Ostrel.dll");
    ASSERT_NE(nullptr, process);
    HWND box = testkit::WaitForWindow("Morvath Sentrio", nullptr, abouttest::kWindowWait);
    if (box == nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
        FAIL() << "no plain About box";
    }
    std::string text = testkit::GetControlText(GetDlgItem(box, 0xFFFF));
    std::string version = VersionText(host, true);
    EXPECT_NE("Unknown", version);
    EXPECT_EQ(0u, text.find("Sentrio " + version + "\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Morvath")) << text;
    EXPECT_EQ(nullptr, testkit::WaitForWindow("About Sentrio", "#32770", 200));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0, WaitExit(process));
}

TEST(AboutCommand, WithoutOstrelAPlainBoxShowsCaptionAndVersion)
{
    testkit::TempDir dir;
    ExpectPlainBox(dir);
}

TEST(AboutCommand, OstrelLackingAnEntryGivesThePlainBox)
{
    testkit::TempDir dir;
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "ostrel_lacking.dll").c_str(),
                          dir.file("Ostrel.dll").c_str(), FALSE));
    ExpectPlainBox(dir);
}

}  // namespace
