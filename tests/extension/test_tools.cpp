// The Key commands inside the client, through Actions > "Morvath Sentrio Tools >" and the popup
// they open: what the popup offers in each state, the PIN change, saving the ID file onto the Key,
// working without the Key and with it again, help and About.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;
using testkit::FileExists;
using testkit::ReadFileBytes;

const char kNewPin[] = "Enter new PIN code:";
const char kConfirmPin[] = "Confirm new PIN code:";
const char kToolsLabel[] = "Morvath Sentrio Tools >";

std::string KeyPin(int key)
{
    QsimKeyState state = {};
    EXPECT_TRUE(QsimGetKey(key, &state));
    return state.pin;
}

// ---- What the popup offers (each Choose checks it too) -------------------------------------------

using ToolsOfferTest = ToolsClient;

TEST_F(ToolsOfferTest, ReinsertionPromptOpenOffersOnlyHelpAndAbout)
{
    int key = LogOn("1234");
    ASSERT_TRUE(s.Pull(key));
    ASSERT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    ASSERT_TRUE(s.Insert(key));
    ASSERT_NE(nullptr, s.WaitPinPrompt());
    EXPECT_EQ(ToolsOffer(false, false), s.OpenTools()) << s.HostLog();
    ASSERT_TRUE(s.CloseTools());
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus("State=open")) << s.Status();
}

TEST_F(ToolsOfferTest, KeyPulledWhileThePopupIsOpenClosesItAndLocksTheClient)
{
    int key = LogOn("1234");
    EXPECT_EQ(ToolsOffer(true, false), s.OpenTools()) << s.HostLog();
    ASSERT_TRUE(s.Pull(key));
    // The lock's key press is not taken by the open popup.
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status() << s.HostLog();
    EXPECT_TRUE(s.WaitHostLog("command returned")) << s.HostLog();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
}

// ---- Change PIN ---------------------------------------------------------------------------------

using ChangePin = ToolsClient;

TEST_F(ChangePin, ShortPinAndMismatchAreRefusedThenTheNewPinServesTheNextKeyOperation)
{
    int key = LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    HWND prompt = s.Find("#32770", kNewPin);
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ(8, SendDlgItemMessageA(prompt, 101, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ("Note: Leave blank to remove PIN code", testkit::GetControlText(GetDlgItem(prompt, 108)));
    EXPECT_EQ("Cancel", testkit::GetControlText(GetDlgItem(prompt, IDCANCEL)));

    // Three characters: refused before any confirmation, and asked again.
    ASSERT_TRUE(s.AnswerNewPin(kNewPin, "567"));
    EXPECT_EQ("PIN length need at least 4 symbols", s.TakeBox());
    ASSERT_TRUE(s.AnswerNewPin(kNewPin, "5678"));
    HWND confirm = s.Find("#32770", kConfirmPin);
    ASSERT_NE(nullptr, confirm);
    EXPECT_EQ("", testkit::GetControlText(GetDlgItem(confirm, 108)));
    ASSERT_TRUE(s.AnswerNewPin(kConfirmPin, "5679"));
    EXPECT_EQ("Confirm PIN not match", s.TakeBox());
    EXPECT_EQ("1234", KeyPin(key));

    ASSERT_TRUE(s.AnswerNewPin(kNewPin, "5678"));
    ASSERT_TRUE(s.AnswerNewPin(kConfirmPin, "5678"));
    EXPECT_EQ("PIN is changed successfully!", s.TakeBox());
    EXPECT_EQ("5678", KeyPin(key));

    // The next Key operation opens the Key with the new PIN.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    s.TakeBox(IDYES);
    EXPECT_EQ("ID file was successfuly saved onto KSD", s.TakeBox());
}

TEST_F(ChangePin, ChangeTheKeyRefusesIsReportedAndTheOldPinStillServes)
{
    int key = LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    ASSERT_TRUE(s.AnswerNewPin(kNewPin, "5678"));
    ASSERT_TRUE(QsimFailNext("ChangePIN", ERROR_IO_DEVICE));
    ASSERT_TRUE(s.AnswerNewPin(kConfirmPin, "5678"));
    std::string text = s.TakeBox();
    EXPECT_EQ(0u, text.find("An error occurred while changing PIN!")) << text;
    EXPECT_EQ(nullptr, s.WaitBox(500));  // no success reported after it
    EXPECT_EQ("1234", KeyPin(key));

    // The product kept the PIN the Key still has: the next Key operation opens it.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    s.TakeBox(IDYES);
    EXPECT_EQ("ID file was successfuly saved onto KSD", s.TakeBox());
}

TEST_F(ChangePin, CancelChangesNothingAndAnEmptyPinRemovesThePinWithoutConfirmation)
{
    int key = LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    ASSERT_TRUE(s.AnswerNewPin(kNewPin, "", IDCANCEL));
    EXPECT_EQ("1234", KeyPin(key));

    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    ASSERT_TRUE(s.AnswerNewPin(kNewPin, ""));
    EXPECT_EQ("PIN is changed successfully!", s.TakeBox());
    EXPECT_EQ("", KeyPin(key));
    EXPECT_EQ(nullptr, s.Find("#32770", kConfirmPin, 0));
}

TEST_F(ChangePin, KeyPulledWhileTheNewPinIsAskedEndsTheChangeAndLocksTheClient)
{
    int key = LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolChangePin, true, false));
    HWND prompt = testkit::FindProcessWindow(s.pid(), "#32770", kNewPin, NotesScenario::kWait);
    ASSERT_NE(nullptr, prompt);
    ASSERT_TRUE(s.Pull(key));
    EXPECT_TRUE(testkit::WaitForWindowGone(prompt, NotesScenario::kWait));
    EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    DWORD start = GetTickCount();
    while (FileExists(s.TempFile("anna.id")) && GetTickCount() - start < NotesScenario::kWait)
        testkit::PumpMessages(50);
    EXPECT_FALSE(FileExists(s.TempFile("anna.id")));
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_EQ("1234", KeyPin(key));
}

// ---- Save the ID file onto the Key --------------------------------------------------------------

struct SaveCase {
    const char *name;
    bool relative;  // KeyFileName names the file in Directory, else by its full path
};

class SaveIdFile : public ToolsClient, public testing::WithParamInterface<SaveCase> {};

TEST_P(SaveIdFile, TheFileNotesIniNamesBecomesTheKeysRecord)
{
    int key = LogOn("1234");
    std::string other = s.MakeIdFile("other.id", kAnna, "pw-other");
    ASSERT_FALSE(other.empty());
    ASSERT_TRUE(s.SetIniValue("KeyFileName", GetParam().relative ? "other.id" : other));

    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    EXPECT_EQ("Save the ID file \"" + other + "\" (user \"" + kAnna + "\") onto KSD\n\nAre you sure?",
              s.TakeBox(IDYES));
    EXPECT_EQ("ID file was successfuly saved onto KSD", s.TakeBox());

    NotesKeyRecord record;
    std::string bytes;
    ASSERT_TRUE(s.ReadRecord(key, &record, &bytes));
    EXPECT_EQ(ReadFileBytes(other), bytes);
    EXPECT_EQ(kAnna, record.user);
    EXPECT_EQ(kAnnaPassword, record.password);
    EXPECT_EQ("anna.id", record.idFileName);
}

INSTANTIATE_TEST_SUITE_P(Paths, SaveIdFile,
                         testing::Values(SaveCase{"Relative", true}, SaveCase{"Absolute", false}),
                         [](const testing::TestParamInfo<SaveCase> &info) { return info.param.name; });

TEST_F(ToolsClient, SaveAnsweredNoOrAPathTooLongForNotesLeavesTheKeyAlone)
{
    int key = LogOn("1234");
    NotesKeyRecord before;
    std::string bytesBefore;
    ASSERT_TRUE(s.ReadRecord(key, &before, &bytesBefore));
    ASSERT_FALSE(s.MakeIdFile("other.id", kAnna, "pw-other").empty());
    ASSERT_TRUE(s.SetIniValue("KeyFileName", "other.id"));
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    s.TakeBox(IDNO);

    // Directory + "\" + the name would not fit notes.ini's 256 bytes: refused before the question.
    ASSERT_TRUE(s.SetIniValue("Directory", "C:\\" + std::string(249, 'd')));
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    EXPECT_EQ("Error reading ID File", s.TakeBox());

    NotesKeyRecord after;
    std::string bytesAfter;
    ASSERT_TRUE(s.ReadRecord(key, &after, &bytesAfter));
    EXPECT_EQ(bytesBefore, bytesAfter);
    EXPECT_EQ(before.password, after.password);
}

// ---- Working without the Key and with it again --------------------------------------------------

struct WithoutCase {
    int build;
    const char *hint;
};

class WorkWithoutKey : public ToolsClient, public testing::WithParamInterface<WithoutCase> {};

TEST_P(WorkWithoutKey, EndsInTheClientsSwitchIdAndWorkWithKeySwitchesBack)
{
    LogOn("1234", GetParam().build);
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithoutKey, true, false));
    EXPECT_EQ(std::string("Working with Key Storage Device (KSD) will be stopped.\t  \n\nYou may return to work with "
                          "KSD later from menu\n\"Actions->") +
                  kToolsLabel + "->Work with KSD\"\n\nAre you sure?",
              s.TakeBox(IDYES));
    EXPECT_EQ(GetParam().hint, s.TakeBox());

    // The keys reach File, Tools or Security, Switch ID.
    ASSERT_TRUE(s.WaitHostLog("command <Switch ID>")) << s.HostLog();
    HWND choose = s.Find("#32770", "Choose User ID to switch to");
    ASSERT_NE(nullptr, choose);
    EXPECT_TRUE(s.WaitStatus("Handlers=0,0")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_FALSE(FileExists(s.TempFile("anna.id")));

    // The user takes the own ID there; its password now comes from the client's own prompt.
    ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), s.dir().file("own.id").c_str()));
    testkit::ClickDialogButton(choose, IDOK);
    ASSERT_TRUE(s.AnswerClientPrompt(kOwnPassword)) << s.HostLog();
    ASSERT_TRUE(s.WaitStatus(std::string("User=") + kOwner)) << s.Status();

    // The Key is still in: "Work with KSD" is all the Key commands offered, and it switches back.
    std::size_t from = s.HostLog().size();
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithKey, false, true));
    EXPECT_TRUE(s.WaitStatus(std::string("User=") + kAnna)) << s.Status();
    EXPECT_TRUE(s.WaitStatus("Handlers=1,1")) << s.Status();
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
    EXPECT_TRUE(s.WaitHostLogAfter(from, "command <Enter>")) << s.HostLog();
    EXPECT_EQ(ToolsOffer(true, false), s.OpenTools()) << s.HostLog();
    ASSERT_TRUE(s.CloseTools());
}

INSTANTIATE_TEST_SUITE_P(
    Builds, WorkWithoutKey,
    testing::Values(WithoutCase{189, "Use \"File->Tools->Switch ID...\" to select new ID file or use\n   "
                                     "\"Actions->Morvath Sentrio Tools >\"\n\t        to return to work with KSD"},
                    WithoutCase{190, "Use \"File->Security->Switch ID...\" to select new ID file or use\n      "
                                     "\"Actions->Morvath Sentrio Tools >->Work with KSD\"\n\t           to return "
                                     "to work with KSD"}),
    [](const testing::TestParamInfo<WithoutCase> &info) { return "Build" + std::to_string(info.param.build); });

using WorkWithKey = ToolsClient;

TEST_F(WorkWithKey, AfterWorkingWithoutTheKeyAtStartAsksThePinAndLogsOn)
{
    StartWithKey("1234");
    ASSERT_TRUE(s.WorkWithoutKey());
    ExpectClientsOwnPrompt();
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithKey, false, true));
    HWND prompt = s.WaitPinPrompt();
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ("Anna's Key", testkit::GetControlText(GetDlgItem(prompt, 110)));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_TRUE(s.WaitStatus(std::string("User=") + kAnna)) << s.Status();
    EXPECT_TRUE(s.WaitStatus("Handlers=1,1")) << s.Status();
    EXPECT_EQ(s.TempFile("anna.id"), s.IniValue("KeyFileName"));
}

TEST_F(WorkWithKey, FailedRegistrationSaysSoOnceAndLeavesTheStateAsItWas)
{
    StartWithKey("1234");
    ASSERT_TRUE(s.WorkWithoutKey());
    ExpectClientsOwnPrompt();
    ASSERT_TRUE(s.PlanClientFault(2348, 0x0123));
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithKey, false, true));
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_EQ("Could not register SETPASSWORD extension handler - status: 0x123", s.TakeBox());
    // No second box: the popup opens again at once, offering what it offered before.
    EXPECT_EQ(ToolsOffer(false, true), s.OpenTools()) << s.HostLog();
    ASSERT_TRUE(s.CloseTools());
    EXPECT_TRUE(s.WaitStatus("Handlers=0,0")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_FALSE(FileExists(s.TempFile("anna.id")));

    // Without the fault the same command logs on; the Key layer kept the PIN the Key took.
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithKey, false, true));
    EXPECT_TRUE(s.WaitStatus("Handlers=1,1")) << s.Status();
    EXPECT_TRUE(s.WaitStatus(std::string("User=") + kAnna)) << s.Status();
}

// ---- Help and About -----------------------------------------------------------------------------

using ToolsHelp = ToolsClient;

TEST_F(ToolsHelp, OpensTheHelpFileBesideTheClientAtTheToolsTopic)
{
    // Sentrio.CHM sits beside the client host; Wine's viewer opens no window for a context the
    // file does not map, so the window shows that context 500 was found.
    ASSERT_TRUE(FileExists(testkit::ExeDir() + "Sentrio.CHM"));
    LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolHelp, true, false));
    HWND help = s.Find("HH Parent", nullptr);
    ASSERT_NE(nullptr, help) << s.HostLog();
    PostMessageA(help, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testkit::WaitForWindowGone(help, NotesScenario::kWait));
}

using ToolsAbout = ToolsClient;

// The route that needs no AddInMenus: an action whose LotusScript declares SentrioTools in
// Tolvik.dll and calls it by name with the client's window held in a 32-bit Long (the client
// stand-in's script action). The same popup opens over the client and its command runs.
TEST_F(ToolsAbout, AScriptActionCallsSentrioToolsByNameWithTheClientsWindow)
{
    extraIni.clear();  // no menu add-in at all
    LogOn("1234");
    std::size_t from = s.HostLog().size();
    PostMessageA(s.WaitMain(), WM_COMMAND, MAKEWPARAM(IDM_SCRIPT_ACTION, 0), 0);
    std::string items;
    ASSERT_TRUE(s.WaitHostLogAfter(from, "popup ", &items)) << s.HostLog();
    EXPECT_EQ(ToolsOffer(true, false), items);
    ASSERT_TRUE(s.ChooseTool(testkit::kToolAbout));
    HWND about = s.Find("#32770", "About Sentrio");
    ASSERT_NE(nullptr, about) << s.HostLog();
    EXPECT_EQ(s.WaitMain(), GetWindow(about, GW_OWNER));
    PostMessageA(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testkit::WaitForWindowGone(about, NotesScenario::kWait));
    EXPECT_TRUE(s.WaitHostLogAfter(from, "script action: returned")) << s.HostLog();
}

TEST_F(ToolsAbout, ListsTolviksModules)
{
    LogOn("1234");
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolAbout, true, false));
    HWND about = s.Find("#32770", "About Sentrio");
    ASSERT_NE(nullptr, about);
    std::string lines = s.ClientListText(GetDlgItem(about, 105));
    std::vector<std::string> files;
    for (std::size_t start = 0; start <= lines.size();) {
        std::size_t bar = lines.find('|', start);
        std::string line = lines.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        files.push_back(line.substr(0, line.find('\t')));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    EXPECT_EQ((std::vector<std::string>{"Tolvik.dll", "TolvikM.dll", "Quorel32.dll", "Ostrel.dll", "Tabrix.dll",
                                        "Braxial.dll"}),
              files)
        << lines;
    testkit::ClickDialogButton(about, IDOK);
    EXPECT_TRUE(testkit::WaitForWindowGone(about, NotesScenario::kWait));
}

}  // namespace
