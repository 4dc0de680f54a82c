// TolvikM.dll, the menu add-in: its entry in the client's Actions menu, the choice handed to Tolvik's
// SentrioTools, finding or loading Tolvik and releasing only what it loaded, and the two load
// failures. The client runs from a folder of its own with a stand-in Tolvik.dll beside it (or a
// Tolvik that lacks SentrioTools, or none), as the real one sits beside notes.exe.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "notes_api.h"
#include "notes_scenario.h"
#include "testkit.h"
#include "tools_link.h"

namespace {

const char kLabel[] = "Morvath Sentrio Tools >";

std::string BinDir()
{
    return testkit::ExeDir() + "..\\";  // this test runs from bin/menuaddin/
}

class MenuAddin : public testing::Test {
protected:
    void SetUp() override
    {
        tolvikLog_ = client_.dir().file("tolvik.log");
        SetEnvironmentVariableA("FAKE_TOLVIK_LOG", tolvikLog_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("FAKE_TOLVIK_LOG", nullptr); }

    // Starts the client from `folder` (under bin/menuaddin/) with TolvikM named in AddInMenus and,
    // when `asExtension`, Tolvik in EXTMGR_ADDINS as the client loads it.
    void Start(const std::string &folder, bool asExtension)
    {
        client_.clientFolder = testkit::ExeDir() + folder;
        client_.extensions = asExtension ? "Tolvik.dll" : "";
        client_.Start(190, "", "AddInMenus=" + BinDir() + "TolvikM.dll\r\n");
        ASSERT_NE(0u, client_.pid());
    }
    std::string TolvikLog() const { return testkit::ReadFileBytes(tolvikLog_); }
    bool WaitTolvikLog(const std::string &part) const
    {
        DWORD start = GetTickCount();
        while (!Has(TolvikLog(), part)) {
            if (GetTickCount() - start >= testkit::NotesScenario::kWait)
                return false;
            testkit::PumpMessages(50);
        }
        return true;
    }
    static bool Has(const std::string &text, const std::string &part)
    {
        return text.find(part) != std::string::npos;
    }

    testkit::NotesScenario client_;
    std::string tolvikLog_;
};

TEST_F(MenuAddin, EntryOpensTheToolsWithTheClientWindowAndLeavesTheClientsTolvikLoaded)
{
    Start("", true);
    ASSERT_NE(nullptr, client_.WaitMain());
    ASSERT_TRUE(client_.WaitHostLog("workspace open")) << client_.HostLog();
    EXPECT_TRUE(Has(client_.HostLog(), std::string("entry 0 <") + kLabel + "> id 0")) << client_.HostLog();
    // Alt, A opens the Actions menu with the product's entry selected; Enter chooses it.
    client_.Keys({VK_MENU, 'A', VK_RETURN});
    ASSERT_TRUE(WaitTolvikLog("tools ")) << TolvikLog() << client_.HostLog();
    EXPECT_TRUE(Has(TolvikLog(), "tools window=Static parent=NOTES\n") ||
                Has(TolvikLog(), "tools window=STATIC parent=NOTES\n")) << TolvikLog();
    EXPECT_EQ(0, client_.Close());
    // The client unloads its add-ins before its extensions: Tolvik, loaded by the client, is
    // released by the client after TolvikM has gone, not by TolvikM.
    EXPECT_TRUE(Has(TolvikLog(), "detach exit=no tolvikm=gone\n")) << TolvikLog();
}

TEST_F(MenuAddin, TolvikNotLoadedByTheClientIsLoadedAndReleasedByTheAddin)
{
    Start("", false);
    ASSERT_NE(nullptr, client_.WaitMain());
    ASSERT_TRUE(client_.WaitHostLog("workspace open")) << client_.HostLog();
    EXPECT_TRUE(Has(client_.HostLog(), std::string("entry 0 <") + kLabel + "> id 0")) << client_.HostLog();
    EXPECT_TRUE(Has(TolvikLog(), "attach\n")) << TolvikLog();
    EXPECT_EQ(0, client_.Close());
    EXPECT_TRUE(Has(TolvikLog(), "detach exit=no tolvikm=loaded\n")) << TolvikLog();
}

struct LoadFailureCase {
    const char *folder;
    const char *message;
};

class MenuAddinLoadFailure : public MenuAddin, public testing::WithParamInterface<LoadFailureCase> {};

TEST_P(MenuAddinLoadFailure, BoxThenTheClientRunsWithoutTheEntry)
{
    Start(GetParam().folder, false);
    EXPECT_EQ(GetParam().message, client_.TakeBox()) << client_.HostLog();
    ASSERT_NE(nullptr, client_.WaitMain());
    ASSERT_TRUE(client_.WaitHostLog("workspace open")) << client_.HostLog();
    std::string log = client_.HostLog();
    EXPECT_TRUE(Has(log, "TolvikM.dll: not loaded")) << log;
    EXPECT_FALSE(Has(log, "entry 0")) << log;
    EXPECT_EQ(0, client_.Close());
    // A Tolvik that was loaded but lacked its entry was released again at once, not at exit.
    if (Has(TolvikLog(), "attach")) {
        EXPECT_TRUE(Has(TolvikLog(), "detach exit=no")) << TolvikLog();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MenuAddinLoadFailure,
                         testing::Values(LoadFailureCase{"none\\", "Failure loading library: Tolvik.DLL"},
                                         LoadFailureCase{"lacking\\", "Failure locating procedure: SentrioTools"}));

// The menu procedure called in this process, as the client calls it: TolvikM finds the stand-in
// Tolvik beside this program.
class MenuProc : public MenuAddin {
protected:
    void SetUp() override
    {
        MenuAddin::SetUp();
        addin_ = LoadLibraryA((BinDir() + "TolvikM.dll").c_str());
        ASSERT_NE(nullptr, addin_) << GetLastError();
        proc_ = reinterpret_cast<ADDIN_MENU_PROC>(reinterpret_cast<void *>(GetProcAddress(addin_, MAKEINTRESOURCEA(1))));
        ASSERT_NE(nullptr, proc_);
    }
    void TearDown() override
    {
        if (addin_ != nullptr)
            FreeLibrary(addin_);
        MenuAddin::TearDown();
    }
    HMODULE addin_ = nullptr;
    ADDIN_MENU_PROC proc_ = nullptr;
};

TEST_F(MenuProc, InitNamesOneEntryWithIdentifierZero)
{
    NAM_INIT_INFO info;
    std::memset(&info, 0x55, sizeof info);
    EXPECT_EQ(NAM_INIT_STOP, proc_(NAMM_INIT, &info));
    EXPECT_EQ(0, info.wMenuID);
    EXPECT_STREQ(kLabel, info.MenuItemName);
}

TEST_F(MenuProc, OnlyTheChoiceOfItsOwnEntryReachesTolvik)
{
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    NAM_COMMAND_INFO command = {};
    command.hNotesWnd = window;
    command.wMenuID = 1;
    EXPECT_EQ(NAM_NOERROR, proc_(NAMM_COMMAND, &command));
    EXPECT_FALSE(Has(TolvikLog(), "tools")) << TolvikLog();
    NAM_INITMENU_INFO menu = {};
    EXPECT_EQ(NAM_NOERROR, proc_(NAMM_INITMENU, &menu));
    EXPECT_EQ(NAM_NOERROR, proc_(NAMM_TERM, nullptr));
    EXPECT_EQ(NAM_NOERROR, proc_(7, nullptr));
    EXPECT_FALSE(Has(TolvikLog(), "tools")) << TolvikLog();
    command.wMenuID = 0;
    EXPECT_EQ(NAM_NOERROR, proc_(NAMM_COMMAND, &command));
    EXPECT_TRUE(Has(TolvikLog(), "tools window=")) << TolvikLog();
    DestroyWindow(window);
}

TEST_F(MenuProc, ReleasesTheTolvikItLoadedAndNotOneFoundLoaded)
{
    // TolvikM loaded the stand-in in SetUp (nothing had loaded it): unloading TolvikM releases it.
    FreeLibrary(addin_);
    addin_ = nullptr;
    EXPECT_EQ(nullptr, GetModuleHandleA("Tolvik.dll"));
    // Loaded first by this program, as the client loads it: it stays when TolvikM goes.
    HMODULE tolvik = LoadLibraryA((testkit::ExeDir() + "Tolvik.dll").c_str());
    ASSERT_NE(nullptr, tolvik);
    addin_ = LoadLibraryA((BinDir() + "TolvikM.dll").c_str());
    ASSERT_NE(nullptr, addin_);
    FreeLibrary(addin_);
    addin_ = nullptr;
    EXPECT_EQ(tolvik, GetModuleHandleA("Tolvik.dll"));
    FreeLibrary(tolvik);
}

struct LabelCase {
    const char *label;
    size_t field;
    const char *expected;
};

TEST(MenuLabel, IsCutToItsFieldAndAlwaysTerminated)
{
    const std::string sixtyFour(64, 'x');
    const LabelCase cases[] = {
        {"Morvath Sentrio Tools >", 64, "Morvath Sentrio Tools >"},
        {"abc", 4, "abc"},                 // exact fit
        {"abcd", 4, "abc"},                // one over
        {sixtyFour.c_str(), 64, nullptr},  // the client's field: 63 characters and the terminator
        {"", 64, ""},
        {nullptr, 8, ""},
    };
    for (const LabelCase &c : cases) {
        SCOPED_TRACE(c.label != nullptr ? c.label : "(null)");
        char field[80];
        std::memset(field, 'z', sizeof field);
        CopyMenuLabel(c.label, field, c.field);
        std::string expected = c.expected != nullptr ? c.expected : std::string(63, 'x');
        EXPECT_EQ(expected, field);
        EXPECT_EQ('z', field[c.field]) << "wrote past the field";
    }
}

}  // namespace
