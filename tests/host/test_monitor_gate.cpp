// The monitor gate's rules, each on its own, through the host seam: who waits for whom, when the
// monitor parks and goes on, what a handler and a stop change.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "host_gate_seam.h"
#include "monitor_gate.h"

namespace {

using keygate::GateState;
using keygate::Loan;
using namespace std::chrono_literals;

class MonitorGateTest : public testing::Test {
protected:
    // A borrower on a thread of its own; its loan once it has one.
    std::future<Loan> BorrowAsync(bool onlyIfFree = false)
    {
        return std::async(std::launch::async, [this, onlyIfFree] { return gate.Borrow(false, onlyIfFree); });
    }
    static bool Ready(std::future<Loan> &f, std::chrono::milliseconds within = 0ms)
    {
        return f.wait_for(within) == std::future_status::ready;
    }
    // Waits until `n` borrowers wait for the park.
    bool WaitWaiting(int n)
    {
        for (auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;) {
            if (gate.Snapshot().waiting == n)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    HostGateSeam seam;
    keygate::MonitorGate gate{seam};
};

TEST_F(MonitorGateTest, WithoutAMonitorNothingIsWaitedForOrHeld)
{
    EXPECT_EQ(GateState::kNoMonitor, gate.State());
    EXPECT_EQ(Loan::kNone, gate.Borrow(false));
    EXPECT_FALSE(gate.RequestStop());
    gate.GiveBack(Loan::kParked);  // a stray give-back changes nothing
    keygate::GateSnapshot s = gate.Snapshot();
    EXPECT_EQ(0, s.holders);
    EXPECT_EQ(0, s.waiting);
    EXPECT_FALSE(s.holdStill);
    EXPECT_TRUE(seam.BorrowersMayGo());
}

TEST_F(MonitorGateTest, TheMonitorThreadItselfBorrowsNothingAndDoesNotWait)
{
    gate.MonitorStarting();
    gate.EnterHandler();
    EXPECT_EQ(Loan::kNone, gate.Borrow(true));
    EXPECT_EQ(GateState::kInHandler, gate.State());
    EXPECT_FALSE(gate.HoldStill());
    gate.LeaveHandler();
    EXPECT_EQ(GateState::kRunning, gate.State());
}

TEST_F(MonitorGateTest, ABorrowerWaitsForTheCheckpointAndTheMonitorStaysTillItGivesBack)
{
    gate.MonitorStarting();
    std::future<Loan> borrower = BorrowAsync();
    ASSERT_TRUE(WaitWaiting(1));
    EXPECT_FALSE(Ready(borrower, 50ms));  // the monitor is still visiting
    EXPECT_TRUE(gate.HoldStill());

    std::promise<bool> sat;
    std::future<bool> went = std::async(std::launch::async, [this, &sat] {
        bool parked = false;
        bool goOn = gate.Checkpoint(&parked);
        sat.set_value(parked);
        return goOn;
    });
    ASSERT_TRUE(Ready(borrower, 2000ms));
    Loan loan = borrower.get();
    EXPECT_EQ(Loan::kParked, loan);
    EXPECT_EQ(GateState::kParked, gate.State());
    EXPECT_EQ(std::future_status::timeout, went.wait_for(50ms));  // parked while the Key is held
    gate.GiveBack(loan);
    ASSERT_EQ(std::future_status::ready, went.wait_for(2000ms));
    EXPECT_TRUE(went.get());
    EXPECT_TRUE(sat.get_future().get());
    EXPECT_EQ(GateState::kRunning, gate.State());
    EXPECT_FALSE(seam.BorrowersMayGo());
}

TEST_F(MonitorGateTest, BorrowersShareThePark)
{
    gate.MonitorStarting();
    std::future<Loan> first = BorrowAsync();
    ASSERT_TRUE(WaitWaiting(1));
    std::future<bool> monitor = std::async(std::launch::async, [this] { return gate.Checkpoint(); });
    ASSERT_TRUE(Ready(first, 2000ms));
    Loan a = first.get();
    // A second comes while the monitor sits parked: it joins at once; asked only if free, none.
    EXPECT_EQ(Loan::kNone, gate.Borrow(false, true));
    Loan b = gate.Borrow(false);
    EXPECT_EQ(Loan::kParked, b);
    EXPECT_EQ(2, gate.Snapshot().holders);
    gate.GiveBack(a);
    EXPECT_EQ(std::future_status::timeout, monitor.wait_for(50ms));  // the second still holds
    EXPECT_EQ(GateState::kParked, gate.State());
    gate.GiveBack(b);
    ASSERT_EQ(std::future_status::ready, monitor.wait_for(2000ms));
    EXPECT_TRUE(monitor.get());
    EXPECT_EQ(0, gate.Snapshot().holders);
}

TEST_F(MonitorGateTest, ABorrowerMeetingAHandlerWaitsForItsEndThenThePark)
{
    gate.MonitorStarting();
    gate.EnterHandler();
    gate.EnterHandler();  // nested: an event raised inside an operation begun by a handler
    std::future<Loan> borrower = BorrowAsync();
    ASSERT_TRUE(WaitWaiting(1));
    gate.LeaveHandler();
    EXPECT_EQ(GateState::kInHandler, gate.State());
    gate.LeaveHandler();
    EXPECT_EQ(GateState::kRunning, gate.State());
    EXPECT_FALSE(Ready(borrower, 30ms));  // not parked before the monitor's checkpoint
    std::future<bool> monitor = std::async(std::launch::async, [this] { return gate.Checkpoint(); });
    ASSERT_TRUE(Ready(borrower, 2000ms));
    gate.GiveBack(borrower.get());
    ASSERT_EQ(std::future_status::ready, monitor.wait_for(2000ms));
}

struct StopRow {
    const char *name;
    bool holder;   // an operation holds the park when the stop comes (else one only waits)
};

class StopRows : public MonitorGateTest, public testing::WithParamInterface<StopRow> {};

TEST_P(StopRows, AStopEndsTheMonitorAndWaitsOnlyForHolders)
{
    gate.MonitorStarting();
    Loan held = Loan::kNone;
    std::future<bool> monitor;
    std::future<Loan> waiter;
    if (GetParam().holder) {
        std::future<Loan> first = BorrowAsync();
        ASSERT_TRUE(WaitWaiting(1));
        monitor = std::async(std::launch::async, [this] { return gate.Checkpoint(); });
        ASSERT_TRUE(Ready(first, 2000ms));
        held = first.get();
        ASSERT_EQ(Loan::kParked, held);
    } else {
        waiter = BorrowAsync();
        ASSERT_TRUE(WaitWaiting(1));
    }
    EXPECT_TRUE(gate.RequestStop());
    if (GetParam().holder) {
        EXPECT_EQ(GateState::kParked, gate.State());
        EXPECT_EQ(std::future_status::timeout, monitor.wait_for(50ms));  // the Key is still in use
        gate.GiveBack(held);
        ASSERT_EQ(std::future_status::ready, monitor.wait_for(2000ms));
        EXPECT_FALSE(monitor.get());
    } else {
        EXPECT_EQ(GateState::kStopping, gate.State());
        EXPECT_FALSE(gate.Checkpoint());  // does not park for a borrower that only waits
        EXPECT_FALSE(Ready(waiter));
    }
    gate.MonitorEnded();
    EXPECT_EQ(GateState::kExited, gate.State());
    if (!GetParam().holder) {
        ASSERT_TRUE(Ready(waiter, 2000ms));
        EXPECT_EQ(Loan::kNone, waiter.get());
    }
    EXPECT_EQ(Loan::kNone, gate.Borrow(false));
    EXPECT_FALSE(gate.RequestStop());
}

const StopRow kStopRows[] = {{"BorrowerWaiting", false}, {"BorrowerHolding", true}};
INSTANTIATE_TEST_SUITE_P(Stop, StopRows, testing::ValuesIn(kStopRows),
                         [](const testing::TestParamInfo<StopRow> &info) { return std::string(info.param.name); });

TEST_F(MonitorGateTest, StopAskedInAHandlerIsSeenAtTheNextCheckpoint)
{
    gate.MonitorStarting();
    gate.EnterHandler();
    EXPECT_TRUE(gate.RequestStop());
    EXPECT_EQ(GateState::kStopping, gate.State());
    gate.LeaveHandler();
    EXPECT_FALSE(gate.Checkpoint());
}

struct IdleRow {
    const char *name;
    int cut;  // 0 nothing, 1 a borrower, 2 a stop
};

class IdleRows : public MonitorGateTest, public testing::WithParamInterface<IdleRow> {};

TEST_P(IdleRows, TheSleepBetweenPassesEndsEarlyOnlyForABorrowerOrAStop)
{
    gate.MonitorStarting();
    std::future<Loan> borrower;
    if (GetParam().cut == 1)
        borrower = BorrowAsync();
    if (GetParam().cut == 2)
        gate.RequestStop();
    auto start = std::chrono::steady_clock::now();
    gate.Idle(400);
    auto took = std::chrono::steady_clock::now() - start;
    if (GetParam().cut == 0)
        EXPECT_GE(took, 390ms);
    else
        EXPECT_LT(took, 300ms);
    if (GetParam().cut == 1) {
        std::future<bool> monitor = std::async(std::launch::async, [this] { return gate.Checkpoint(); });
        ASSERT_TRUE(Ready(borrower, 2000ms));
        gate.GiveBack(borrower.get());
        EXPECT_TRUE(monitor.get());
    }
}

const IdleRow kIdleRows[] = {{"Undisturbed", 0}, {"Borrower", 1}, {"Stop", 2}};
INSTANTIATE_TEST_SUITE_P(Idle, IdleRows, testing::ValuesIn(kIdleRows),
                         [](const testing::TestParamInfo<IdleRow> &info) { return std::string(info.param.name); });

TEST_F(MonitorGateTest, AMonitorThatEndedWithoutSayingSoIsNotWaitedFor)
{
    gate.MonitorStarting();
    std::future<Loan> borrower = BorrowAsync();
    ASSERT_TRUE(WaitWaiting(1));
    seam.gone = true;  // killed with its process: no checkpoint, no last act
    ASSERT_TRUE(Ready(borrower, 2000ms));  // noticed within a poll's time
    EXPECT_EQ(Loan::kNone, borrower.get());
    EXPECT_EQ(GateState::kExited, gate.State());
    EXPECT_FALSE(gate.RequestStop());
}

TEST_F(MonitorGateTest, ARestartedMonitorStartsRunningWithNoStopAsked)
{
    gate.MonitorStarting();
    gate.RequestStop();
    EXPECT_FALSE(gate.Checkpoint());
    gate.MonitorEnded();
    gate.MonitorStarting();
    keygate::GateSnapshot s = gate.Snapshot();
    EXPECT_EQ(GateState::kRunning, s.state);
    EXPECT_FALSE(s.stopAsked);
    EXPECT_TRUE(gate.Checkpoint());
    gate.NoMonitor();
    EXPECT_EQ(Loan::kNone, gate.Borrow(false));
}

}  // namespace
