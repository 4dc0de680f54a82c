// The console's Key commands through its real windows: reading the Notes data of a selected Key,
// Verify PIN, Change PIN, Unblock PIN (button and double click), Change Label, Show, Clear.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arbolin_res.h"
#include "arbolin_window.h"
#include "key_records.h"
#include "virtual_keys.h"
#include "quorel_control.h"

namespace {

using testkit::ArbolinConsole;
using testkit::ConsoleBox;
using testkit::WaitUntil;

const char kReader[] = "Reader A";
const std::string kCaption = ArbolinConsole::kCaption;
const testkit::KeyRecordFields kAnna = {"Anna Berg/Morvath", "secret", "anna.id", std::string(700, 'i')};

class KeyCommands : public testing::Test {
protected:
    // A Key with `pin`, with Anna's record when `withRecord`, and the console started on it.
    int StartOn(const char *pin, bool withRecord)
    {
        int key = ArbolinConsole::MakeKey("Anna", pin);
        EXPECT_NE(0, key);
        if (withRecord) {
            EXPECT_TRUE(testkit::PutKeyRecord(key, kAnna));
        }
        EXPECT_TRUE(c.StartWithKey(key, kReader));
        return key;
    }
    // Waits until the Notes data of Anna's record is shown.
    bool AnnaShown()
    {
        return WaitUntil([&] {
            return !c.Rows().empty() && c.Rows()[0].info == kAnna.user &&
                   testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)) == kAnna.idFileName &&
                   testkit::GetControlText(c.Item(IDC_ID_FILE_LEN)) == "700" && c.Enabled(IDC_SHOW_BT);
        });
    }
    // Types `pin` into PINEdt and presses Verify PIN.
    void VerifyPin(const char *pin)
    {
        ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_PIN_ENTER); }));
        ASSERT_TRUE(testkit::SetControlText(c.Item(IDC_PIN_EDIT), pin));
        c.Click(IDC_PIN_ENTER);
    }
    ArbolinConsole c;
};

// ---- Reading the Notes data of a selected Key -------------------------------------------------------

TEST_F(KeyCommands, ReadyKeyWithDataShowsItAndEnablesTheNotesDataButtons)
{
    StartOn("", true);
    ASSERT_TRUE(AnnaShown());
    for (int id : {IDC_LABEL_BT, IDC_CHANGE_BIO, IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_DETACH_ID, IDC_SHOW_BT,
                   IDC_CHANGE_LN_PASSWORD, IDC_CLEAR_KSD}) {
        EXPECT_TRUE(c.Enabled(id)) << id;
    }
    EXPECT_FALSE(c.Enabled(IDC_PIN_ENTER));
    EXPECT_FALSE(c.Enabled(IDC_UNBLOCK_PIN));
}

TEST_F(KeyCommands, DamagedRecordIsSaidInItsRowAndOffersClearAndChangeIdFile)
{
    int key = ArbolinConsole::MakeKey("Anna", "");
    const char damaged[] = "\x20\x00\x00\x00\xff\x7f" "Anna";  // the user name runs past the data
    ASSERT_TRUE(QsimSetData(key, 225, damaged, sizeof damaged - 1));
    ASSERT_TRUE(c.StartWithKey(key, kReader));
    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(0u, box.text.find("Error reading data from KSD\n\n")) << box.text;
    EXPECT_TRUE(WaitUntil([&] { return c.Rows()[0].info == "[unreadable]"; })) << c.Rows()[0].info;
    // What overwrites the bytes is offered; what needs a record is not.
    EXPECT_TRUE(c.Enabled(IDC_CLEAR_KSD));
    EXPECT_TRUE(c.Enabled(IDC_CHANGE_ID));
    for (int id : {IDC_SHOW_BT, IDC_DETACH_ID, IDC_CHANGE_LN_PASSWORD})
        EXPECT_FALSE(c.Enabled(id)) << id;
    EXPECT_EQ("", testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)));

    c.Click(IDC_CLEAR_KSD);
    testkit::PlaySteps(c, {testkit::BoxStep("Clear all Lotus Notes info", "Are you sure?")});
    EXPECT_TRUE(WaitUntil([&] { return testkit::VirtualKeys::State(key).size225 == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return c.Rows()[0].info == "[none]"; })) << c.Rows()[0].info;
    EXPECT_FALSE(c.Enabled(IDC_CLEAR_KSD));
    EXPECT_TRUE(c.Enabled(IDC_CHANGE_ID));
}

// ---- Verify PIN -----------------------------------------------------------------------------------

struct VerifyCase {
    const char *name;
    const char *keyPin;
    int triesBefore;
    const char *typed;
    const char *box;    // "" for none
    int triesAfter;
    bool read;          // the data is read and the PIN commands enabled
};

const VerifyCase kVerifyCases[] = {
    {"ThreeCharactersAreRefusedBeforeTheKeyIsTouched", "1234", 3, "123", "PIN length need at least 4 symbols", 3, false},
    {"WrongPinWarnsWithTheAttemptsLeft", "1234", 3, "9999",
     "ATTENTION! Bad PIN code was entered!\n\nRemain 2 attempts to enter correct PIN code", 2, false},
    {"WrongPinOnTheLastAttemptBlocksTheKey", "1234", 1, "9999", "Key Storage Device in: Reader A is blocked", 0, false},
    {"FourCharactersReadTheData", "1234", 3, "1234", "", 3, true},
    {"EightCharactersReadTheData", "12345678", 3, "12345678", "", 3, true},
};

class VerifyPinCases : public KeyCommands, public testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyPinCases, Row)
{
    const VerifyCase &t = GetParam();
    int key = StartOn(t.keyPin, true);
    ASSERT_TRUE(QsimSetTries(key, t.triesBefore));
    DWORD reads = QsimCallCount("ReadData");
    VerifyPin(t.typed);
    if (t.box[0] != 0) {
        ConsoleBox box = c.TakeBoxWith();
        EXPECT_EQ(kCaption, box.caption);
        EXPECT_EQ(t.box, box.text);
        // Neither the read that found the PIN refused nor the monitor's next visit adds a box.
        ConsoleBox more = c.TakeBoxWith(IDOK, 1500);
        EXPECT_FALSE(more.found) << more.caption << ": " << more.text;
    }
    EXPECT_EQ(t.triesAfter, testkit::VirtualKeys::State(key).tries);
    // A PIN refused for its length never reaches the Key and stays in the field; one handed
    // over is taken out of it.
    bool handedOver = std::string(t.typed).size() >= 4;
    std::string field = handedOver ? "" : t.typed;
    EXPECT_TRUE(WaitUntil([&] { return testkit::GetControlText(c.Item(IDC_PIN_EDIT)) == field; }))
        << testkit::GetControlText(c.Item(IDC_PIN_EDIT));
    if (!handedOver) {
        EXPECT_EQ(reads, QsimCallCount("ReadData"));
    }
    if (t.read) {
        ASSERT_TRUE(AnnaShown());
        EXPECT_FALSE(c.Enabled(IDC_PIN_ENTER));
        EXPECT_FALSE(c.Enabled(IDC_PIN_EDIT));
        for (int id : {IDC_CHANGE_PIN, IDC_CHANGE_ID, IDC_LABEL_BT, IDC_CHANGE_BIO})
            EXPECT_TRUE(c.Enabled(id)) << id;
    } else if (t.triesAfter > 0) {
        EXPECT_FALSE(c.Enabled(IDC_SHOW_BT));
        EXPECT_FALSE(c.Enabled(IDC_CHANGE_ID));
        ASSERT_EQ(1u, c.Rows().size());
        EXPECT_EQ("[none]", c.Rows()[0].info);
        EXPECT_TRUE(c.Enabled(IDC_PIN_ENTER));
    } else {
        // Blocked: the Key loses its row, and only unblocking is left.
        EXPECT_TRUE(c.WaitRowCount(0));
        EXPECT_TRUE(WaitUntil([&] { return c.Enabled(IDC_UNBLOCK_PIN); }));
        for (int id : {IDC_PIN_ENTER, IDC_LABEL_BT, IDC_CHANGE_BIO, IDC_SHOW_BT, IDC_CHANGE_ID})
            EXPECT_FALSE(c.Enabled(id)) << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Pins, VerifyPinCases, testing::ValuesIn(kVerifyCases),
                         [](const testing::TestParamInfo<VerifyCase> &info) { return std::string(info.param.name); });

// ---- Change PIN -------------------------------------------------------------------------------------

const char kPinDialog[] = "Change PIN Dialog";
const char kNewPin[] = "Enter new PIN code:";
const char kConfirmPin[] = "Confirm new PIN code:";

testkit::ConsoleStep Input(const char *prompt, const char *typed, int button = IDOK)
{
    return testkit::InputStep(kPinDialog, prompt, typed, button);
}

testkit::ConsoleStep Box(const char *text)
{
    return testkit::BoxStep(kCaption, text);
}

struct PinChangeCase {
    const char *name;
    std::vector<testkit::ConsoleStep> steps;
    const char *pinAfter;
};

const PinChangeCase kPinChangeCases[] = {
    {"EmptyRemovesThePinWithoutConfirmation", {Input(kNewPin, ""), Box("PIN is changed successfully!")}, ""},
    {"ShortPinIsRefusedAndAskedAgain",
     {Input(kNewPin, "12"), Box("PIN length need at least 4 symbols"), Input(kNewPin, "5678"),
      Input(kConfirmPin, "5678"), Box("PIN is changed successfully!")},
     "5678"},
    {"MismatchStartsOverFromTheFirstEntry",
     {Input(kNewPin, "5678"), Input(kConfirmPin, "5679"), Box("Confirm PIN not match"), Input(kNewPin, "4321"),
      Input(kConfirmPin, "4321"), Box("PIN is changed successfully!")},
     "4321"},
    {"CancelAtTheConfirmationChangesNothing", {Input(kNewPin, "5678"), Input(kConfirmPin, "", IDCANCEL)}, "1234"},
};

class PinChangeCases : public KeyCommands, public testing::WithParamInterface<PinChangeCase> {};

TEST_P(PinChangeCases, Row)
{
    const PinChangeCase &t = GetParam();
    int key = StartOn("1234", false);
    VerifyPin("1234");
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_CHANGE_PIN); }));
    c.Click(IDC_CHANGE_PIN);
    HWND first = c.WaitInput("Change PIN Dialog");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ("Note: Leave blank to remove PIN code", ArbolinConsole::InputNote(first));
    EXPECT_EQ('X', SendMessageA(GetDlgItem(first, 3202), EM_GETPASSWORDCHAR, 0, 0));
    testkit::PlaySteps(c, t.steps);
    EXPECT_TRUE(WaitUntil([&] { return std::string(testkit::VirtualKeys::State(key).pin) == t.pinAfter; }))
        << testkit::VirtualKeys::State(key).pin;
    EXPECT_EQ(nullptr, c.WaitInput("Change PIN Dialog", 1000));
    // The console goes on with the PIN it holds: the Key's label can still be changed.
    c.Click(IDC_LABEL_BT);
    ASSERT_TRUE(c.AnswerInput("Change Label Dialog", "After"));
    EXPECT_TRUE(WaitUntil([&] { return c.Rows()[0].label == "After"; })) << c.Rows()[0].label;
    EXPECT_EQ(3, testkit::VirtualKeys::State(key).tries);
}

INSTANTIATE_TEST_SUITE_P(Entries, PinChangeCases, testing::ValuesIn(kPinChangeCases),
                         [](const testing::TestParamInfo<PinChangeCase> &info) { return std::string(info.param.name); });

// ---- Unblock PIN -----------------------------------------------------------------------------------

TEST_F(KeyCommands, UnblockCommandsDoNothingBeforeABlockedKeyWasReported)
{
    StartOn("1234", false);
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_PIN_ENTER); }));
    EXPECT_FALSE(c.Enabled(IDC_UNBLOCK_PIN));
    c.DoubleClick();
    EXPECT_EQ(nullptr, c.WaitInput("Unblock PIN Dialog", 1500));
}

struct UnblockCase {
    const char *name;
    bool byDoubleClick;
};

class UnblockCases : public KeyCommands, public testing::WithParamInterface<UnblockCase> {};

TEST_P(UnblockCases, BlockedKeyIsUnblockedWithTheTypedPinAndListedAgain)
{
    int key = ArbolinConsole::MakeKey("Anna", "1234");
    ASSERT_TRUE(QsimBlockKey(key, 1));
    ASSERT_TRUE(ArbolinConsole::Insert(key, kReader));
    ASSERT_TRUE(c.Start());
    ASSERT_NE(nullptr, c.WaitMain());
    ConsoleBox blocked = c.TakeBoxWith();
    EXPECT_EQ("Key Storage Device in: Reader A is blocked", blocked.text);
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_UNBLOCK_PIN); }));
    EXPECT_TRUE(c.Rows().empty());

    if (GetParam().byDoubleClick)
        c.DoubleClick();
    else
        c.Click(IDC_UNBLOCK_PIN);
    HWND dialog = c.WaitInput("Unblock PIN Dialog");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Enter right PIN:", ArbolinConsole::InputPrompt(dialog));
    EXPECT_EQ("Note: Only 3 attempts are available", ArbolinConsole::InputNote(dialog));
    ASSERT_TRUE(ArbolinConsole::AnswerInput(dialog, "4321"));
    ASSERT_TRUE(c.WaitRowCount(1));  // taken up again with the new PIN
    EXPECT_EQ("Anna", c.Rows()[0].label);
    QsimKeyState state = testkit::VirtualKeys::State(key);
    EXPECT_STREQ("4321", state.pin);
    EXPECT_EQ(3, state.tries);
    // Only the button disables itself.
    EXPECT_EQ(GetParam().byDoubleClick, c.Enabled(IDC_UNBLOCK_PIN));
}

const UnblockCase kUnblockCases[] = {{"ByTheButton", false}, {"ByADoubleClick", true}};

INSTANTIATE_TEST_SUITE_P(Ways, UnblockCases, testing::ValuesIn(kUnblockCases),
                         [](const testing::TestParamInfo<UnblockCase> &info) { return std::string(info.param.name); });

// ---- Change Label ----------------------------------------------------------------------------------

struct LabelCase {
    const char *name;
    const char *typed;
    int button;
    const char *keyLabel;   // what the Key holds afterwards
    bool rowShowsCardId;
};

const LabelCase kLabelCases[] = {
    {"NewLabelIsListed", "Office Key", IDOK, "Office Key", false},
    {"LabelIsCutTo31Characters", "A label of more than thirty-one characters", IDOK,
     "A label of more than thirty-one", false},
    {"EmptyLabelShowsTheCardId", "", IDOK, "", true},
    {"CancelKeepsTheLabel", "Other", IDCANCEL, "Anna", false},
};

class LabelCases : public KeyCommands, public testing::WithParamInterface<LabelCase> {};

TEST_P(LabelCases, Row)
{
    const LabelCase &t = GetParam();
    int key = StartOn("", false);
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_LABEL_BT); }));
    c.Click(IDC_LABEL_BT);
    HWND dialog = c.WaitInput("Change Label Dialog");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Enter new Label:", ArbolinConsole::InputPrompt(dialog));
    EXPECT_EQ("Note: Leave blank to remove Label", ArbolinConsole::InputNote(dialog));
    EXPECT_EQ(0, SendMessageA(GetDlgItem(dialog, 3202), EM_GETPASSWORDCHAR, 0, 0));  // shown as typed
    ASSERT_TRUE(ArbolinConsole::AnswerInput(dialog, t.typed, t.button));
    std::string expected = t.rowShowsCardId ? ArbolinConsole::CardIdText(key) : std::string(t.keyLabel);
    EXPECT_TRUE(WaitUntil([&] { return c.Rows()[0].label == expected; })) << c.Rows()[0].label;
    EXPECT_STREQ(t.keyLabel, testkit::VirtualKeys::State(key).label);
    // The next use of the dialog masks its input again.
    c.Click(IDC_CHANGE_PIN);
    HWND pin = c.WaitInput("Change PIN Dialog");
    ASSERT_NE(nullptr, pin);
    EXPECT_EQ('X', SendMessageA(GetDlgItem(pin, 3202), EM_GETPASSWORDCHAR, 0, 0));
    ASSERT_TRUE(ArbolinConsole::AnswerInput(pin, "", IDCANCEL));
}

INSTANTIATE_TEST_SUITE_P(Labels, LabelCases, testing::ValuesIn(kLabelCases),
                         [](const testing::TestParamInfo<LabelCase> &info) { return std::string(info.param.name); });

// ---- Change BIO ID ----------------------------------------------------------------------------------

TEST_F(KeyCommands, ChangeBioIdRunsTheEnrolmentUnderItsTitleAndEndsSilently)
{
    int key = StartOn("", true);
    ASSERT_TRUE(AnnaShown());
    // No Braxial.dll beside this console: the enrolment says so under the command's title.
    c.Click(IDC_CHANGE_BIO);
    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ("Morvath Sentrio (Change BIO ID)", box.caption);
    EXPECT_EQ("An error occurred while loading braxial.dll!", box.text);
    EXPECT_FALSE(c.TakeBoxWith(IDOK, 1000).found);  // the console adds nothing of its own
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size227);
    EXPECT_TRUE(c.Enabled(IDC_CHANGE_BIO));
}

// ---- Show and Clear ---------------------------------------------------------------------------------

TEST_F(KeyCommands, ShowAsksFirstThenShowsThePasswordOfTheKey)
{
    StartOn("", true);
    ASSERT_TRUE(AnnaShown());
    c.Click(IDC_SHOW_BT);
    ConsoleBox ask = c.TakeBoxWith(IDCANCEL);
    EXPECT_EQ("Show current Notes password", ask.caption);
    EXPECT_EQ("The password will be shown in open form.\n\nAre you sure?", ask.text);
    EXPECT_EQ(nullptr, c.WaitBox(1000));  // cancelled: nothing shown
    c.Click(IDC_SHOW_BT);
    EXPECT_EQ("The password will be shown in open form.\n\nAre you sure?", c.TakeBoxWith(IDOK).text);
    ConsoleBox shown = c.TakeBoxWith();
    EXPECT_EQ("Show current Notes password", shown.caption);
    EXPECT_EQ("Current Notes password:\n\n secret\n", shown.text);
}

TEST_F(KeyCommands, ClearAsksFirstThenDeletesTheRecordAndDisablesTheNotesDataButtons)
{
    int key = StartOn("", true);
    ASSERT_TRUE(AnnaShown());
    c.Click(IDC_CLEAR_KSD);
    ConsoleBox ask = c.TakeBoxWith(IDCANCEL);
    EXPECT_EQ("Clear all Lotus Notes info", ask.caption);
    EXPECT_EQ("Are you sure?", ask.text);
    EXPECT_EQ(kAnna.user, testkit::GetKeyRecord(key).user);  // cancelled: the record stays

    c.Click(IDC_CLEAR_KSD);
    c.TakeBoxWith(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return c.Rows()[0].info == "[none]"; }));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
    for (int id : {IDC_DETACH_ID, IDC_SHOW_BT, IDC_CHANGE_LN_PASSWORD, IDC_CLEAR_KSD})
        EXPECT_FALSE(c.Enabled(id)) << id;
    EXPECT_EQ("", testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)));
    EXPECT_EQ("", testkit::GetControlText(c.Item(IDC_ID_FILE_LEN)));
    EXPECT_TRUE(c.Enabled(IDC_CHANGE_ID));
}

// A command that cannot even open the Key afresh (its reader's card closed with an error) gets
// no reason from the Key layer: the failure is said all the same, and nothing changed.
struct UnopenedCase {
    const char *name;
    int button;
    std::vector<testkit::ConsoleStep> steps;  // before the Key is visited
    const char *box;
};

const UnopenedCase kUnopenedCases[] = {
    {"Clear", IDC_CLEAR_KSD, {}, "Error deleting data from KSD"},
    {"PinChange", IDC_CHANGE_PIN, {Input(kNewPin, "5678"), Input(kConfirmPin, "5678")}, "Error changing PIN for KSD"},
};

class UnopenedKeyCases : public KeyCommands, public testing::WithParamInterface<UnopenedCase> {};

TEST_P(UnopenedKeyCases, FailureIsReportedAndNothingChanges)
{
    const UnopenedCase &t = GetParam();
    int key = StartOn("", true);
    ASSERT_TRUE(AnnaShown());
    c.Click(t.button);
    if (t.button == IDC_CLEAR_KSD) {
        HWND ask = c.WaitBox();
        ASSERT_NE(nullptr, ask);
        ASSERT_TRUE(QsimFailNextEx("CloseCard", ERROR_IO_DEVICE, 0, 1));
        ArbolinConsole::AnswerBox(ask, IDOK);
    } else {
        ASSERT_TRUE(QsimFailNextEx("CloseCard", ERROR_IO_DEVICE, 0, 1));
        testkit::PlaySteps(c, t.steps);
    }
    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(t.box, box.text);
    EXPECT_EQ(kAnna.user, testkit::GetKeyRecord(key).user);
    EXPECT_STREQ("", testkit::VirtualKeys::State(key).pin);
    EXPECT_TRUE(c.Enabled(IDC_SHOW_BT));
}

INSTANTIATE_TEST_SUITE_P(Commands, UnopenedKeyCases, testing::ValuesIn(kUnopenedCases),
                         [](const testing::TestParamInfo<UnopenedCase> &info) { return std::string(info.param.name); });

}  // namespace
