// The console's core without a window: the input rules, the Key commands against virtual Keys
// (each bound to the Key it was started for), the read's outcomes, and the Notes workflows
// (attach and the Notes password) against the Notes stand-in in this process.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console_core.h"
#include "key_records.h"
#include "notes_control.h"
#include "notes_workflows.h"
#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "text_ids.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

using testkit::KeyRecordFields;

const char kKeyNotFound[] = "Key Storage Device not found or not formatted for Sentrio";
const char kUser[] = "Anna Berg/Morvath";
const char kPassword[] = "secret";

// ---- Rules ----------------------------------------------------------------------------------------

struct RuleCase {
    const char *name;
    std::function<UINT()> rule;
    UINT expected;
};

const RuleCase kRules[] = {
    {"VerifyThreeCharacters", [] { return VerifyPinRefusal("123"); }, IDS_PIN_TOO_SHORT},
    {"VerifyEmpty", [] { return VerifyPinRefusal(""); }, IDS_PIN_TOO_SHORT},
    {"VerifyFourCharacters", [] { return VerifyPinRefusal("1234"); }, 0},
    {"NewPinEmptyRemovesIt", [] { return NewPinRefusal(""); }, 0},
    {"NewPinOneCharacter", [] { return NewPinRefusal("1"); }, IDS_PIN_TOO_SHORT},
    {"NewPinThreeCharacters", [] { return NewPinRefusal("123"); }, IDS_PIN_TOO_SHORT},
    {"NewPinFourCharacters", [] { return NewPinRefusal("1234"); }, 0},
    {"PasswordEmpty", [] { return NewNotesPasswordRefusal("", "", "old"); }, IDS_PASSWORD_EMPTY},
    {"PasswordNotConfirmed", [] { return NewNotesPasswordRefusal("new", "New", "old"); }, IDS_PASSWORDS_NOT_EQUAL},
    {"PasswordAlreadyOnTheKey", [] { return NewNotesPasswordRefusal("old", "old", "old"); }, IDS_PASSWORD_IN_USE},
    {"PasswordNew", [] { return NewNotesPasswordRefusal("new", "new", "old"); }, 0},
    {"PasswordFirstOnTheKey", [] { return NewNotesPasswordRefusal("new", "new", ""); }, 0},
};

class Rules : public testing::TestWithParam<RuleCase> {};

TEST_P(Rules, Row)
{
    EXPECT_EQ(GetParam().expected, GetParam().rule());
}

INSTANTIATE_TEST_SUITE_P(Inputs, Rules, testing::ValuesIn(kRules),
                         [](const testing::TestParamInfo<RuleCase> &info) { return std::string(info.param.name); });

// ---- Key commands ---------------------------------------------------------------------------------

class Core : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
        anna = keys.InsertNewKey("Reader A", "Anna", "");
        bert = keys.InsertNewKey("Reader B", "Bert", "");
        ASSERT_NE(0, anna);
        ASSERT_NE(0, bert);
        ASSERT_TRUE(testkit::PutKeyRecord(bert, {"Bert Brun/Morvath", "bert-pw", "bert.id", std::string(300, 'b')}));
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", ""));
        ASSERT_TRUE(key.WaitFor("inserted Reader B"));
        core.onBusy = [this](bool busy) { busyCalls.push_back(busy); };
    }
    // Pulls Anna's Key and waits until the layer has seen it go (and, with `replacement`, another
    // Key come into its reader).
    void PullAnna(bool replace)
    {
        ASSERT_TRUE(QsimPullKey(anna));
        ASSERT_TRUE(key.WaitFor("removed Reader A"));
        if (replace) {
            int carl = QsimCreateKey("Anna", "");  // the same label, another card
            ASSERT_TRUE(QsimInsertKey(carl, "Reader A"));
            ASSERT_TRUE(key.WaitFor("inserted Reader A", 5000, 2));
        }
    }
    testkit::VirtualKeys keys;
    RecordingKey key;
    ConsoleCore core{key};
    std::vector<bool> busyCalls;
    int anna = 0, bert = 0;
};

// One command of the core on a target, as a table row: its call and whether it needs Anna's Key
// to be in its reader to do its work.
struct CommandCase {
    const char *name;
    std::function<CoreResult(ConsoleCore &, KeyTarget &)> run;
};

const CommandCase kCommands[] = {
    {"GivePin", [](ConsoleCore &c, KeyTarget &t) { return c.GivePin(t, "1234"); }},
    {"ChangePin", [](ConsoleCore &c, KeyTarget &t) { return c.ChangePin(t, "5678"); }},
    {"Unblock", [](ConsoleCore &c, KeyTarget &t) { return c.Unblock(t, "5678"); }},
    {"ChangeLabel",
     [](ConsoleCore &c, KeyTarget &t) {
         std::string shown;
         return c.ChangeLabel(&t, "Office", &shown);
     }},
    {"ClearNotesData", [](ConsoleCore &c, KeyTarget &t) { return c.ClearNotesData(t); }},
    {"GeneratePassword",
     [](ConsoleCore &c, KeyTarget &t) {
         std::string password;
         return c.GeneratePassword(t, &password);
     }},
    {"WriteNotesRecord",
     [](ConsoleCore &c, KeyTarget &t) {
         return c.WriteNotesRecord(t, kUser, kPassword, "anna.id", std::vector<BYTE>(100, 'a'));
     }},
    {"ChangeBio", [](ConsoleCore &c, KeyTarget &t) { return c.ChangeBio(t, nullptr, nullptr, "Enrol"); }},
};

struct GoneCase {
    const char *name;
    bool pull, replace, emptyTarget;
};

const GoneCase kGone[] = {
    {"Pulled", true, false, false},
    {"Replaced", true, true, false},
    {"NoKeySelected", false, false, true},
};

class CommandOnAGoneKey : public Core, public testing::WithParamInterface<std::tuple<CommandCase, GoneCase>> {};

TEST_P(CommandOnAGoneKey, FailsWithKeyNotFoundAndTouchesNoKey)
{
    const CommandCase &command = std::get<0>(GetParam());
    const GoneCase &gone = std::get<1>(GetParam());
    KeyTarget target = core.Target(gone.emptyTarget ? "" : "Reader A");
    EXPECT_EQ(gone.emptyTarget, target.empty());
    if (gone.pull)
        PullAnna(gone.replace);
    std::string bertBefore = testkit::VirtualKeys::Data(bert);
    QsimKeyState bertState = testkit::VirtualKeys::State(bert);
    DWORD opens = QsimCallCount("VerifyPIN") + QsimCallCount("WriteData") + QsimCallCount("ChangePIN") +
                  QsimCallCount("WriteLabel") + QsimCallCount("GetRandom") + QsimCallCount("DeleteData");
    CoreResult result = command.run(core, target);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(kKeyNotFound, result.message);
    EXPECT_EQ(opens, QsimCallCount("VerifyPIN") + QsimCallCount("WriteData") + QsimCallCount("ChangePIN") +
                         QsimCallCount("WriteLabel") + QsimCallCount("GetRandom") + QsimCallCount("DeleteData"));
    EXPECT_EQ(bertBefore, testkit::VirtualKeys::Data(bert));
    QsimKeyState bertAfter = testkit::VirtualKeys::State(bert);
    EXPECT_STREQ(bertState.label, bertAfter.label);
    EXPECT_STREQ(bertState.pin, bertAfter.pin);
    EXPECT_TRUE(busyCalls.empty());  // no wait window for a command that touched nothing
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandOnAGoneKey, testing::Combine(testing::ValuesIn(kCommands), testing::ValuesIn(kGone)),
                         [](const testing::TestParamInfo<std::tuple<CommandCase, GoneCase>> &info) {
                             return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

struct DoneCase {
    const char *name;
    std::function<CoreResult(ConsoleCore &, KeyTarget &, std::string *)> run;
    std::function<std::string(int key, const std::string &out)> check;  // "" when the Key shows the work
};

const DoneCase kDone[] = {
    {"ChangePinSetsIt", [](ConsoleCore &c, KeyTarget &t, std::string *) { return c.ChangePin(t, "5678"); },
     [](int key, const std::string &) {
         return std::string(testkit::VirtualKeys::State(key).pin) == "5678" ? "" : "pin not changed";
     }},
    {"ChangeLabelSetsItAndShowsIt",
     [](ConsoleCore &c, KeyTarget &t, std::string *out) { return c.ChangeLabel(&t, "Office Key", out); },
     [](int key, const std::string &out) {
         return std::string(testkit::VirtualKeys::State(key).label) == "Office Key" && out == "Office Key"
                    ? ""
                    : "label " + out;
     }},
    {"EmptyLabelShowsTheCardId",
     [](ConsoleCore &c, KeyTarget &t, std::string *out) { return c.ChangeLabel(&t, "", out); },
     [](int key, const std::string &out) {
         QsimKeyState s = testkit::VirtualKeys::State(key);
         char id[17];
         for (int i = 0; i < 8; ++i)
             std::snprintf(id + 2 * i, 3, "%02X", s.cardId[i]);
         return s.label[0] == 0 && out == id ? "" : "shown " + out;
     }},
    {"GeneratedPasswordIs64Base64Characters",
     [](ConsoleCore &c, KeyTarget &t, std::string *out) { return c.GeneratePassword(t, out); },
     [](int, const std::string &out) {
         return out.size() == 64 &&
                        out.find_first_not_of(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") == std::string::npos
                    ? ""
                    : "generated " + out;
     }},
    {"WriteThenClear",
     [](ConsoleCore &c, KeyTarget &t, std::string *) {
         CoreResult w = c.WriteNotesRecord(t, kUser, kPassword, "anna.id", std::vector<BYTE>(100, 'a'));
         return w.ok ? c.ClearNotesData(t) : w;
     },
     [](int key, const std::string &) {
         return testkit::VirtualKeys::State(key).size225 == 0 ? "" : "record left";
     }},
    {"WriteStoresTheRecord",
     [](ConsoleCore &c, KeyTarget &t, std::string *) {
         return c.WriteNotesRecord(t, kUser, kPassword, "anna.id", std::vector<BYTE>(100, 'a'));
     },
     [](int key, const std::string &) {
         KeyRecordFields r = testkit::GetKeyRecord(key);
         return r.found && r.user == kUser && r.password == kPassword && r.idFile == std::string(100, 'a')
                    ? ""
                    : "record " + r.user;
     }},
};

class CommandDone : public Core, public testing::WithParamInterface<DoneCase> {};

TEST_P(CommandDone, OnTheTargetsKeyOnly)
{
    KeyTarget target = core.Target("Reader A");
    std::string bertBefore = testkit::VirtualKeys::Data(bert);
    std::string out;
    CoreResult result = GetParam().run(core, target, &out);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ("", GetParam().check(anna, out));
    EXPECT_EQ(bertBefore, testkit::VirtualKeys::Data(bert));
    EXPECT_STREQ("Bert", testkit::VirtualKeys::State(bert).label);
    ASSERT_FALSE(busyCalls.empty());
    EXPECT_FALSE(busyCalls.back());  // the wait window is hidden again
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandDone, testing::ValuesIn(kDone),
                         [](const testing::TestParamInfo<DoneCase> &info) { return std::string(info.param.name); });

TEST_F(Core, RecordThatNoKeyCouldHoldIsRefusedBeforeTheKeyIsTouched)
{
    KeyTarget target = core.Target("Reader A");
    DWORD writes = QsimCallCount("WriteData");
    CoreResult result = core.WriteNotesRecord(target, kUser, kPassword, "anna.id", std::vector<BYTE>(70000, 'a'));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(0u, result.message.find("The ID file anna.id cannot be stored on the Key")) << result.message;
    EXPECT_EQ(writes, QsimCallCount("WriteData"));
}

// ---- Reading ----------------------------------------------------------------------------------------

struct ReadCase {
    const char *name;
    std::string data;  // what Anna's Key holds in its area 225
    ReadOutcome outcome;
    const char *message;  // the start of the message
};

const ReadCase kReads[] = {
    {"Empty", "", ReadOutcome::kEmpty, ""},
    {"Damaged", std::string("\x20\x00\x00\x00\xff\x7f" "Anna", 10), ReadOutcome::kUnreadable,
     "Error reading data from KSD\n\n"},
};

class Reads : public Core, public testing::WithParamInterface<ReadCase> {};

TEST_P(Reads, Outcome)
{
    const ReadCase &t = GetParam();
    if (!t.data.empty()) {
        ASSERT_TRUE(QsimSetData(anna, 225, t.data.data(), static_cast<DWORD>(t.data.size())));
    }
    ReadResult read = core.ReadNotesData(core.Target("Reader A"), nullptr, nullptr);
    EXPECT_EQ(t.outcome, read.outcome);
    EXPECT_EQ(0u, read.message.find(t.message)) << read.message;
    EXPECT_TRUE(read.data.userName.empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, Reads, testing::ValuesIn(kReads),
                         [](const testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.name); });

TEST_F(Core, ReadGivesTheRecordsFields)
{
    ASSERT_TRUE(testkit::PutKeyRecord(anna, {kUser, kPassword, "anna.id", std::string(500, 'i')}));
    ReadResult read = core.ReadNotesData(core.Target("Reader A"), nullptr, nullptr);
    ASSERT_EQ(ReadOutcome::kRead, read.outcome) << read.message;
    EXPECT_EQ(kUser, read.data.userName);
    EXPECT_EQ(kPassword, read.data.password);
    EXPECT_EQ("anna.id", read.data.idFileName);
    EXPECT_EQ(std::vector<BYTE>(500, 'i'), read.data.idFile);
}

TEST_F(Core, ReadOfAPulledKeyIsKeyNotFound)
{
    KeyTarget target = core.Target("Reader A");
    PullAnna(false);
    ReadResult read = core.ReadNotesData(target, nullptr, nullptr);
    EXPECT_EQ(ReadOutcome::kGone, read.outcome);
    EXPECT_EQ(kKeyNotFound, read.message);
}

// ---- The Notes workflows --------------------------------------------------------------------------

class Workflows : public Core {
protected:
    void SetUp() override
    {
        Core::SetUp();
        NsimReset();
        idFile = files.file("anna.id");
        ASSERT_EQ(NOERROR, NsimCreateIdFile(idFile.c_str(), kUser, kPassword));
        ASSERT_EQ(NOERROR, NsimCreateIdFile(files.file("admin.id").c_str(), "Admin/Morvath", "admin-pw"));
        ini = files.file("notes.ini");
        WriteIni(ini, "admin.id");
    }
    void TearDown() override { NsimReset(); }
    void WriteIni(const std::string &path, const std::string &keyFileName)
    {
        std::string text = "[Notes]\r\nDirectory=" + files.path() + "\r\n";
        if (!keyFileName.empty())
            text += "KeyFileName=" + keyFileName + "\r\n";
        ASSERT_TRUE(testkit::WriteFileBytes(path, text));
    }
    static bool RuntimeRunning()
    {
        NSIM_STATE state = {};
        NsimGetState(&state);
        return state.szIniPath[0] != 0;
    }
    testkit::TempDir files;
    std::string idFile, ini;
};

// Where an attach stops, and what it leaves: every stop ends the Notes runtime.
struct AttachCase {
    const char *name;
    const char *iniKeyFile;     // KeyFileName of notes.ini ("" names no user)
    bool olderBackup;           // a backup from an earlier attach beside it
    std::vector<const char *> passwords;  // tried in order
    IdFileAttach::Start start;
    bool written;
};

const AttachCase kAttaches[] = {
    {"RightPassword", "admin.id", false, {kPassword}, IdFileAttach::Start::kReady, true},
    {"WrongThenRightPassword", "admin.id", false, {"wrong", kPassword}, IdFileAttach::Start::kReady, true},
    {"WrongPasswordOnly", "admin.id", false, {"wrong"}, IdFileAttach::Start::kReady, false},
    {"CancelledAtThePassword", "admin.id", false, {}, IdFileAttach::Start::kReady, false},
    {"NoUserNoBackup", "", false, {}, IdFileAttach::Start::kFailed, false},
    {"NoUserBackupNotRestored", "", true, {}, IdFileAttach::Start::kAskRestore, false},
};

class Attaches : public Workflows, public testing::WithParamInterface<AttachCase> {};

TEST_P(Attaches, StopAndRuntime)
{
    const AttachCase &t = GetParam();
    WriteIni(ini, t.iniKeyFile);
    if (t.olderBackup)
        WriteIni(ini + ".bak", "admin.id");
    std::string iniBefore = testkit::ReadFileBytes(ini);
    HeldNotesData held;
    bool written = false;
    {
        IdFileAttach attach(core, core.Target("Reader A"), idFile);
        ASSERT_TRUE(attach.CheckIdFile().ok);
        std::string text;
        IdFileAttach::Start start = attach.StartNotes(ini, &text);
        EXPECT_EQ(t.start, start) << text;
        if (start == IdFileAttach::Start::kAskRestore) {
            EXPECT_NE(std::string::npos, text.find(ini + ".bak of ")) << text;
        }
        bool accepted = false;
        for (const char *password : t.passwords)
            accepted = attach.TryPassword(password);
        if (accepted)
            written = attach.Write(&held).ok;
    }
    EXPECT_FALSE(RuntimeRunning());
    EXPECT_EQ(t.written, written);
    EXPECT_EQ(t.written, testkit::GetKeyRecord(anna).found);
    if (t.written) {
        EXPECT_EQ(kUser, held.userName);
        EXPECT_EQ(kPassword, held.password);
        EXPECT_EQ("anna.id", held.idFileName);
        EXPECT_EQ(testkit::ReadFileBytes(idFile).size(), held.idFile.size());
    }
    EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini));  // KeyFileName stays, nothing copied back
}

INSTANTIATE_TEST_SUITE_P(Stops, Attaches, testing::ValuesIn(kAttaches),
                         [](const testing::TestParamInfo<AttachCase> &info) { return std::string(info.param.name); });

TEST_F(Workflows, RestoredBackupGivesTheUserBack)
{
    WriteIni(ini, "");
    WriteIni(ini + ".bak", "admin.id");
    std::string backup = testkit::ReadFileBytes(ini + ".bak");
    IdFileAttach attach(core, core.Target("Reader A"), idFile);
    std::string text;
    ASSERT_EQ(IdFileAttach::Start::kAskRestore, attach.StartNotes(ini, &text));
    ASSERT_TRUE(attach.RestoreBackup().ok);
    EXPECT_EQ(backup, testkit::ReadFileBytes(ini));
    EXPECT_EQ("Admin/Morvath", attach.userName());
    EXPECT_TRUE(RuntimeRunning());
}

TEST_F(Workflows, IdFileThatIsNotThereIsRefusedFirst)
{
    IdFileAttach attach(core, core.Target("Reader A"), files.file("missing.id"));
    CoreResult checked = attach.CheckIdFile();
    EXPECT_FALSE(checked.ok);
    EXPECT_EQ("Error ID file opening", checked.message);
}

TEST_F(Workflows, AttachToAKeyPulledAfterThePasswordWritesNothing)
{
    IdFileAttach attach(core, core.Target("Reader A"), idFile);
    std::string text;
    ASSERT_EQ(IdFileAttach::Start::kReady, attach.StartNotes(ini, &text));
    ASSERT_TRUE(attach.TryPassword(kPassword));
    PullAnna(true);
    HeldNotesData held;
    CoreResult written = attach.Write(&held);
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(kKeyNotFound, written.message);
    EXPECT_FALSE(RuntimeRunning());
    EXPECT_TRUE(held.userName.empty());
}

TEST_F(Workflows, NotesPasswordChangeReencryptsTheIdFileOnTheKey)
{
    KeyTarget target = core.Target("Reader A");
    HeldNotesData held;
    held.userName = kUser;
    held.password = kPassword;
    held.idFileName = "anna.id";
    std::string bytes = testkit::ReadFileBytes(idFile);
    held.idFile.assign(bytes.begin(), bytes.end());
    ASSERT_TRUE(core.WriteNotesRecord(target, held.userName, held.password, held.idFileName, held.idFile).ok);
    CoreResult changed = NotesPasswordChange(core, target).Run(ini, "brand-new", &held);
    ASSERT_TRUE(changed.ok) << changed.message;
    EXPECT_FALSE(RuntimeRunning());
    KeyRecordFields now = testkit::GetKeyRecord(anna);
    EXPECT_EQ("brand-new", now.password);
    EXPECT_EQ("brand-new", held.password);
    EXPECT_EQ(now.idFile, std::string(held.idFile.begin(), held.idFile.end()));
    std::string check = files.file("check.id");
    ASSERT_TRUE(testkit::WriteFileBytes(check, now.idFile));
    EXPECT_EQ(NOERROR, NsimCheckIdPassword(check.c_str(), "brand-new"));
}

TEST_F(Workflows, NotesPasswordChangeTheIdRefusesEndsTheRuntimeAndKeepsTheKey)
{
    KeyTarget target = core.Target("Reader A");
    HeldNotesData held;
    held.userName = kUser;
    held.password = "not-the-ids";  // the ID file does not open with it
    held.idFileName = "anna.id";
    std::string bytes = testkit::ReadFileBytes(idFile);
    held.idFile.assign(bytes.begin(), bytes.end());
    ASSERT_TRUE(core.WriteNotesRecord(target, held.userName, held.password, held.idFileName, held.idFile).ok);
    CoreResult changed = NotesPasswordChange(core, target).Run(ini, "brand-new", &held);
    EXPECT_FALSE(changed.ok);
    EXPECT_EQ(0u, changed.message.find("Error password changing\n")) << changed.message;
    EXPECT_FALSE(RuntimeRunning());
    EXPECT_EQ("not-the-ids", testkit::GetKeyRecord(anna).password);
    EXPECT_EQ("not-the-ids", held.password);
}

}  // namespace
