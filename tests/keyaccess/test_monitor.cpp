// The reader monitor against virtual readers and Keys: events in order, PIN steps, reader table,
// the park handshake and the shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"

namespace {

class Monitor : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(QsimReset());
    }
    void TearDown() override { QsimReset(); }

    static std::string Dump()
    {
        char text[4096];
        QsimDump(text, sizeof text);
        return text;
    }
};

TEST_F(Monitor, NoReaderMeansOneNoKeyAndAPassEvery750ms)
{
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey", 2000));
    DWORD before = QsimCallCount("AnyReadersChanges");
    Sleep(3000);
    DWORD passes = QsimCallCount("AnyReadersChanges") - before;
    EXPECT_GE(passes, 3u);
    EXPECT_LE(passes, 5u);  // 750 ms a pass: about 4 in 3 s (250 ms would make 12)
    EXPECT_EQ(1, key.Count("nokey"));
}

TEST_F(Monitor, ReadersWithoutKeyGiveOneNoKeyAfterTheFirstPass)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey", 2000));
    Sleep(800);
    std::vector<std::string> expected = {"reader Reader A 1", "reader Reader B 1", "finish 0", "nokey"};
    EXPECT_EQ(expected, key.Events());
}

TEST_F(Monitor, PinStoredDuringNeedPinIsTriedInTheSameVisit)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Alice", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    key.startOnFinish = false;
    ASSERT_TRUE(key.Start(false));
    key.SetPIN(nullptr, "1234");  // the placeholder's PIN: the default rule hands it on
    key.StartMonitoring();
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    std::vector<std::string> expected = {"reader Reader A 1", "finish 0", "needpin Reader A 0 3",
                                         "opened Reader A 1234", "inserted Reader A"};
    EXPECT_EQ(expected, key.Events());
    std::optional<ReaderRecord> r = key.FindReader("Reader A");
    ASSERT_TRUE(r);
    EXPECT_EQ(csReady, r->state);
    EXPECT_STREQ("Ready for operation.", r->status_text);
    EXPECT_STREQ("Alice", r->label);
    EXPECT_EQ(24576u, r->app_allocated);
    EXPECT_EQ(32768u, r->alocc_space);
    EXPECT_EQ(4096u, r->bio_allocated);

    // A known Key that stays answers -5: no more events.
    Sleep(800);
    EXPECT_EQ(1, key.Count("inserted Reader A"));
    ASSERT_TRUE(QsimPullKey(card));
    ASSERT_TRUE(key.WaitFor("removed Reader A"));
    r = key.FindReader("Reader A");  // a copy: taken again to see the change
    ASSERT_TRUE(r);
    EXPECT_EQ(csAbsent, r->state);
    EXPECT_STREQ("Waiting for Key insertion . . .", r->status_text);
    EXPECT_TRUE(key.HoldsPIN("Reader A", ""));
}

TEST_F(Monitor, RefusedStoredPinCountsAndAsksFreshTriesUntilTheKeyIsBlocked)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Bob", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));  // no PIN yet: refused without a try
    // A wrong PIN handed in while the monitor is parked, as a program does after its prompt.
    ASSERT_TRUE(key.AskToStopMonitorThread());
    key.Clear();
    key.SetPIN("Reader A", "9999");
    key.ReleaseMonitor();
    ASSERT_TRUE(key.WaitFor("error Reader A The Key is blocked!"));
    std::vector<std::string> expected = {"needpin Reader A 1 2",
                                         "needpin Reader A 2 1", "error Reader A The Key is blocked!"};
    EXPECT_EQ(expected, key.Events());  // never asked with 0 tries: the visit started over
    QsimKeyState s;
    ASSERT_TRUE(QsimGetKey(card, &s));
    EXPECT_EQ(0, s.tries);
    EXPECT_EQ(csBlocked, key.FindReader("Reader A")->state);
}

TEST_F(Monitor, MinusFiveOnAnAbsentKeyIsRetriedWithFlagZero)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Carol", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start(false));
    ASSERT_TRUE(QsimFailNextEx("InitCard", 0, kInitCardUnchanged, 3));
    DWORD closes = QsimCallCount("CloseCard");
    key.StartMonitoring();
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    Sleep(600);
    // Retried in the same visit: the Key was there after the first pass, so no onNoKey.
    EXPECT_EQ(0, key.Count("nokey"));
    EXPECT_GE(QsimCallCount("CloseCard") - closes, 4u);  // three retries and the close after opening
}

TEST_F(Monitor, ReaderVanishingWithAKeyReportsRemovalThenDetach)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int card = QsimCreateKey("Dave", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    key.Clear();
    ASSERT_TRUE(QsimRemoveReader("Reader A"));
    ASSERT_TRUE(QsimRemoveReader("Reader B"));
    ASSERT_TRUE(key.WaitFor("reader Reader B 0"));
    ASSERT_TRUE(key.WaitFor("reader Reader A 0"));
    std::vector<std::string> events = key.Events();
    EXPECT_EQ(1, key.Count("removed Reader A"));
    EXPECT_EQ(0, key.Count("removed Reader B"));  // its last InitCard said -1: no removal event
    auto at = [&](const std::string &e) { return std::find(events.begin(), events.end(), e) - events.begin(); };
    EXPECT_LT(at("removed Reader A"), at("reader Reader A 0"));
    EXPECT_FALSE(key.FindReader("Reader A"));
    EXPECT_EQ(-1, key.FirstKeyIndex());
}

// Another thread may hold a copy of a reader's record from FindReader while the monitor sees the
// reader go: the copy stays as it was, the reader is no longer found, and the reader coming back
// gets its record again with its PIN gone.
TEST_F(Monitor, RecordOfAVanishedReaderStaysReadableAndComesBackWithIt)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Dave", "1234");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    auto givePin = [&] {
        ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));
        ASSERT_TRUE(key.AskToStopMonitorThread());
        key.SetPIN("Reader A", "1234");
        key.ReleaseMonitor();
        ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    };
    givePin();
    std::optional<ReaderRecord> held = key.FindReader("Reader A");
    ASSERT_TRUE(held);
    ASSERT_TRUE(QsimRemoveReader("Reader A"));
    ASSERT_TRUE(key.WaitFor("reader Reader A 0"));
    EXPECT_FALSE(key.FindReader("Reader A"));
    EXPECT_STREQ("Reader A", held->name);
    EXPECT_EQ(csReady, held->state);  // the copy is not changed by the monitor
    EXPECT_EQ(0, key.GetKeyInfo("Reader A", nullptr, nullptr, nullptr));

    key.Clear();
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    ASSERT_TRUE(key.WaitFor("reader Reader A 1"));
    std::optional<ReaderRecord> back = key.FindReader("Reader A");
    ASSERT_TRUE(back);
    EXPECT_TRUE(key.HoldsPIN("Reader A", ""));  // no PIN outlives its reader
    givePin();  // the PIN went with the reader: asked for again
    EXPECT_EQ(csReady, key.GetKeyInfo("Reader A", nullptr, nullptr, nullptr));
}

TEST_F(Monitor, MoreThan32ReadersKeepsTheFirst32)
{
    for (int i = 0; i < 34; ++i)
        ASSERT_TRUE(QsimAddReader(("R" + std::to_string(i)).c_str()));
    RecordingKey key;
    ASSERT_TRUE(key.Start(false));
    int attached = 0;
    for (const std::string &e : key.Events())
        attached += e.rfind("reader ", 0) == 0;
    EXPECT_EQ(32, attached);
    EXPECT_TRUE(key.FindReader("R31"));
    EXPECT_FALSE(key.FindReader("R32"));
    EXPECT_EQ(nullptr, key.Record(32));
    std::optional<ReaderRecord> r = key.FindReader("R5");
    ASSERT_TRUE(r);
    EXPECT_EQ(5u, r->index);
}

TEST_F(Monitor, StoredPinFollowsTheCardIdNotTheReader)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int alice = QsimCreateKey("Alice", "1234");
    int other = QsimCreateKey("Other", "1234");
    ASSERT_TRUE(QsimInsertKey(alice, "Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));
    ASSERT_TRUE(key.AskToStopMonitorThread());
    key.SetPIN("Reader A", "1234");
    key.ReleaseMonitor();
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    key.Clear();

    // The same Key out and back between two visits: its card id matches, the PIN is kept.
    ASSERT_TRUE(key.AskToStopMonitorThread());
    ASSERT_TRUE(QsimPullKey(alice));
    ASSERT_TRUE(QsimInsertKey(alice, "Reader A"));
    key.ReleaseMonitor();
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    EXPECT_EQ(0, key.Count("needpin Reader A 0 3"));

    // Another Key in its place: another card id, so the PIN is forgotten and asked for.
    ASSERT_TRUE(key.AskToStopMonitorThread());
    ASSERT_TRUE(QsimPullKey(alice));
    ASSERT_TRUE(QsimInsertKey(other, "Reader A"));
    key.ReleaseMonitor();
    ASSERT_TRUE(key.WaitFor("needpin Reader A 0 3"));
    EXPECT_EQ(1, key.Count("inserted Reader A"));
    QsimKeyState s;
    ASSERT_TRUE(QsimGetKey(other, &s));
    EXPECT_EQ(3, s.tries);  // the forgotten PIN was not tried on it
}

TEST_F(Monitor, ParkHandshakeWaitsForTheMonitorOnAnotherThread)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey"));
    ASSERT_TRUE(key.AskToStopMonitorThread());
    EXPECT_FALSE(key.AskToStopMonitorThread());  // already parked: the second caller does not wait
    DWORD before = QsimCallCount("InitCard");
    Sleep(700);
    EXPECT_EQ(before, QsimCallCount("InitCard"));  // parked: no visits
    key.ReleaseMonitor();
    Sleep(700);
    EXPECT_LT(before, QsimCallCount("InitCard"));
}

TEST_F(Monitor, OperationInsideAnEventDoesNotWaitForThePark)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Eve", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    std::atomic<int> parked{-1};
    std::atomic<DWORD> took{0};
    key.insertedHook = [&](const char *) {
        DWORD start = GetTickCount();
        parked = key.AskToStopMonitorThread() ? 1 : 0;
        took = GetTickCount() - start;
    };
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    EXPECT_EQ(0, parked.load());
    EXPECT_LT(took.load(), 50u);
    // The monitor goes on afterwards: it was neither parked nor left parked.
    DWORD before = QsimCallCount("InitCard");
    Sleep(700);
    EXPECT_LT(before, QsimCallCount("InitCard"));
}

LRESULT CALLBACK AnswerWindow(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_USER + 1)
        return 42;
    return DefWindowProcA(window, message, w, l);
}

TEST_F(Monitor, EventSendingToTheWaitingThreadDoesNotDeadlock)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = AnswerWindow;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KeyaccessAnswer";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("KeyaccessAnswer", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);

    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Fay", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    std::atomic<LRESULT> answer{0};
    key.insertedHook = [&](const char *) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(window, WM_USER + 1, 0, 0, SMTO_NORMAL, 5000, &result))
            answer = static_cast<LRESULT>(result);
    };
    ASSERT_TRUE(key.Start(false));
    // The park is asked while the monitor is inside VerifyPIN, so it is still pending when the
    // insertion handler sends to this thread.
    ASSERT_TRUE(QsimSetCallDelay("VerifyPIN", 400));
    key.StartMonitoring();
    DWORD start = GetTickCount();
    while (QsimCallCount("VerifyPIN") == 0 && GetTickCount() - start < 5000)
        Sleep(1);
    ASSERT_NE(0u, QsimCallCount("VerifyPIN"));
    start = GetTickCount();
    bool parked = key.AskToStopMonitorThread();  // serves the handler's message while it waits
    // It may also have noticed the handler just before the message came: then it is answered
    // here, as the thread goes on with its own messages.
    for (DWORD t = GetTickCount(); answer.load() == 0 && GetTickCount() - t < 5000;)
        testkit::PumpMessages(10);
    EXPECT_EQ(42, answer.load());
    EXPECT_LT(GetTickCount() - start, 4000u);
    if (parked)
        key.ReleaseMonitor();
    QsimSetCallDelay("VerifyPIN", 0);
    DestroyWindow(window);
}

TEST_F(Monitor, DestructorEndsBothThreadsAndClosesEveryReader)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    ASSERT_TRUE(QsimAddReader("Reader C"));
    auto key = std::make_unique<RecordingKey>();
    ASSERT_TRUE(key->Start());
    ASSERT_TRUE(key->WaitFor("nokey"));
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), key->MonitorThread(), GetCurrentProcess(), &thread, SYNCHRONIZE,
                                FALSE, 0));
    DWORD closes = QsimCallCount("CloseReader");
    HMODULE before = GetModuleHandleA("Quorel32.dll");
    key.reset();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
    CloseHandle(thread);
    EXPECT_EQ(3u, QsimCallCount("CloseReader") - closes);
    EXPECT_EQ(before, GetModuleHandleA("Quorel32.dll"));  // our own import keeps it; no extra reference
}

TEST_F(Monitor, SecondProcessInsertAndPullSeenWithinOnePass)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Gus", "");
    ASSERT_EQ(1, card);
    RecordingKey key;
    std::atomic<DWORD> passAtEvent{0};
    key.insertedHook = [&](const char *) { passAtEvent = QsimCallCount("AnyReadersChanges"); };
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey"));
    std::string ctl = "\"" + testkit::ExeDir() + "quorelctl.exe\" ";
    ASSERT_EQ(0, testkit::RunProcess(ctl + "insert 1 \"Reader A\""));
    DWORD passAfterInsert = QsimCallCount("AnyReadersChanges");
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    EXPECT_LE(passAtEvent.load(), passAfterInsert + 1);

    ASSERT_EQ(0, testkit::RunProcess(ctl + "pull 1"));
    DWORD passAfterPull = QsimCallCount("AnyReadersChanges");
    ASSERT_TRUE(key.WaitFor("removed Reader A"));
    EXPECT_LE(QsimCallCount("AnyReadersChanges"), passAfterPull + 2);
}

TEST_F(Monitor, KeyErrorsGiveTheirStates)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int a = QsimCreateKey("Finally", "1234");
    int b = QsimCreateKey("Blank", "");
    ASSERT_TRUE(QsimBlockKey(a, 2));
    ASSERT_TRUE(QsimSetFormatted(b, FALSE));
    ASSERT_TRUE(QsimInsertKey(a, "Reader A"));
    ASSERT_TRUE(QsimInsertKey(b, "Reader B"));
    RecordingKey key;
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("error Reader A The Key is finally blocked!\nIt should be reformatted to reuse."));
    ASSERT_TRUE(key.WaitFor("error Reader B The Key you connected has not been formatted!"));
    Sleep(600);
    EXPECT_EQ(1, key.Count("error Reader B The Key you connected has not been formatted!"));  // then -5
    EXPECT_EQ(csFinallyBlocked, key.FindReader("Reader A")->state);
    EXPECT_EQ(csNotFormatted, key.FindReader("Reader B")->state);
    EXPECT_EQ(0, key.FirstKeyIndex());
    char text[200];
    ASSERT_TRUE(key.GetErrorText("Reader B", text));
    EXPECT_STREQ("Reader B : The Key you connected has not been formatted!", text);
}

}  // namespace

namespace {

TEST_F(Monitor, StopEndsTheBoxesAnEventHandlerShowsInsteadOfWaitingForTheUser)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Hal", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    auto key = std::make_unique<RecordingKey>();
    // The handler asks the user twice, as a prompt followed by an error box does.
    std::atomic<int> answers[2] = {{-1}, {-1}};
    key->insertedHook = [&](const char *) {
        for (std::atomic<int> &answer : answers)
            answer = MessageBoxA(nullptr, "Insert the Key?", "Handler box", MB_OKCANCEL);
    };
    ASSERT_TRUE(key->Start());
    HWND box = testkit::WaitForWindow("Handler box", "#32770", 5000);
    ASSERT_NE(nullptr, box);
    key.reset();  // stops the monitor: no user answers
    EXPECT_EQ(IDCANCEL, answers[0].load());
    EXPECT_EQ(IDCANCEL, answers[1].load());
    EXPECT_FALSE(IsWindow(box));
}

TEST_F(Monitor, StopMonitoringInsideAnEventLeavesTheRecordsToTheMonitor)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int card = QsimCreateKey("Hal", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    RecordingKey key;
    key.insertedHook = [&](const char *) { key.StopMonitoring(); };
    DWORD closes = QsimCallCount("CloseReader");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    DWORD start = GetTickCount();
    while (QsimCallCount("CloseReader") - closes < 2 && GetTickCount() - start < 5000)
        Sleep(10);
    EXPECT_EQ(2u, QsimCallCount("CloseReader") - closes);  // closed by the monitor on its way out
    EXPECT_FALSE(key.IsLoaded());
    EXPECT_FALSE(key.FindReader("Reader A"));
}

TEST_F(Monitor, SecondInstanceInTheProcessEndsItsMonitorAndIsNotWaitedFor)
{
    RecordingKey first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(first.IsSingleInstanceInProcess());
    EXPECT_FALSE(second.IsSingleInstanceInProcess());
    ASSERT_TRUE(first.AskToStopMonitorThread());  // so that the second monitor sees the change
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), second.MonitorThread(), GetCurrentProcess(), &thread,
                                SYNCHRONIZE, FALSE, 0));
    ASSERT_TRUE(QsimAddReader("Reader A"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    first.ReleaseMonitor();
    DWORD start = GetTickCount();
    EXPECT_FALSE(second.AskToStopMonitorThread());  // its monitor is gone: nothing to wait for
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(second.FindReader("Reader A"));  // it did not list the readers again
}

}  // namespace

namespace {

// What a destroyed object's initialisation did, kept outside the object.
struct InitProbe {
    std::atomic<int> finishEntered{0}, finishEnded{0};
    std::atomic<bool> overrideRunningAtDestruction{false};
};

// A program's subclass: onFinishInit uses a member of its own and starts the monitor, slowly.
class SlowFinishKey : public CSmartKey {
public:
    SlowFinishKey(InitProbe &probe, DWORD finishMs) : probe_(probe), finishMs_(finishMs)
    {
        slow_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        entered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~SlowFinishKey() override
    {
        StopMonitoring();
        probe_.overrideRunningAtDestruction = probe_.finishEntered.load() != probe_.finishEnded.load();
        names_.reset();
        CloseHandle(slow_);
        CloseHandle(entered_);
    }
    void onFinishInit(int) override
    {
        ++probe_.finishEntered;
        SetEvent(entered_);
        WaitForSingleObject(slow_, finishMs_);  // a slow handler: never set, it just takes its time
        names_->push_back("finish");
        StartMonitoring();
        ++probe_.finishEnded;
    }
    HANDLE InitThread() const { return m_initThread; }
    HANDLE MonitorThread() const { return m_monitorThread; }
    HANDLE Entered() const { return entered_; }

private:
    InitProbe &probe_;
    DWORD finishMs_;
    HANDLE slow_, entered_;
    std::unique_ptr<std::vector<std::string>> names_ = std::make_unique<std::vector<std::string>>();
};

struct DestroyRow {
    const char *name;
    const char *slowEntry;  // the init thread is caught inside this library call...
    DWORD finishMs;         // ...or inside onFinishInit, which takes this long
};

class DestroyDuringInit : public Monitor, public testing::WithParamInterface<DestroyRow> {};

TEST_P(DestroyDuringInit, WaitsForTheInitialisationThreadBeforeFreeingAnything)
{
    const DestroyRow &row = GetParam();
    for (const char *name : {"Reader A", "Reader B", "Reader C"})
        ASSERT_TRUE(QsimAddReader(name));
    int card = QsimCreateKey("Ivy", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    if (row.slowEntry != nullptr) {
        ASSERT_TRUE(QsimSetCallDelay(row.slowEntry, 300));
    }
    InitProbe probe;
    auto key = std::make_unique<SlowFinishKey>(probe, row.finishMs);
    ASSERT_NE(INVALID_HANDLE_VALUE, key->StartInit(kAppNotes));
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), key->InitThread(), GetCurrentProcess(), &thread, SYNCHRONIZE,
                                FALSE, 0));
    if (row.slowEntry != nullptr) {
        DWORD start = GetTickCount();
        while (QsimCallCount(row.slowEntry) == 0 && GetTickCount() - start < 5000)
            Sleep(1);
        ASSERT_NE(0u, QsimCallCount(row.slowEntry));  // the init thread is inside it now
    } else {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(key->Entered(), 5000));
    }
    key.reset();

    // Nothing of the object runs any more, the override ran whole or not at all, and every
    // reader opened was closed.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
    CloseHandle(thread);
    EXPECT_FALSE(probe.overrideRunningAtDestruction.load());
    EXPECT_EQ(probe.finishEntered.load(), probe.finishEnded.load());
    if (row.slowEntry == nullptr) {
        EXPECT_EQ(1, probe.finishEnded.load());
    }
    EXPECT_EQ(QsimCallCount("InitReader"), QsimCallCount("CloseReader"));
    QsimSetCallDelay(row.slowEntry != nullptr ? row.slowEntry : "EnumReaders", 0);
}

const DestroyRow kDestroyRows[] = {
    {"InsideEnumReaders", "EnumReaders", 0},
    {"InsideInitReader", "InitReader", 0},
    {"InsideOnFinishInit", nullptr, 400},
};

INSTANTIATE_TEST_SUITE_P(Destroy, DestroyDuringInit, testing::ValuesIn(kDestroyRows),
                         [](const testing::TestParamInfo<DestroyRow> &info) { return std::string(info.param.name); });

TEST_F(Monitor, StartInitAgainOnlyAfterTheFirstHasEnded)
{
    InitProbe probe;
    SlowFinishKey key(probe, 300);
    ASSERT_NE(INVALID_HANDLE_VALUE, key.StartInit(kAppNotes));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(key.Entered(), 5000));
    EXPECT_EQ(INVALID_HANDLE_VALUE, key.StartInit(kAppNotes));  // still inside onFinishInit
    key.StopMonitoring();  // waits for it, stops the monitor it started
    EXPECT_EQ(1, probe.finishEnded.load());
    EXPECT_FALSE(key.IsLoaded());
    HANDLE again = key.StartInit(kAppNotes);
    ASSERT_NE(INVALID_HANDLE_VALUE, again);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(again, 5000));
}

}  // namespace
