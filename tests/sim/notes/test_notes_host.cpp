// The Notes client host through its real windows: extensions from EXTMGR_ADDINS called on the main
// thread before the workspace, password requests answered by a handler or by the client's own
// prompt, F5 and the Logout Screen (and the older builds' prompt), Switch ID and Change Password
// by the menu keys, and a menu add-in's entries in the Actions menu.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "testkit.h"

namespace {

const char kAnna[] = "Anna Berg/Morvath";
const char kAnnaPassword[] = "pw-anna";
constexpr DWORD kWait = 20000;

class NotesHost : public testing::Test {
protected:
    void SetUp() override
    {
        NsimReset();
        id_ = dir_.file("anna.id");
        ASSERT_EQ(NOERROR, NsimCreateIdFile(id_.c_str(), kAnna, kAnnaPassword));
        ini_ = dir_.file("notes.ini");
        hostLog_ = dir_.file("host.log");
        extLog_ = dir_.file("ext.log");
        menuLog_ = dir_.file("menu.log");
        SetEnvironmentVariableA("NSIM_TEST_EXT_LOG", extLog_.c_str());
        SetEnvironmentVariableA("NSIM_TEST_MENU_LOG", menuLog_.c_str());
        SetEnvironmentVariableA("NSIM_TEST_EXT_PASSWORD", kAnnaPassword);
        SetEnvironmentVariableA("NSIM_TEST_EXT_ANSWER", nullptr);
        SetEnvironmentVariableA("NSIM_TEST_EXT_NEW_PASSWORD", nullptr);
    }
    void TearDown() override
    {
        if (process_ != nullptr) {
            if (main_ != nullptr)
                PostMessageA(main_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0)
                TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        for (const char *name : {"NSIM_TEST_EXT_LOG", "NSIM_TEST_MENU_LOG", "NSIM_TEST_EXT_PASSWORD",
                                 "NSIM_TEST_EXT_ANSWER", "NSIM_TEST_EXT_NEW_PASSWORD", NSIM_ENV_BUILD})
            SetEnvironmentVariableA(name, nullptr);
        NsimReset();
    }

    // Writes notes.ini (the ID, the test extension, `extra` lines) and starts the host (without
    // -build when `build` is negative).
    void Start(int build, const std::string &extra = "")
    {
        std::string ini = "[Notes]\r\nDirectory=" + dir_.path() + "\r\nKeyFileName=anna.id\r\n" +
                          "EXTMGR_ADDINS=nsim_test_ext.dll\r\n" + extra;
        ASSERT_TRUE(testkit::WriteFileBytes(ini_, ini));
        std::string command = "\"" + testkit::ExeDir() + "notes.exe\" -ini \"" + ini_ + "\" -log \"" +
                              hostLog_ + "\"";
        if (build >= 0)
            command += " -build " + std::to_string(build);
        process_ = testkit::StartProcess(command);
        ASSERT_NE(nullptr, process_);
        pid_ = GetProcessId(process_);
    }
    HWND Find(const char *className, const char *caption, DWORD timeoutMs)
    {
        return testkit::FindProcessWindow(pid_, className, caption, timeoutMs);
    }
    void WaitMain()
    {
        main_ = Find("NOTES", nullptr, kWait);
        ASSERT_NE(nullptr, main_);
    }
    std::string Status() { return testkit::GetControlText(GetDlgItem(main_, IDC_MAIN_STATUS)); }
    bool WaitStatus(const std::string &part, DWORD timeoutMs = kWait)
    {
        DWORD start = GetTickCount();
        while (Status().find(part) == std::string::npos) {
            if (GetTickCount() - start >= timeoutMs)
                return false;
            testkit::PumpMessages(50);
        }
        return true;
    }
    // Presses and releases each key in turn, as a user at the keyboard of the client.
    void Keys(std::initializer_list<BYTE> keys)
    {
        SetForegroundWindow(main_);
        testkit::PumpMessages(200);
        for (BYTE key : keys) {
            keybd_event(key, 0, 0, 0);
            keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
            testkit::PumpMessages(250);
        }
    }
    // Answers the client's own password prompt.
    void AnswerPrompt(const char *password)
    {
        HWND prompt = Find("#32770", "Enter Password", kWait);
        ASSERT_NE(nullptr, prompt);
        ASSERT_TRUE(testkit::SetControlText(GetDlgItem(prompt, IDC_PASSWORD_EDIT), password));
        testkit::ClickDialogButton(prompt, IDOK);
        ASSERT_TRUE(testkit::WaitForWindowGone(prompt, kWait));
    }
    int Close()
    {
        PostMessageA(main_, WM_CLOSE, 0, 0);
        DWORD code = 1000;
        if (WaitForSingleObject(process_, kWait) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_, &code);
        return static_cast<int>(code);
    }
    static bool Has(const std::string &log, const std::string &line)
    {
        return log.find(line) != std::string::npos;
    }

    testkit::TempDir dir_;
    std::string id_, ini_, hostLog_, extLog_, menuLog_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

TEST_F(NotesHost, ExtensionIsCalledOnTheMainThreadBeforeTheWorkspaceAndUnloadedAtExit)
{
    Start(190);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    EXPECT_NE(std::string::npos, Status().find(std::string("User=") + kAnna));
    EXPECT_EQ(nullptr, Find("#32770", "Enter Password", 0));

    DWORD windowThread = GetWindowThreadProcessId(main_, nullptr);
    std::string log = testkit::ReadFileBytes(extLog_);
    std::string thread = std::to_string(windowThread);
    EXPECT_TRUE(Has(log, "attach thread=" + thread + "\n")) << log;
    EXPECT_TRUE(Has(log, "entry thread=" + thread + " window=0\n")) << log;
    EXPECT_TRUE(Has(log, "register status=0\n")) << log;
    // The client asked the handler for the ID's password with its own arguments.
    EXPECT_TRUE(Has(log, "request max=63 file=<" + id_ + "> owner=<" + kAnna + "> answer=5985")) << log;

    EXPECT_EQ(0, Close());
    log = testkit::ReadFileBytes(extLog_);
    // The termination notice comes on the client's thread right before the unload.
    EXPECT_EQ(log.size() - 7, log.rfind("detach\n")) << log;
    std::string terminate = "terminate thread=" + thread + "\n";
    EXPECT_EQ(log.size() - 7 - terminate.size(), log.rfind(terminate)) << log;
    EXPECT_TRUE(Has(testkit::ReadFileBytes(hostLog_), "extension nsim_test_ext.dll: unloaded"));
}

TEST_F(NotesHost, HandlerUnlocksTheIdAfterF5WithoutTheClientsPrompt)
{
    Start(190);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    Keys({VK_F5});
    HWND logout = Find(nullptr, "Logout Screen", kWait);
    ASSERT_NE(nullptr, logout);
    EXPECT_TRUE(WaitStatus("State=locked")) << Status();
    // A click on the Logout Screen, as Tolvik sends it.
    PostMessageA(logout, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 0);
    PostMessageA(logout, WM_LBUTTONUP, MK_CONTROL, 0);
    EXPECT_TRUE(WaitStatus("State=open")) << Status();
    EXPECT_TRUE(testkit::WaitForWindowGone(logout, kWait));
    std::string host = testkit::ReadFileBytes(hostLog_);
    EXPECT_FALSE(Has(host, "own password prompt")) << host;
    EXPECT_TRUE(Has(host, "ID unlocked <" + id_ + "><" + kAnna + "> by a handler")) << host;
}

TEST_F(NotesHost, OpenDatabaseTakesTheHandlersPasswordWithoutThePrompt)
{
    Start(190);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    PostMessageA(main_, WM_COMMAND, IDM_OPEN_DATABASE, 0);
    std::string opened = "database opened <names.nsf><" + std::string(kAnna) + "> by a handler";
    for (DWORD start = GetTickCount(); !Has(testkit::ReadFileBytes(hostLog_), opened) && GetTickCount() - start < kWait;)
        testkit::PumpMessages(20);
    std::string host = testkit::ReadFileBytes(hostLog_);
    EXPECT_TRUE(Has(host, opened)) << host;
    EXPECT_FALSE(Has(host, "own password prompt")) << host;
}

TEST_F(NotesHost, OpenDatabaseAsksWithItsPromptWhenTheHandlerPasses)
{
    SetEnvironmentVariableA("NSIM_TEST_EXT_ANSWER", "725");
    Start(190);
    AnswerPrompt(kAnnaPassword);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    PostMessageA(main_, WM_COMMAND, IDM_OPEN_DATABASE, 0);
    AnswerPrompt(kAnnaPassword);
    std::string opened = "database opened <names.nsf><" + std::string(kAnna) + ">\n";
    for (DWORD start = GetTickCount(); !Has(testkit::ReadFileBytes(hostLog_), opened) && GetTickCount() - start < kWait;)
        testkit::PumpMessages(20);
    EXPECT_TRUE(Has(testkit::ReadFileBytes(hostLog_), opened)) << testkit::ReadFileBytes(hostLog_);
}

TEST_F(NotesHost, ContinueAnswerBringsTheClientsPromptWhichChecksThePassword)
{
    SetEnvironmentVariableA("NSIM_TEST_EXT_ANSWER", "725");
    Start(190);
    // Start-up: the handler passes, the client asks; a wrong password is refused with its text.
    HWND prompt = Find("#32770", "Enter Password", kWait);
    ASSERT_NE(nullptr, prompt);
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(prompt, IDC_PASSWORD_EDIT), "wrong"));
    testkit::ClickDialogButton(prompt, IDOK);
    HWND box = Find("#32770", "Notes", kWait);
    ASSERT_NE(nullptr, box);
    testkit::ClickDialogButton(box, IDOK);
    AnswerPrompt(kAnnaPassword);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    EXPECT_TRUE(Has(testkit::ReadFileBytes(extLog_), "answer=725"));

    Keys({VK_F5});
    HWND logout = Find(nullptr, "Logout Screen", kWait);
    ASSERT_NE(nullptr, logout);
    PostMessageA(logout, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageA(logout, WM_LBUTTONUP, 0, 0);
    AnswerPrompt(kAnnaPassword);
    EXPECT_TRUE(WaitStatus("State=open")) << Status();
    EXPECT_TRUE(testkit::WaitForWindowGone(logout, kWait));
}

TEST_F(NotesHost, CancelAnswerAtStartEndsTheClientWithoutItsPrompt)
{
    SetEnvironmentVariableA("NSIM_TEST_EXT_ANSWER", "5928");
    Start(190);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process_, kWait));
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    EXPECT_EQ(3u, code);
    std::string host = testkit::ReadFileBytes(hostLog_);
    EXPECT_FALSE(Has(host, "own password prompt")) << host;
    EXPECT_TRUE(Has(host, "handlers answered 5928")) << host;
}

TEST_F(NotesHost, OlderBuildHasNoLogoutScreenAndAsksWithTheStandardDialogOnUse)
{
    SetEnvironmentVariableA("NSIM_TEST_EXT_ANSWER", "725");
    Start(180);
    AnswerPrompt(kAnnaPassword);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open;Build=180")) << Status();
    Keys({VK_F5});
    EXPECT_TRUE(WaitStatus("State=locked")) << Status();
    EXPECT_EQ(nullptr, Find(nullptr, "Logout Screen", 1000));
    // Using the workspace brings the prompt; Cancel leaves the ID locked.
    Keys({VK_RETURN});
    HWND prompt = Find("#32770", "Enter Password", kWait);
    ASSERT_NE(nullptr, prompt);
    testkit::ClickDialogButton(prompt, IDCANCEL);
    ASSERT_TRUE(testkit::WaitForWindowGone(prompt, kWait));
    testkit::PumpMessages(300);
    EXPECT_NE(std::string::npos, Status().find("State=locked")) << Status();
    Keys({VK_RETURN});
    AnswerPrompt(kAnnaPassword);
    EXPECT_TRUE(WaitStatus("State=open")) << Status();
}

class NotesHostBuilds : public NotesHost, public testing::WithParamInterface<int> {};

TEST_P(NotesHostBuilds, SwitchIdByTheMenuKeysNamesTheNewIdInKeyFileName)
{
    std::string carl = dir_.file("carl.id");
    ASSERT_EQ(NOERROR, NsimCreateIdFile(carl.c_str(), "Carl Dorn/Morvath", kAnnaPassword));
    int build = GetParam();
    Start(build);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    // Alt, F, then T (Tools) below 190 or Y (Security) from 190, then W (Switch ID).
    Keys({VK_MENU, 'F', static_cast<BYTE>(build < 190 ? 'T' : 'Y'), 'W'});
    HWND dialog = Find("#32770", "Choose User ID to switch to", kWait);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(dialog, IDC_SWITCHID_PATH), carl.c_str()));
    testkit::ClickDialogButton(dialog, IDOK);
    EXPECT_TRUE(WaitStatus("User=Carl Dorn/Morvath;ID=" + carl + ";State=open")) << Status();
    char key[MAX_PATH] = "";
    GetPrivateProfileStringA("Notes", "KeyFileName", "", key, sizeof key, ini_.c_str());
    EXPECT_EQ(carl, key);
    EXPECT_TRUE(Has(testkit::ReadFileBytes(extLog_),
                    "file=<" + carl + "> owner=<Carl Dorn/Morvath> answer=5985"));
}

INSTANTIATE_TEST_SUITE_P(OlderAndNewer, NotesHostBuilds, testing::Values(180, 190));

TEST_F(NotesHost, ChangePasswordAsksTheHandlersThenItsDialog)
{
    Start(190);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    std::string before = testkit::ReadFileBytes(id_);
    Keys({VK_MENU, 'F', 'Y', 'P'});
    HWND dialog = Find("#32770", "Change Password", kWait);
    ASSERT_NE(nullptr, dialog);
    testkit::SetControlText(GetDlgItem(dialog, IDC_CHANGEPWD_OLD), kAnnaPassword);
    testkit::SetControlText(GetDlgItem(dialog, IDC_CHANGEPWD_NEW), "pw-new");
    testkit::SetControlText(GetDlgItem(dialog, IDC_CHANGEPWD_CONFIRM), "pw-new");
    testkit::ClickDialogButton(dialog, IDOK);
    ASSERT_TRUE(testkit::WaitForWindowGone(dialog, kWait));
    DWORD start = GetTickCount();
    while (!Has(testkit::ReadFileBytes(hostLog_), "password changed") && GetTickCount() - start < kWait)
        testkit::PumpMessages(50);
    std::string host = testkit::ReadFileBytes(hostLog_);
    EXPECT_TRUE(Has(host, "password change <" + id_ + "><" + kAnna + ">: handlers answered 725")) << host;
    EXPECT_TRUE(Has(host, "password changed by the client")) << host;
    EXPECT_NE(before, testkit::ReadFileBytes(id_));
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(id_.c_str(), "pw-new"));
    EXPECT_EQ(ERR_SECURE_BADPASSWORD, NsimCheckIdPassword(id_.c_str(), kAnnaPassword));
}

TEST_F(NotesHost, PasswordChangeTakenOverByAHandlerSkipsTheClientsDialog)
{
    SetEnvironmentVariableA("NSIM_TEST_EXT_NEW_PASSWORD", "pw-by-handler");
    Start(180);
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    Keys({VK_MENU, 'F', 'T', 'P'});
    DWORD start = GetTickCount();
    while (!Has(testkit::ReadFileBytes(hostLog_), "password changed") && GetTickCount() - start < kWait)
        testkit::PumpMessages(50);
    std::string host = testkit::ReadFileBytes(hostLog_);
    EXPECT_TRUE(Has(host, "password changed by a handler")) << host;
    EXPECT_EQ(nullptr, Find("#32770", "Change Password", 0));
    std::string ext = testkit::ReadFileBytes(extLog_);
    EXPECT_TRUE(Has(ext, "change max=63 file=<" + id_ + "> owner=<" + kAnna + "> answer=5985")) << ext;
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(id_.c_str(), "pw-by-handler"));
}

TEST_F(NotesHost, MenuAddinLabelsAppearInTheActionsMenuAndItsCommandArrives)
{
    Start(190, "AddInMenus=nsim_test_menu.dll\r\n");
    WaitMain();
    ASSERT_TRUE(WaitStatus("State=open")) << Status();
    std::string menu = testkit::ReadFileBytes(menuLog_);
    EXPECT_TRUE(Has(menu, "init number=0 start=41000\ninit number=1 start=41001\n")) << menu;
    // Alt, A opens the Actions menu: the add-in sees its own labels in it; T chooses "Test &Two".
    Keys({VK_MENU, 'A', 'T'});
    DWORD start = GetTickCount();
    while (!Has(testkit::ReadFileBytes(menuLog_), "command") && GetTickCount() - start < kWait)
        testkit::PumpMessages(50);
    menu = testkit::ReadFileBytes(menuLog_);
    EXPECT_TRUE(Has(menu, "menu item <Test &One>\nmenu item <Test &Two>\n")) << menu;
    EXPECT_TRUE(Has(menu, "command id=8 parent=<NOTES>")) << menu << testkit::ReadFileBytes(hostLog_);
    EXPECT_EQ(0, Close());
    menu = testkit::ReadFileBytes(menuLog_);
    EXPECT_EQ(menu.size() - 5, menu.rfind("term\n")) << menu;
}

TEST_F(NotesHost, BuildNumberComesFromTheEnvironmentWithoutTheOption)
{
    SetEnvironmentVariableA(NSIM_ENV_BUILD, "170");
    Start(-1);
    WaitMain();
    EXPECT_TRUE(WaitStatus("State=open;Build=170")) << Status();
    EXPECT_EQ(0, Close());
}

TEST_F(NotesHost, WrongCommandLineAndMissingIniEndTheClient)
{
    std::string exe = "\"" + testkit::ExeDir() + "notes.exe\"";
    std::string missing = dir_.file("missing.ini");
    EXPECT_EQ(2, testkit::RunProcess(exe + " -ini \"" + missing + "\" -log \"" + hostLog_ + "\"", kWait));
    EXPECT_TRUE(Has(testkit::ReadFileBytes(hostLog_), "status 259")) << testkit::ReadFileBytes(hostLog_);
    EXPECT_EQ(2, testkit::RunProcess(exe + " -build 70000 -ini \"" + missing + "\"", kWait));
}

TEST(Mkid, WritesAnIdThatOpensWithItsPasswordOnly)
{
    testkit::TempDir dir;
    std::string id = dir.file("made.id");
    std::string mkid = "\"" + testkit::ExeDir() + "mkid.exe\"";
    ASSERT_EQ(0, testkit::RunProcess(mkid + " \"" + id + "\" \"Eva Falk/Morvath\" pw-eva"));
    char user[MAXUSERNAME + 1] = "";
    EXPECT_EQ(NOERROR, NsimReadIdOwner(id.c_str(), user, sizeof user));
    EXPECT_STREQ("Eva Falk/Morvath", user);
    EXPECT_EQ(0, testkit::RunProcess(mkid + " -check \"" + id + "\" pw-eva"));
    EXPECT_EQ(1, testkit::RunProcess(mkid + " -check \"" + id + "\" pw-other"));
    EXPECT_EQ(0, testkit::RunProcess(mkid + " -owner \"" + id + "\""));
    EXPECT_EQ(1, testkit::RunProcess(mkid + " -owner \"" + dir.file("none.id") + "\""));
    EXPECT_EQ(2, testkit::RunProcess(mkid + " -check"));
    EXPECT_FALSE(testkit::FileExists(dir.file("-check")));
}

}  // namespace
