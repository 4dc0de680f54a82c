// The fault sweep of the console's Key commands: attach (Change ID), the Notes password (typed
// and generated), Clear, the label and the PIN change, each through the console's real windows.
// The Key stand-in fails the k-th call of one Key entry (an I/O error, the Key pulled, no space,
// a refused or blocked PIN), for every k up to the number of calls a clean run of the command
// makes of that entry. Each run must end without a crash or a hang; every box says something; a
// Key left as it was has had its failure reported (never a success box); the Key holds the old
// state or the new one, whole; what the console holds and shows is what the Key holds; the ID
// files and notes.ini lose nothing; no temporary ID file is left; the console closes cleanly.
// The sweep itself is testkit's (fault_sweep.h): SENTRIO_SWEEP_MAX_K bounds k per entry (1 when
// unset), 0 sweeps every k; ctest sets SENTRIO_SWEEP_SAMPLE=1 (the first kind of each of a
// command's sample entries); scripts/fault-sweep.sh console sweeps every kind; SENTRIO_SWEEP_ONLY
// names one Key entry, SENTRIO_SWEEP_FLOW one command ("console Clear").
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "arbolin_res.h"
#include "arbolin_window.h"
#include "console_flow.h"
#include "fault_sweep.h"
#include "key_records.h"
#include "notes_control.h"
#include "quorel_control.h"
#include "virtual_keys.h"

namespace {

using testkit::ArbolinConsole;
using testkit::ConsoleBox;
using testkit::FlowStep;
using testkit::KeyRecordFields;
using testkit::WaitUntil;

using testkit::KeyFault;

constexpr DWORD kRemovedCard = 0x80100069;
constexpr DWORD kNoMemory = testkit::kFaultNoSpace;
constexpr DWORD kWrongChv = testkit::kFaultPinRefused;
constexpr DWORD kChvBlocked = testkit::kFaultPinBlocked;

const char kReader[] = "Reader A";
const char kPin[] = "1234";
const char kUser[] = "Anna Berg/Morvath";
const char kPassword[] = "secret";
const char kNewUser[] = "Bert Brun/Morvath";
const char kNewIdPassword[] = "other";
const char kNewPassword[] = "brand-new";
const char kNewLabel[] = "Office Key";
const char kNewPin[] = "5678";
const char kPasDialog[] = "Change current Lotus Notes password";
const char kPinDialog[] = "Change PIN Dialog";
const char kLabelDialog[] = "Change Label Dialog";
const char kPinChanged[] = "PIN is changed successfully!";

// The failure kinds of the console's Key calls. The first kind of each entry is the one the ctest
// sample sweeps.
const std::vector<KeyFault> kFaults = {
    {"InitCard", ERROR_IO_DEVICE, -3, "Key error"},
    {"InitCard", ERROR_NOT_READY, -1, "Key pulled"},
    {"InitCard", 0, 0, "Key blocked"},
    {"VerifyPIN", kWrongChv, 0, "PIN refused"},
    {"VerifyPIN", kChvBlocked, 0, "PIN blocked"},
    {"ReadData", ERROR_IO_DEVICE, 0, "I/O error"},
    {"ReadData", kRemovedCard, 0, "Key pulled"},
    {"WriteData", ERROR_IO_DEVICE, 0, "I/O error"},
    {"WriteData", kRemovedCard, 0, "Key pulled"},
    {"WriteData", kNoMemory, 0, "no space"},
    {"SetDataSize", ERROR_IO_DEVICE, 0, "I/O error"},
    {"SetDataSize", kRemovedCard, 0, "Key pulled"},
    {"SetDataSize", kNoMemory, 0, "no space"},
    {"GetApplicationInfo", ERROR_IO_DEVICE, 0, "I/O error"},
    {"GetRandom", ERROR_IO_DEVICE, 0, "I/O error"},
    {"GetRandom", kRemovedCard, 0, "Key pulled"},
    {"ChangePIN", ERROR_IO_DEVICE, 0, "I/O error"},
    {"ChangePIN", kRemovedCard, 0, "Key pulled"},
    {"ChangePIN", kWrongChv, 0, "PIN refused"},
    {"WriteLabel", ERROR_IO_DEVICE, 0, "I/O error"},
    {"WriteLabel", kRemovedCard, 0, "Key pulled"},
    {"ReadLabel", ERROR_IO_DEVICE, 0, "I/O error"},
    {"GetCardID", ERROR_IO_DEVICE, 0, "I/O error"},
    {"CloseCard", ERROR_IO_DEVICE, 0, "I/O error"},
    {"InitCard", 0, 0, "Key pulled at the call", true},
    {"VerifyPIN", 0, 0, "Key pulled at the call", true},
    {"WriteData", 0, 0, "Key pulled at the call", true},
    {"SetDataSize", 0, 0, "Key pulled at the call", true},
    {"GetRandom", 0, 0, "Key pulled at the call", true},
    {"ChangePIN", 0, 0, "Key pulled at the call", true},
    {"WriteLabel", 0, 0, "Key pulled at the call", true},
    {"CloseCard", 0, 0, "Key pulled at the call", true},
};

// The entries the ctest sample sweeps (each with its first kind), where a command calls them.
const std::vector<std::string> kSampleEntries = {"VerifyPIN",  "WriteData",  "SetDataSize", "GetRandom",
                                                 "ChangePIN", "WriteLabel", "CloseCard"};

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

bool SameRecord(const KeyRecordFields &a, const KeyRecordFields &b)
{
    return a.found && b.found && a.user == b.user && a.password == b.password && a.idFileName == b.idFileName &&
           a.idFile == b.idFile;
}

// One run's world: the ID files and notes.ini in a folder of their own, a Key with Anna's record
// and PIN, the console started on it with the PIN given.
class SweepRun {
public:
    // `idSize`: the ID files' size in bytes (0: as small as the Notes stand-in makes them).
    explicit SweepRun(DWORD idSize = 0)
    {
        anna_ = MakeId("anna.id", kUser, kPassword, idSize);
        bert_ = MakeId("bert.id", kNewUser, kNewIdPassword, idSize);
        annaBytes_ = testkit::ReadFileBytes(anna_);
        bertBytes_ = testkit::ReadFileBytes(bert_);
        old_ = {kUser, kPassword, "anna.id", annaBytes_};
        old_.found = true;
        ini_ = files_.file("notes.ini");
        testkit::WriteFileBytes(ini_, "[Notes]\r\nDirectory=" + files_.path() + "\r\nKeyFileName=anna.id\r\n");
        iniBytes_ = testkit::ReadFileBytes(ini_);
    }

    // "" once the console lists the Key with its Notes data read.
    std::string Start()
    {
        if (annaBytes_.empty() || bertBytes_.empty() || iniBytes_.empty())
            return "ID files or notes.ini not made";
        key_ = ArbolinConsole::MakeKey("Anna", kPin);
        if (key_ == 0 || !testkit::PutKeyRecord(key_, old_))
            return "Key not made";
        if (!c_.StartWithKey(key_, kReader) || !c_.GivePin(0, kPin) ||
            !WaitUntil([&] { return c_.Enabled(IDC_SHOW_BT); }))
            return "console not ready on the Key";
        before_ = ReadKey(key_);
        return "";
    }

    // Whether `password` opens the ID file bytes `id`.
    bool Opens(const std::string &id, const std::string &password)
    {
        std::string path = files_.file("check.id");
        bool opens = testkit::WriteFileBytes(path, id) && NsimCheckIdPassword(path.c_str(), password.c_str()) == NOERROR;
        DeleteFileA(path.c_str());
        return opens;
    }

    // The password the console holds, as Show shows it ("" when Show is not offered).
    std::string ShownPassword(std::string *problem)
    {
        if (!c_.Enabled(IDC_SHOW_BT))
            return "";
        testkit::CommandRun show = testkit::DriveCommand(c_, IDC_SHOW_BT, {});
        const std::string head = "Current Notes password:\n\n ";
        if (!show.problem.empty() || show.boxes.size() != 2 || show.boxes[1].text.compare(0, head.size(), head) != 0) {
            *problem = "Show did not show a password" + (show.problem.empty() ? "" : ": " + show.problem);
            return "";
        }
        const std::string &text = show.boxes[1].text;
        return text.substr(head.size(), text.size() - head.size() - 1);
    }

    ArbolinConsole &console() { return c_; }
    int key() const { return key_; }
    const KeyNow &before() const { return before_; }
    const KeyRecordFields &old() const { return old_; }
    const std::string &ini() const { return ini_; }
    const std::string &bert() const { return bert_; }
    const std::string &bertBytes() const { return bertBytes_; }
    const std::string &iniBytes() const { return iniBytes_; }

    // Whether the ID files on disk are as they were made.
    bool IdFilesKept() const
    {
        return testkit::ReadFileBytes(anna_) == annaBytes_ && testkit::ReadFileBytes(bert_) == bertBytes_;
    }
    // A temporary ID file (or a part of one) in the console's temporary directory.
    bool TempIdFileLeft() const
    {
        for (const char *pattern : {"\\*.id", "\\*.part"}) {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((c_.TempFolder() + pattern).c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                FindClose(search);
                return true;
            }
        }
        return false;
    }

    // The console reads the Key afresh (taken out and put back, its row selected, the PIN given
    // when it is asked): "" when it reports the Key's record as damaged and holds nothing of it.
    std::string ReadDamaged()
    {
        ArbolinConsole &c = c_;
        if (testkit::VirtualKeys::State(key_).reader[0] != 0) {
            c.WaitRowCount(1, 5000);
            ArbolinConsole::Pull(key_);
            if (!c.WaitRowCount(0))
                return "the console kept the row of a Key taken out";
        }
        if (!ArbolinConsole::Insert(key_, kReader) || !c.WaitRowCount(1) || !c.SelectRow(0))
            return "the console did not list the Key put back";
        if (!WaitUntil([&] { return c.WaitBox(0) != nullptr || c.Enabled(IDC_PIN_ENTER); }))
            return "the console neither read the Key put back nor asked its PIN";
        if (c.WaitBox(0) == nullptr) {
            testkit::SetControlText(c.Item(IDC_PIN_EDIT), kPin);
            c.Click(IDC_PIN_ENTER);
        }
        ConsoleBox box = c.TakeBoxWith(IDOK);
        if (!box.found || box.text.find("damaged") == std::string::npos)
            return "the console read the damaged record without saying so (" + box.text + ")";
        if (!WaitUntil([&] { return c.Rows().size() == 1 && c.Rows()[0].info == "[unreadable]"; }, 5000))
            return "the row does not say the Key's Notes data is unreadable";
        if (c.Enabled(IDC_SHOW_BT))
            return "the console offers Show for a damaged record";
        return "";
    }

private:
    std::string MakeId(const std::string &name, const char *user, const char *password, DWORD size)
    {
        std::string path = files_.file(name);
        return NsimCreateIdFileOfSize(path.c_str(), user, password, size) == NOERROR ? path : std::string();
    }

    testkit::TempDir files_;
    ArbolinConsole c_;
    int key_ = 0;
    std::string anna_, bert_, annaBytes_, bertBytes_, ini_, iniBytes_;
    KeyRecordFields old_;
    KeyNow before_;
};

// What the Key holds after a command: the old state, the new one, a record no reader takes (a
// write cut short), or anything else.
enum class Change { kOld, kNew, kDamaged, kNeither };

// One command of the sweep: its button, the windows it asks, the boxes that report no failure,
// and what the Key holds when it went through.
struct Flow {
    const char *name;
    int button;
    std::function<std::vector<FlowStep>(const SweepRun &)> steps;
    std::vector<std::string> fineBoxes;  // questions and success reports
    std::function<Change(SweepRun &, const KeyNow &)> change;
    // Whether the console shows what the Key holds; "" when it does.
    std::function<std::string(SweepRun &, const KeyNow &)> agrees;
    // The Key entries the command calls when nothing fails (their kinds are swept; a clean run with
    // SENTRIO_SWEEP_ONLY=none prints them).
    std::vector<std::string> entries;
};

const char kChooseId[] = "Change ID file - Select ID file";
const char kChooseIni[] = "Initialize Notes - Select \"notes.ini\"";

// The Notes data of the console (row, Show) against the Key's record.
std::string NotesDataAgrees(SweepRun &r, const KeyNow &now)
{
    ArbolinConsole &c = r.console();
    if (!now.record.found) {
        bool none = WaitUntil([&] { return !c.Enabled(IDC_SHOW_BT); }, 3000);
        return none ? "" : "the Key holds no record, yet the console offers Show";
    }
    if (!c.Enabled(IDC_SHOW_BT))
        return "";  // nothing held (the Key asks its PIN again, say): nothing to disagree with
    std::string problem;
    std::string shown = r.ShownPassword(&problem);
    if (!problem.empty())
        return problem;
    if (shown != now.record.password)
        return "the console holds the password \"" + shown + "\", the Key \"" + now.record.password + "\"";
    std::vector<testkit::ConsoleRow> rows = c.Rows();
    if (rows.size() == 1 && rows[0].info != now.record.user)
        return "the row shows the user \"" + rows[0].info + "\", the Key holds \"" + now.record.user + "\"";
    return "";
}

Change PasswordChange(SweepRun &r, const KeyNow &now, const std::function<bool(const std::string &)> &isNew)
{
    if (SameRecord(now.record, r.old()))
        return Change::kOld;
    const KeyRecordFields &n = now.record;
    if (n.found && n.user == kUser && n.idFileName == "anna.id" && isNew(n.password) && r.Opens(n.idFile, n.password))
        return Change::kNew;
    return Change::kNeither;
}

const Flow kFlows[] = {
    {"Attach", IDC_CHANGE_ID,
     [](const SweepRun &r) {
         return std::vector<FlowStep>{testkit::FileAnswer(kChooseId, r.bert()), testkit::FileAnswer(kChooseIni, r.ini()),
                                      testkit::InputAnswer("Get Password Dialog", kNewIdPassword)};
     },
     {},
     [](SweepRun &r, const KeyNow &now) {
         if (SameRecord(now.record, r.old()))
             return Change::kOld;
         KeyRecordFields bert = {kNewUser, kNewIdPassword, "bert.id", r.bertBytes()};
         bert.found = true;
         return SameRecord(now.record, bert) ? Change::kNew : Change::kNeither;
     },
     NotesDataAgrees, {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "WriteData", "SetDataSize"}},
    {"TypedNotesPassword", IDC_CHANGE_LN_PASSWORD,
     [](const SweepRun &r) {
         return std::vector<FlowStep>{testkit::InputAnswer(kPasDialog, kNewPassword),
                                      testkit::InputAnswer(kPasDialog, kNewPassword),
                                      testkit::FileAnswer("Initialize Notes - Select \"notes.ini\"", r.ini())};
     },
     {},
     [](SweepRun &r, const KeyNow &now) {
         return PasswordChange(r, now, [](const std::string &p) { return p == kNewPassword; });
     },
     NotesDataAgrees, {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "WriteData", "SetDataSize"}},
    {"GeneratedNotesPassword", IDC_CHANGE_LN_PASSWORD,
     [](const SweepRun &r) {
         return std::vector<FlowStep>{testkit::GenerateAnswer(kPasDialog),
                                      testkit::FileAnswer("Initialize Notes - Select \"notes.ini\"", r.ini())};
     },
     {},
     [](SweepRun &r, const KeyNow &now) {
         return PasswordChange(r, now, [](const std::string &p) { return p.size() == 64 && p != kPassword; });
     },
     NotesDataAgrees, {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "WriteData", "SetDataSize", "GetRandom"}},
    {"Clear", IDC_CLEAR_KSD, [](const SweepRun &) { return std::vector<FlowStep>{}; }, {"Are you sure?"},
     [](SweepRun &r, const KeyNow &now) {
         if (SameRecord(now.record, r.old()))
             return Change::kOld;
         return now.size == 0 ? Change::kNew : Change::kNeither;
     },
     NotesDataAgrees, {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "SetDataSize"}},
    {"Label", IDC_LABEL_BT,
     [](const SweepRun &) { return std::vector<FlowStep>{testkit::InputAnswer(kLabelDialog, kNewLabel)}; }, {},
     [](SweepRun &r, const KeyNow &now) {
         if (now.label == r.before().label)
             return Change::kOld;
         return now.label == kNewLabel ? Change::kNew : Change::kNeither;
     },
     [](SweepRun &r, const KeyNow &now) {
         ArbolinConsole &c = r.console();
         std::string want = now.label;
         if (WaitUntil([&] { return c.Rows().size() == 1 && c.Rows()[0].label == want; }, 5000))
             return std::string();
         std::vector<testkit::ConsoleRow> rows = c.Rows();
         return "the row shows the label \"" + (rows.empty() ? std::string("(no row)") : rows[0].label) +
                "\", the Key holds \"" + want + "\"";
     },
     {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "WriteLabel"}},
    {"PinChange", IDC_CHANGE_PIN,
     [](const SweepRun &) {
         return std::vector<FlowStep>{testkit::InputAnswer(kPinDialog, kNewPin), testkit::InputAnswer(kPinDialog, kNewPin)};
     },
     {kPinChanged},
     [](SweepRun &r, const KeyNow &now) {
         if (now.pin == r.before().pin)
             return Change::kOld;
         return now.pin == kNewPin ? Change::kNew : Change::kNeither;
     },
     [](SweepRun &r, const KeyNow &now) {
         // A console that took the new PIN goes on with it: the label can still be changed.
         if (now.pin != kNewPin || !r.console().Enabled(IDC_LABEL_BT))
             return std::string();
         testkit::CommandRun label =
             testkit::DriveCommand(r.console(), IDC_LABEL_BT, {testkit::InputAnswer(kLabelDialog, "After")});
         if (!label.problem.empty())
             return "the label change after it: " + label.problem;
         if (testkit::VirtualKeys::State(r.key()).label != std::string("After"))
             return std::string("the console no longer opens the Key with its new PIN");
         return std::string();
     },
     {"InitCard", "VerifyPIN", "GetApplicationInfo", "GetCardID", "ReadLabel", "CloseCard", "ChangePIN"}},
};

bool IsFine(const Flow &flow, const ConsoleBox &box)
{
    for (const std::string &fine : flow.fineBoxes)
        if (box.text == fine)
            return true;
    return false;
}

// One run of `flow` with the failure `kind` planned after `skip` calls of its entry (none when
// null); "" when every check held, else what failed. `calls` receives the entries' call counts,
// `outcome` (when given) what the Key held afterwards. `idSize`: the ID files' size (0: small).
std::string RunFlow(const Flow &flow, const KeyFault *kind, int skip, std::vector<DWORD> *calls,
                    Change *outcome = nullptr, DWORD idSize = 0)
{
    SweepRun r(idSize);
    std::string problem = r.Start();
    if (!problem.empty())
        return problem;
    ArbolinConsole &c = r.console();
    std::vector<DWORD> before = testkit::KeyCallCounts();
    DWORD entryBefore = kind != nullptr ? QsimCallCount(kind->entry) : 0;
    if (kind != nullptr && !testkit::PlanKeyFault(*kind, skip, r.key()))
        return "failure not planned";
    testkit::CommandRun run = testkit::DriveCommand(c, flow.button, flow.steps(r));
    if (calls != nullptr)
        *calls = testkit::KeyCallsDifference(before, testkit::KeyCallCounts());
    DWORD entryCalls = kind != nullptr ? QsimCallCount(kind->entry) - entryBefore : 0;
    testkit::ClearKeyFaults();  // nothing left planned
    std::vector<std::string> problems;
    if (!run.problem.empty())
        problems.push_back(run.problem);
    if (testkit::WaitWindowShown(c))
        problems.push_back("the wait window is left shown");
    bool failureReported = false, successReported = false;
    for (const ConsoleBox &box : run.boxes) {
        if (box.text.empty())
            problems.push_back("a box without text (" + box.caption + ")");
        if (IsFine(flow, box))
            successReported = successReported || box.text == kPinChanged;
        else
            failureReported = true;
    }
    // A Key the failure pulled goes back into its reader before it is looked at.
    QsimKeyState state = testkit::VirtualKeys::State(r.key());
    if (kind != nullptr && kind->pull && !kind->chunk && entryCalls > static_cast<DWORD>(skip) && state.reader[0] != 0)
        problems.push_back("the Key was not pulled at the call planned");
    if (kind != nullptr && kind->chunk && state.reader[0] != 0)
        problems.push_back("the Key was not pulled at the chunk planned");
    if (state.reader[0] == 0)
        ArbolinConsole::Insert(r.key(), kReader);
    KeyNow now = ReadKey(r.key());
    // Data on the Key that is no record: a record's write cut short. The console must have said
    // the write failed, and when it reads the Key again it must say the record is damaged.
    Change change = now.size != 0 && !now.record.found ? Change::kDamaged : flow.change(r, now);
    if (outcome != nullptr)
        *outcome = change;
    if (change == Change::kDamaged) {
        if (!failureReported || successReported)
            problems.push_back("the Key's record was left damaged, and no failure was reported");
        std::string said = r.ReadDamaged();
        if (!said.empty())
            problems.push_back(said);
    }
    if (change == Change::kNeither)
        problems.push_back("the Key holds neither the old nor the new state (record found " +
                           std::to_string(now.record.found) + ", " + std::to_string(now.size) + " bytes, label \"" +
                           now.label + "\")");
    if (change == Change::kOld && run.problem.empty() && !failureReported && run.started)
        problems.push_back("the Key was left as it was, and no failure was reported");
    if (change == Change::kOld && successReported)
        problems.push_back("success reported, yet the Key was left as it was");
    if (now.record.found && !r.Opens(now.record.idFile, now.record.password))
        problems.push_back("the ID file on the Key does not open with the Key's password");
    if (problems.empty()) {
        std::string disagreement = flow.agrees(r, now);
        if (!disagreement.empty())
            problems.push_back(disagreement);
    }
    if (!r.IdFilesKept())
        problems.push_back("an ID file on disk changed");
    if (testkit::ReadFileBytes(r.ini() + ".bak").size() > 0 && testkit::ReadFileBytes(r.ini() + ".bak") != r.iniBytes())
        problems.push_back("the notes.ini backup is not the notes.ini the console found");
    if (testkit::IniValue(r.ini(), "KeyFileName").empty())
        problems.push_back("notes.ini lost its KeyFileName");
    if (r.TempIdFileLeft())
        problems.push_back("a temporary ID file is left");
    // A Key error the monitor met meanwhile may still hold a box up: answered (it must say
    // something), and the close retried.
    int exitCode = c.Close();
    for (int tries = 0; exitCode == -1 && tries < 3; ++tries) {
        HWND box = c.WaitBox(0);
        if (box == nullptr)
            break;
        if (ArbolinConsole::BoxText(box).empty())
            problems.push_back("a box without text");
        ArbolinConsole::AnswerBox(box);
        exitCode = c.Close();
    }
    if (exitCode != 0)
        problems.push_back("exit code " + std::to_string(exitCode) + testkit::ConsoleWindowsShown(c));
    std::string all;
    for (const std::string &p : problems)
        all += (all.empty() ? "" : "; ") + p;
    return all;
}

void PrintTo(const Flow &flow, std::ostream *out)
{
    *out << flow.name;
}

class ConsoleFaultSweep : public testing::TestWithParam<Flow> {};

TEST_P(ConsoleFaultSweep, CommandSurvivesEveryFailedKeyCall)
{
    const Flow &flow = GetParam();
    std::string name = std::string("console ") + flow.name;
    if (!testkit::SweepFlowSelected(name))
        GTEST_SKIP() << "SENTRIO_SWEEP_FLOW leaves " << name << " out";
    std::vector<KeyFault> faults;
    for (const KeyFault &fault : kFaults)
        if (std::find(flow.entries.begin(), flow.entries.end(), fault.entry) != flow.entries.end())
            faults.push_back(fault);
    testkit::SweepFigures figures = testkit::RunFaultSweep(
        name, faults,
        [&](const KeyFault *fault, int skip, std::vector<DWORD> *calls) {
            std::string problem = RunFlow(flow, fault, skip, calls);
            if (fault == nullptr && calls != nullptr)
                std::printf("fault sweep: %s, calls of a clean run: %s\n", name.c_str(),
                            testkit::KeyCallsBetween(std::vector<DWORD>(calls->size(), 0), *calls).c_str());
            return problem;
        },
        testkit::SweepMaxK(1), kSampleEntries);
    EXPECT_TRUE(figures.failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Commands, ConsoleFaultSweep, testing::ValuesIn(kFlows),
                         [](const testing::TestParamInfo<Flow> &info) { return std::string(info.param.name); });

// A record's write pulled between every two chunks of it (one reader command each): the attach of
// a 16 KB ID file over a record of the same size. Afterwards the Key holds the old record, the new
// one, or one the console reports damaged when it reads it, and the attach said it failed.
// SENTRIO_SWEEP_MAX_K=0 pulls at every chunk (else at least 3 positions spread over them).
TEST(ConsoleTornWrites, AttachPulledBetweenAnyTwoChunks)
{
    constexpr DWORD kIdFileSize = 16 * 1024;
    const std::string name = "console Attach, torn";
    if (!testkit::SweepFlowSelected(name))
        GTEST_SKIP() << "SENTRIO_SWEEP_FLOW leaves " << name << " out";
    const Flow &attach = kFlows[0];
    ASSERT_STREQ("Attach", attach.name);
    const std::vector<KeyFault> faults = {{"WriteData", 0, 0, "Key pulled between two chunks", true, nullptr, true}};
    testkit::WriteOutcomes outcomes;
    testkit::SweepFigures figures = testkit::RunFaultSweep(
        name, faults,
        [&](const KeyFault *fault, int skip, std::vector<DWORD> *calls) {
            Change change = Change::kNeither;
            std::string problem = RunFlow(attach, fault, skip, calls, &change, kIdFileSize);
            if (fault != nullptr) {
                testkit::WriteOutcome outcome = testkit::WriteOutcome::kOther;
                if (problem.empty() && change == Change::kOld)
                    outcome = testkit::WriteOutcome::kOld;
                else if (problem.empty() && change == Change::kNew)
                    outcome = testkit::WriteOutcome::kNew;
                else if (problem.empty() && change == Change::kDamaged)
                    outcome = testkit::WriteOutcome::kDamagedAndSaid;
                outcomes.Add(outcome);
            }
            return problem;
        },
        testkit::TornSweepMaxK());
    outcomes.Print(name);
    EXPECT_GT(figures.runs, 0);
    EXPECT_TRUE(figures.failures.empty());
    EXPECT_EQ(0, outcomes.other);
}

}  // namespace
