// Edges of Tolvik's work in the client that guard against the worst ends: the Key's password never
// given for a request it does not belong to, nor while its record is not loaded; one Key layer per
// process however often the client calls the entry; a Key pulled after the user chose to work
// without it changes nothing; the help file is the one beside the client; the older client's
// display lock cancels the client's own dialog and no other window.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

#include "notes_control.h"
#include "notes_host_res.h"
#include "quorel_control.h"
#include "testkit.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;
using testkit::FileExists;

const char kReadError[] = "Error reading data from KSD";
constexpr DWORD kOlderClientLockDelay = 25000;  // the older client's display lock waits this long after logon

// "password request <file><user>: handlers answered <status>", as the client logs it.
std::string RequestLine(const std::string &file, const std::string &user, unsigned status)
{
    return "password request <" + file + "><" + user + ">: handlers answered " + std::to_string(status);
}

// ---- The Key's password and the requests it belongs to ------------------------------------------

struct OwnerCase {
    const char *name;
    const char *owner;     // the owner the ID file at the Key's ID path names
    const char *password;  // and its password
    unsigned answer;       // what Tolvik answers the client's request
};

using PasswordRequests = TolvikClient;

// The client asks for the Key's ID path, but the file there now names another owner: the Key's
// password belongs to Anna's ID only, so the client asks its user.
TEST_F(PasswordRequests, KeysIdPathUnderAnotherOwnersNameIsLeftToTheClient)
{
    LogOn("");
    const std::string keyId = s.TempFile("anna.id");
    const OwnerCase cases[] = {
        {"the Key's own owner", kAnna, kAnnaPassword, 5985},
        {"another owner", kOwner, kOwnPassword, 725},
    };
    for (const OwnerCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.owner) != kAnna) {
            ASSERT_EQ(NOERROR, NsimCreateIdFile(keyId.c_str(), c.owner, c.password));
        }
        std::size_t from = s.HostLog().size();
        // Switch ID to that very path: the client asks the handlers for it, under its owner's name.
        PostMessageA(s.WaitMain(), WM_COMMAND, IDM_SWITCH_ID, 0);
        HWND choose = s.Find("#32770", "Choose User ID to switch to");
        ASSERT_NE(nullptr, choose);
        ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), keyId.c_str()));
        testkit::ClickDialogButton(choose, IDOK);
        ASSERT_TRUE(s.WaitHostLogAfter(from, RequestLine(keyId, c.owner, c.answer))) << s.HostLog().substr(from);
        if (c.answer == 725) {
            ASSERT_TRUE(s.AnswerClientPrompt(c.password)) << s.HostLog();
        }
        EXPECT_TRUE(s.WaitStatus(std::string("User=") + c.owner)) << s.Status();
        EXPECT_EQ(c.answer == 725, s.WaitHostLogAfter(from, "own password prompt", nullptr, 0)) << s.HostLog();
    }
}

struct NotLoadedCase {
    const char *name;
    const char *pin;          // typed at the re-insertion's prompt
    const char *failedEntry;  // the Key entry whose next call (the re-insertion's read) fails, or null
};

void PrintTo(const NotLoadedCase &c, std::ostream *out)
{
    *out << c.name;
}

class RecordNotLoaded : public TolvikClient, public testing::WithParamInterface<NotLoadedCase> {};

// The Key comes back but its record is not loaded (a wrong PIN, a failed read): the client stays
// locked, and a request for the Key's ID meanwhile (a click that reaches the Logout Screen under
// the lock) gets 725, never the password held from before the removal. The client asks its user,
// who cancels: it stays locked.
TEST_P(RecordNotLoaded, RequestForTheKeysIdIsLeftToTheClient)
{
    const NotLoadedCase &c = GetParam();
    int key = LogOn("1234");
    // The ID the client stays on (its session folder goes with the pull).
    const std::string keyId = s.TempFile("anna.id");
    ASSERT_TRUE(s.Pull(key));
    ASSERT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    ASSERT_TRUE(testkit::WaitUntil([&] { return !FileExists(keyId); }));

    std::size_t from = s.HostLog().size();
    if (c.failedEntry != nullptr) {
        ASSERT_TRUE(QsimFailNext(c.failedEntry, ERROR_IO_DEVICE));
    }
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin(c.pin));
    // The boxes that report the failure are answered, a PIN prompt asking again is left with
    // "Work without KSD", and the client's own prompt is cancelled (each without waiting for the
    // window to go: a box of the client's thread ends only once a prompt opened on top of it has).
    std::string boxes;
    std::set<HWND> answered;
    bool cancelled = false;
    bool clicked = false;
    bool settled = testkit::WaitUntil(
        [&] {
            HWND screen = s.Find(nullptr, "Logout Screen", 0);
            if (!clicked && screen != nullptr && boxes.find(kReadError) != std::string::npos &&
                s.WaitPinPrompt(0) == nullptr) {
                PostMessageA(screen, WM_LBUTTONDOWN, MK_LBUTTON, 0);
                PostMessageA(screen, WM_LBUTTONUP, 0, 0);
                clicked = true;
            }
            if (HWND own = s.Find("#32770", "Enter Password", 0)) {
                if (answered.insert(own).second) {
                    testkit::ClickDialogButton(own, IDCANCEL);
                    cancelled = true;
                }
            }
            HWND box = s.WaitBox(0);
            if (box != nullptr && answered.insert(box).second) {
                boxes += "|" + NotesScenario::BoxText(box);
                testkit::ClickDialogButton(box, IDOK);
            }
            HWND pin = s.WaitPinPrompt(0);
            if (pin != nullptr && answered.insert(pin).second)
                testkit::ClickDialogButton(pin, IDCANCEL);  // "Work without KSD"
            return cancelled && (box == nullptr || answered.count(box) != 0) && pin == nullptr &&
                   s.HostLog().find("ID stays locked", from) != std::string::npos;
        },
        NotesScenario::kWait * 2);
    ASSERT_TRUE(settled) << s.HostLog().substr(from) << boxes;
    EXPECT_NE(std::string::npos, boxes.find(kReadError)) << boxes;
    EXPECT_TRUE(s.WaitHostLogAfter(from, RequestLine(keyId, kAnna, 725))) << s.HostLog().substr(from);
    EXPECT_TRUE(s.WaitHostLogAfter(from, "ID stays locked")) << s.HostLog().substr(from);
    std::string log = s.HostLog().substr(from);
    EXPECT_EQ(std::string::npos, log.find("by a handler")) << log;
    EXPECT_EQ(std::string::npos, log.find("handlers answered 5985")) << log;
    EXPECT_NE(std::string::npos, s.Status().find("State=locked")) << s.Status();
    QsimKeyState state = {};
    ASSERT_TRUE(QsimGetKey(key, &state));
    EXPECT_EQ(c.failedEntry != nullptr ? 3 : 2, state.tries);  // the wrong PIN was tried once only
    EXPECT_EQ(0, s.Close());
}

INSTANTIATE_TEST_SUITE_P(Reinsertion, RecordNotLoaded,
                         testing::Values(NotLoadedCase{"WrongPin", "9999", nullptr},
                                         NotLoadedCase{"FailedRead", "1234", "ReadData"}),
                         [](const testing::TestParamInfo<NotLoadedCase> &info) { return info.param.name; });

// ---- One Key layer per process ------------------------------------------------------------------

class SecondEntry : public TolvikClient, public testing::WithParamInterface<bool> {};

// The client calls the extension's entry a second time (Tolvik named twice in EXTMGR_ADDINS, or a
// copy of it named as well): the second call returns at once, with no second Key layer, wait or
// PIN prompt. Here the user chose "Work without KSD" at the first prompt, so a second logon
// would have asked again.
TEST_P(SecondEntry, InOneProcessReturnsAtOnce)
{
    std::string second = "Tolvik.dll";
    if (GetParam()) {
        second = s.dir().file("TolvikTwin.dll");
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "Tolvik.dll").c_str(), second.c_str(), FALSE));
    }
    s.extensions = "Tolvik.dll," + second;
    StartWithKey("1234");
    ASSERT_TRUE(s.WorkWithoutKey());
    // Both entries return before the client opens its ID: no second prompt held the second one.
    auto returned = [&] {
        std::string log = s.HostLog();
        int n = 0;
        for (std::size_t at = log.find(": entry point returned 0"); at != std::string::npos;
             at = log.find(": entry point returned 0", at + 1))
            ++n;
        return n;
    };
    ASSERT_TRUE(testkit::WaitUntil([&] { return returned() >= 2; }, NotesScenario::kWait)) << s.HostLog();
    EXPECT_EQ(nullptr, s.WaitPinPrompt(0));
    ExpectClientsOwnPrompt();
    EXPECT_NE(std::string::npos, s.Status().find("Handlers=0,0")) << s.Status();
    EXPECT_EQ(0, s.Close());
}

INSTANTIATE_TEST_SUITE_P(Names, SecondEntry, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? std::string("CopyNamedBesideIt") : std::string("SameDllNamedTwice");
                         });

// ---- A Key pulled once the user works without it ------------------------------------------------

// "Work without KSD" at the start-up prompt, or from the tools after a logon with the Key: the
// user works on the own ID. Pulling the Key then changes nothing: no F5 locks the client,
// notes.ini keeps what it names, no file at the Key's former ID path is deleted.
class WithoutKeyRemoval : public ToolsClient, public testing::WithParamInterface<bool> {};

TEST_P(WithoutKeyRemoval, PullingTheKeyChangesNothing)
{
    const bool fromTools = GetParam();
    int key = 0;
    if (fromTools) {
        key = LogOn("1234");
        ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolWorkWithoutKey, true, false));
        EXPECT_NE("<no box>", s.TakeBox(IDYES));
        EXPECT_NE("<no box>", s.TakeBox());
        HWND choose = s.Find("#32770", "Choose User ID to switch to");
        ASSERT_NE(nullptr, choose);
        ASSERT_TRUE(testkit::SetControlText(GetDlgItem(choose, IDC_SWITCHID_PATH), s.dir().file("own.id").c_str()));
        testkit::ClickDialogButton(choose, IDOK);
        ASSERT_TRUE(s.AnswerClientPrompt(kOwnPassword)) << s.HostLog();
    } else {
        key = StartWithKey("1234");
        ASSERT_TRUE(s.WorkWithoutKey());
        ASSERT_TRUE(s.AnswerClientPrompt(kOwnPassword)) << s.HostLog();
    }
    ASSERT_NE(nullptr, s.WaitMain());
    ASSERT_TRUE(s.WaitStatus(std::string("User=") + kOwner)) << s.Status();
    ASSERT_TRUE(s.WaitStatus("State=open")) << s.Status();
    // What a removal would undo or delete: a KeyFileName of the user's choosing, a file of the
    // user's at the Key's former ID path.
    ASSERT_TRUE(s.SetIniValue("KeyFileName", "chosen.id"));
    const std::string planted = s.TempFile("anna.id");
    ASSERT_TRUE(testkit::WriteFileBytes(planted, "the user's own file"));

    std::size_t from = s.HostLog().size();
    ASSERT_TRUE(s.Pull(key));
    ASSERT_TRUE(s.WaitKeyVisits(3));  // the monitor has seen the Key go
    EXPECT_FALSE(s.WaitHostLogAfter(from, "ID locked", nullptr, 1500)) << s.HostLog().substr(from);
    EXPECT_EQ(nullptr, s.WaitBox(0));
    EXPECT_NE(std::string::npos, s.Status().find("State=open")) << s.Status();
    EXPECT_EQ("chosen.id", s.IniValue("KeyFileName"));
    EXPECT_TRUE(FileExists(planted));
    DeleteFileA(planted.c_str());
    ASSERT_TRUE(s.SetIniValue("KeyFileName", "own.id"));
}

INSTANTIATE_TEST_SUITE_P(Ways, WithoutKeyRemoval, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? std::string("FromTheTools") : std::string("AtTheStartUpPrompt");
                         });

// ---- The help file ------------------------------------------------------------------------------

using HelpFile = ToolsClient;

// The client runs from a folder of its own whose current directory holds a planted Sentrio.CHM:
// Help opens nothing while no help file is beside the client, and the one beside it once it is.
TEST_F(HelpFile, IsTakenFromBesideTheClientNeverFromTheCurrentDirectory)
{
    const std::string chm = testkit::ExeDir() + "Sentrio.CHM";
    ASSERT_TRUE(FileExists(chm));
    const std::string folder = s.dir().file("client") + "\\";
    const std::string current = s.dir().file("current");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(current.c_str(), nullptr));
    for (const char *file : {"notes.exe", "nnotes.dll", "Tolvik.dll", "TolvikM.dll", "Quorel32.dll"})
        ASSERT_TRUE(CopyFileA((testkit::ExeDir() + file).c_str(), (folder + file).c_str(), FALSE)) << file;
    ASSERT_TRUE(CopyFileA(chm.c_str(), (current + "\\Sentrio.CHM").c_str(), FALSE));
    s.clientFolder = folder;
    extraIni = "AddInMenus=" + folder + "TolvikM.dll\r\n";

    char before[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    LogOn("1234");  // the client starts in `current`
    SetCurrentDirectoryA(before);

    std::size_t from = s.HostLog().size();
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolHelp, true, false));
    ASSERT_TRUE(s.WaitHostLogAfter(from, "command returned")) << s.HostLog();
    EXPECT_EQ(nullptr, s.Find("HH Parent", nullptr, 2000));

    ASSERT_TRUE(CopyFileA(chm.c_str(), (folder + "Sentrio.CHM").c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolHelp, true, false));
    HWND help = s.Find("HH Parent", nullptr);
    ASSERT_NE(nullptr, help) << s.HostLog();
    PostMessageA(help, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testkit::WaitForWindowGone(help, NotesScenario::kWait));
}

// ---- The older client's display lock ------------------------------------------------------------

// A dialog of the test's own, on top of everything: it records the commands it is sent.
class Decoy {
public:
    Decoy()
    {
        window_ = CreateWindowExA(WS_EX_TOPMOST, "#32770", "Not the client's", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10,
                                  10, 200, 80, nullptr, nullptr, nullptr, nullptr);
        if (window_ != nullptr) {
            SetPropA(window_, "decoy", this);
            old_ = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Decoy::Proc)));
        }
    }
    ~Decoy()
    {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    HWND window() const { return window_; }
    int commands = 0;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        Decoy *self = static_cast<Decoy *>(GetPropA(window, "decoy"));
        if (message == WM_COMMAND)
            ++self->commands;
        return CallWindowProcA(self->old_, window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
    WNDPROC old_ = nullptr;
};

using OlderClientLock = TolvikClient;

// Build 189, Cancel in the removal box: after the 25 s the Cancel goes to the client's own open
// dialog (its password prompt), and to no other window, not even one on top of it.
TEST_F(OlderClientLock, CancelReachesTheClientsOwnDialogOnly)
{
    int key = LogOn("", 189);
    HWND main = s.WaitMain();
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(s.Pull(key));
    ASSERT_NE("<no box>", s.TakeBox(IDCANCEL));
    ASSERT_TRUE(s.WaitStatus("State=locked")) << s.Status();
    // The user works on meanwhile: the locked client asks for the password with its own prompt.
    PostMessageA(main, WM_COMMAND, IDM_ENTER, 0);
    HWND prompt = s.Find("#32770", "Enter Password");
    ASSERT_NE(nullptr, prompt) << s.HostLog();
    Decoy decoy;
    ASSERT_NE(nullptr, decoy.window());

    ASSERT_TRUE(testkit::WaitUntil([&] { return !IsWindowVisible(main); }, kOlderClientLockDelay + 10000))
        << s.HostLog();
    EXPECT_TRUE(testkit::WaitForWindowGone(prompt, NotesScenario::kWait));
    EXPECT_TRUE(s.WaitHostLog("own password prompt cancelled")) << s.HostLog();
    testkit::PumpMessages(500);
    EXPECT_EQ(0, decoy.commands);
    EXPECT_TRUE(IsWindowVisible(decoy.window()));
    EXPECT_NE(std::string::npos, s.Status().find("State=locked")) << s.Status();
}

}  // namespace
