// The console's Notes data commands through its real windows: attaching an ID file (file
// dialogs, the notes.ini backup, the password loop, the record's limits and the Key's space),
// detaching it, and changing the Notes password of the ID file on the Key.
#include <gtest/gtest.h>

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
using testkit::FileStep;
using testkit::InputStep;
using testkit::KeyRecordFields;
using testkit::WaitUntil;

const char kReader[] = "Reader A";
const std::string kCaption = ArbolinConsole::kCaption;
const char kUser[] = "Anna Berg/Morvath";
const char kPassword[] = "secret";
const char kChooseId[] = "Change ID file - Select ID file";
const char kChooseIni[] = "Initialize Notes - Select \"notes.ini\"";
const char kPasswordDialog[] = "Get Password Dialog";
const char kNotesPrompt[] = "Enter Lotus Notes password:";

class NotesCommands : public testing::Test {
protected:
    // A new ID file of the Notes stand-in in the test's folder; its path.
    std::string MakeId(const std::string &name, const std::string &user, const std::string &password)
    {
        std::string path = files.file(name);
        EXPECT_EQ(NOERROR, NsimCreateIdFile(path.c_str(), user.c_str(), password.c_str()));
        return path;
    }
    // A notes.ini naming `keyFileName` (none when empty) in the test's folder, with `extra` lines.
    std::string MakeIni(const std::string &name, const std::string &keyFileName, const std::string &extra = "")
    {
        std::string text = "[Notes]\r\nDirectory=" + files.path() + "\r\n";
        if (!keyFileName.empty())
            text += "KeyFileName=" + keyFileName + "\r\n";
        text += extra;
        std::string path = files.file(name);
        EXPECT_TRUE(testkit::WriteFileBytes(path, text));
        return path;
    }
    // Starts the console on a new ready Key (with `record` on it when given).
    int Start(const KeyRecordFields *record = nullptr)
    {
        int key = ArbolinConsole::MakeKey("Anna", "");
        EXPECT_NE(0, key);
        if (record != nullptr) {
            EXPECT_TRUE(testkit::PutKeyRecord(key, *record));
        }
        EXPECT_TRUE(c.StartWithKey(key, kReader));
        EXPECT_TRUE(WaitUntil([&] { return c.Enabled(IDC_CHANGE_ID); }));
        if (record != nullptr) {
            EXPECT_TRUE(WaitUntil([&] { return c.Enabled(IDC_SHOW_BT); }));
        }
        return key;
    }
    // Presses "Change ID file" and answers both file dialogs.
    void BeginAttach(const std::string &id, const std::string &ini)
    {
        c.Click(IDC_CHANGE_ID);
        testkit::PlaySteps(c, {FileStep(kChooseId, id), FileStep(kChooseIni, ini)});
    }
    bool Shows(const std::string &user, const std::string &idFileName, std::size_t length)
    {
        return WaitUntil([&] {
            return c.Rows()[0].info == user && testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)) == idFileName &&
                   testkit::GetControlText(c.Item(IDC_ID_FILE_LEN)) == std::to_string(length) &&
                   c.Enabled(IDC_SHOW_BT) && c.Enabled(IDC_DETACH_ID) && c.Enabled(IDC_CHANGE_LN_PASSWORD) &&
                   c.Enabled(IDC_CLEAR_KSD);
        });
    }
    // The password the console holds, as Show shows it.
    std::string ShownPassword()
    {
        c.Click(IDC_SHOW_BT);
        c.TakeBoxWith(IDOK);
        std::string text = c.TakeBoxWith().text;
        const std::string head = "Current Notes password:\n\n ";
        return text.compare(0, head.size(), head) == 0 ? text.substr(head.size(), text.size() - head.size() - 1) : text;
    }
    // Whether `password` opens the ID file bytes `id`.
    bool Opens(const std::string &id, const std::string &password)
    {
        std::string path = files.file("check.id");
        return testkit::WriteFileBytes(path, id) && NsimCheckIdPassword(path.c_str(), password.c_str()) == NOERROR;
    }
    ArbolinConsole c;
    testkit::TempDir files;
};

// ---- Attaching ----------------------------------------------------------------------------------

TEST_F(NotesCommands, WrongPasswordIsNeverWrittenAndAskedAgainThenTheRightOneIsStored)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "anna.id");
    std::string iniBefore = testkit::ReadFileBytes(ini);
    int key = Start();
    BeginAttach(id, ini);
    for (const char *typed : {"wrong", "Secret"}) {
        HWND dialog = c.WaitInput(kPasswordDialog);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(kNotesPrompt, ArbolinConsole::InputPrompt(dialog));
        EXPECT_EQ("for: " + id, ArbolinConsole::InputNote(dialog));
        ASSERT_TRUE(ArbolinConsole::AnswerInput(dialog, typed));
        testkit::PlaySteps(c, {BoxStep(kCaption, "Invalid password is entered")});
        EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225) << typed;
    }
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kPassword)});
    std::string bytes = testkit::ReadFileBytes(id);
    ASSERT_TRUE(Shows(kUser, "anna.id", bytes.size()));
    KeyRecordFields stored = testkit::GetKeyRecord(key);
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(kUser, stored.user);
    EXPECT_EQ(kPassword, stored.password);
    EXPECT_EQ("anna.id", stored.idFileName);  // never a directory
    EXPECT_EQ(bytes, stored.idFile);
    EXPECT_EQ(kPassword, ShownPassword());
    // The backup keeps notes.ini as it was before Notes ran on it.
    EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini + ".bak"));
}

TEST_F(NotesCommands, IniWithoutUserAndNoBackupIsReportedAndNothingElseHappens)
{
    MakeId("anna.id", kUser, kPassword);
    std::string id = files.file("anna.id");
    std::string ini = MakeIni("notes.ini", "");
    std::string iniBefore = testkit::ReadFileBytes(ini);
    int key = Start();
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {BoxStep(kCaption, "Lotus Notes Initialization error: \nLotus Notes User name:  unknown")});
    EXPECT_EQ(nullptr, c.WaitInput(kPasswordDialog, 1500));
    EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
    EXPECT_FALSE(c.Enabled(IDC_SHOW_BT));
}

// Gives the file at `path` the local time 2024-03-05 10:20 as its last write.
bool DateFile(const std::string &path)
{
    SYSTEMTIME when = {};
    when.wYear = 2024;
    when.wMonth = 3;
    when.wDay = 5;
    when.wHour = 10;
    when.wMinute = 20;
    FILETIME local = {}, utc = {};
    if (!SystemTimeToFileTime(&when, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool set = SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
    CloseHandle(file);
    return set;
}

struct RestoreCase {
    const char *name;
    int answer;  // to the question whether the backup is copied back
};

const RestoreCase kRestoreCases[] = {{"Yes", IDOK}, {"No", IDCANCEL}};

class IniRestore : public NotesCommands, public testing::WithParamInterface<RestoreCase> {};

TEST_P(IniRestore, BackupIsCopiedBackOnlyAfterAQuestionWithItsDate)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "", "EXTMGR_ADDINS=installer\r\n");
    std::string iniBefore = testkit::ReadFileBytes(ini);
    std::string backup = testkit::ReadFileBytes(MakeIni("notes.ini.bak", "anna.id", "Restored=yes\r\n"));
    ASSERT_TRUE(DateFile(ini + ".bak"));
    int key = Start();
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {BoxStep(kCaption,
                                   "The INI file " + ini + " names no Notes user.\n\nCopy its backup " + ini +
                                       ".bak of 2024-03-05 10:20 back over it? Every change made to the INI file "
                                       "since that date is lost.",
                                   GetParam().answer)});
    if (GetParam().answer == IDOK) {
        testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kPassword)});
        ASSERT_TRUE(Shows(kUser, "anna.id", testkit::ReadFileBytes(id).size()));
        EXPECT_EQ(kPassword, testkit::GetKeyRecord(key).password);
        EXPECT_EQ(backup, testkit::ReadFileBytes(ini));  // the backup was copied back, whole
    } else {
        EXPECT_EQ(nullptr, c.WaitInput(kPasswordDialog, 1500));
        EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini));  // the installer's line is still there
        EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
    }
    EXPECT_EQ(backup, testkit::ReadFileBytes(ini + ".bak"));
}

INSTANTIATE_TEST_SUITE_P(Answers, IniRestore, testing::ValuesIn(kRestoreCases),
                         [](const testing::TestParamInfo<RestoreCase> &info) { return std::string(info.param.name); });

TEST_F(NotesCommands, AttachLeavesTheIniFilesKeyFileNameAlone)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    MakeId("admin.id", "Admin/Morvath", "admin-pw");
    std::string ini = MakeIni("notes.ini", "admin.id");
    std::string iniBefore = testkit::ReadFileBytes(ini);
    int key = Start();
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kPassword)});
    ASSERT_TRUE(Shows(kUser, "anna.id", testkit::ReadFileBytes(id).size()));
    EXPECT_EQ(kPassword, testkit::GetKeyRecord(key).password);
    // The administrator's own client still opens the administrator's ID.
    EXPECT_EQ("admin.id", testkit::IniValue(ini, "KeyFileName"));
    EXPECT_EQ(iniBefore, testkit::ReadFileBytes(ini));
}

TEST_F(NotesCommands, BackupIsMadeOnceAndNeverReplaced)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "anna.id", "Round=1\r\n");
    std::string first = testkit::ReadFileBytes(ini);
    int key = Start();
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kPassword)});
    ASSERT_TRUE(Shows(kUser, "anna.id", testkit::ReadFileBytes(id).size()));
    EXPECT_EQ(first, testkit::ReadFileBytes(ini + ".bak"));

    std::string bert = MakeId("bert.id", "Bert Brun/Morvath", "other");
    MakeIni("notes.ini", "anna.id", "Round=2\r\n");
    BeginAttach(bert, ini);
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, "other")});
    ASSERT_TRUE(Shows("Bert Brun/Morvath", "bert.id", testkit::ReadFileBytes(bert).size()));
    EXPECT_EQ("bert.id", testkit::GetKeyRecord(key).idFileName);
    EXPECT_EQ(first, testkit::ReadFileBytes(ini + ".bak"));
}

TEST_F(NotesCommands, BackupThatCannotBeMadeStopsBeforeNotesStarts)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = Start();
    // notes.ini held open for no one else: it cannot be read, so no backup can be made of it.
    HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    BeginAttach(id, ini);
    ConsoleBox box = c.TakeBoxWith();
    CloseHandle(held);
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ("The backup " + ini + ".bak of the INI file cannot be made.\n\nThe ID file is not attached; the INI "
              "file is left as it is.",
              box.text);
    EXPECT_EQ(nullptr, c.WaitInput(kPasswordDialog, 1500));
    EXPECT_FALSE(testkit::FileExists(ini + ".bak"));
    EXPECT_EQ("anna.id", testkit::IniValue(ini, "KeyFileName"));  // Notes never ran on it
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
}

TEST_F(NotesCommands, BackupThatCannotBeReadIsNeverCopiedOverTheIni)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "");
    std::string before = testkit::ReadFileBytes(ini);
    ASSERT_TRUE(CreateDirectoryA((ini + ".bak").c_str(), nullptr));  // there, but no file to read
    int key = Start();
    BeginAttach(id, ini);
    ConsoleBox question = c.TakeBoxWith(IDOK);  // yes, copy it back
    EXPECT_EQ(0u, question.text.find("The INI file " + ini + " names no Notes user.\n\nCopy its backup " + ini +
                                     ".bak of "))
        << question.text;
    testkit::PlaySteps(c, {BoxStep(kCaption, "The backup " + ini + ".bak cannot be copied back over the INI "
                                             "file.\n\nThe ID file is not attached; the INI file is left as it is.")});
    EXPECT_EQ(nullptr, c.WaitInput(kPasswordDialog, 1500));
    EXPECT_EQ(before, testkit::ReadFileBytes(ini));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
}

TEST_F(NotesCommands, RecordLargerThanTheKeysSpaceIsReportedWithTheFigures)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = ArbolinConsole::MakeKey("Anna", "");
    ASSERT_TRUE(QsimSetCapacity(key, 32768, 64, 0));
    ASSERT_TRUE(c.StartWithKey(key, kReader));
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_CHANGE_ID); }));
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kPassword)});
    std::size_t total = 12 + std::string(kUser).size() + std::string(kPassword).size() + 7 +
                        testkit::ReadFileBytes(id).size();
    testkit::PlaySteps(c, {BoxStep(kCaption, "Error writing data into KSD.\nNot enough free space on KSD.\n\n(Neaded: " +
                                                 std::to_string(total) + ", Exist free: 128 bytes only...)")});
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
    EXPECT_FALSE(c.Enabled(IDC_SHOW_BT));
    EXPECT_EQ("[none]", c.Rows()[0].info);
}

struct LimitCase {
    const char *name;
    std::size_t size;
    std::size_t total;
};

class IdFileOverTheLimits : public NotesCommands, public testing::WithParamInterface<LimitCase> {};

TEST_P(IdFileOverTheLimits, IsRefusedBeforeAnythingIsWrittenOrNotesStarts)
{
    const LimitCase &t = GetParam();
    std::string id = files.file("big.id");
    ASSERT_TRUE(testkit::WriteFileBytes(id, std::string(t.size, 'x')));
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = Start();
    DWORD writes = QsimCallCount("WriteData");
    c.Click(IDC_CHANGE_ID);
    testkit::PlaySteps(c, {FileStep(kChooseId, id),
                           BoxStep(kCaption, "The ID file big.id cannot be stored on the Key: it has " +
                                                 std::to_string(t.size) + " bytes, and the Notes data made of it "
                                                 "would need " + std::to_string(t.total) + " bytes; a Key holds at "
                                                 "most 16768 bytes of Notes data, with an ID file of at most 65535 "
                                                 "bytes.\n\nNothing was written.")});
    EXPECT_EQ(nullptr, c.WaitFileDialog(kChooseIni, 1500));
    EXPECT_FALSE(testkit::FileExists(ini + ".bak"));
    EXPECT_EQ(writes, QsimCallCount("WriteData"));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
}

const LimitCase kLimitCases[] = {
    {"OverTheRecordSize", 16768 - 12 - 6 + 1, 16768 + 1},  // 12 + "big.id" + the file: one byte too many
    {"OverTheLengthField", 70000, 70000 + 12 + 6},
};

INSTANTIATE_TEST_SUITE_P(Sizes, IdFileOverTheLimits, testing::ValuesIn(kLimitCases),
                         [](const testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

TEST_F(NotesCommands, CancelledFileDialogsChangeNothing)
{
    std::string id = MakeId("anna.id", kUser, kPassword);
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = Start();
    c.Click(IDC_CHANGE_ID);
    testkit::PlaySteps(c, {FileStep(kChooseId, "")});
    c.Click(IDC_CHANGE_ID);
    testkit::PlaySteps(c, {FileStep(kChooseId, id), FileStep(kChooseIni, "")});
    EXPECT_EQ(nullptr, c.WaitInput(kPasswordDialog, 1000));
    EXPECT_FALSE(testkit::FileExists(ini + ".bak"));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
}

TEST_F(NotesCommands, IdFileThatIsNotThereIsReportedBeforeAnyPasswordIsAsked)
{
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = Start();
    c.Click(IDC_CHANGE_ID);
    testkit::PlaySteps(c, {FileStep(kChooseId, files.file("nobody.id")), BoxStep(kCaption, "Error ID file opening")});
    EXPECT_EQ(nullptr, c.WaitFileDialog(kChooseIni, 1000));
    EXPECT_FALSE(testkit::FileExists(ini + ".bak"));
    EXPECT_EQ(0u, testkit::VirtualKeys::State(key).size225);
}

// ---- Detaching ----------------------------------------------------------------------------------

const KeyRecordFields kAnna = {kUser, kPassword, "anna.id", std::string("ID file bytes \0 with a zero", 27)};
const char kDetachTitle[] = "Detach ID file - Select ID file name";

TEST_F(NotesCommands, DetachProposesTheStoredNameAndWritesTheIdFile)
{
    Start(&kAnna);
    c.Click(IDC_DETACH_ID);
    HWND dialog = c.WaitFileDialog(kDetachTitle);
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(WaitUntil([&] {
        HWND name = GetDlgItem(dialog, 0x480);
        return testkit::GetControlText(name != nullptr ? name : GetDlgItem(dialog, 0x47c)) == "anna.id";
    }));
    std::string target = files.file("saved.id");
    testkit::PlaySteps(c, {FileStep(kDetachTitle, target)});
    EXPECT_TRUE(WaitUntil([&] { return testkit::ReadFileBytes(target) == kAnna.idFile; }));
    EXPECT_EQ(nullptr, c.WaitBox(1000));  // a new file: nothing asked
}

TEST_F(NotesCommands, DetachOverAnExistingFileAsksFirst)
{
    Start(&kAnna);
    std::string target = files.file("old.id");
    ASSERT_TRUE(testkit::WriteFileBytes(target, "the old file"));
    const std::string question = "File: " + target + " already exist.\n\nOverwrite it?";
    c.Click(IDC_DETACH_ID);
    testkit::PlaySteps(c, {FileStep(kDetachTitle, target), BoxStep("Detach ID file", question, IDCANCEL)});
    EXPECT_EQ(nullptr, c.WaitBox(1000));
    EXPECT_EQ("the old file", testkit::ReadFileBytes(target));

    c.Click(IDC_DETACH_ID);
    testkit::PlaySteps(c, {FileStep(kDetachTitle, target), BoxStep("Detach ID file", question, IDOK)});
    EXPECT_TRUE(WaitUntil([&] { return testkit::ReadFileBytes(target) == kAnna.idFile; }));
}

TEST_F(NotesCommands, DetachIntoAFolderThatCannotTakeItReportsAndLeavesNothing)
{
    Start(&kAnna);
    std::string target = files.file("no such folder\\anna.id");
    c.Click(IDC_DETACH_ID);
    testkit::PlaySteps(c, {FileStep(kDetachTitle, target), BoxStep(kCaption, "Can't open ID file to writing")});
    EXPECT_FALSE(testkit::FileExists(target));
}

// ---- The Notes password -------------------------------------------------------------------------

const char kPasDialog[] = "Change current Lotus Notes password";
const char kNewNotes[] = "Enter new Lotus Notes password:";
const char kConfirmNotes[] = "Confirm new Lotus Notes password";
const char kPasIni[] = "Initialize Notes - Select \"notes.ini\"";

class PasswordChange : public NotesCommands {
protected:
    void SetUp() override
    {
        std::string id = MakeId("anna.id", kUser, kPassword);
        record = {kUser, kPassword, "anna.id", testkit::ReadFileBytes(id)};
        ini = MakeIni("notes.ini", "anna.id");
        key = Start(&record);
    }
    // Opens the dialog and checks its first look; the dialog.
    HWND Open()
    {
        c.Click(IDC_CHANGE_LN_PASSWORD);
        HWND dialog = c.WaitInput(kPasDialog);
        EXPECT_NE(nullptr, dialog);
        if (dialog != nullptr) {
            EXPECT_EQ(kNewNotes, ArbolinConsole::InputPrompt(dialog));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_GENERATE_BT)));
        }
        return dialog;
    }
    // Neither a copy under the record's name nor one under a name of its own ("sid....tmp").
    bool NoTempCopy() const
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((c.TempFolder() + "\\sid*.tmp").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            return false;
        }
        return !testkit::FileExists(c.TempFolder() + "\\anna.id");
    }
    KeyRecordFields record;
    std::string ini;
    int key = 0;
};

struct RefusalCase {
    const char *name;
    const char *first, *confirmation;  // confirmation null: not asked
    const char *box;
};

const RefusalCase kRefusals[] = {
    {"EmptyPassword", "", nullptr, "Error: \"Password can't be empty\""},
    {"MismatchingConfirmation", "new-one", "new-two", "Error: \"Password are not equal\""},
    {"SameAsTheCurrentPassword", kPassword, kPassword, "Error: \"Specified password already used now \""},
};

class PasswordRefusals : public PasswordChange, public testing::WithParamInterface<RefusalCase> {};

TEST_P(PasswordRefusals, AreReportedAndChangeNothing)
{
    const RefusalCase &t = GetParam();
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), t.first));
    if (t.confirmation != nullptr) {
        HWND confirm = c.WaitInput(kPasDialog);
        ASSERT_NE(nullptr, confirm);
        EXPECT_EQ(kConfirmNotes, ArbolinConsole::InputPrompt(confirm));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(confirm, IDC_GENERATE_BT)));
        ASSERT_TRUE(ArbolinConsole::AnswerInput(confirm, t.confirmation));
    }
    testkit::PlaySteps(c, {BoxStep(kPasDialog, t.box)});
    EXPECT_EQ(nullptr, c.WaitFileDialog(kPasIni, 1000));
    KeyRecordFields now = testkit::GetKeyRecord(key);
    EXPECT_EQ(kPassword, now.password);
    EXPECT_EQ(record.idFile, now.idFile);
}

INSTANTIATE_TEST_SUITE_P(Entries, PasswordRefusals, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<RefusalCase> &info) { return std::string(info.param.name); });

TEST_F(PasswordChange, TypedPasswordReencryptsTheIdFileOnTheKey)
{
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), "brand-new"));
    testkit::PlaySteps(c, {InputStep(kPasDialog, kConfirmNotes, "brand-new"), FileStep(kPasIni, ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password == "brand-new"; }));
    KeyRecordFields now = testkit::GetKeyRecord(key);
    EXPECT_EQ(kUser, now.user);
    EXPECT_EQ("anna.id", now.idFileName);
    EXPECT_TRUE(Opens(now.idFile, "brand-new"));
    EXPECT_FALSE(Opens(now.idFile, kPassword));
    EXPECT_TRUE(WaitUntil([&] { return NoTempCopy(); }));
    EXPECT_EQ("brand-new", ShownPassword());
}

TEST_F(PasswordChange, TheClientsLiveIdOfTheSameKeyInTheTemporaryFolderIsLeftAlone)
{
    // A Notes client on this PC runs on the Key's ID under the record's file name.
    std::string live = c.TempFolder() + "\\anna.id";
    ASSERT_TRUE(testkit::WriteFileBytes(live, "the client's live ID"));
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), "brand-new"));
    testkit::PlaySteps(c, {InputStep(kPasDialog, kConfirmNotes, "brand-new"), FileStep(kPasIni, ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password == "brand-new"; }));
    EXPECT_TRUE(Opens(testkit::GetKeyRecord(key).idFile, "brand-new"));
    EXPECT_EQ("brand-new", ShownPassword());
    EXPECT_EQ("the client's live ID", testkit::ReadFileBytes(live));
    DeleteFileA(live.c_str());
    EXPECT_TRUE(WaitUntil([&] { return NoTempCopy(); }));
}

TEST_F(PasswordChange, GeneratedPasswordIs64Base64CharactersAndNeedsNoConfirmation)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    testkit::ClickDialogButton(dialog, IDC_GENERATE_BT);
    testkit::PlaySteps(c, {FileStep(kPasIni, ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password != kPassword; }));
    std::string generated = testkit::GetKeyRecord(key).password;
    EXPECT_EQ(64u, generated.size());
    EXPECT_EQ(std::string::npos,
              generated.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"))
        << generated;
    EXPECT_TRUE(Opens(testkit::GetKeyRecord(key).idFile, generated));
    EXPECT_TRUE(WaitUntil([&] { return NoTempCopy(); }));
    EXPECT_EQ(generated, ShownPassword());
}

TEST_F(PasswordChange, CancelAtTheIniChoiceAfterGenerateChangesNothingOnTheKey)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    DWORD randoms = QsimCallCount("GetRandom");
    testkit::ClickDialogButton(dialog, IDC_GENERATE_BT);
    testkit::PlaySteps(c, {FileStep(kPasIni, "")});
    EXPECT_EQ(randoms + 1, QsimCallCount("GetRandom"));
    KeyRecordFields now = testkit::GetKeyRecord(key);
    EXPECT_EQ(kPassword, now.password);
    EXPECT_EQ(record.idFile, now.idFile);
    EXPECT_TRUE(NoTempCopy());
    EXPECT_EQ(kPassword, ShownPassword());
}

TEST_F(PasswordChange, FailedWriteKeepsTheHeldPasswordAndTheKeyInAgreement)
{
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), "brand-new"));
    testkit::PlaySteps(c, {InputStep(kPasDialog, kConfirmNotes, "brand-new")});
    ASSERT_TRUE(QsimFailNextEx("WriteData", ERROR_WRITE_FAULT, 0, 1));
    testkit::PlaySteps(c, {FileStep(kPasIni, ini)});
    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(0u, box.text.find("Error writing data into KSD.\n\n")) << box.text;
    KeyRecordFields now = testkit::GetKeyRecord(key);
    EXPECT_EQ(kPassword, now.password);
    EXPECT_TRUE(Opens(now.idFile, kPassword));
    EXPECT_TRUE(NoTempCopy());
    EXPECT_EQ(kPassword, ShownPassword());  // what the Key holds, not the password that failed
}

TEST_F(PasswordChange, WriteWhoseSizeCouldNotBeSetAfterItsBytesWentOnIsReportedAndCanBeDoneAgain)
{
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), "brand-new"));
    testkit::PlaySteps(c, {InputStep(kPasDialog, kConfirmNotes, "brand-new")});
    // The record's bytes go on (marked unfinished); setting the data size after them fails, so
    // its true first bytes never follow.
    ASSERT_TRUE(QsimFailNextEx("SetDataSize", ERROR_IO_DEVICE, 0, 1));
    testkit::PlaySteps(c, {FileStep(kPasIni, ini)});
    ConsoleBox box = c.TakeBoxWith();
    EXPECT_EQ(0u, box.text.find("Error writing data into KSD.\n\n")) << box.text;
    // What the Key holds is no record any reader takes: neither the old one nor the new one.
    EXPECT_NE(0u, testkit::VirtualKeys::State(key).size225);
    EXPECT_FALSE(testkit::GetKeyRecord(key).found);
    EXPECT_TRUE(WaitUntil([&] { return NoTempCopy(); }));
    // The console keeps the record it read, so the change can be made again, and it then goes on whole.
    EXPECT_EQ(kPassword, ShownPassword());
    ASSERT_TRUE(ArbolinConsole::AnswerInput(Open(), "brand-new"));
    testkit::PlaySteps(c, {InputStep(kPasDialog, kConfirmNotes, "brand-new"), FileStep(kPasIni, ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password == "brand-new"; }));
    EXPECT_TRUE(Opens(testkit::GetKeyRecord(key).idFile, "brand-new"));
    EXPECT_EQ("brand-new", ShownPassword());
}

}  // namespace

// ---- Secrets after the Key leaves ------------------------------------------------------------------

// The Key's PIN, the Notes password the console wrote and the ones it changed to are gone from the
// console's memory (its private committed pages and its modules' globals, as 8-bit text and
// UTF-16) once the Key was pulled. Each is distinctive, so that a find is never a coincidence.
TEST_F(NotesCommands, AfterAPullTheConsoleHoldsNoneOfTheKeysSecrets)
{
    const char kPin[] = "Wq3Lx7Rb";
    const char kNewPin[] = "Zt6Hn2Mv";
    const char kFirstPassword[] = "Brannoch!Velt-47qK";
    const char kNewPassword[] = "Tessaly#Oruun-93pD";
    const char kPasDialog[] = "Change current Lotus Notes password";
    for (const char *secret : {kPin, kNewPin, kFirstPassword, kNewPassword})
        testkit::NoteSecret(secret);
    std::string id = MakeId("anna.id", kUser, kFirstPassword);
    std::string ini = MakeIni("notes.ini", "anna.id");
    int key = ArbolinConsole::MakeKey("Anna", kPin);
    ASSERT_NE(0, key);
    ASSERT_TRUE(c.StartWithKey(key, kReader));
    ASSERT_TRUE(c.GivePin(0, kPin));

    // The ID file and its password written, the Notes password changed, the PIN changed.
    BeginAttach(id, ini);
    testkit::PlaySteps(c, {InputStep(kPasswordDialog, kNotesPrompt, kFirstPassword)});
    ASSERT_TRUE(WaitUntil([&] { return c.Enabled(IDC_CHANGE_LN_PASSWORD); }));
    c.Click(IDC_CHANGE_LN_PASSWORD);
    testkit::PlaySteps(c, {InputStep(kPasDialog, "Enter new Lotus Notes password:", kNewPassword),
                           InputStep(kPasDialog, "Confirm new Lotus Notes password", kNewPassword),
                           FileStep(kChooseIni, ini)});
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetKeyRecord(key).password == kNewPassword; }));
    c.Click(IDC_CHANGE_PIN);
    testkit::PlaySteps(c, {InputStep("Change PIN Dialog", "Enter new PIN code:", kNewPin),
                           InputStep("Change PIN Dialog", "Confirm new PIN code:", kNewPin),
                           BoxStep(kCaption, "PIN is changed successfully!")});
    ASSERT_EQ(std::string(kNewPin), testkit::VirtualKeys::State(key).pin);

    // While the Key is there the console holds its Notes password: the scan can find it.
    std::vector<std::string> during = testkit::FindInPrivateMemory(c.process(), {kNewPassword});
    EXPECT_FALSE(during.empty());

    ASSERT_TRUE(ArbolinConsole::Pull(key));
    ASSERT_TRUE(c.WaitRowCount(0));
    ASSERT_TRUE(WaitUntil([&] { return testkit::GetControlText(c.Item(IDC_ID_FILE_NAME)).empty(); }));
    std::vector<std::string> finds =
        testkit::FindInPrivateMemory(c.process(), {kPin, kNewPin, kFirstPassword, kNewPassword});
    std::string listed;
    for (const std::string &find : finds)
        listed += find + "\n";
    EXPECT_TRUE(finds.empty()) << finds.size() << " finds:\n" << listed;
}
