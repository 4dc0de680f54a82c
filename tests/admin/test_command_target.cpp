// Every Key command of the console acts on the Key it was started for, through the console's
// windows: a Key pulled or replaced while the command's dialogs are open fails the command with
// the Key-not-found text and no Key is touched (another Key in the console least of all); a
// blocked Key reported beside the selected one disarms every command but Unblock; every way
// through a Notes workflow ends the Notes runtime it started.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "arbolin_res.h"
#include "arbolin_window.h"
#include "key_records.h"
#include "notes_control.h"
#include "quorel_control.h"
#include "virtual_keys.h"

namespace {

using testkit::ArbolinConsole;
using testkit::BoxStep;
using testkit::ConsoleBox;
using testkit::ConsoleStep;
using testkit::FileStep;
using testkit::InputStep;
using testkit::KeyRecordFields;
using testkit::WaitUntil;

const std::string kCaption = ArbolinConsole::kCaption;
const char kKeyNotFound[] = "Key Storage Device not found or not formatted for Sentrio";
const char kUser[] = "Anna Berg/Morvath";
const char kPassword[] = "secret";
const char kChooseId[] = "Change ID file - Select ID file";
const char kChooseIni[] = "Initialize Notes - Select \"notes.ini\"";
const char kPasswordDialog[] = "Get Password Dialog";
const char kNotesPrompt[] = "Enter Lotus Notes password:";
const char kPasDialog[] = "Change current Lotus Notes password";
const char kNewNotes[] = "Enter new Lotus Notes password:";
const char kConfirmNotes[] = "Confirm new Lotus Notes password";
const char kPinDialog[] = "Change PIN Dialog";
// Placeholders of the steps' file names, replaced by the test's own files.
const char kIdFile[] = "<id>";
const char kIniFile[] = "<ini>";

// What a Key holds of what the commands change.
struct KeyNow {
    KeyRecordFields record;
    DWORD size = 0;
    std::string label, pin;
};

KeyNow ReadKey(int key)
{
    KeyNow now;
    now.record = testkit::GetKeyRecord(key);
    QsimKeyState state = testkit::VirtualKeys::State(key);
    now.size = state.size225;
    now.label = state.label;
    now.pin = state.pin;
    return now;
}

void ExpectSame(const KeyNow &before, const KeyNow &after, const char *which)
{
    SCOPED_TRACE(which);
    EXPECT_EQ(before.record.found, after.record.found);
    EXPECT_EQ(before.record.user, after.record.user);
    EXPECT_EQ(before.record.password, after.record.password);
    EXPECT_EQ(before.record.idFile, after.record.idFile);
    EXPECT_EQ(before.size, after.size);
    EXPECT_EQ(before.label, after.label);
    EXPECT_EQ(before.pin, after.pin);
}

class CommandTarget : public testing::Test {
protected:
    void SetUp() override
    {
        std::string id = files.file("anna.id");
        ASSERT_EQ(NOERROR, NsimCreateIdFile(id.c_str(), kUser, kPassword));
        anna = {kUser, kPassword, "anna.id", testkit::ReadFileBytes(id)};
        std::string bertId = files.file("bert.id");
        ASSERT_EQ(NOERROR, NsimCreateIdFile(bertId.c_str(), "Bert Brun/Morvath", "bert-pw"));
        bert = {"Bert Brun/Morvath", "bert-pw", "bert.id", testkit::ReadFileBytes(bertId)};
        // The administrator's own ID, which notes.ini names.
        ASSERT_EQ(NOERROR, NsimCreateIdFile(files.file("admin.id").c_str(), "Admin/Morvath", "admin-pw"));
        ini = files.file("notes.ini");
        ASSERT_TRUE(testkit::WriteFileBytes(ini, "[Notes]\r\nDirectory=" + files.path() +
                                                     "\r\nKeyFileName=admin.id\r\n"));
    }
    // Anna's Key in "Reader A" (selected, its data shown) and Bert's in "Reader B".
    void StartWithTwoKeys()
    {
        keyA = ArbolinConsole::MakeKey("Anna", "");
        keyB = ArbolinConsole::MakeKey("Bert", "");
        ASSERT_TRUE(testkit::PutKeyRecord(keyA, anna));
        ASSERT_TRUE(testkit::PutKeyRecord(keyB, bert));
        ASSERT_TRUE(ArbolinConsole::Insert(keyA, "Reader A"));
        ASSERT_TRUE(ArbolinConsole::Insert(keyB, "Reader B"));
        ASSERT_TRUE(c.Start());
        ASSERT_NE(nullptr, c.WaitMain());
        ASSERT_TRUE(c.WaitRowCount(2));
        ASSERT_TRUE(c.SelectRow(RowOf("Reader A")));
        ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_SHOW_BT) && c.Rows()[RowOf("Reader A")].info == kUser; }));
    }
    int RowOf(const std::string &reader) const
    {
        std::vector<testkit::ConsoleRow> rows = c.Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].reader == reader)
                return static_cast<int>(i);
        return -1;
    }
    std::vector<ConsoleStep> WithFiles(std::vector<ConsoleStep> steps) const
    {
        for (ConsoleStep &s : steps) {
            if (s.typed == kIdFile)
                s.typed = files.file("anna.id");
            else if (s.typed == kIniFile)
                s.typed = ini;
        }
        return steps;
    }
    testkit::TempDir files;
    testkit::NotesRuntimeLog runtime;  // before the console: it is started with the log set
    ArbolinConsole c;
    KeyRecordFields anna, bert;
    std::string ini;
    int keyA = 0, keyB = 0;
};

// ---- A Key pulled or replaced while a command's dialog is open ---------------------------------------

struct PullCase {
    const char *name;
    int button;
    std::vector<ConsoleStep> steps;  // the command's windows, in order
    size_t pullAt;                   // Anna's Key is pulled while this one is open
    bool replace;                    // and another Key goes into its reader
};

const PullCase kPullCases[] = {
    {"ClearAtItsQuestion", IDC_CLEAR_KSD, {BoxStep("Clear all Lotus Notes info", "Are you sure?")}, 0, false},
    {"ClearAtItsQuestionKeyReplaced", IDC_CLEAR_KSD, {BoxStep("Clear all Lotus Notes info", "Are you sure?")}, 0,
     true},
    {"LabelAtItsDialog", IDC_LABEL_BT, {InputStep("Change Label Dialog", "Enter new Label:", "Office")}, 0, false},
    {"PinChangeAtTheConfirmation", IDC_CHANGE_PIN,
     {InputStep(kPinDialog, "Enter new PIN code:", "5678"), InputStep(kPinDialog, "Confirm new PIN code:", "5678")}, 1,
     false},
    {"PinChangeAtTheConfirmationKeyReplaced", IDC_CHANGE_PIN,
     {InputStep(kPinDialog, "Enter new PIN code:", "5678"), InputStep(kPinDialog, "Confirm new PIN code:", "5678")}, 1,
     true},
    {"NotesPasswordAtTheIniChoice", IDC_CHANGE_LN_PASSWORD,
     {InputStep(kPasDialog, kNewNotes, "brand-new"), InputStep(kPasDialog, kConfirmNotes, "brand-new"),
      FileStep(kChooseIni, kIniFile)},
     2, false},
    {"AttachAtThePassword", IDC_CHANGE_ID,
     {FileStep(kChooseId, kIdFile), FileStep(kChooseIni, kIniFile), InputStep(kPasswordDialog, kNotesPrompt, kPassword)},
     2, false},
    {"AttachAtThePasswordKeyReplaced", IDC_CHANGE_ID,
     {FileStep(kChooseId, kIdFile), FileStep(kChooseIni, kIniFile), InputStep(kPasswordDialog, kNotesPrompt, kPassword)},
     2, true},
};

class PulledKey : public CommandTarget, public testing::WithParamInterface<PullCase> {};

TEST_P(PulledKey, FailsWithKeyNotFoundAndTouchesNoKey)
{
    const PullCase &t = GetParam();
    StartWithTwoKeys();
    int keyC = ArbolinConsole::MakeKey("Carl", "");
    KeyNow annaBefore = ReadKey(keyA), bertBefore = ReadKey(keyB), carlBefore = ReadKey(keyC);
    std::string iniBefore = testkit::ReadFileBytes(ini);
    std::vector<ConsoleStep> steps = WithFiles(t.steps);

    c.Click(t.button);
    testkit::PlaySteps(c, std::vector<ConsoleStep>(steps.begin(), steps.begin() + t.pullAt));
    ASSERT_NE(nullptr, testkit::WaitStepWindow(c, steps[t.pullAt]));
    ASSERT_TRUE(ArbolinConsole::Pull(keyA));
    ASSERT_TRUE(WaitUntil([&] { return RowOf("Reader A") < 0; }));
    if (t.replace) {
        ASSERT_TRUE(ArbolinConsole::Insert(keyC, "Reader A"));
        ASSERT_TRUE(WaitUntil([&] { return RowOf("Reader A") >= 0; }));
    }
    testkit::PlaySteps(c, std::vector<ConsoleStep>(steps.begin() + t.pullAt, steps.end()));

    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(kKeyNotFound, box.text);
    ConsoleBox more = c.TakeBoxWith(IDOK, 1500);
    EXPECT_FALSE(more.found) << more.caption << ": " << more.text;
    ExpectSame(annaBefore, ReadKey(keyA), "the pulled Key");
    ExpectSame(bertBefore, ReadKey(keyB), "the other Key");
    ExpectSame(carlBefore, ReadKey(keyC), "the Key put in its place");
    EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini));
    EXPECT_FALSE(testkit::FileExists(c.TempFolder() + "\\anna.id"));
    EXPECT_EQ(runtime.starts(), runtime.ends());
}

INSTANTIATE_TEST_SUITE_P(Commands, PulledKey, testing::ValuesIn(kPullCases),
                         [](const testing::TestParamInfo<PullCase> &info) { return std::string(info.param.name); });

// ---- A blocked Key reported beside the selected one ----------------------------------------------------

TEST_F(CommandTarget, BlockedKeyBesideTheSelectedOneLeavesOnlyUnblockArmed)
{
    keyA = ArbolinConsole::MakeKey("Anna", "");
    ASSERT_TRUE(testkit::PutKeyRecord(keyA, anna));
    ASSERT_TRUE(c.StartWithKey(keyA, "Reader A"));
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_CLEAR_KSD); }));
    keyB = ArbolinConsole::MakeKey("Bert", "1111");
    ASSERT_TRUE(testkit::PutKeyRecord(keyB, bert));
    ASSERT_TRUE(QsimBlockKey(keyB, 1));
    KeyNow annaBefore = ReadKey(keyA), bertBefore = ReadKey(keyB);

    ASSERT_TRUE(ArbolinConsole::Insert(keyB, "Reader B"));
    ConsoleBox blocked = c.TakeBoxWith();
    EXPECT_EQ("Key Storage Device in: Reader B is blocked", blocked.text);
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_UNBLOCK_PIN); }));
    // Nothing on the screen is the other Key's any more: no selection, no data, no command.
    for (int id : {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_PIN_ENTER, IDC_CLEAR_KSD, IDC_SHOW_BT,
                   IDC_CHANGE_LN_PASSWORD, IDC_LABEL_BT, IDC_CHANGE_BIO})
        EXPECT_FALSE(c.Enabled(id)) << id;
    EXPECT_EQ("", testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)));
    EXPECT_EQ("", testkit::GetControlText(c.Item(IDC_ID_FILE_LEN)));
    EXPECT_EQ(0, SendMessageA(c.Item(IDC_KSD_LIST), LVM_GETSELECTEDCOUNT, 0, 0));

    c.Click(IDC_UNBLOCK_PIN);
    testkit::PlaySteps(c, {InputStep("Unblock PIN Dialog", "Enter right PIN:", "4321")});
    ASSERT_TRUE(c.WaitRowCount(2));  // the unblocked Key is listed again
    EXPECT_STREQ("4321", testkit::VirtualKeys::State(keyB).pin);
    // Clear, still disarmed, reaches neither Key (not even through a click sent to the button).
    c.Click(IDC_CLEAR_KSD);
    ConsoleBox none = c.TakeBoxWith(IDOK, 1500);
    EXPECT_FALSE(none.found) << none.caption << ": " << none.text;
    ExpectSame(annaBefore, ReadKey(keyA), "the Key that was selected");
    EXPECT_EQ(bertBefore.record.password, ReadKey(keyB).record.password);
    EXPECT_EQ(bertBefore.size, ReadKey(keyB).size);
}

// ---- The Notes runtime is ended on every way through a workflow -------------------------------------

struct RuntimeCase {
    const char *name;
    bool withRecord;  // Anna's record on the Key at the start (else the Key is empty)
    int button;
    std::vector<ConsoleStep> steps;
    const char *passwordAfter;  // the record's password at the end; null: the Key as it was
};

const RuntimeCase kRuntimeCases[] = {
    {"AttachCancelledAtThePassword", false, IDC_CHANGE_ID,
     {FileStep(kChooseId, kIdFile), FileStep(kChooseIni, kIniFile),
      InputStep(kPasswordDialog, kNotesPrompt, "", IDCANCEL)},
     nullptr},
    {"AttachCancelledAfterAWrongPassword", false, IDC_CHANGE_ID,
     {FileStep(kChooseId, kIdFile), FileStep(kChooseIni, kIniFile), InputStep(kPasswordDialog, kNotesPrompt, "wrong"),
      BoxStep(kCaption, "Invalid password is entered"), InputStep(kPasswordDialog, kNotesPrompt, "", IDCANCEL)},
     nullptr},
    {"AttachDone", false, IDC_CHANGE_ID,
     {FileStep(kChooseId, kIdFile), FileStep(kChooseIni, kIniFile), InputStep(kPasswordDialog, kNotesPrompt, kPassword)},
     kPassword},
    {"NotesPasswordChanged", true, IDC_CHANGE_LN_PASSWORD,
     {InputStep(kPasDialog, kNewNotes, "brand-new"), InputStep(kPasDialog, kConfirmNotes, "brand-new"),
      FileStep(kChooseIni, kIniFile)},
     "brand-new"},
};

class RuntimePairing : public CommandTarget, public testing::WithParamInterface<RuntimeCase> {};

TEST_P(RuntimePairing, EveryStartIsEnded)
{
    const RuntimeCase &t = GetParam();
    keyA = ArbolinConsole::MakeKey("Anna", "");
    if (t.withRecord) {
        ASSERT_TRUE(testkit::PutKeyRecord(keyA, anna));
    }
    ASSERT_TRUE(c.StartWithKey(keyA, "Reader A"));
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(t.withRecord ? IDC_SHOW_BT : IDC_CHANGE_ID); }));
    KeyNow before = ReadKey(keyA);
    c.Click(t.button);
    testkit::PlaySteps(c, WithFiles(t.steps));
    if (t.passwordAfter != nullptr) {
        EXPECT_TRUE(WaitUntil([&] { return ReadKey(keyA).record.password == t.passwordAfter; }));
        EXPECT_TRUE(WaitUntil([&] { return c.Enabled(IDC_SHOW_BT); }));
    } else {
        ExpectSame(before, ReadKey(keyA), "the Key");
    }
    ConsoleBox more = c.TakeBoxWith(IDOK, 1000);
    EXPECT_FALSE(more.found) << more.caption << ": " << more.text;
    EXPECT_LE(1, runtime.starts());
    EXPECT_EQ(runtime.starts(), runtime.ends());
}

INSTANTIATE_TEST_SUITE_P(Workflows, RuntimePairing, testing::ValuesIn(kRuntimeCases),
                         [](const testing::TestParamInfo<RuntimeCase> &info) { return std::string(info.param.name); });

}  // namespace
