// Tolvik's Key session as one state on the client's thread: a pull is met whatever box is open, a
// logon that did not reach the Key's ID never counts as a Key session, the tools offer only what
// the state allows, the lock reaches the client through its own queue, reader names are kept
// whole, and the Notes API is called on the client's thread only.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quorel_control.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;

std::string KeyPin(int key)
{
    QsimKeyState state = {};
    EXPECT_TRUE(QsimGetKey(key, &state));
    return state.pin;
}

class KeySession : public ToolsClient {
protected:
    // The client's lock after a pull: the ID locked, the Key's ID file gone, notes.ini as before.
    void ExpectLockedAndUndone()
    {
        EXPECT_TRUE(s.WaitStatus("State=locked")) << s.Status();
        EXPECT_TRUE(testkit::WaitUntil([&] { return !testkit::FileExists(s.TempFile("anna.id")); }));
        EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
        EXPECT_TRUE(s.WaitStatus("Handlers=0,0")) << s.Status();
    }
    HWND LogoutScreen() const { return s.Find(nullptr, "Logout Screen", 0); }
};

TEST_F(KeySession, PullWhileABoxForAnotherReaderIsOpenLocksTheClient)
{
    int key = LogOn("1234");
    // An employee badge in the laptop's own reader: not formatted for the product, reported in a
    // box nobody answers.
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int badge = QsimCreateKey("Badge", "");
    ASSERT_TRUE(QsimSetFormatted(badge, FALSE));
    ASSERT_TRUE(QsimInsertKey(badge, "Reader B"));
    HWND box = s.WaitBox();
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::string::npos, NotesScenario::BoxText(box).find("Reader B")) << NotesScenario::BoxText(box);

    ASSERT_TRUE(s.Pull(key));
    ExpectLockedAndUndone();
    // The lock closed the report, which would have taken the lock's keys into its own loop.
    EXPECT_TRUE(testkit::WaitUntil([&] { return !IsWindow(box); }));
}

TEST_F(KeySession, StartThatReadNothingIsNoKeySessionAndAPullLocksNothing)
{
    int key = s.MakeKey("Empty Key", "1234", nullptr);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, "own.id", extraIni);
    ASSERT_TRUE(s.AnswerPin("1234"));
    EXPECT_EQ("Error reading data from KSD", s.TakeBox());
    ExpectClientsOwnPrompt();

    ASSERT_TRUE(s.Pull(key));
    EXPECT_FALSE(s.WaitStatus("State=locked", 1500)) << s.Status();
    EXPECT_EQ(nullptr, LogoutScreen());
    EXPECT_TRUE(IsWindowEnabled(s.WaitMain()));
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
    EXPECT_EQ(0, s.Close());
}

TEST_F(KeySession, WrongPinAtReinsertionLeavesTheClientLocked)
{
    int key = LogOn("1234");
    ASSERT_TRUE(s.Pull(key));
    ExpectLockedAndUndone();
    HWND screen = s.Find(nullptr, "Logout Screen");
    ASSERT_NE(nullptr, screen);
    ASSERT_TRUE(testkit::WaitUntil([&] { return !IsWindowEnabled(screen); }));

    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("9999"));
    std::string box = s.TakeBox();
    EXPECT_EQ(0u, box.find("Error reading data from KSD")) << box;
    // No switch to an ID that is not there, the screen still under the lock, no handlers.
    EXPECT_EQ(nullptr, s.WaitBox(1500)) << NotesScenario::BoxText(s.WaitBox(0));
    EXPECT_FALSE(IsWindowEnabled(screen));
    EXPECT_NE(std::string::npos, s.Status().find("State=locked")) << s.Status();
    EXPECT_NE(std::string::npos, s.Status().find("Handlers=0,0")) << s.Status();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
}

TEST_F(KeySession, PassiveInstanceOffersNoKeyCommand)
{
    // Another component of the product (the console, a second client) works the Key.
    HANDLE marker = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 256, "Sentrio");
    ASSERT_NE(nullptr, marker);
    int key = s.MakeKey("Anna's Key", "1234", &kAnnaRecord);
    ASSERT_TRUE(s.Insert(key));
    s.Start(190, "own.id", extraIni);
    ExpectClientsOwnPrompt();
    EXPECT_EQ(ToolsOffer(false, false), s.OpenTools()) << s.HostLog();
    EXPECT_TRUE(s.CloseTools());
    EXPECT_EQ(0, s.Close());
    CloseHandle(marker);
}

TEST_F(KeySession, WorkWithKeyIsNeverOfferedWhileTheReinsertionReadsTheKey)
{
    int key = LogOn("1234");
    ASSERT_TRUE(s.Pull(key));
    ExpectLockedAndUndone();
    QsimSetCallDelay("ReadData", 400);
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    // Asked for while the record is being read: the popup comes once the logon has ended, on the
    // Key's ID, with the Key commands. (It may close at once: the logon's end clicks the Logout
    // Screen, and a menu loop ends at a click; what it offered is in the client's log.)
    std::size_t from = s.HostLog().size();
    s.OpenTools();
    std::string items;
    ASSERT_TRUE(s.WaitHostLogAfter(from, "popup ", &items)) << s.HostLog();
    EXPECT_EQ(ToolsOffer(true, false), items);
    s.CloseTools();
    QsimSetCallDelay("ReadData", 0);
    ExpectOnKeyId();
}

// A window of another program has the keyboard when the Key is pulled.
struct ForeignWindow {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
            ++keys;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    ForeignWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "SentrioTestForeign";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                 200, nullptr, nullptr, wc.hInstance, nullptr);
        SetForegroundWindow(window);
        SetFocus(window);
    }
    ~ForeignWindow() { DestroyWindow(window); }
    HWND window = nullptr;
    static int keys;
};
int ForeignWindow::keys = 0;

// The names Tolvik.dll imports from `dll`, read from its import table.
std::vector<std::string> ImportsFrom(const std::string &image, const char *dll)
{
    std::vector<std::string> names;
    HMODULE module = LoadLibraryExA(image.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr)
        return names;
    const BYTE *base = reinterpret_cast<const BYTE *>(module);
    const IMAGE_NT_HEADERS *nt =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         dir.VirtualAddress != 0 && d->Name != 0; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char *>(base + d->Name), dll) != 0)
            continue;
        for (const IMAGE_THUNK_DATA *t = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
             t->u1.AddressOfData != 0; ++t) {
            if (!IMAGE_SNAP_BY_ORDINAL(t->u1.Ordinal))
                names.push_back(reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + t->u1.AddressOfData)->Name);
        }
    }
    FreeLibrary(module);
    return names;
}

TEST(TolvikImage, UsesNoGlobalKeyboardInput)
{
    std::vector<std::string> user32 = ImportsFrom(testkit::ExeDir() + "Tolvik.dll", "user32.dll");
    ASSERT_FALSE(user32.empty());  // the table was read
    for (const std::string &name : user32) {
        EXPECT_NE("keybd_event", name);
        EXPECT_NE("SendInput", name);
    }
}

TEST_F(KeySession, LockReachesTheClientWhileAnotherProgramHasTheKeyboard)
{
    int key = LogOn("1234");
    ForeignWindow other;
    ASSERT_NE(nullptr, other.window);
    testkit::PumpMessages(200);
    ForeignWindow::keys = 0;
    ASSERT_TRUE(s.Pull(key));
    ExpectLockedAndUndone();
    testkit::PumpMessages(300);
    EXPECT_EQ(0, ForeignWindow::keys);
}

TEST_F(KeySession, NotesApiIsCalledOnTheClientsThreadOnly)
{
    int key = LogOn("1234");
    ASSERT_TRUE(s.Pull(key));  // deregistration and notes.ini at the lock
    ExpectLockedAndUndone();
    ASSERT_TRUE(s.Insert(key));  // registration, the notes.ini read and the switch at re-insertion
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
    ASSERT_TRUE(QsimFailNextEx("InitCard", ERROR_IO_DEVICE, -3, 1));  // a Key error on the Key's ID
    ASSERT_TRUE(s.Pull(key));
    s.TakeBox();
    s.TakeBox();
    ExpectLockedAndUndone();
    EXPECT_FALSE(s.WaitHostLog("off the client's thread", 1000)) << s.HostLog();
}

TEST_F(KeySession, OlderClientClosedWhileTheRemovalQuestionIsOpenEndsAtOnce)
{
    int key = LogOn("", 189);
    ASSERT_TRUE(s.Pull(key));
    ASSERT_NE(nullptr, s.WaitBox());
    // The client ends with the question unanswered: its end is no choice of the user's, so
    // nothing waits out the display lock's 25 s.
    DWORD start = GetTickCount();
    EXPECT_EQ(0, s.Close());
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_EQ(std::string::npos, s.HostLog().find("Lock LN Screen")) << s.HostLog();
    EXPECT_EQ("own.id", s.IniValue("KeyFileName"));
}

// ---- A pull during a Key command: the lock waits for nothing but the command's failing call ----

TEST_F(KeySession, PullWhileTheSaveQuestionIsOpenDeclinesItAndLocksTheClient)
{
    int key = LogOn("1234");
    NotesKeyRecord before;
    std::string bytesBefore;
    ASSERT_TRUE(s.ReadRecord(key, &before, &bytesBefore));
    ASSERT_NO_FATAL_FAILURE(Choose(testkit::kToolSaveIdFile, true, false));
    HWND question = s.WaitBox();
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(s.Pull(key));
    // Nobody answers the question: the pull declines it, and the lock follows.
    ExpectLockedAndUndone();
    EXPECT_TRUE(testkit::WaitForWindowGone(question, NotesScenario::kWait));
    EXPECT_EQ(nullptr, s.WaitBox(500)) << NotesScenario::BoxText(s.WaitBox(0));
    NotesKeyRecord after;
    std::string bytesAfter;
    ASSERT_TRUE(s.Insert(key));
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
    ASSERT_TRUE(s.ReadRecord(key, &after, &bytesAfter));
    EXPECT_EQ(bytesBefore, bytesAfter);  // declined: nothing was written
}

struct LeavingCase {
    const char *name;
    const char *entry;  // the command's Key call that meets the Key gone
    int tool;
    bool looksItself;   // the command asks the Key layer whether the Key left, after the failure
};

class KeyLeavesDuringACommand : public KeySession, public testing::WithParamInterface<LeavingCase> {
protected:
    // Runs the command up to its Key call.
    void RunCommand()
    {
        const char kNewPin[] = "Enter new PIN code:";
        const char kConfirmPin[] = "Confirm new PIN code:";
        ASSERT_NO_FATAL_FAILURE(Choose(GetParam().tool, true, false));
        if (GetParam().tool == testkit::kToolSaveIdFile) {
            ASSERT_NE("<no box>", s.TakeBox(IDYES));
        } else {
            ASSERT_TRUE(s.AnswerNewPin(kNewPin, "5678"));
            ASSERT_TRUE(s.AnswerNewPin(kConfirmPin, "5678"));
        }
    }
};

TEST_P(KeyLeavesDuringACommand, TheFailedCallLocksTheClientWithNoReportLeftOpen)
{
    int key = LogOn("1234");
    DWORD clientThread = GetWindowThreadProcessId(s.WaitMain(), nullptr);
    ASSERT_TRUE(QsimTraceCalls(TRUE));
    // The Key leaves as the call begins, which then fails as a real Key's call does.
    ASSERT_TRUE(QsimPullOnCall(GetParam().entry, 0, key));
    ASSERT_NO_FATAL_FAILURE(RunCommand());
    ExpectLockedAndUndone();
    EXPECT_EQ(nullptr, s.WaitBox(500)) << NotesScenario::BoxText(s.WaitBox(0));  // no report left open
    // The PIN change looks at the Key itself right after the failed call (an InitCard of the
    // client's thread) rather than leaving the news to the monitor's next pass; the save reports
    // its failure and the pull, seen by the monitor, declines the report.
    std::vector<QsimTraceEntry> trace(512);
    trace.resize(QsimGetTrace(trace.data(), static_cast<DWORD>(trace.size())));
    QsimTraceCalls(FALSE);
    auto failed = std::find_if(trace.begin(), trace.end(),
                               [&](const QsimTraceEntry &e) { return std::string(QsimEntryName(e.entry)) == GetParam().entry; });
    ASSERT_NE(trace.end(), failed);
    EXPECT_EQ(clientThread, failed->thread);
    EXPECT_EQ(GetParam().looksItself, std::any_of(failed + 1, trace.end(), [&](const QsimTraceEntry &e) {
                  return e.thread == clientThread && std::string(QsimEntryName(e.entry)) == "InitCard";
              }));
    EXPECT_EQ("1234", KeyPin(key));  // the PIN change did not reach the Key
}

INSTANTIATE_TEST_SUITE_P(Commands, KeyLeavesDuringACommand,
                         testing::Values(LeavingCase{"SaveIdFile", "WriteData", testkit::kToolSaveIdFile, false},
                                         LeavingCase{"ChangePin", "ChangePIN", testkit::kToolChangePin, true}),
                         [](const testing::TestParamInfo<LeavingCase> &info) { return info.param.name; });

TEST_F(KeySession, ReaderNameOfManyCharactersLogsOnLocksAndLogsOnAgain)
{
    const std::string reader(
        "Morvath Integrated Smart Card Reader Interface with a rather long vendor name 0 (USB 3.1 Gen 2)");
    ASSERT_GT(reader.size(), 64u);
    ASSERT_TRUE(QsimAddReader(reader.c_str()));
    int key = s.MakeKey("Anna's Key", "1234", &kAnnaRecord);
    ASSERT_TRUE(s.Insert(key, reader.c_str()));
    s.Start(190, "own.id", extraIni);
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
    ASSERT_TRUE(s.Pull(key));
    ExpectLockedAndUndone();
    ASSERT_TRUE(s.Insert(key, reader.c_str()));
    ASSERT_TRUE(s.AnswerPin("1234"));
    ExpectOnKeyId();
}

}  // namespace
