// The monitor gate's wake-ups: a caller is let go as soon as the monitor parks (also out of the
// monitor's sleep between passes), a stray release does not cancel a waiting caller's request,
// there is no time limit, and Key operations racing insertions and removals each end cleanly.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "quorel_control.h"
#include "recording_key.h"
#include "testkit.h"
#include "texts.h"
#include "virtual_keys.h"

namespace {

constexpr DWORD kAskLimit = 20000;  // a caller that waits longer has hung: the test ends failed

// The gate's state, read from outside as a test needs it.
class HandshakeKey : public RecordingKey {
public:
    // 1 while the monitor must hold still (a caller waits for or holds the park).
    LONG SpinLock() { return Gate().holdStill ? 1 : 0; }
    LONG Parked() { return Gate().state == keygate::GateState::kParked ? 1 : 0; }
    // Operations waiting for or holding the park.
    LONG Borrowers()
    {
        keygate::GateSnapshot gate = Gate();
        return gate.waiting + gate.holders;
    }
};

// AskToStopMonitorThread on a thread of its own.
class Asker {
public:
    explicit Asker(CSmartKey &key) : thread_([this, &key] {
          parked_ = key.AskToStopMonitorThread() ? 1 : 0;
          SetEvent(done_);
      })
    {
    }
    ~Asker()
    {
        WaitForSingleObject(done_, kAskLimit);
        if (thread_.joinable())
            thread_.join();
        CloseHandle(done_);
    }
    Asker(const Asker &) = delete;
    Asker &operator=(const Asker &) = delete;

    bool Done(DWORD ms) { return WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
    int parked() const { return parked_.load(); }

private:
    HANDLE done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> parked_{-1};
    std::thread thread_;
};

bool WaitForCall(const char *entry, DWORD after, DWORD ms = 10000)
{
    for (DWORD start = GetTickCount(); QsimCallCount(entry) <= after;) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(1);
    }
    return true;
}

class ParkHandshake : public testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage(nullptr, nullptr);
        ASSERT_TRUE(keys.ok());
    }
    void StartWithKey()
    {
        card = keys.InsertNewKey("Reader A", "Hana", "1234");
        ASSERT_NE(0, card);
        ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    }

    // Waits until the monitor is inside its next visit's InitCard, which takes `ms` longer.
    static bool CatchMonitorInVisit(DWORD ms)
    {
        DWORD visits = QsimCallCount("InitCard");
        bool caught = QsimSetCallDelay("InitCard", ms) && WaitForCall("InitCard", visits);
        QsimSetCallDelay("InitCard", 0);  // the call under way keeps its delay
        return caught;
    }
    // Waits until a caller has asked for the park.
    bool WaitAsked()
    {
        for (DWORD start = GetTickCount(); key.SpinLock() != 1 && GetTickCount() - start < 5000;)
            Sleep(1);
        return key.SpinLock() == 1;
    }
    // The monitor stays parked: no reader visit for a while.
    static bool StaysParked(DWORD ms) { return !WaitForCall("InitCard", QsimCallCount("InitCard"), ms); }

    testkit::VirtualKeys keys;  // declared first: emptied after the Key object has stopped
    HandshakeKey key;
    int card = 0;
};

TEST_F(ParkHandshake, ParkAskedBetweenPassesComesAfterOneMoreVisitOfTheReader)
{
    StartWithKey();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // Just after an insertion's visit the monitor goes to its sleep between passes.
        if (round > 0) {
            ASSERT_TRUE(QsimPullKey(card));
            ASSERT_TRUE(key.WaitFor("removed Reader A", 5000, round));
            ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
            ASSERT_TRUE(key.WaitFor("inserted Reader A", 5000, round + 1));
        }
        DWORD passes = QsimCallCount("AnyReadersChanges");
        DWORD visits = QsimCallCount("InitCard");
        ASSERT_TRUE(key.AskToStopMonitorThread());
        // The sleep is cut short, but the monitor still looks at the readers once before it
        // parks (at most: the request may have come just before the park check of this pass).
        EXPECT_LE(QsimCallCount("AnyReadersChanges"), passes + 1);
        EXPECT_LE(QsimCallCount("InitCard"), visits + 1);
        EXPECT_EQ(1, key.Parked());
        EXPECT_EQ(1, key.SpinLock());
        EXPECT_TRUE(StaysParked(400));
        key.ReleaseMonitor();
        EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    }
}

TEST_F(ParkHandshake, KeyPutInWhileACallerWaitsIsReportedBeforeTheCallerGetsIt)
{
    ASSERT_TRUE(QsimAddReader("Reader A"));
    card = QsimCreateKey("Lena", "1234");
    ASSERT_NE(0, card);
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("nokey"));
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        // The Key goes in while the monitor sleeps; the operation asks at once. The monitor's
        // visit comes first, so the insertion is reported (the operation waits for its events).
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
        char buffer[16];
        DWORD length = sizeof buffer;
        key.Read("Reader A", buffer, &length);
        ASSERT_TRUE(key.WaitFor("inserted Reader A", 5000, round));
        ASSERT_TRUE(QsimPullKey(card));
        ASSERT_TRUE(key.WaitFor("removed Reader A", 5000, round));
    }
}

TEST_F(ParkHandshake, StrayReleaseWhileACallerWaitsLeavesItsRequestStanding)
{
    StartWithKey();
    // Catch the monitor inside a slow visit, so that the request is pending at the stray release.
    ASSERT_TRUE(CatchMonitorInVisit(1500));
    DWORD caught = QsimCallCount("InitCard");
    Asker asker(key);
    ASSERT_TRUE(WaitAsked());
    key.ReleaseMonitor();  // from a thread that holds no park: gives nothing back
    EXPECT_EQ(1, key.SpinLock());
    EXPECT_FALSE(asker.Done(0));
    // The monitor parks right after its slow visit, for the caller that still waits.
    ASSERT_TRUE(asker.Done(kAskLimit));
    EXPECT_EQ(caught, QsimCallCount("InitCard"));
    EXPECT_EQ(1, asker.parked());
    EXPECT_EQ(1, key.Parked());
    EXPECT_TRUE(StaysParked(600));
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(ParkHandshake, MonitorHeldInALongCallIsWaitedForWithoutLimit)
{
    StartWithKey();
    ASSERT_TRUE(CatchMonitorInVisit(4500));  // longer than two re-assertions
    DWORD caught = QsimCallCount("InitCard");
    Asker asker(key);
    EXPECT_FALSE(asker.Done(2500));  // still inside the call: the caller neither gives up nor goes on
    ASSERT_TRUE(asker.Done(kAskLimit));
    EXPECT_EQ(1, asker.parked());
    EXPECT_EQ(caught, QsimCallCount("InitCard"));  // parked right after the long call
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
}

TEST_F(ParkHandshake, TheMonitorsEndWakesACallerWaitingForThePark)
{
    StartWithKey();
    ASSERT_TRUE(CatchMonitorInVisit(1500));
    Asker asker(key);
    ASSERT_TRUE(WaitAsked());
    // A reader change ends the monitor of a second object in the process; here the request is
    // given up the same way when the monitor thread ends under it.
    key.StopMonitoring();
    ASSERT_TRUE(asker.Done(kAskLimit));
    EXPECT_NE(-1, asker.parked());
}

// ---- Key operations racing insertions and removals ----------------------------------------------

struct RaceRow {
    const char *name;
    DWORD handlerMs;    // each event handler takes this long (operations go on beside it)
    DWORD msPerCall;    // the Key's own speed: 0 the stand-in's
    int cycles;
};

class RaceRows : public ParkHandshake, public testing::WithParamInterface<RaceRow> {
protected:
    bool WaitForState(int state, DWORD ms = 10000)
    {
        for (DWORD start = GetTickCount(); key.GetKeyInfo("Reader A", nullptr, nullptr, nullptr) != state;) {
            if (GetTickCount() - start > ms)
                return false;
            Sleep(5);
        }
        return true;
    }
};

TEST_P(RaceRows, OperationsRacingInsertionAndRemovalEachEndCleanly)
{
    const RaceRow &row = GetParam();
    const std::string data = "racing record 0123456789";
    card = keys.InsertNewKey("Reader A", "Ivo", "1234");
    ASSERT_NE(0, card);
    ASSERT_TRUE(QsimSetData(card, 225, data.data(), static_cast<DWORD>(data.size())));
    if (row.handlerMs != 0)
        key.eventHook = [&row](const std::string &e) {
            if (e.rfind("inserted", 0) == 0 || e.rfind("removed", 0) == 0)
                Sleep(row.handlerMs);
        };
    ASSERT_TRUE(testkit::StartWatching(key, "Reader A", "1234"));
    QsimSetLatency(row.msPerCall, 0);

    std::atomic<bool> stop{false};
    std::atomic<int> good{0}, refused{0}, wrong{0};
    std::thread reader([&] {
        while (!stop) {
            // One operation per pass: back-to-back operations would hold the monitor parked.
            DWORD pass = QsimCallCount("AnyReadersChanges");
            WaitForCall("AnyReadersChanges", pass, 2000);
            char buffer[64] = {};
            DWORD length = sizeof buffer;
            if (!key.Read("Reader A", buffer, &length))
                ++refused;
            else if (std::string(buffer, length) == data)
                ++good;
            else
                ++wrong;
        }
    });
    for (int i = 1; i <= row.cycles; ++i) {
        ASSERT_TRUE(QsimPullKey(card));
        ASSERT_TRUE(key.WaitFor("removed Reader A", 10000, i)) << "cycle " << i;
        ASSERT_TRUE(QsimInsertKey(card, "Reader A"));
        ASSERT_TRUE(WaitForState(csReady)) << "cycle " << i;
    }
    stop = true;
    reader.join();
    QsimSetLatency(0, 0);

    EXPECT_EQ(0, wrong.load());
    EXPECT_LT(0, good.load());
    // Every removal is reported (by the monitor, or by the operation that met it). An insertion
    // is reported too, also of a Key an operation took up first, unless the Key was pulled again
    // before the monitor's next visit.
    EXPECT_EQ(row.cycles, key.Count("removed Reader A"));
    EXPECT_LE(key.Count("inserted Reader A"), row.cycles + 1);
    // Nothing is left held once the last operation has ended: no borrower, the monitor not
    // parked, and a new park is granted and given back.
    for (DWORD start = GetTickCount(); key.SpinLock() != 0 && GetTickCount() - start < 5000;)
        Sleep(5);
    EXPECT_EQ(0, key.Borrowers());
    EXPECT_EQ(0, key.SpinLock());
    ASSERT_TRUE(key.AskToStopMonitorThread());
    key.ReleaseMonitor();
    EXPECT_TRUE(testkit::MonitorKeepsVisiting());
    std::printf("[ %s ] %d reads, %d refused while the Key was out\n", row.name, good.load(), refused.load());
}

const RaceRow kRaceRows[] = {
    {"QuickHandlers", 0, 0, 12},
    {"SlowHandlers", 40, 0, 8},
    {"CardSpeed", 0, 30, 5},
};

INSTANTIATE_TEST_SUITE_P(Race, RaceRows, testing::ValuesIn(kRaceRows),
                         [](const testing::TestParamInfo<RaceRow> &info) { return std::string(info.param.name); });

// ---- The current Key while its reader goes ------------------------------------------------------

TEST_F(ParkHandshake, OperationWithoutANameWhoseCurrentReaderVanishesWhileItWaitsUsesTheOtherKey)
{
    int a = keys.InsertNewKey("Reader A", "Jan", "1234");
    int b = keys.InsertNewKey("Reader B", "Kai", "1234");
    ASSERT_NE(0, a);
    ASSERT_NE(0, b);
    key.SetPIN(nullptr, "1234");
    ASSERT_TRUE(key.Start());
    ASSERT_TRUE(key.WaitFor("inserted Reader A"));
    ASSERT_TRUE(key.WaitFor("inserted Reader B"));
    ASSERT_TRUE(key.Write(nullptr, 0, "first", 5));  // Reader A becomes the current Key
    ASSERT_EQ(key.NameOf("Reader A"), key.NameOf(nullptr));

    // The monitor learns of the change inside a slow AnyReadersChanges; the operation asks for the
    // park meanwhile and the reader's record is dropped before (or while) it gets the Key.
    DWORD passes = QsimCallCount("AnyReadersChanges");
    ASSERT_TRUE(QsimSetCallDelay("AnyReadersChanges", 800));
    ASSERT_TRUE(WaitForCall("AnyReadersChanges", passes));
    ASSERT_TRUE(QsimRemoveReader("Reader A"));
    passes = QsimCallCount("AnyReadersChanges");
    ASSERT_TRUE(WaitForCall("AnyReadersChanges", passes));  // this call reports the change
    ASSERT_TRUE(QsimSetCallDelay("AnyReadersChanges", 0));
    std::atomic<int> written{-1};
    std::thread writer([&] { written = key.Write(nullptr, 0, "second", 6) ? 1 : 0; });
    writer.join();
    EXPECT_EQ(1, written.load());
    ASSERT_TRUE(key.WaitFor("reader Reader A 0"));
    EXPECT_FALSE(key.FindReader("Reader A"));
    EXPECT_EQ("second", testkit::VirtualKeys::Data(b));
    EXPECT_EQ("first", testkit::VirtualKeys::Data(a));
    EXPECT_EQ(0, key.Borrowers());
}

}  // namespace
