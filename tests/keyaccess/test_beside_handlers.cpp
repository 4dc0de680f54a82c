// Key operations of another thread while an event handler runs on the monitor thread: they never
// wait for the handler (it may be waiting for them), and the monitor does not disturb them.
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

// Blocks the handler of one event (its first occurrence) until Release.
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
    bool StillBlocked() { return WaitForSingleObject(entered_, 0) == WAIT_OBJECT_0 && WaitForSingleObject(left_, 0) == WAIT_TIMEOUT; }
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
    const char *blockIn;     // the event whose handler blocks
    bool pinKnown;           // the PIN is handed in before the Key is taken up (else during the block)
    const char *caughtIn;    // the operation starts while the monitor is inside this call (its
    int caughtAt;            // caughtAt-th), before the event began: its park request is pending
                             // when the handler starts
    bool otherReader;        // the event is of a Key put into Reader B while Reader A's Key is used
};

class BlockedHandlerRows : public BesideHandlers, public testing::WithParamInterface<BlockRow> {};

TEST_P(BlockedHandlerRows, OperationsCompleteWhileTheHandlerIsStillBlocked)
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

    std::string data = Pattern(3000, 'n');
    DWORD start = GetTickCount();
    EXPECT_TRUE(key.Write("Reader A", 0, data.data(), static_cast<DWORD>(data.size())));
    std::string read(4096, 0);
    DWORD length = static_cast<DWORD>(read.size());
    EXPECT_TRUE(key.Read("Reader A", read.data(), &length));
    read.resize(length);
    BYTE random[16] = {};
    EXPECT_TRUE(key.GetRandom("Reader A", random, sizeof random));
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(handler.WaitEntered(0));
    EXPECT_TRUE(handler.StillBlocked()) << "the operations waited " << took << " ms for the handler";
    EXPECT_EQ(data, read);

    handler.Release();
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

// ---- A handler that waits for the thread doing a Key write --------------------------------------

struct LockRow {
    const char *name;
    const char *trigger;     // "insert B", "pull B" or "pull A"
    const char *waitsIn;     // the event whose handler waits for the writer's lock
    bool written;            // the Write succeeds (the Key it writes stays in its reader)
};

class LockRows : public BesideHandlers, public testing::WithParamInterface<LockRow> {};

TEST_P(LockRows, HandlerWaitingForTheWritersLockDoesNotDeadlock)
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

    // The extension's password change: a lock held across the Key calls; its removal handler on
    // the monitor thread takes the same lock.
    HANDLE lock = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE handlerWaits = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE writerDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE handlerDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> fired{false}, handlerGotLock{false}, writeEndedFirst{false};
    std::atomic<int> written{-1};
    key.eventHook = [&](const std::string &e) {
        if (e != row.waitsIn || fired.exchange(true))
            return;
        SetEvent(handlerWaits);
        if (WaitForSingleObject(lock, kHandlerLimit) == WAIT_OBJECT_0) {
            handlerGotLock = true;
            writeEndedFirst = written.load() >= 0;
            ReleaseMutex(lock);
        }
        SetEvent(handlerDone);
    };
    struct StopFirst {
        RecordingKey &key;
        ~StopFirst()
        {
            key.StopMonitoring();
            key.eventHook = nullptr;
        }
    } stopFirst{key};
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

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writerDone, kOperationLimit)) << "the write waited for the handler";
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
    for (HANDLE h : {lock, holding, handlerWaits, writerDone, handlerDone})
        CloseHandle(h);
}

const LockRow kLockRows[] = {
    {"InsertionIntoAnotherReader", "insert B", "inserted Reader B", true},
    {"RemovalFromAnotherReader", "pull B", "removed Reader B", true},
    {"RemovalOfTheKeyBeingWritten", "pull A", "removed Reader A", false},
};

INSTANTIATE_TEST_SUITE_P(Handlers, LockRows, testing::ValuesIn(kLockRows),
                         [](const testing::TestParamInfo<LockRow> &info) { return std::string(info.param.name); });

// ---- An operation begun inside one that went on beside a handler --------------------------------

// The extension's re-entry inside its PIN change: the change goes on beside a handler; opening the
// Key, it finds the PIN refused and raises the PIN event on its own thread, whose handler reads
// the Key. The monitor's handler has ended meanwhile and the monitor waits for the change to end:
// the read must not wait for a park the monitor gives only after that.
TEST_F(BesideHandlers, OperationInsideAnUnparkedOperationDoesNotWaitForTheMonitor)
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

    // The monitor's handler of Bob's insertion blocks until the change's own event releases it.
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> blocked{false}, drained{false}, nestedRead{false}, fired{false};
    std::atomic<DWORD> changeThread{0};
    std::string read;
    key.eventHook = [&](const std::string &e) {
        if (e == "inserted Reader B" && !blocked.exchange(true)) {
            SetEvent(entered);
            WaitForSingleObject(release, kHandlerLimit);
            return;
        }
        if (GetCurrentThreadId() != changeThread.load() || e.rfind("needpin Reader A", 0) != 0 || fired.exchange(true))
            return;
        key.SetPIN("Reader A", "5678");  // as the re-entry's prompt answers
        SetEvent(release);
        for (DWORD start = GetTickCount(); !key.MonitorDraining() && GetTickCount() - start < kOperationLimit;)
            Sleep(1);
        drained = key.MonitorDraining();
        std::string data(1024, 0);
        DWORD length = static_cast<DWORD>(data.size());
        nestedRead = key.Read("Reader A", data.data(), &length);
        read.assign(data.data(), nestedRead ? length : 0);
    };
    struct StopFirst {
        RecordingKey &key;
        HANDLE entered, release;
        ~StopFirst()
        {
            SetEvent(release);
            key.StopMonitoring();
            key.eventHook = nullptr;
            CloseHandle(entered);
            CloseHandle(release);
        }
    } stopFirst{key, entered, release};
    ASSERT_TRUE(QsimInsertKey(bob, "Reader B"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, kOperationLimit));
    ASSERT_TRUE(QsimSetPin(alice, "5678"));  // the kept PIN is refused at the next opening

    std::atomic<int> changed{-1};
    std::thread change([&] {
        changeThread = GetCurrentThreadId();
        changed = key.ChangePIN("Reader A", "4321") ? 1 : 0;
    });
    DWORD start = GetTickCount();
    while (changed.load() < 0 && GetTickCount() - start < kOperationLimit)
        Sleep(10);
    if (changed.load() < 0) {
        change.detach();  // stuck for good: the watchdog ends the run
        FAIL() << "the read inside the PIN change waited for the monitor";
    }
    change.join();
    EXPECT_TRUE(drained.load());
    EXPECT_TRUE(nestedRead.load());
    EXPECT_EQ(old, read);
    // The change itself met the refused PIN: it reports its failure, and the Key keeps its PIN.
    EXPECT_EQ(0, changed.load());
    QsimKeyState s = {};
    ASSERT_TRUE(QsimGetKey(alice, &s));
    EXPECT_STREQ("5678", s.pin);
    // The monitor goes on visiting, and parks for the next caller as usual.
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    EXPECT_TRUE(key.AskToStopMonitorThread());
    key.ReleaseMonitor();
}

// ---- The handshake itself -----------------------------------------------------------------------

TEST_F(BesideHandlers, AskedWhileAHandlerRunsAnswersFalseAtOnceAndTheMonitorGoesOn)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    int card = QsimCreateKey("Eve", "");
    ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
    BlockedHandler handler("inserted Reader A");
    handler.Attach(key);
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(handler.WaitEntered());
    DWORD start = GetTickCount();
    EXPECT_FALSE(key.AskToStopMonitorThread());
    EXPECT_LT(GetTickCount() - start, 100u);
    handler.Release();
    ASSERT_TRUE(handler.WaitLeft());
    // Nothing was left parked: the monitor visits again, and the next caller parks it as usual.
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    EXPECT_TRUE(key.AskToStopMonitorThread());
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

}  // namespace
