// The start-up logon in the Notes client stand-in, through the client's and Tolvik's real windows
// and virtual Keys: the PIN prompt and its refusals, the switch to the ID from the Key, the
// failures that leave the client to its own prompt, the passive second instance, the password
// handler's refusal of other IDs and the notes.ini restored when the client unloads Tolvik.
#include <gtest/gtest.h>

#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "notes_scenario.h"
#include "tolvik_fixture.h"
#include "quorel_control.h"
#include "testkit.h"

namespace {

using namespace tolvik_test;

using StartupLogon = TolvikClient;

TEST_F(StartupLogon, PinGivenTheClientRunsOnTheKeysIdWithoutItsPromptAndGetsItsIniBackAtExit)
{
    StartWithKey("1234");
    HWND prompt = s.WaitPinPrompt();
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ("Enter PIN code for KSD:", testkit::GetControlText(GetDlgItem(prompt, 120)));
    EXPECT_EQ("Anna's Key", testkit::GetControlText(GetDlgItem(prompt, 110)));
    EXPECT_EQ("Work without KSD", testkit::GetControlText(GetDlgItem(prompt, IDCANCEL)));
    EXPECT_EQ("&OK", testkit::GetControlText(GetDlgItem(prompt, IDOK)));
    EXPECT_TRUE(GetWindowLongA(prompt, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();

    EXPECT_EQ(0, s.Close());
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
}

TEST_F(StartupLogon, KeyWithoutPinLogsOnWithoutAnyPrompt)
{
    StartWithKey("");
    ExpectOnKeyId();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
}

TEST_F(StartupLogon, ShortAndEmptyPinsAreRefusedBeforeTheKeyIsTouched)
{
    StartWithKey("1234");
    ASSERT_NE(nullptr, s.WaitPinPrompt());
    struct {
        const char *pin;
        const char *message;
    } refusals[] = {{"123", "PIN length need at least 4 symbols"}, {"", "PIN code required"}};
    for (const auto &r : refusals) {
        SCOPED_TRACE(std::string("PIN <") + r.pin + ">");
        ASSERT_TRUE(s.AnswerPin(r.pin));
        EXPECT_EQ(r.message, s.TakeBox());
        ASSERT_NE(nullptr, s.WaitPinPrompt());  // asked again
    }
    QsimKeyState key;
    ASSERT_TRUE(QsimGetKey(1, &key));
    EXPECT_EQ(3, key.tries);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
}

TEST_F(StartupLogon, WrongPinIsReportedWithTheKeysTextAndCostsOneTry)
{
    int key = StartWithKey("1234");
    ASSERT_TRUE(s.AnswerPin("9999"));
    EXPECT_EQ("Error reading data from KSD\n\nReader A : Please enter PIN of the Key.", s.TakeBox());
    ExpectClientsOwnPrompt();
    EXPECT_TRUE(s.WaitHostLog("own password prompt"));
    QsimKeyState state;
    ASSERT_TRUE(QsimGetKey(key, &state));
    EXPECT_EQ(2, state.tries);  // the refused PIN is not tried again behind the user's back
    EXPECT_EQ(nullptr, s.WaitBox(1000)) << "no further box about the PIN";
    ASSERT_TRUE(QsimGetKey(key, &state));
    EXPECT_EQ(2, state.tries);
}

TEST_F(StartupLogon, WorkWithoutKeyLeavesTheClientToItsOwnId)
{
    StartWithKey("1234");
    ASSERT_TRUE(s.WorkWithoutKey());
    ExpectClientsOwnPrompt();
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
}

TEST_F(StartupLogon, EmptyKeyIsReportedOnceAndTheClientPromptsItself)
{
    int key = s.MakeKey("Empty", "1234", nullptr);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, "own.id");
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_EQ("Error reading data from KSD", s.TakeBox());
    ExpectClientsOwnPrompt();
}

TEST_F(StartupLogon, BlockedKeyIsReportedAsBlockedOnly)
{
    int key = s.MakeKey("Blocked", "1234", &kAnnaRecord);
    ASSERT_TRUE(QsimBlockKey(key, 1));
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, "own.id");
    EXPECT_EQ("Key Storage Device in: Reader A is blocked", s.TakeBox());
    ExpectClientsOwnPrompt();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
}

TEST_F(StartupLogon, ClientStaysPassiveWhileTheProductsMappingExists)
{
    // The admin console (or a first client) holds the mapping "Sentrio".
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 256, "Sentrio");
    ASSERT_NE(nullptr, mapping);
    StartWithKey("1234");
    ExpectClientsOwnPrompt();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
    CloseHandle(mapping);
}

TEST_F(StartupLogon, SecondClientProcessStaysPassive)
{
    StartWithKey("");
    ExpectOnKeyId();
    NotesScenario second(false);  // the same Keys
    ASSERT_FALSE(second.MakeIdFile("own.id", kOwner, kOwnPassword).empty());
    second.Start(190, "own.id");
    ASSERT_TRUE(second.AnswerClientPrompt(kOwnPassword)) << second.HostLog();
    ASSERT_NE(nullptr, second.WaitMain());
    EXPECT_TRUE(second.WaitStatus(std::string("User=") + kOwner)) << second.Status();
    EXPECT_EQ(0, second.Close());
    EXPECT_TRUE(s.WaitStatus(std::string("User=") + kAnna)) << s.Status();
}

TEST_F(StartupLogon, PasswordRequestForAnotherIdIsLeftToTheClient)
{
    StartWithKey("");
    ExpectOnKeyId();
    // Switch ID: the client asks the handlers for own.id first; Tolvik answers 725.
    PostMessageA(s.WaitMain(), WM_COMMAND, IDM_SWITCH_ID, 0);
    HWND choose = s.Find("#32770", "Choose User ID to switch to");
    ASSERT_NE(nullptr, choose);
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), s.dir().file("own.id").c_str()));
    testkit::ClickDialogButton(choose, IDOK);
    ASSERT_TRUE(s.WaitHostLog("handlers answered 725")) << s.HostLog();
    ExpectClientsOwnPrompt(false);  // a switch names the chosen file in notes.ini
}

}  // namespace

namespace {

TEST_F(StartupLogon, NoKeyWithinFifteenSecondsIsReportedAndTheClientPromptsItself)
{
    s.Start(190, "own.id");
    DWORD start = GetTickCount();
    EXPECT_EQ("Key Storage Device not found or not formatted for Sentrio", s.TakeBox(IDOK, 30000));
    EXPECT_GE(GetTickCount() - start, 14000u);  // the logon waited for a Key
    ExpectClientsOwnPrompt();
    EXPECT_FALSE(testkit::FileExists(s.TempFile("anna.id")));
}

TEST_F(StartupLogon, PasswordLongerThanTheClientsBufferIsLeftToTheClientsPrompt)
{
    // 63 characters do not fit the client's 63 bytes with their terminator.
    const std::string longPassword(63, 'p');
    const NotesKeyRecord record = {kAnna, longPassword, "anna.id"};
    int key = s.MakeKey("Long", "", &record);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, "own.id");
    ExpectOnKeyId();  // the switch itself takes the whole password
    PostMessageA(s.WaitMain(), WM_COMMAND, IDM_LOCK_ID, 0);
    HWND logout = s.Find(nullptr, "Logout Screen");
    ASSERT_NE(nullptr, logout);
    PostMessageA(logout, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 0);
    PostMessageA(logout, WM_LBUTTONUP, MK_CONTROL, 0);
    EXPECT_TRUE(s.WaitHostLog("handlers answered 725")) << s.HostLog();
    ASSERT_TRUE(s.AnswerClientPrompt(longPassword.c_str()));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
}

TEST_F(StartupLogon, MissingKeyLibraryIsReportedAndTheClientPromptsItself)
{
    // The client in a folder of its own, without Quorel32.dll beside it.
    std::string folder = s.dir().file("client") + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char *file : {"notes.exe", "nnotes.dll", "Tolvik.dll"})
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + file).c_str(), (folder + file).c_str(), FALSE)) << file;
    s.clientFolder = folder;
    StartWithKey("1234");
    EXPECT_EQ("An error occurred while loading Quorel32.DLL!", s.TakeBox());
    ExpectClientsOwnPrompt();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
}

// A vendor's Key library of the other bitness (a 32-bit Quorel32.dll beside a 64-bit client):
// the box names the file, says what it is and what the client needs, and the client goes on
// without the Key.
TEST_F(StartupLogon, KeyLibraryOfTheOtherBitnessIsReportedInWords)
{
    std::string folder = s.dir().file("client") + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char *file : {"notes.exe", "nnotes.dll", "Tolvik.dll"})
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + file).c_str(), (folder + file).c_str(), FALSE)) << file;
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "other_bitness\\Quorel32.dll").c_str(), (folder + "Quorel32.dll").c_str(),
                          FALSE));
    s.clientFolder = folder;
    StartWithKey("1234");
    std::string box = s.TakeBox();
#ifdef _WIN64
    const char *words = "\\Quorel32.dll is a 32-bit library. This Sentrio is made for the 64-bit Notes client, which "
                        "cannot use 32-bit libraries: install the vendor's 64-bit version of this library, under the "
                        "same file name.";
#else
    const char *words = "\\Quorel32.dll is a 64-bit library. This Sentrio is made for the 32-bit Notes client, which "
                        "cannot use 64-bit libraries: install the vendor's 32-bit version of this library, under the "
                        "same file name.";
#endif
    EXPECT_EQ(0u, box.find("An error occurred while loading Quorel32.DLL!\n\n")) << box;
    EXPECT_NE(std::string::npos, box.find("\\client" + std::string(words))) << box;
    ExpectClientsOwnPrompt();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
}

}  // namespace
