// ArbolinCmd's batch in the test's own process: the Keys of a CSV file inserted in any order
// (each matched to its row by card id or label), a Key pulled in the middle of its row, a wrong
// PIN, a row whose ID file is missing, a run resumed from its report, and batch files refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arbolin_cmd.h"
#include "command_line.h"
#include "key_records.h"
#include "key_messages.h"
#include "provisioning_scene.h"
#include "quorel_control.h"
#include "log.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

using testkit::BackgroundRun;
using testkit::CapturedIo;
using testkit::CountOf;
using testkit::VirtualKeys;

struct Person {
    const char *label, *pin, *user, *password, *idFile;
};

// Anna and Carl are listed by label and have PINs; Bert's Key has no label (its row names its
// card id) and no PIN.
const Person kAnna = {"Anna", "p4711", "Anna Berg/Morvath", "anna-secret", "anna.id"};
const Person kBert = {"", "", "Bert Brun/Morvath", "bert-secret", "bert.id"};
const Person kCarl = {"Carl", "p5678", "Carl Cole/Morvath", "carl-secret", "carl.id"};

class Batch : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        LogInit("Sentrio", nullptr);  // as the program opens it: the secret scan reads what it writes
        ASSERT_TRUE(scene.ok());
        for (const Person *p : {&kAnna, &kBert, &kCarl}) {
            ASSERT_FALSE(scene.IdFile(p->idFile, p->user, p->password).empty());
            keys.push_back(scene.NewKey(p->label, p->pin));
            ASSERT_NE(0, keys.back());
        }
        secrets = scene.SecretsFile("secrets.txt", {{"anna-pin", kAnna.pin}, {"anna-pw", kAnna.password},
                                                     {"bert-pw", kBert.password}, {"carl-pin", kCarl.pin},
                                                     {"carl-pw", kCarl.password}});
        ASSERT_FALSE(secrets.empty());
        iniBefore = scene.IniText();
    }
    std::string CardId(int key) { return CardIdText(VirtualKeys::State(key).cardId); }
    // The batch file: Anna by label, Bert by card id, Carl by label; `carlIdFile` may name a file
    // that is not there.
    std::string WriteCsv(const std::string &annaPin = "secret:anna-pin", const std::string &carlIdFile = "carl.id")
    {
        std::string csv = scene.file("keys.csv");
        std::string text = "key,id_file,password,pin\r\n"
                           "# the first floor\r\n"
                           "Anna," + scene.file("anna.id") + ",secret:anna-pw," + annaPin + "\r\n" +
                           CardId(keys[1]) + ",\"" + scene.file("bert.id") + "\",secret:bert-pw,none\r\n" +
                           "Carl," + scene.file(carlIdFile) + ",secret:carl-pw,secret:carl-pin\r\n";
        EXPECT_TRUE(testkit::WriteFileBytes(csv, text));
        return csv;
    }
    int RunBatch(const std::string &csv, CapturedIo &io)
    {
        return RunArbolinCmd({"batch", "--csv", csv, "--ini", scene.ini(), "--secrets", secrets, "--wait", "30"}, io);
    }
    std::string Report(const std::string &csv) { return testkit::ReadFileBytes(csv + ".report.csv"); }
    // What the Key of `p` holds: "" when its record is `p`'s.
    std::string Holds(int key, const Person &p)
    {
        testkit::KeyRecordFields r = testkit::GetKeyRecord(key);
        return r.found && r.user == p.user && r.password == p.password && r.idFileName == p.idFile
                   ? ""
                   : "the Key holds \"" + r.user + "\"";
    }
    void ExpectNoSecretIn(const std::string &text)
    {
        for (const Person *p : {&kAnna, &kBert, &kCarl}) {
            EXPECT_EQ(std::string::npos, text.find(p->password)) << p->password;
            if (p->pin[0] != 0) {
                EXPECT_EQ(std::string::npos, text.find(std::string(",") + p->pin)) << p->pin;
            }
        }
    }
    void ExpectLeftAsItWas()
    {
        EXPECT_FALSE(testkit::ProvisioningScene::NotesRuntimeRunning());
        EXPECT_EQ(iniBefore, scene.IniText());
    }

    testkit::ProvisioningScene scene;
    std::vector<int> keys;  // Anna's, Bert's, Carl's
    std::string secrets, iniBefore;
};

TEST_F(Batch, KeysInsertedOutOfOrderEachGetTheirOwnRow)
{
    std::string csv = WriteCsv();
    int stranger = scene.NewKey("Dora", "");
    ASSERT_TRUE(scene.Insert(stranger, "Reader D"));
    CapturedIo io;
    BackgroundRun run([&] { return RunBatch(csv, io); });
    ASSERT_TRUE(io.WaitForOut("Reader D, Key Dora (" + CardId(stranger) + "): in no row of the batch; left as it is."));
    // Carl first, then Anna, then Bert: the order of insertion is not the order of the rows.
    ASSERT_TRUE(scene.Insert(keys[2], "Reader C"));
    ASSERT_TRUE(io.WaitForOut("row 3 done")) << io.out() << io.err();
    ASSERT_TRUE(scene.Insert(keys[0], "Reader A"));
    ASSERT_TRUE(io.WaitForOut("row 1 done")) << io.out() << io.err();
    ASSERT_TRUE(scene.Insert(keys[1], "Reader B"));
    EXPECT_EQ(kExitDone, run.Wait()) << io.out() << io.err();
    EXPECT_EQ("", Holds(keys[0], kAnna));
    EXPECT_EQ("", Holds(keys[1], kBert));
    EXPECT_EQ("", Holds(keys[2], kCarl));
    EXPECT_TRUE(VirtualKeys::Data(stranger).empty());
    std::string out = io.out();
    EXPECT_NE(std::string::npos, out.find("Reader C, Key Carl (" + CardId(keys[2]) + "): row 3 done: Carl Cole/Morvath, carl.id."));
    EXPECT_NE(std::string::npos, out.find("Reader B, Key " + CardId(keys[1]) + ": row 2 done: Bert Brun/Morvath, bert.id."));
    EXPECT_LT(out.find("row 3 done"), out.find("row 1 done"));
    EXPECT_LT(out.find("row 1 done"), out.find("row 2 done"));
    EXPECT_NE(std::string::npos, out.find("Summary: 3 rows: 3 done (0 in an earlier run), 0 failed, 0 not inserted."));
    EXPECT_EQ("", io.err());
    std::string report = Report(csv);
    EXPECT_EQ(3, CountOf(report, ",done,"));
    EXPECT_NE(std::string::npos, report.find("1,Anna,done,Reader A," + CardId(keys[0]) + ",Anna Berg/Morvath,anna.id,"));
    ExpectNoSecretIn(report);
    ExpectNoSecretIn(out);
    ExpectLeftAsItWas();
}

// One row that fails, the others done: what it says, what the report holds.
struct FailedRowCase {
    const char *name;
    std::string annaPin;      // the pin column of Anna's row
    std::string carlIdFile;   // the ID file of Carl's row
    bool pullBert;            // Bert's Key is pulled right before its record is written
    int failedRow;
    const char *said;         // in the row's progress line and the report
};

const FailedRowCase kFailedRows[] = {
    {"WrongPin", "stdin", "carl.id", false, 1, "Remain 2 attempts to enter correct PIN code"},
    {"MissingIdFile", "secret:anna-pin", "gone.id", false, 3, "Error ID file opening"},
    {"KeyPulledMidRow", "secret:anna-pin", "carl.id", true, 2, "The Key is no longer in Reader B: insert it again"},
    {"PinNotGiven", "none", "carl.id", false, 1, "asks for its PIN. Fill in the pin column of its row"},
};

class FailedRow : public Batch, public testing::WithParamInterface<FailedRowCase> {};

TEST_P(FailedRow, FailsThatRowOnlyAndTheRunSaysSo)
{
    const FailedRowCase &t = GetParam();
    std::string csv = WriteCsv(t.annaPin, t.carlIdFile);
    if (t.pullBert) {
        // Anna's record goes on in two writes (the record, then its head), then Bert's begins.
        ASSERT_TRUE(QsimPullOnCall("WriteData", 2, keys[1]));
    }
    ASSERT_TRUE(scene.Insert(keys[0], "Reader A"));
    ASSERT_TRUE(scene.Insert(keys[1], "Reader B"));
    ASSERT_TRUE(scene.Insert(keys[2], "Reader C"));
    CapturedIo io({"0000"});  // Anna's PIN from standard input, where her row says so: a wrong one
    EXPECT_EQ(kExitFailed, RunBatch(csv, io));
    std::string out = io.out();
    std::string failed = "row " + std::to_string(t.failedRow) + " failed: ";
    std::size_t at = out.find(failed);
    ASSERT_NE(std::string::npos, at) << out;
    EXPECT_NE(std::string::npos, out.find(t.said, at)) << out;
    EXPECT_EQ(2, CountOf(out, " done: "));
    EXPECT_NE(std::string::npos, out.find("Summary: 3 rows: 2 done (0 in an earlier run), 1 failed, 0 not inserted."));
    EXPECT_NE(std::string::npos, io.err().find("run the same command again")) << io.err();
    const Person *people[] = {&kAnna, &kBert, &kCarl};
    for (int row = 1; row <= 3; ++row) {
        if (row == t.failedRow) {
            EXPECT_TRUE(VirtualKeys::Data(keys[row - 1]).empty()) << row;
        } else {
            EXPECT_EQ("", Holds(keys[row - 1], *people[row - 1])) << row;
        }
    }
    std::string report = Report(csv);
    EXPECT_EQ(2, CountOf(report, ",done,"));
    EXPECT_EQ(1, CountOf(report, ",failed,"));
    EXPECT_NE(std::string::npos, report.find(t.said)) << report;
    // The wrong PIN was presented once; no PIN, never.
    EXPECT_EQ(t.annaPin == "stdin" ? 2 : 3, VirtualKeys::State(keys[0]).tries);
    ExpectNoSecretIn(report);
    ExpectLeftAsItWas();
}

INSTANTIATE_TEST_SUITE_P(Rows, FailedRow, testing::ValuesIn(kFailedRows),
                         [](const testing::TestParamInfo<FailedRowCase> &info) { return std::string(info.param.name); });

TEST_F(Batch, ResumedRunSkipsTheRowsDoneAndRetriesTheFailedOne)
{
    std::string csv = WriteCsv("secret:anna-pin", "carl-late.id");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(scene.Insert(keys[i], i == 0 ? "Reader A" : i == 1 ? "Reader B" : "Reader C"));
    }
    CapturedIo first;
    ASSERT_EQ(kExitFailed, RunBatch(csv, first)) << first.out();
    ASSERT_NE(std::string::npos, first.out().find("row 3 failed: Error ID file opening"));
    std::string annaAfterFirst = VirtualKeys::Data(keys[0]);
    std::string secondAfterFirst = VirtualKeys::Data(keys[1]);
    std::string carlAfterFirst = VirtualKeys::Data(keys[2]);

    // The missing ID file is put where the row says; the same command again.
    ASSERT_TRUE(testkit::WriteFileBytes(scene.file("carl-late.id"), testkit::ReadFileBytes(scene.file("carl.id"))));
    CapturedIo second;
    EXPECT_EQ(kExitDone, RunBatch(csv, second)) << second.out() << second.err();
    std::string out = second.out();
    EXPECT_NE(std::string::npos, out.find("Batch " + csv + ": 3 rows, 2 done in an earlier run."));
    EXPECT_NE(std::string::npos, out.find("row 1 was done already; left as it is."));
    EXPECT_NE(std::string::npos, out.find("row 2 was done already; left as it is."));
    EXPECT_NE(std::string::npos, out.find("row 3 done: Carl Cole/Morvath, carl-late.id."));
    EXPECT_NE(std::string::npos, out.find("Summary: 3 rows: 3 done (2 in an earlier run), 0 failed, 0 not inserted."));
    // Only Carl's Key was written: the Keys of the rows done before are byte for byte as they were.
    EXPECT_NE(carlAfterFirst, VirtualKeys::Data(keys[2]));
    EXPECT_EQ(annaAfterFirst, VirtualKeys::Data(keys[0]));
    EXPECT_EQ(secondAfterFirst, VirtualKeys::Data(keys[1]));
    EXPECT_EQ(3, CountOf(Report(csv), ",done,"));
    ExpectLeftAsItWas();
}

TEST_F(Batch, RunStoppedMidwayHasItsReportWrittenKeyByKey)
{
    std::string csv = WriteCsv();
    CapturedIo io;
    BackgroundRun run([&] { return RunBatch(csv, io); });
    ASSERT_TRUE(scene.Insert(keys[2], "Reader C"));
    ASSERT_TRUE(io.WaitForOut("row 3 done")) << io.out() << io.err();
    // Written right after Carl's Key, while the run waits for the others.
    std::string during = Report(csv);
    EXPECT_NE(std::string::npos, during.find("3,Carl,done,Reader C,")) << during;
    EXPECT_NE(std::string::npos, during.find("1,Anna,not inserted,")) << during;
    // While it runs, a Notes client's extension finds the console's marker and leaves the Keys alone.
    HANDLE marker = OpenFileMappingA(FILE_MAP_READ, FALSE, "Sentrio");
    EXPECT_NE(nullptr, marker);
    if (marker != nullptr)
        CloseHandle(marker);
    InterlockedExchange(&g_cmdStopRequested, 1);  // Ctrl+C
    int code = run.Wait();
    InterlockedExchange(&g_cmdStopRequested, 0);
    EXPECT_EQ(kExitFailed, code);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, "Sentrio"));  // gone with the run
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_NE(std::string::npos, io.out().find("Summary: 3 rows: 1 done (0 in an earlier run), 0 failed, 2 not inserted."));

    // The next run takes up the others.
    ASSERT_TRUE(scene.Insert(keys[0], "Reader A"));
    ASSERT_TRUE(scene.Insert(keys[1], "Reader B"));
    CapturedIo next;
    EXPECT_EQ(kExitDone, RunBatch(csv, next)) << next.out() << next.err();
    EXPECT_NE(std::string::npos, next.out().find("Summary: 3 rows: 3 done (1 in an earlier run), 0 failed, 0 not inserted."));
    EXPECT_EQ("", Holds(keys[0], kAnna));
    EXPECT_EQ("", Holds(keys[1], kBert));
    ExpectLeftAsItWas();
}

TEST_F(Batch, KeysNotInsertedStayPendingWhenTheWaitEnds)
{
    std::string csv = WriteCsv();
    ASSERT_TRUE(scene.Insert(keys[1], "Reader B"));
    CapturedIo io;
    EXPECT_EQ(kExitFailed, RunArbolinCmd({"batch", "--csv", csv, "--ini", scene.ini(), "--secrets", secrets, "--wait", "2"}, io));
    EXPECT_NE(std::string::npos, io.out().find("Summary: 3 rows: 1 done (0 in an earlier run), 0 failed, 2 not inserted."));
    EXPECT_EQ(2, CountOf(Report(csv), ",not inserted,"));
}

// Batch files that cannot be used: refused before any Key is touched, no report written.
struct BadBatchCase {
    const char *name;
    const char *text;
    const char *said;
};

const BadBatchCase kBadBatches[] = {
    {"Empty", "", "The batch file is empty."},
    {"ColumnMissing", "key,id_file,password\r\nAnna,a.id,stdin\r\n", "has no column pin"},
    {"UnknownColumn", "key,id_file,password,pin,colour\r\n", "names a column \"colour\""},
    {"FieldMissing", "key,id_file,password,pin\r\nAnna,a.id,stdin\r\n", "Line 2 of the batch file has 3 fields"},
    {"EmptyField", "key,id_file,password,pin\r\nAnna,,stdin,none\r\n", "Line 2 of the batch file has no id_file"},
    {"KeyTwice", "key,id_file,password,pin\r\nAnna,a.id,stdin,none\r\nanna,b.id,stdin,none\r\n",
     "Lines 2 and 3 of the batch file both name the Key anna"},
    {"QuoteNotClosed", "key,id_file,password,pin\r\n\"Anna,a.id,stdin,none\r\n", "Line 2 of the batch file has a quote"},
    {"SecretInTheFile", "key,id_file,password,pin\r\nAnna,a.id,hunter2,none\r\n", "Line 2 of"},
};

class BadBatch : public Batch, public testing::WithParamInterface<BadBatchCase> {};

TEST_P(BadBatch, IsRefused)
{
    std::string csv = scene.file("bad.csv");
    ASSERT_TRUE(testkit::WriteFileBytes(csv, GetParam().text));
    ASSERT_TRUE(scene.Insert(keys[0], "Reader A"));
    CapturedIo io;
    EXPECT_EQ(kExitUsage, RunBatch(csv, io));
    EXPECT_NE(std::string::npos, io.err().find(GetParam().said)) << io.err();
    EXPECT_FALSE(testkit::FileExists(csv + ".report.csv"));
    EXPECT_EQ(3, VirtualKeys::State(keys[0]).tries);
    EXPECT_EQ(std::string::npos, io.err().find("hunter2"));
}

INSTANTIATE_TEST_SUITE_P(Files, BadBatch, testing::ValuesIn(kBadBatches),
                         [](const testing::TestParamInfo<BadBatchCase> &info) { return std::string(info.param.name); });

TEST_F(Batch, ReportOfAnotherKindIsRefused)
{
    std::string csv = WriteCsv();
    ASSERT_TRUE(testkit::WriteFileBytes(csv + ".report.csv", "minutes of the meeting\r\n"));
    CapturedIo io;
    EXPECT_EQ(kExitUsage, RunBatch(csv, io));
    EXPECT_NE(std::string::npos, io.err().find("is no report of a batch run. Name another with --report")) << io.err();
    EXPECT_EQ("minutes of the meeting\r\n", testkit::ReadFileBytes(csv + ".report.csv"));
}

}  // namespace
