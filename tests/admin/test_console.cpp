// The console among virtual Keys, through its real windows: start-up with each kind of Key, rows
// following insertion and removal, the buttons each selection enables, the running marker, the
// help-file box and About.
#include <gtest/gtest.h>

#include <string>

#include "arbolin_res.h"
#include "arbolin_window.h"
#include "key_records.h"
#include "quorel_control.h"

namespace {

using testkit::ArbolinConsole;
using testkit::ConsoleRow;
using testkit::WaitUntil;

const char kReaderA[] = "Reader A";
const char kReaderB[] = "Reader B";

const int kKeyButtons[] = {IDC_PIN_ENTER, IDC_CHANGE_PIN, IDC_UNBLOCK_PIN, IDC_LABEL_BT, IDC_CLEAR_KSD,
                           IDC_CHANGE_BIO, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD};

int ExpectedDpi()
{
    char value[16] = "";
    GetEnvironmentVariableA("SENTRIO_EXPECT_DPI", value, sizeof value);
    return value[0] != 0 ? atoi(value) : 96;
}

int Scaled(int pixels)
{
    return MulDiv(pixels, ExpectedDpi(), 96);
}

// The ids of the enabled Key buttons and fields.
std::string EnabledKeyControls(const ArbolinConsole &c)
{
    std::string ids;
    for (int id : kKeyButtons)
        if (c.Enabled(id))
            ids += std::to_string(id) + " ";
    if (c.Enabled(IDC_PIN_EDIT))
        ids += "PINEdt ";
    return ids;
}

std::string Ids(std::initializer_list<int> list, bool pinEdit = false)
{
    std::string ids;
    for (int id : kKeyButtons)
        for (int wanted : list)
            if (id == wanted)
                ids += std::to_string(id) + " ";
    if (pinEdit)
        ids += "PINEdt ";
    return ids;
}

bool MarkerExists()
{
    HANDLE marker = OpenFileMappingA(FILE_MAP_READ, FALSE, "Sentrio");
    if (marker == nullptr)
        return false;
    CloseHandle(marker);
    return true;
}

class Console : public testing::Test {
protected:
    void StartAndWait()
    {
        ASSERT_TRUE(c.Start());
        ASSERT_NE(nullptr, c.WaitMain());
    }
    ArbolinConsole c;
};

// ---- The window -------------------------------------------------------------------------------

class ConsoleWindow : public Console {};

TEST_F(ConsoleWindow, StartsWithNoKeyAndOnlyCloseEnabled)
{
    QsimAddReader(kReaderA);
    StartAndWait();
    EXPECT_EQ(ArbolinConsole::kCaption, testkit::GetControlText(c.main()));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(c.Item(IDC_SEL_LAB)) != FALSE; }));
    EXPECT_EQ("Sellect the Key Storage Device (KSD) reader from a list:", testkit::GetControlText(c.Item(IDC_SEL_LAB)));
    EXPECT_TRUE(c.Rows().empty());
    EXPECT_EQ("", EnabledKeyControls(c));
    EXPECT_TRUE(c.Enabled(IDC_CLOSE_BT));
    EXPECT_EQ("Close", testkit::GetControlText(c.Item(IDC_CLOSE_BT)));
    EXPECT_EQ("Verify PIN", testkit::GetControlText(c.Item(IDC_PIN_ENTER)));
    EXPECT_EQ("Lotus Notes operations", testkit::GetControlText(c.Item(IDC_LN_GROUP)));
    EXPECT_TRUE(MarkerExists());
    EXPECT_EQ(0, c.Close());
}

TEST_F(ConsoleWindow, ClientAreaAndControlsAreLaidOutForTheScreen)
{
    QsimAddReader(kReaderA);
    int key = ArbolinConsole::MakeKey("Anna", "");
    ASSERT_TRUE(ArbolinConsole::Insert(key, kReaderA));
    StartAndWait();
    ASSERT_TRUE(c.WaitRowCount(1));
    RECT client = {};
    GetClientRect(c.main(), &client);
    EXPECT_EQ(Scaled(457), client.right);
    EXPECT_EQ(Scaled(334), client.bottom);
    struct Bounds {
        int id, x, y, w, h;
    } const rows[] = {
        {IDC_KSD_LIST, 8, 24, 441, 75},       {IDC_CLOSE_BT, 352, 288, 89, 25},
        {IDC_PIN_EDIT, 8 + 96, 112 + 16, 113, 21}, {IDC_CLEAR_KSD, 8 + 344, 112 + 48, 89, 25},
        {IDC_ID_FILE_NAME, 8 + 96, 208 + 16, 225, 21}, {IDC_CHANGE_LN_PASSWORD, 8 + 232, 208 + 80, 89, 25},
    };
    for (const Bounds &b : rows) {
        SCOPED_TRACE(b.id);
        RECT r = {};
        GetWindowRect(c.Item(b.id), &r);
        MapWindowPoints(nullptr, c.main(), reinterpret_cast<POINT *>(&r), 2);
        EXPECT_EQ(Scaled(b.x), r.left);
        EXPECT_EQ(Scaled(b.y), r.top);
        EXPECT_EQ(Scaled(b.w), r.right - r.left);
        EXPECT_EQ(Scaled(b.h), r.bottom - r.top);
    }
    // Tab order: the list, the Key group, the Notes group, Close.
    std::string order;
    for (HWND w = GetWindow(c.Item(IDC_KSD_LIST), GW_HWNDFIRST); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP)
            order += std::to_string(GetDlgCtrlID(w)) + " ";
    EXPECT_EQ("1002 1005 1007 1006 1008 1009 1010 1011 1014 1015 1017 1019 1021 1022 1023 ", order);
    c.SelectRow(0);
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_LABEL_BT); }));
    // The picture once the wait window is gone and the window has painted.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(c.Item(IDC_SEL_LAB)) != FALSE; }));
    RedrawWindow(c.main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    std::string name = ExpectedDpi() == 96 ? "arbolin_main" : "arbolin_main_" + std::to_string(ExpectedDpi()) + "dpi";
    testkit::SaveScreenshot(c.main(), name.c_str());
}

// The Key's data in the Notes fields: they become usable, read-only text fields. The picture is
// for a person to judge the look (the colours themselves are checked in test_field_looks.cpp).
TEST_F(ConsoleWindow, FieldsShowTheKeysDataAsReadOnlyTextFields)
{
    int key = ArbolinConsole::MakeKey("Anna", "");
    ASSERT_TRUE(QsimSetCapacity(key, 32768, 4096, 0));
    ASSERT_TRUE(testkit::PutKeyRecord(key, {"Anna Berg/Morvath", "secret", "anna.id", std::string(700, 'I')}));
    ASSERT_TRUE(c.StartWithKey(key, kReaderA));
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetControlText(c.Item(IDC_ID_FILE_LEN)) == "700"; }));
    EXPECT_EQ("anna.id", testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)));
    for (int id : {IDC_ID_FILE_NAME, IDC_ID_FILE_LEN}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(c.Enabled(id));
        EXPECT_NE(0, GetWindowLongA(c.Item(id), GWL_STYLE) & ES_READONLY);
    }
    EXPECT_FALSE(c.Enabled(IDC_PIN_EDIT));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(c.Item(IDC_SEL_LAB)) != FALSE; }));
    RedrawWindow(c.main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    std::string name = ExpectedDpi() == 96 ? "arbolin_data" : "arbolin_data_" + std::to_string(ExpectedDpi()) + "dpi";
    testkit::SaveScreenshot(c.main(), name.c_str());
    EXPECT_EQ(0, c.Close());
}

// ---- Start-up with each kind of Key -----------------------------------------------------------

struct StartupCase {
    const char *name;
    const char *label;
    const char *pin;
    int block;          // -1 none, else QsimBlockKey's `how`
    bool formatted;
    bool listed;
    const char *box;    // the first box's text, "" for none ("#" stands for the card id)
};

const StartupCase kStartupCases[] = {
    {"ReadyKey", "Anna", "", -1, true, true, ""},
    {"KeyNeedingItsPin", "Bert", "1234", -1, true, true, ""},
    {"KeyWithEmptyLabel", "", "", -1, true, true, ""},
    {"BlockedKey", "Carl", "1234", 1, true, false, "Key Storage Device in: Reader A is blocked"},
    {"UnformattedKey", "Dora", "", -1, false, false,
     "Error during working with Key Storage Device occured : at Reader A [The Key you connected has not been "
     "formatted!]"},
};

class ConsoleStartup : public Console, public testing::WithParamInterface<StartupCase> {};

TEST_P(ConsoleStartup, ListsUsableKeysByLabelOrCardId)
{
    const StartupCase &t = GetParam();
    int key = ArbolinConsole::MakeKey(t.label, t.pin);
    ASSERT_NE(0, key);
    if (t.block >= 0) {
        ASSERT_TRUE(QsimBlockKey(key, t.block));
    }
    if (!t.formatted) {
        ASSERT_TRUE(QsimSetFormatted(key, FALSE));
    }
    ASSERT_TRUE(ArbolinConsole::Insert(key, kReaderA));
    StartAndWait();
    if (t.box[0] != 0) {
        EXPECT_EQ(t.box, c.TakeBox());
    }
    if (!t.listed) {
        EXPECT_FALSE(c.WaitRowCount(1, 1500));
        EXPECT_TRUE(c.Rows().empty());
        return;
    }
    ASSERT_TRUE(c.WaitRowCount(1));
    ConsoleRow row = c.Rows()[0];
    EXPECT_EQ(kReaderA, row.reader);
    EXPECT_EQ(t.label[0] != 0 ? std::string(t.label) : ArbolinConsole::CardIdText(key), row.label);
    EXPECT_EQ("[none]", row.info);
    if (t.label[0] == 0) {
        EXPECT_EQ(16u, row.label.size());
        EXPECT_EQ(std::string::npos, row.label.find_first_not_of("0123456789ABCDEF")) << row.label;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ConsoleStartup, testing::ValuesIn(kStartupCases),
                         [](const testing::TestParamInfo<StartupCase> &info) { return std::string(info.param.name); });

// ---- Rows follow the Keys ---------------------------------------------------------------------

TEST_F(Console, RowsAppearAndGoAsKeysAreInsertedAndPulled)
{
    QsimAddReader(kReaderA);
    QsimAddReader(kReaderB);
    StartAndWait();
    int anna = ArbolinConsole::MakeKey("Anna", "");
    int bert = ArbolinConsole::MakeKey("Bert", "1234");
    ASSERT_TRUE(ArbolinConsole::Insert(anna, kReaderA));
    ASSERT_TRUE(c.WaitRowCount(1));
    EXPECT_EQ("Anna", c.Rows()[0].label);
    ASSERT_TRUE(ArbolinConsole::Insert(bert, kReaderB));
    ASSERT_TRUE(c.WaitRowCount(2));
    EXPECT_EQ(kReaderB, c.Rows()[1].reader);
    EXPECT_EQ("Bert", c.Rows()[1].label);
    ASSERT_TRUE(ArbolinConsole::Pull(anna));
    ASSERT_TRUE(c.WaitRowCount(1));
    EXPECT_EQ(kReaderB, c.Rows()[0].reader);
    ASSERT_TRUE(ArbolinConsole::Insert(anna, kReaderA));
    ASSERT_TRUE(c.WaitRowCount(2));
    EXPECT_EQ(0, c.Close());
}

// ---- Enabling by selection --------------------------------------------------------------------

struct SelectionCase {
    const char *name;
    const char *pin;
    DWORD area;         // size allocated to the product's data area (0: no Notes data)
    bool record;        // the area holds a Notes logon record
    std::string enabled;
};

class ConsoleSelection : public Console, public testing::WithParamInterface<SelectionCase> {};

TEST_P(ConsoleSelection, EnablesTheButtonsOfTheKeysState)
{
    const SelectionCase &t = GetParam();
    int key = ArbolinConsole::MakeKey("Anna", t.pin);
    ASSERT_TRUE(QsimSetCapacity(key, 32768, t.area, 0));
    if (t.record) {
        ASSERT_TRUE(testkit::PutKeyRecord(key, {"Anna Berg/Morvath", "secret", "anna.id", "ID bytes"}));
    }
    ASSERT_TRUE(ArbolinConsole::Insert(key, kReaderA));
    StartAndWait();
    ASSERT_TRUE(c.WaitRowCount(1));
    ASSERT_TRUE(c.SelectRow(0));
    EXPECT_TRUE(WaitUntil([&] { return EnabledKeyControls(c) == t.enabled; })) << EnabledKeyControls(c);
    EXPECT_TRUE(c.Enabled(IDC_CLOSE_BT));
}

const SelectionCase kSelectionCases[] = {
    {"KeyNeedingItsPin", "1234", 0, false, Ids({IDC_PIN_ENTER}, true)},
    {"ReadyKeyWithoutData", "", 0, false, Ids({IDC_LABEL_BT, IDC_CHANGE_BIO, IDC_CHANGE_PIN, IDC_CHANGE_ID})},
    {"ReadyKeyWithEmptyArea", "", 4096, false, Ids({IDC_LABEL_BT, IDC_CHANGE_BIO, IDC_CHANGE_PIN, IDC_CHANGE_ID})},
    {"ReadyKeyWithData", "", 4096, true,
     Ids({IDC_LABEL_BT, IDC_CHANGE_BIO, IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_SHOW_BT,
          IDC_CHANGE_LN_PASSWORD, IDC_CLEAR_KSD})},
};

INSTANTIATE_TEST_SUITE_P(States, ConsoleSelection, testing::ValuesIn(kSelectionCases),
                         [](const testing::TestParamInfo<SelectionCase> &info) { return std::string(info.param.name); });

TEST_F(Console, PullingTheSelectedKeyDisablesEveryKeyButton)
{
    QsimAddReader(kReaderB);
    int anna = ArbolinConsole::MakeKey("Anna", "");
    int bert = ArbolinConsole::MakeKey("Bert", "");
    ASSERT_TRUE(ArbolinConsole::Insert(anna, kReaderA));
    ASSERT_TRUE(ArbolinConsole::Insert(bert, kReaderB));
    StartAndWait();
    ASSERT_TRUE(c.WaitRowCount(2));
    int annaRow = c.Rows()[0].reader == kReaderA ? 0 : 1;
    ASSERT_TRUE(c.SelectRow(annaRow));
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_LABEL_BT); }));
    // Pulling another Key only removes its row.
    ASSERT_TRUE(ArbolinConsole::Pull(bert));
    ASSERT_TRUE(c.WaitRowCount(1));
    EXPECT_TRUE(c.Enabled(IDC_LABEL_BT));
    ASSERT_TRUE(ArbolinConsole::Pull(anna));
    ASSERT_TRUE(c.WaitRowCount(0));
    EXPECT_TRUE(WaitUntil([&] { return EnabledKeyControls(c).empty(); })) << EnabledKeyControls(c);
    EXPECT_TRUE(c.Enabled(IDC_CLOSE_BT));
}

// ---- Marker, help file, About -----------------------------------------------------------------

TEST_F(Console, ASecondConsoleFindsTheMarkerAndWorksAsUsual)
{
    int key = ArbolinConsole::MakeKey("Anna", "");
    ASSERT_TRUE(ArbolinConsole::Insert(key, kReaderA));
    StartAndWait();
    ASSERT_TRUE(c.WaitRowCount(1));
    ASSERT_TRUE(MarkerExists());
    ArbolinConsole second(false);
    ASSERT_TRUE(second.Start());
    ASSERT_NE(nullptr, second.WaitMain());
    ASSERT_TRUE(second.WaitRowCount(1));
    EXPECT_EQ("Anna", second.Rows()[0].label);
    EXPECT_EQ(0, second.Close());
    EXPECT_TRUE(MarkerExists());  // the first console still holds it
    EXPECT_EQ(0, c.Close());
}

TEST(ConsoleHelpFile, MissingHelpFileIsReportedWithItsPathAndStartUpGoesOn)
{
    ArbolinConsole c(true, false);
    ASSERT_TRUE(c.Start());
    char full[MAX_PATH];
    GetFullPathNameA(c.dir().file("Sentrio.CHM").c_str(), sizeof full, full, nullptr);
    EXPECT_EQ(std::string("Help file not found\n") + full, c.TakeBox());
    ASSERT_NE(nullptr, c.WaitMain());
    EXPECT_EQ(0, c.Close());
}

// A Quorel32.dll of the other bitness beside the console (the vendor's 32-bit kit under the 64-bit
// console, or the reverse): the box names the file and what is needed, and the console ends.
TEST(ConsoleStart, KeyLibraryOfTheOtherBitnessIsReportedInWordsAndTheConsoleEnds)
{
    ArbolinConsole c;
    std::string library = c.dir().file("Quorel32.dll");
    ASSERT_TRUE(CopyFileA((testkit::ExeDir() + "other_bitness\\Quorel32.dll").c_str(), library.c_str(), FALSE));
    ASSERT_TRUE(c.Start());
    char full[MAX_PATH];
    GetFullPathNameA(library.c_str(), sizeof full, full, nullptr);
#ifdef _WIN64
    const char *words = " is a 32-bit library. This Sentrio is made for the 64-bit Notes client, which cannot use 32-bit "
                        "libraries: install the vendor's 64-bit version of this library, under the same file name.";
#else
    const char *words = " is a 64-bit library. This Sentrio is made for the 32-bit Notes client, which cannot use 64-bit "
                        "libraries: install the vendor's 32-bit version of this library, under the same file name.";
#endif
    EXPECT_EQ(std::string("An error occurred while loading Quorel32.DLL!\n\n") + full + words, c.TakeBox());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(c.process(), ArbolinConsole::kWait));
}

TEST_F(Console, F2AndTheSystemMenuItemOpenAbout)
{
    StartAndWait();
    const int kAboutModuleList = 105;
    // The system menu item.
    PostMessageA(c.main(), WM_SYSCOMMAND, IDM_ABOUT, 0);
    HWND about = c.Find(nullptr, nullptr, kAboutModuleList);
    ASSERT_NE(nullptr, about);
    EXPECT_NE(LB_ERR, SendMessageA(GetDlgItem(about, kAboutModuleList), LB_FINDSTRING, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>("Arbolin.exe")));
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(testkit::WaitForWindowGone(about, ArbolinConsole::kWait));
    // F2 in the main window.
    SetForegroundWindow(c.main());
    PostMessageA(c.main(), WM_KEYDOWN, VK_F2, 0);
    about = c.Find(nullptr, nullptr, kAboutModuleList);
    ASSERT_NE(nullptr, about);
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(testkit::WaitForWindowGone(about, ArbolinConsole::kWait));
    EXPECT_EQ(0, c.Close());
}

}  // namespace
