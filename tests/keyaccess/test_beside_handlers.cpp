// Key operations of other threads and event handlers. A handler returns at once: it posts what
// happened to its program's thread and returns. An operation of another thread that meets a
// handler waits for that handler's end and then has the monitor parked; the work the handler
// posted (a prompt, a lock of the program's) may go on as long as it likes beside the operations.
// An operation inside an event (the monitor's own, or one an operation raised on its own thread)
// never waits for the monitor.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

constexpr DWORD kHandlerLimit = 20000;  // a handler never blocks longer, so a failing test ends
constexpr DWORD kOperationLimit = 8000;
constexpr DWORD kSlowHandlerMs = 300;   // a handler that returns at once, on a slow machine

// Holds the handler of one event (its first occurrence) until Release, as a handler that takes a
// while does; its program's posted work is what may wait for a user.
class BlockedHandler {
public:
    explicit BlockedHandler(std::string event) : event_(std::move(event))
    {
        entered_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        left_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~BlockedHandler()
    {
        Release();
        if (key_ != nullptr) {  // the monitor may still call the hook: end it first
            key_->StopMonitoring();
            key_->eventHook = nullptr;
        }
        CloseHandle(entered_);
        CloseHandle(release_);
        CloseHandle(left_);
    }
    BlockedHandler(const BlockedHandler &) = delete;
    BlockedHandler &operator=(const BlockedHandler &) = delete;

    void Attach(RecordingKey &key)
    {
        key_ = &key;
        key.eventHook = [this](const std::string &e) {
            if (e != event_ || fired_.exchange(true))
                return;
            SetEvent(entered_);
            WaitForSingleObject(release_, kHandlerLimit);
            SetEvent(left_);
        };
    }
    bool WaitEntered(DWORD ms = 8000) { return WaitForSingleObject(entered_, ms) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release_); }
    bool WaitLeft(DWORD ms = 8000) { return WaitForSingleObject(left_, ms) == WAIT_OBJECT_0; }

private:
    std::string event_;
    std::atomic<bool> fired_{false};
    RecordingKey *key_ = nullptr;
    HANDLE entered_, release_, left_;
};

std::string Pattern(size_t size, char seed)
{
    std::string s(size, 0);
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(seed + i * 7);
    return s;
}

class BesideHandlers : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(QsimReset());
    }
    void TearDown() override
    {
        key.StopMonitoring();
        QsimReset();
    }

    RecordingKey key;
};

// ---- An operation beside a handler that blocks --------------------------------------------------

struct BlockRow {
    const char *name;
    const char *blockIn;     // the event whose handler takes a while
    bool pinKnown;           // the PIN is handed in before the Key is taken up (else during the block)
    const char *caughtIn;    // the operation starts while the monitor is inside this call (its
    int caughtAt;            // caughtAt-th), before the event began: its park request is pending
                             // when the handler starts
    bool otherReader;        // the event is of a Key put into Reader B while Reader A's Key is used
};

class BlockedHandlerRows : public BesideHandlers, public testing::WithParamInterface<BlockRow> {};

TEST_P(BlockedHandlerRows, OperationsWaitForTheHandlersEndAndCompleteWithTheMonitorParked)
{
    const BlockRow &row = GetParam();
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int alice = QsimCreateKey("Alice", "1234");
    int bob = QsimCreateKey("Bob", "1234");
    std::string old = Pattern(900, 'o');
    ASSERT_TRUE(QsimSetData(alice, 225, old.data(), static_cast<DWORD>(old.size())));
    ASSERT_TRUE(QsimInsertKey(alice, "Reader A"));
    if (row.pinKnown)
        key.SetPIN(nullptr, "1234");  // handed on by the default onNeedPIN rule
    ASSERT_TRUE(key.Start(false));
    if (row.caughtIn != nullptr) {
        ASSERT_TRUE(QsimSetCallDelay(row.caughtIn, 400));
    }

    BlockedHandler handler(row.blockIn);
    if (row.otherReader) {
        key.StartMonitoring();
        ASSERT_TRUE(key.WaitFor("inserted Reader A"));
        handler.Attach(key);
        ASSERT_TRUE(QsimInsertKey(bob, "Reader B"));
    } else {
        handler.Attach(key);
        key.StartMonitoring();
    }
    if (row.caughtIn != nullptr) {
        DWORD start = GetTickCount();
        while (QsimCallCount(row.caughtIn) < static_cast<DWORD>(row.caughtAt) && GetTickCount() - start < kOperationLimit)
            Sleep(1);
        ASSERT_GE(QsimCallCount(row.caughtIn), static_cast<DWORD>(row.caughtAt));
    } else {
        ASSERT_TRUE(handler.WaitEntered());
    }
    if (!row.pinKnown)
        key.SetPIN("Reader A", "1234");  // as a program does with what its prompt returned

    // The handler returns a while later, as a slow one does; the first operation waits for it.
    std::thread releaser([&handler] {
        handler.WaitEntered(kOperationLimit);
        Sleep(kSlowHandlerMs);
        handler.Release();
    });
    std::string data = Pattern(3000, 'n');
    EXPECT_TRUE(key.Write("Reader A", 0, data.data(), static_cast<DWORD>(data.size())));
    EXPECT_TRUE(handler.WaitLeft(0)) << "the write went on beside the handler";
    std::string read(4096, 0);
    DWORD length = static_cast<DWORD>(read.size());
    EXPECT_TRUE(key.Read("Reader A", read.data(), &length));
    read.resize(length);
    BYTE random[16] = {};
    EXPECT_TRUE(key.GetRandom("Reader A", random, sizeof random));
    EXPECT_EQ(data, read);
    releaser.join();
    ASSERT_TRUE(handler.WaitLeft());
    ASSERT_TRUE(QsimSetCallDelay(row.caughtIn != nullptr ? row.caughtIn : "InitCard", 0));
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    // Whole afterwards: the Key holds what was written, the record says ready, no PIN try was
    // spent, and the monitor goes on visiting.
    EXPECT_EQ(data, testkit::VirtualKeys::Data(alice));
    std::optional<ReaderRecord> r = key.FindReader("Reader A");
    ASSERT_TRUE(r);
    EXPECT_EQ(csReady, r->state);
    EXPECT_STREQ("Reader A", r->name);
    QsimKeyState s = {};
    ASSERT_TRUE(QsimGetKey(alice, &s));
    EXPECT_EQ(3, s.tries);
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    length = static_cast<DWORD>(read.size());
    EXPECT_TRUE(key.Read("Reader A", read.data(), &length));
    EXPECT_EQ(data.size(), length);
}

const BlockRow kBlockRows[] = {
    {"Inserted", "inserted Reader A", true, nullptr, 0, false},
    {"OpenedWithTheKeyOpenOnTheMonitor", "opened Reader A 1234", true, nullptr, 0, false},
    {"PinPromptOnInsertion", "needpin Reader A 0 3", false, nullptr, 0, false},
    {"InsertionIntoAnotherReader", "inserted Reader B", true, nullptr, 0, true},
    // The first VerifyPIN tries the empty PIN; the second, with the handed-on one, opens the Key.
    {"ParkAskedBeforeTheEventBegan", "opened Reader A 1234", true, "VerifyPIN", 2, false},
};

INSTANTIATE_TEST_SUITE_P(Handlers, BlockedHandlerRows, testing::ValuesIn(kBlockRows),
                         [](const testing::TestParamInfo<BlockRow> &info) { return std::string(info.param.name); });

// ---- A handler whose posted work waits for the thread doing a Key write -------------------------

struct LockRow {
    const char *name;
    const char *trigger;     // "insert B", "pull B" or "pull A"
    const char *waitsIn;     // the event whose posted work waits for the writer's lock
    bool written;            // the Write succeeds (the Key it writes stays in its reader)
};

class LockRows : public BesideHandlers, public testing::WithParamInterface<LockRow> {};

TEST_P(LockRows, PostedWorkWaitingForTheWritersLockDoesNotDeadlock)
{
    const LockRow &row = GetParam();
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int alice = QsimCreateKey("Alice", "1234");
    int bob = QsimCreateKey("Bob", "1234");
    std::string old = Pattern(1200, 'o');
    ASSERT_TRUE(QsimSetData(alice, 225, old.data(), static_cast<DWORD>(old.size())));
    ASSERT_TRUE(QsimInsertKey(alice, "Reader A"));
    bool bobFirst = std::string(row.trigger) == "pull B";
    if (bobFirst) {
        ASSERT_TRUE(QsimInsertKey(bob, "Reader B"));
    }
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    if (bobFirst) {
        ASSERT_TRUE(key.WaitFor("inserted Reader B"));
    }

    // The extension's password change: a lock held across the Key calls. The removal handler
    // posts to the program's thread, whose work takes the same lock; the handler itself returns.
    HANDLE lock = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE posted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE handlerWaits = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE writerDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE handlerDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> fired{false}, handlerGotLock{false}, writeEndedFirst{false};
    std::atomic<int> written{-1};
    key.eventHook = [&](const std::string &e) {
        if (e != row.waitsIn || fired.exchange(true))
            return;
        SetEvent(posted);
    };
    std::thread program([&] {
        if (WaitForSingleObject(posted, kHandlerLimit) == WAIT_OBJECT_0) {
            SetEvent(handlerWaits);
            if (WaitForSingleObject(lock, kHandlerLimit) == WAIT_OBJECT_0) {
                handlerGotLock = true;
                writeEndedFirst = written.load() >= 0;
                ReleaseMutex(lock);
            }
        }
        SetEvent(handlerDone);
    });
    struct StopFirst {
        RecordingKey &key;
        HANDLE posted;
        std::thread &program;
        ~StopFirst()
        {
            key.StopMonitoring();
            key.eventHook = nullptr;
            SetEvent(posted);
            if (program.joinable())
                program.join();
        }
    } stopFirst{key, posted, program};
    std::string data = Pattern(2500, 'w');
    std::thread writer([&] {
        WaitForSingleObject(lock, INFINITE);
        SetEvent(holding);
        if (WaitForSingleObject(handlerWaits, kOperationLimit) == WAIT_OBJECT_0)
            written = key.Write("Reader A", 0, data.data(), static_cast<DWORD>(data.size())) ? 1 : 0;
        ReleaseMutex(lock);
        SetEvent(writerDone);
    });
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holding, kOperationLimit));
    std::string trigger = row.trigger;
    if (trigger == "insert B")
        EXPECT_TRUE(QsimInsertKey(bob, "Reader B"));
    else if (trigger == "pull B")
        EXPECT_TRUE(QsimPullKey(bob));
    else
        EXPECT_TRUE(QsimPullKey(alice));

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writerDone, kOperationLimit)) << "the write waited for the posted work";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(handlerDone, kHandlerLimit + 2000));
    writer.join();
    EXPECT_TRUE(handlerGotLock.load());
    EXPECT_TRUE(writeEndedFirst.load());
    EXPECT_EQ(row.written ? 1 : 0, written.load());

    // The record is whole: the new bytes, or the old ones untouched when the Key went.
    EXPECT_EQ(row.written ? data : old, testkit::VirtualKeys::Data(alice));
    std::optional<ReaderRecord> r = key.FindReader("Reader A");
    ASSERT_TRUE(r);
    EXPECT_EQ(row.written ? csReady : csAbsent, r->state);
    if (row.written) {
        std::string read(4096, 0);
        DWORD length = static_cast<DWORD>(read.size());
        EXPECT_TRUE(key.Read("Reader A", read.data(), &length));
        read.resize(length);
        EXPECT_EQ(data, read);
    }
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    key.StopMonitoring();
    SetEvent(posted);
    program.join();
    for (HANDLE h : {lock, posted, holding, handlerWaits, writerDone, handlerDone})
        CloseHandle(h);
}

const LockRow kLockRows[] = {
    {"InsertionIntoAnotherReader", "insert B", "inserted Reader B", true},
    {"RemovalFromAnotherReader", "pull B", "removed Reader B", true},
    {"RemovalOfTheKeyBeingWritten", "pull A", "removed Reader A", false},
};

INSTANTIATE_TEST_SUITE_P(Handlers, LockRows, testing::ValuesIn(kLockRows),
                         [](const testing::TestParamInfo<LockRow> &info) { return std::string(info.param.name); });

// ---- An operation begun inside an operation's own event ----------------------------------------

// The extension's re-entry inside its PIN change: opening the Key, the change finds the PIN
// refused and raises the PIN event on its own thread, whose handler reads the Key. The change
// holds the park: the read shares it and must not wait for a park that comes only after the
// change has ended.
TEST_F(BesideHandlers, OperationInsideAnOperationsOwnEventDoesNotWaitForTheMonitor)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    ASSERT_TRUE(QsimAddReader("Reader B"));
    int alice = QsimCreateKey("Alice", "1234");
    int bob = QsimCreateKey("Bob", "1234");
    std::string old = Pattern(700, 'o');
    ASSERT_TRUE(QsimSetData(alice, 225, old.data(), static_cast<DWORD>(old.size())));
    ASSERT_TRUE(QsimInsertKey(alice, "Reader A"));
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));

    std::atomic<bool> heldDuringRead{false}, nestedRead{false}, fired{false};
    std::atomic<DWORD> changeThread{0};
    std::string read;
    key.eventHook = [&](const std::string &e) {
        if (GetCurrentThreadId() != changeThread.load() || e.rfind("needpin Reader A", 0) != 0 || fired.exchange(true))
            return;
        key.SetPIN("Reader A", "5678");  // as the re-entry's prompt answers
        keygate::GateSnapshot gate = key.Gate();
        heldDuringRead = gate.state == keygate::GateState::kParked && gate.holders == 1;
        std::string data(1024, 0);
        DWORD length = static_cast<DWORD>(data.size());
        nestedRead = key.Read("Reader A", data.data(), &length);
        read.assign(data.data(), nestedRead ? length : 0);
    };
    struct StopFirst {
        RecordingKey &key;
        ~StopFirst()
        {
            key.StopMonitoring();
            key.eventHook = nullptr;
        }
    } stopFirst{key};
    // Another reader's Key comes meanwhile: its events are the monitor's, not the change's.
    ASSERT_TRUE(QsimInsertKey(bob, "Reader B"));
    ASSERT_TRUE(QsimSetPin(alice, "5678"));  // the kept PIN is refused at the next opening

    std::atomic<int> changed{-1};
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread change([&] {
        changeThread = GetCurrentThreadId();
        changed = key.ChangePIN("Reader A", "4321") ? 1 : 0;
        SetEvent(done);
    });
    if (WaitForSingleObject(done, kOperationLimit) != WAIT_OBJECT_0) {
        change.detach();  // stuck for good: the watchdog ends the run
        FAIL() << "the read inside the PIN change waited for the monitor";
    }
    change.join();
    CloseHandle(done);
    EXPECT_TRUE(heldDuringRead.load());
    EXPECT_TRUE(nestedRead.load());
    EXPECT_EQ(old, read);
    // The change itself met the refused PIN: it reports its failure, and the Key keeps its PIN.
    EXPECT_EQ(0, changed.load());
    QsimKeyState s = {};
    ASSERT_TRUE(QsimGetKey(alice, &s));
    EXPECT_STREQ("5678", s.pin);
    // Nothing is left held: the monitor goes on visiting, and parks for the next caller as usual.
    EXPECT_EQ(0, key.Gate().holders);
    EXPECT_TRUE(key.WaitFor("inserted Reader B"));
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    EXPECT_TRUE(key.AskToStopMonitorThread());
    key.ReleaseMonitor();
}

// ---- The park asked while a handler runs --------------------------------------------------------

TEST_F(BesideHandlers, AskedWhileAHandlerRunsWaitsForItsEndThenParks)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Eve", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    BlockedHandler handler("inserted Reader A");
    handler.Attach(key);
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(handler.WaitEntered());
    std::thread releaser([&handler] {
        Sleep(kSlowHandlerMs);
        handler.Release();
    });
    EXPECT_TRUE(key.AskToStopMonitorThread());
    EXPECT_TRUE(handler.WaitLeft(0)) << "parked while the handler still ran";
    EXPECT_EQ(keygate::GateState::kParked, key.Gate().state);
    EXPECT_FALSE(testkit::MonitorKeepsVisiting(400));
    key.ReleaseMonitor();
    releaser.join();
    // Nothing was left parked: the monitor visits again, and the next caller parks it as usual.
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    EXPECT_TRUE(key.AskToStopMonitorThread());
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

}  // namespace
