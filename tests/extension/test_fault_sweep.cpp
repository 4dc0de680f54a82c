// The fault sweep of Tolvik's Key flows in the Notes client: the Key stand-in fails the k-th call
// of one Key entry (an I/O error, the Key pulled, no space, a refused PIN, a blocked Key), for
// every k up to the number of calls a clean run of the flow makes of that entry. One flow is a row
// (its setup, its action, the kinds it sweeps, what its Key may hold afterwards) and one test.
// Each run must end without a crash or a hang, every box must say something, the client must end
// on the Key's ID or on its own, the Key's record must be the old one or (for a flow that writes)
// the new one, whole; a write that did not reach the Key must have been reported, never as a
// success; KeyFileName is restored at exit and no temporary ID file is left.
// SENTRIO_SWEEP_MAX_K bounds k per kind (2 when unset; 0 every k: scripts/fault-sweep.sh);
// SENTRIO_SWEEP_ONLY names one Key entry, SENTRIO_SWEEP_FLOW one flow; SENTRIO_SWEEP_COUNTS=1
// prints the Key calls of each flow's clean run and each run's time; SENTRIO_SWEEP_SAMPLE=1 (the
// ctest run) takes the first kind of each entry only. See tests/testkit/fault_sweep.h.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "fault_sweep.h"
#include "key_records.h"
#include "notes_control.h"
#include "notes_host_res.h"
#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"
#include "tolvik_fixture.h"

namespace {

using namespace tolvik_test;
using testkit::KeyFault;

const char kBirCaption[] = "Morvath Sentrio (BIR Verification)";
const char kPin[] = "1234";
const char kNewPin[] = "5678";
const char kTypedPassword[] = "pw-new-typed";
const char kTypedSameLength[] = "pw-anna-new";  // as long as kAnnaPassword: the record keeps its lengths
const char kNewPinCaption[] = "Enter new PIN code:";
const char kConfirmPinCaption[] = "Confirm new PIN code:";
constexpr DWORD kRunLimit = 60000;  // a run that takes longer hangs
constexpr DWORD kQuiet = 1500;      // after a reported failure, no further window for this long: ended
constexpr int kPasswordEdit = 101;
constexpr int kPasswordPrompt = 109;
constexpr int kGenerate = 111;

// The visible windows the client shows, as " [caption: text]...".
std::string WindowsLeft(const NotesScenario &s)
{
    std::string text;
    for (HWND window : testkit::VisibleWindowsOf(s.pid())) {
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        char cls[64] = "";
        GetClassNameA(window, cls, sizeof cls);
        std::string what = NotesScenario::BoxText(window);
        // A window that is no message box: its controls, so that a hang names the dialog it waits on.
        if (what.empty()) {
            for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
                char childText[128] = "";
                GetWindowTextA(child, childText, sizeof childText);
                what += " " + std::to_string(GetDlgCtrlID(child)) + "=\"" + childText + "\"";
            }
        }
        text += std::string(" [") + cls + " \"" + caption + "\":" + what + "]";
    }
    return text;
}

// What a flow that writes left on the Key, and whether it is what the flow wanted.
enum class Written { kNothing, kRecord, kPin };

class FlowRun;

// One flow: a row of the sweep.
struct Flow {
    const char *name;
    bool tools;                          // the menu add-in too (the tools' commands)
    bool faultBeforeStart;               // the fault is planned before the client starts (the logon)
    std::function<bool(FlowRun &)> setup;   // after the logon, before the fault is planned
    std::function<void(FlowRun &)> action;  // starts the action
    std::function<bool(FlowRun &)> done;    // the action ended as it should
    Written writes;
    const char *success;                 // the box that reports the write done
    std::vector<KeyFault> faults;
    std::vector<std::string> sample;     // the entries the ctest run samples (empty: all)
    DWORD idFileSize = 0;                // the Key's ID file's size in bytes (0: as the stand-in makes it)
    const char *typed = kTypedPassword;  // the new password typed in a password change
};

// One run of a flow: the client on Anna's Key, the action, what the product showed, the checks.
class FlowRun {
public:
    FlowRun(const Flow &flow) : flow_(flow) {}

    NotesScenario s;
    int key = 0;
    std::vector<std::string> boxes;  // the texts of the boxes the action showed
    std::string oldId, newId;        // the ID file bytes of the old and of the new record
    std::string keyIdPath;           // the Key's temporary ID that notes.ini named before the action
    std::string problem;

    std::string Run(const KeyFault *fault, int skip, std::vector<DWORD> *calls);

    // Answers one window the product or the client shows; true when it answered one.
    bool AnswerOne()
    {
        HWND box = s.WaitBox(0);
        if (box == nullptr)
            box = testkit::FindProcessWindow(s.pid(), "#32770", kBirCaption, 0, 0xFFFF);
        if (box != nullptr) {
            std::string text = NotesScenario::BoxText(box);
            boxes.push_back(text);
            if (text.empty() && problem.empty())
                problem = "a box without text";
            NotesScenario::AnswerBox(box, GetDlgItem(box, IDYES) != nullptr ? IDYES : IDOK);
            return Answered();
        }
        HWND change = testkit::FindProcessWindow(s.pid(), "#32770", NotesScenario::kCaption, 0, kGenerate);
        if (change != nullptr) {
            std::string prompt = testkit::GetControlText(GetDlgItem(change, kPasswordPrompt));
            if (generate && prompt.find("Confirm") == std::string::npos) {
                testkit::ClickDialogButton(change, kGenerate);
            } else {
                testkit::SetControlText(GetDlgItem(change, kPasswordEdit), flow_.typed);
                testkit::ClickDialogButton(change, IDOK);
            }
            testkit::WaitForWindowGone(change, NotesScenario::kWait);
            return Answered();
        }
        if (s.WaitPinPrompt(0) != nullptr) {
            // The user knows the Key's PIN, the new one once a change has reached the Key.
            QsimKeyState state = {};
            s.AnswerPin(QsimGetKey(key, &state) ? state.pin : kPin);
            return Answered();
        }
        for (const char *caption : {kNewPinCaption, kConfirmPinCaption}) {
            if (testkit::FindProcessWindow(s.pid(), "#32770", caption, 0) != nullptr) {
                s.AnswerNewPin(caption, kNewPin);
                return Answered();
            }
        }
        if (s.Find("#32770", "Enter Password", 0) != nullptr) {
            s.AnswerClientPrompt(kOwnPassword);
            return Answered();
        }
        if (HWND own = s.Find("#32770", "Change Password", 0)) {  // the client's own, when not handled
            testkit::ClickDialogButton(own, IDCANCEL);
            testkit::WaitForWindowGone(own, NotesScenario::kWait);
            return Answered();
        }
        return false;
    }

    // Answers what is shown until `done` holds; a problem when the client ends or 60 s pass.
    bool Drive(const std::function<bool()> &done, const char *what)
    {
        DWORD start = GetTickCount();
        while (problem.empty()) {
            if (WaitForSingleObject(s.process(), 0) == WAIT_OBJECT_0) {
                problem = std::string("the client ended before ") + what;
                break;
            }
            if (GetTickCount() - start > kRunLimit) {
                problem = std::string("hang: ") + what + " not reached within 60 s;" + WindowsLeft(s) +
                          " status " + s.Status();
                break;
            }
            if (AnswerOne())
                continue;
            if (done())
                return true;
            testkit::PumpMessages(50);
        }
        return false;
    }

    // The client runs, open, on the Key's ID.
    bool OnKeyId()
    {
        return s.Find("NOTES", nullptr, 0) != nullptr && s.WaitMain() != nullptr &&
               s.Status().find("State=open") != std::string::npos &&
               s.Status().find(std::string("User=") + kAnna) != std::string::npos;
    }
    // Open on the Key's ID with the ID file from the Key there: logged on with the Key's record.
    // Open on it without that file, the client was unlocked with a password the Key's record did
    // not give in this run (one kept from before a removal, say): never a good end.
    bool OnKeyIdWithItsFile() { return OnKeyId() && testkit::FileExists(s.TempFile("anna.id")); }
    bool Open()
    {
        return s.Find("NOTES", nullptr, 0) != nullptr && s.WaitMain() != nullptr &&
               s.Status().find("State=open") != std::string::npos;
    }
    // The product has shown nothing for a while; the same after it reported a failure.
    bool Quiet() const { return GetTickCount() - lastAnswer_ > kQuiet; }
    bool QuietAfterReport() const { return ReportedFailure() && Quiet(); }
    // Nothing shown for a while, and the client on either ID, or locked with the Key out or after
    // a reported failure.
    bool Settled()
    {
        if (!Quiet() || s.Find("NOTES", nullptr, 0) == nullptr || s.WaitMain() == nullptr)
            return false;
        std::string status = s.Status();
        if (status.find("State=open") != std::string::npos)
            return true;
        return status.find("State=locked") != std::string::npos && (KeyOutAndLocked() || ReportedFailure());
    }
    // The Key was pulled (again) and the client stays locked.
    bool KeyOutAndLocked() const
    {
        QsimKeyState state = {};
        return QsimGetKey(key, &state) && state.reader[0] == 0 &&
               s.Status().find("State=locked") != std::string::npos;
    }
    bool ReportedFailure() const
    {
        for (const std::string &b : boxes)
            if (flow_.success == nullptr || b != flow_.success)
                if (b.find("Are you sure?") == std::string::npos)
                    return true;
        return false;
    }
    // The boxes the run answered, as " (boxes: <text>|<text>)".
    std::string BoxesSeen() const
    {
        std::string text;
        for (const std::string &b : boxes)
            text += (text.empty() ? "" : "|") + b;
        return " (boxes: " + text + ")";
    }
    bool ReportedSuccess() const
    {
        for (const std::string &b : boxes)
            if (flow_.success != nullptr && b == flow_.success)
                return true;
        return false;
    }
    // Since the action, a handler answered a password request (5985) with a password that did not
    // open the ID: the client logs the refusal right after the answer. The extension gives the
    // Key's password only while it holds the Key's record and its ID file, so that never happens.
    bool HandlerPasswordRefused() const
    {
        const std::string answered = "handlers answered 5985";
        std::string log = s.HostLog();
        for (std::size_t at = log.find(answered, logAtAction_); at != std::string::npos;
             at = log.find(answered, at + 1)) {
            std::size_t next = log.find('\n', at);
            if (next == std::string::npos)
                break;
            std::string line = log.substr(next + 1, log.find('\n', next + 1) - next - 1);
            bool refused = line.rfind("unlock: status", 0) == 0 ||
                           (line.rfind("ID <", 0) == 0 && line.find(">: status ") != std::string::npos);
            if (refused)
                return true;
        }
        return false;
    }
    // The host's event log has `line` after where it stood when the action started.
    bool LoggedSinceAction(const std::string &line) const
    {
        std::string log = s.HostLog();
        return log.size() > logAtAction_ && log.find(line, logAtAction_) != std::string::npos;
    }

    bool generate = false;      // the password change takes the generated password
    bool toolsRefused = false;  // the tools' popup did not open or offer the command
    // What the Key's record was found to be at the end of a run whose checks held.
    testkit::WriteOutcome outcome = testkit::WriteOutcome::kOther;

private:
    bool Answered()
    {
        lastAnswer_ = GetTickCount();
        return true;
    }
    std::string CheckClientId();
    std::string CheckClose();
    std::string CheckWrite();
    std::string CheckDamaged();

    const Flow &flow_;
    DWORD lastAnswer_ = 0;
    std::size_t logAtAction_ = 0;

};

std::string FlowRun::CheckWrite()
{
    QsimKeyState state = {};
    if (!QsimGetKey(key, &state))
        return "the Key is gone";
    if (state.reader[0] == 0)
        s.Insert(key);
    if (state.tries != 3)
        return "a PIN try was spent: " + std::to_string(state.tries) + " left";
    NotesKeyRecord record;
    std::string id;
    if (!s.ReadRecord(key, &record, &id)) {
        QsimKeyState now = {};
        if (flow_.writes == Written::kRecord && QsimGetKey(key, &now) && now.size225 != 0 &&
            !testkit::GetKeyRecord(key).found)
            return CheckDamaged();
        return "the Key's record cannot be read (torn?)";
    }
    if (record.user != kAnna || record.idFileName != "anna.id")
        return "the Key's record names " + record.user + " / " + record.idFileName;
    std::string copy = s.dir().file("from-key.id");
    if (!testkit::WriteFileBytes(copy, id) || NsimCheckIdPassword(copy.c_str(), record.password.c_str()) != NOERROR)
        return "the ID file on the Key does not open with the Key's password (torn record)";
    bool oldRecord = record.password == kAnnaPassword && id == oldId;
    bool newRecord = false;
    bool changed = false;  // the write reached the Key
    switch (flow_.writes) {
    case Written::kNothing:
        if (!oldRecord)
            return "the Key's record is not the old one";
        return "";
    case Written::kRecord:
        if (generate)
            newRecord = record.password.size() == 60 && record.password != kAnnaPassword;
        else if (!newId.empty())
            newRecord = record.password == kAnnaPassword && id == newId;
        else
            newRecord = record.password == flow_.typed;
        changed = newRecord;
        break;
    case Written::kPin:
        if (!oldRecord)
            return "the Key's record changed in a PIN change";
        newRecord = true;
        changed = std::string(state.pin) == kNewPin;
        if (!changed && std::string(state.pin) != kPin)
            return std::string("the Key's PIN is neither the old nor the new one: ") + state.pin;
        break;
    }
    if (!oldRecord && !newRecord)
        return "the Key's record is neither the old nor the new one (password " + record.password + ")";
    if (!changed && ReportedSuccess())
        return "success reported, but the Key holds the old one";
    // A Key taken as pulled in the middle locks the client: that says the command did not happen.
    // The lock is posted to the client's thread, so on a loaded machine it may come a little after
    // the action's end: it is waited for.
    if (!changed && !ReportedFailure() && !s.WaitHostLogAfter(logAtAction_, "ID locked", nullptr, 5000))
        return toolsRefused ? "the tools did not open, and nothing said why" + WindowsLeft(s)
                            : "the write did not reach the Key and nothing said so" + BoxesSeen() + WindowsLeft(s);
    outcome = changed && flow_.writes == Written::kRecord ? testkit::WriteOutcome::kNew : testkit::WriteOutcome::kOld;
    return "";
}

// The Key holds data that is no record: a record's write cut short. The write must have been
// reported failed (or the Key's removal locked the client), and the next logon on the Key must
// say the record is damaged and leave the client on its own ID.
std::string FlowRun::CheckDamaged()
{
    if (ReportedSuccess())
        return "success reported, yet the Key's record is damaged" + BoxesSeen();
    if (!ReportedFailure() && !s.WaitHostLogAfter(logAtAction_, "ID locked", nullptr, 5000))
        return "the write was cut short and nothing said so" + BoxesSeen();
    std::size_t seen = boxes.size();
    auto saidDamaged = [&] {
        for (std::size_t i = seen; i < boxes.size(); ++i)
            if (boxes[i].find("Error reading data from KSD") != std::string::npos &&
                boxes[i].find("damaged") != std::string::npos)
                return true;
        return false;
    };
    s.Restart(190);
    lastAnswer_ = GetTickCount();
    if (!Drive([&] { return saidDamaged() && Open() && Quiet(); }, "the next logon's report of the damaged record"))
        return problem + BoxesSeen();
    std::string status = s.Status();
    if (status.find(std::string("User=") + kOwner) == std::string::npos)
        return "the next logon on a damaged record ended on " + status;
    std::string closed = CheckClose();
    if (!closed.empty())
        return closed + " (after the logon on the damaged record)";
    outcome = testkit::WriteOutcome::kDamagedAndSaid;
    return "";
}

std::string FlowRun::CheckClientId()
{
    // The client's ID (while the client is on it) opens with the password the Key holds.
    std::string temp = s.TempFile("anna.id");
    QsimKeyState state = {};
    NotesKeyRecord record;
    if (flow_.writes != Written::kRecord || !QsimGetKey(key, &state) || state.reader[0] == 0 ||
        !testkit::FileExists(temp) || !s.ReadRecord(key, &record))
        return "";
    if (NsimCheckIdPassword(temp.c_str(), record.password.c_str()) != NOERROR && !ReportedFailure())
        return "the client's ID does not open with the Key's password, and nothing said so";
    return "";
}

std::string FlowRun::CheckClose()
{
    testkit::ClearKeyFaults();
    // A box or a prompt the client still shows (a Key error the monitor met after the action)
    // holds up its exit: answered (it must say something), and the close asked again.
    HWND main = s.Find("NOTES", nullptr, 0);
    if (main != nullptr)
        PostMessageA(main, WM_CLOSE, 0, 0);
    DWORD start = GetTickCount();
    while (WaitForSingleObject(s.process(), 50) != WAIT_OBJECT_0) {
        if (GetTickCount() - start > 30000)
            return "the client did not end within 30 s of its close;" + WindowsLeft(s);
        if (AnswerOne()) {
            if (!problem.empty())
                return problem + " (at exit)";
            if ((main = s.Find("NOTES", nullptr, 0)) != nullptr)
                PostMessageA(main, WM_CLOSE, 0, 0);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(s.process(), &code);
    int exitCode = static_cast<int>(code);
    if (exitCode != 0)
        return "exit code " + std::to_string(exitCode) + WindowsLeft(s);
    if (s.IniValue("KeyFileName") != "own.id")
        return "KeyFileName not restored: " + s.IniValue("KeyFileName");
    if (testkit::FileExists(s.TempFile("anna.id")))
        return "temporary ID file left behind";
    return "";
}

std::string FlowRun::Run(const KeyFault *fault, int skip, std::vector<DWORD> *calls)
{
    if (s.MakeIdFile("own.id", kOwner, kOwnPassword).empty())
        return "own ID file not made";
    key = s.MakeKey("Anna's Key", kPin, &kAnnaRecord);
    if (key != 0 && flow_.idFileSize != 0) {
        // A larger ID file of Anna's, with the same password, in the Key's record.
        std::string path = s.dir().file("anna-large.id");
        testkit::KeyRecordFields large = {kAnna, kAnnaPassword, "anna.id", ""};
        if (NsimCreateIdFileOfSize(path.c_str(), kAnna, kAnnaPassword, flow_.idFileSize) != NOERROR ||
            (large.idFile = testkit::ReadFileBytes(path)).size() != flow_.idFileSize ||
            !testkit::PutKeyRecord(key, large))
            return "the Key's large ID file not made";
    }
    if (key == 0 || !s.Insert(key))
        return "Key not made";
    NotesKeyRecord record;
    if (!s.ReadRecord(key, &record, &oldId))
        return "the new Key's record cannot be read";
    std::string extra = flow_.tools ? "AddInMenus=" + testkit::ExeDir() + "TolvikM.dll\r\n" : "";
    std::vector<DWORD> before = testkit::KeyCallCounts();
    if (flow_.faultBeforeStart && fault != nullptr && !testkit::PlanKeyFault(*fault, skip, key))
        return "failure not planned";
    s.Start(190, "own.id", extra);
    if (!flow_.faultBeforeStart) {
        if (!Drive([&] { return OnKeyId(); }, "the logon") || !flow_.setup(*this))
            return problem.empty() ? "setup: " + WindowsLeft(s) : "setup: " + problem;
        boxes.clear();
        before = testkit::KeyCallCounts();
        if (fault != nullptr && !testkit::PlanKeyFault(*fault, skip, key))
            return "failure not planned";
    }
    logAtAction_ = s.HostLog().size();
    lastAnswer_ = GetTickCount();
    flow_.action(*this);
    Drive([&] { return flow_.done(*this); }, "the end of the action");
    // What the fault set going settles (a Key error locks the client, and a Key still in is
    // taken up again): the checks and the close come after it.
    Drive([&] { return Settled(); }, "a settled client after the action");
    std::vector<DWORD> after = testkit::KeyCallCounts();
    if (calls != nullptr)
        *calls = testkit::KeyCallsDifference(before, after);
    if (fault == nullptr && std::getenv("SENTRIO_SWEEP_COUNTS") != nullptr)
        std::printf("fault sweep: %s calls: %s\n", flow_.name, testkit::KeyCallsBetween(before, after).c_str());
    testkit::ClearKeyFaults();
    if (!problem.empty())
        return problem;
    // Whatever happened, the client is on the Key's ID with its file, or on its own.
    std::string status = s.Status();
    bool onKey = status.find(std::string("User=") + kAnna) != std::string::npos;
    bool onOwn = status.find(std::string("User=") + kOwner) != std::string::npos;
    if (!onKey && !onOwn)
        return "the client runs on neither ID: " + status;
    std::string ini = s.IniValue("KeyFileName");
    if (ini == s.TempFile("anna.id") && !testkit::FileExists(ini))
        return "KeyFileName names the temporary ID, which is gone";
    if (HandlerPasswordRefused())
        return "a handler gave a password that did not open the ID it was asked for (the Key's record not loaded?)" +
               BoxesSeen();
    if (OnKeyId() && !OnKeyIdWithItsFile())
        return "the client is open on the Key's ID without the Key's record loaded (unlocked with an old password)" +
               BoxesSeen();
    std::string client = CheckClientId();
    if (!client.empty())
        return client;
    // The Key's record is read once the client has ended: a Key put back for reading while the
    // client runs would start a logon.
    std::string closed = CheckClose();
    if (!closed.empty())
        return closed;
    return CheckWrite();
}

// ---- The flows ----------------------------------------------------------------------------------

// The kinds of a Key taken up with its PIN and read (the logon on a Key put in).
std::vector<KeyFault> ReadKinds()
{
    return {
        {"InitCard", testkit::kFaultIo, -3, "Key error"},
        {"InitCard", testkit::kFaultNotReady, -1, "Key pulled"},
        {"InitCard", 0, -7, "Key blocked for good"},
        {"VerifyPIN", testkit::kFaultPinRefused, 0, "PIN refused"},
        {"VerifyPIN", testkit::kFaultPinBlocked, 0, "PIN blocked"},
        {"ReadData", testkit::kFaultIo, 0, "I/O error"},
        {"ReadData", testkit::kFaultNotReady, 0, "Key pulled"},
        {"ReadData", 0, 0, "Key really pulled", true},
        {"ReadBIR", testkit::kFaultIo, 0, "I/O error"},
        {"GetCardID", testkit::kFaultIo, 0, "I/O error"},
        {"ReadLabel", testkit::kFaultIo, 0, "I/O error"},
        {"GetApplicationInfo", testkit::kFaultIo, 0, "I/O error"},
        {"CloseCard", testkit::kFaultIo, 0, "I/O error"},
    };
}

// The kinds of a record write (the Key opened, the record written and its size set).
std::vector<KeyFault> WriteKinds()
{
    return {
        {"InitCard", testkit::kFaultIo, -3, "Key error"},
        {"InitCard", testkit::kFaultNotReady, -1, "Key pulled"},
        {"VerifyPIN", testkit::kFaultPinRefused, 0, "PIN refused"},
        {"VerifyPIN", testkit::kFaultPinBlocked, 0, "PIN blocked"},
        {"WriteData", testkit::kFaultIo, 0, "I/O error"},
        {"WriteData", testkit::kFaultNotReady, 0, "Key pulled"},
        {"WriteData", testkit::kFaultNoSpace, 0, "no space"},
        {"WriteData", 0, 0, "Key really pulled", true},
        {"SetDataSize", testkit::kFaultIo, 0, "I/O error"},
        {"SetDataSize", testkit::kFaultNoSpace, 0, "no space"},
        {"SetDataSize", 0, 0, "Key really pulled", true},
        {"GetApplicationInfo", testkit::kFaultIo, 0, "I/O error"},
        {"GetCardID", testkit::kFaultIo, 0, "I/O error"},
        {"ReadLabel", testkit::kFaultIo, 0, "I/O error"},
        {"CloseCard", testkit::kFaultIo, 0, "I/O error"},
    };
}

bool Nothing(FlowRun &)
{
    return true;
}

// The client's Change Password command, taken over by Tolvik.
void ChangePassword(FlowRun &r)
{
    PostMessageA(r.s.WaitMain(), WM_COMMAND, IDM_CHANGE_PASSWORD, 0);
}

bool PasswordChangeEnded(FlowRun &r)
{
    for (const char *end : {"password changed by a handler", "password change cancelled", "new password refused",
                            "password change ended with status", "password changed by the client",
                            "password change: status"})
        if (r.LoggedSinceAction(end))
            return true;
    return false;
}

// The tools' command at `item` of the popup, through Actions > "Morvath Sentrio Tools >".
std::function<void(FlowRun &)> Tool(int item)
{
    return [item](FlowRun &r) {
        // A Key error the monitor met meanwhile may lock the client first: then the command is
        // not offered, and the box that says why is checked like any other.
        if (r.s.OpenTools().empty() || !r.s.ChooseTool(item)) {
            r.s.CloseTools();
            r.toolsRefused = true;
        }
    };
}

bool ToolReturned(FlowRun &r)
{
    return r.LoggedSinceAction("command returned") || (r.toolsRefused && r.Quiet());
}

bool PullAndWaitLocked(FlowRun &r)
{
    r.s.Pull(r.key);
    return r.Drive(
        [&] {
            return r.s.Status().find("State=locked") != std::string::npos &&
                   !testkit::FileExists(r.s.TempFile("anna.id")) && r.s.IniValue("KeyFileName") == "own.id";
        },
        "the lock after the removal");
}

const Flow &StartUpLogon()
{
    static const Flow flow = {
        "StartUpLogon", false, true, Nothing, [](FlowRun &) {},
        [](FlowRun &r) { return r.Open(); }, Written::kNothing, nullptr,
        {
            {"InitCard", testkit::kFaultIo, -3, "Key error"},
            {"InitCard", testkit::kFaultNotReady, -1, "Key pulled"},
            {"InitCard", 0, -7, "Key blocked for good"},
            {"VerifyPIN", testkit::kFaultPinRefused, 0, "PIN refused"},
            {"ReadData", testkit::kFaultIo, 0, "I/O error"},
            {"ReadData", testkit::kFaultNoSpace, 0, "no space"},
            {"ReadData", 0, 0, "Key really pulled", true},
            {"ReadBIR", testkit::kFaultIo, 0, "I/O error"},
            {"GetApplicationInfo", testkit::kFaultIo, 0, "I/O error"},
            {"CloseCard", testkit::kFaultIo, 0, "I/O error"},
        },
        {}};
    return flow;
}

const Flow &TypedPasswordChange()
{
    static const Flow flow = {"TypedPasswordChange", false, false, Nothing, ChangePassword, PasswordChangeEnded,
                              Written::kRecord, "Password was successfuly changed", WriteKinds(),
                              {"InitCard", "VerifyPIN", "WriteData", "SetDataSize", "CloseCard"}};
    return flow;
}

const Flow &GeneratedPasswordChange()
{
    static Flow flow = [] {
        Flow f = {"GeneratedPasswordChange", false, false,
                  [](FlowRun &r) {
                      r.generate = true;
                      return true;
                  },
                  ChangePassword, PasswordChangeEnded, Written::kRecord, "Password was successfuly changed",
                  WriteKinds(), {"GetRandom", "WriteData"}};
        f.faults.push_back({"GetRandom", testkit::kFaultIo, 0, "I/O error"});
        f.faults.push_back({"GetRandom", 0, 0, "Key really pulled", true});
        return f;
    }();
    return flow;
}

const Flow &KeyRemoval()
{
    static const Flow flow = {
        "KeyRemoval", false, false, Nothing, [](FlowRun &r) { r.s.Pull(r.key); },
        [](FlowRun &r) {
            // Quiet too: a Key error met at the removal is reported just after the lock.
            return r.Quiet() && r.s.Status().find("State=locked") != std::string::npos &&
                   !testkit::FileExists(r.s.TempFile("anna.id")) && r.s.IniValue("KeyFileName") == "own.id";
        },
        Written::kNothing, nullptr,
        {
            {"InitCard", testkit::kFaultIo, -3, "Key error"},
            {"InitCard", testkit::kFaultNotReady, -1, "Key pulled"},
            {"InitCard", 0, -7, "Key blocked for good"},
            {"AnyReadersChanges", testkit::kFaultIo, 0, "I/O error"},
        },
        {}};
    return flow;
}

const Flow &KeyReinsertion()
{
    static const Flow flow = {"KeyReinsertion", false, false, PullAndWaitLocked,
                              [](FlowRun &r) { r.s.Insert(r.key); },
                              [](FlowRun &r) {
                                  return r.OnKeyIdWithItsFile() || r.QuietAfterReport() || r.KeyOutAndLocked();
                              },
                              Written::kNothing, nullptr, ReadKinds(), {"InitCard", "VerifyPIN", "ReadData"}};
    return flow;
}

const Flow &SaveIdFileOntoKey()
{
    static const Flow flow = {
        "SaveIdFileOntoKey", true, false,
        [](FlowRun &r) {
            // A fresh ID file of Anna's with the same password: the new record differs in its bytes.
            std::string other = r.s.MakeIdFile("other.id", kAnna, kAnnaPassword);
            r.newId = testkit::ReadFileBytes(other);
            r.keyIdPath = r.s.IniValue("KeyFileName");
            return !r.newId.empty() && r.newId != r.oldId && r.s.SetIniValue("KeyFileName", "other.id");
        },
        Tool(testkit::kToolSaveIdFile),
        [](FlowRun &r) {
            if (!ToolReturned(r))
                return false;
            // An ID the user names in notes.ini is his, never overwritten by the product: once the
            // save is over he names the Key's ID again (his own when the Key's is gone), so that the
            // end finds notes.ini as the client started.
            if (r.s.IniValue("KeyFileName") == "other.id")
                r.s.SetIniValue("KeyFileName", testkit::FileExists(r.keyIdPath) ? r.keyIdPath : "own.id");
            return true;
        },
        Written::kRecord, "ID file was successfuly saved onto KSD",
        WriteKinds(), {"WriteData", "SetDataSize"}};
    return flow;
}

const Flow &ChangePinTool()
{
    static const Flow flow = {
        "ChangePin", true, false, Nothing, Tool(testkit::kToolChangePin), ToolReturned, Written::kPin,
        "PIN is changed successfully!",
        {
            {"InitCard", testkit::kFaultIo, -3, "Key error"},
            {"InitCard", testkit::kFaultNotReady, -1, "Key pulled"},
            {"VerifyPIN", testkit::kFaultPinRefused, 0, "PIN refused"},
            {"ChangePIN", testkit::kFaultIo, 0, "I/O error"},
            {"ChangePIN", testkit::kFaultNotReady, 0, "Key pulled"},
            {"ChangePIN", testkit::kFaultPinRefused, 0, "PIN refused"},
            {"ChangePIN", testkit::kFaultPinBlocked, 0, "PIN blocked"},
            {"ChangePIN", 0, 0, "Key really pulled", true},
            {"GetCardID", testkit::kFaultIo, 0, "I/O error"},
            {"GetApplicationInfo", testkit::kFaultIo, 0, "I/O error"},
            {"ReadLabel", testkit::kFaultIo, 0, "I/O error"},
            {"CloseCard", testkit::kFaultIo, 0, "I/O error"},
        },
        {"ChangePIN"}};
    return flow;
}

// The password change of a Key with a 16 KB ID file, pulled between two chunks of the record's
// write. The new password is as long as the old one and the ID file keeps its size, so that the
// new record has the old one's lengths: a torn record's lengths add up as well as a whole one's.
const Flow &TornPasswordChange()
{
    static const Flow flow = [] {
        Flow f = TypedPasswordChange();
        f.name = "TornPasswordChange";
        f.faults = {{"WriteData", 0, 0, "Key pulled between two chunks", true, nullptr, true}};
        f.sample = {};
        f.idFileSize = 16 * 1024;
        f.typed = kTypedSameLength;
        return f;
    }();
    return flow;
}

struct FlowRow {
    const char *name;
    const Flow &(*flow)();
};

class FaultSweep : public testing::TestWithParam<FlowRow> {};

TEST_P(FaultSweep, FlowSurvivesEveryFailedKeyCall)
{
    const Flow &flow = GetParam().flow();
    if (!testkit::SweepFlowSelected(flow.name))
        GTEST_SKIP() << "SENTRIO_SWEEP_FLOW names another flow";
    testkit::SweepFigures figures = testkit::RunFaultSweep(
        flow.name, flow.faults,
        [&](const KeyFault *fault, int skip, std::vector<DWORD> *calls) {
            FlowRun run(flow);
            return run.Run(fault, skip, calls);
        },
        testkit::SweepMaxK(2), flow.sample);
    EXPECT_GT(figures.runs, 0);
    EXPECT_TRUE(figures.failures.empty());
}

const FlowRow kFlows[] = {
    {"StartUpLogon", StartUpLogon},
    {"TypedPasswordChange", TypedPasswordChange},
    {"GeneratedPasswordChange", GeneratedPasswordChange},
    {"KeyRemoval", KeyRemoval},
    {"KeyReinsertion", KeyReinsertion},
    {"SaveIdFileOntoKey", SaveIdFileOntoKey},
    {"ChangePin", ChangePinTool},
};

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, testing::ValuesIn(kFlows),
                         [](const testing::TestParamInfo<FlowRow> &info) { return info.param.name; });

// Tolvik's password change with a 16 KB ID file, the Key pulled between every two chunks of the
// record's write (one reader command each): afterwards the Key holds the old record, the new one,
// or one the next logon reports damaged (and does not log on with), and the change said it failed.
// SENTRIO_SWEEP_MAX_K=0 pulls at every chunk (else at least 3 positions spread over them).
TEST(TolvikTornWrites, PasswordChangePulledBetweenAnyTwoChunks)
{
    const Flow &flow = TornPasswordChange();
    if (!testkit::SweepFlowSelected(flow.name))
        GTEST_SKIP() << "SENTRIO_SWEEP_FLOW names another flow";
    testkit::WriteOutcomes outcomes;
    testkit::SweepFigures figures = testkit::RunFaultSweep(
        flow.name, flow.faults,
        [&](const KeyFault *fault, int skip, std::vector<DWORD> *calls) {
            FlowRun run(flow);
            std::string problem = run.Run(fault, skip, calls);
            if (fault != nullptr)
                outcomes.Add(problem.empty() ? run.outcome : testkit::WriteOutcome::kOther);
            return problem;
        },
        testkit::TornSweepMaxK());
    outcomes.Print(flow.name);
    EXPECT_GT(figures.runs, 0);
    EXPECT_TRUE(figures.failures.empty());
    EXPECT_EQ(0, outcomes.other);
}

}  // namespace
