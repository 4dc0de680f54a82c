// Random interleavings of Key operations, reader visits, event handlers (with operations inside
// them) and stops against the monitor gate, with its rules checked after every step:
//  - no visit while an operation holds the Key, and no operation holding it while the monitor
//    visits (operations share the park among themselves; an operation inside a handler is the
//    monitor's own and holds nothing);
//  - the gate's state adds up: holders only while parked, a handler only in a handler's state,
//    no negative counts, nothing given back that was not lent;
//  - an operation gets no park only when the monitor is gone or going;
//  - no park is held after its borrower ended: once the operations have ended the monitor
//    leaves its park;
//  - a stop always ends: the monitor ends within a bound, operations still waiting included.
// Built under ThreadSanitizer by the host-tsan preset (and under the address sanitizer by the host
// preset). The run's length: SENTRIO_GATE_STRESS_SECONDS (default 2, a smoke run); its figures are
// printed at the end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host_gate_seam.h"
#include "monitor_gate.h"

namespace {

using keygate::GateSnapshot;
using keygate::GateState;
using keygate::Loan;
using Clock = std::chrono::steady_clock;

constexpr auto kStopBound = std::chrono::seconds(5);     // a stop that takes longer has hung
constexpr auto kLeaveParkBound = std::chrono::seconds(2);

struct Figures {
    std::atomic<long> interleavings{0}, steps{0}, checks{0}, violations{0};
    std::atomic<long> parkedOps{0}, sharedOps{0}, opsInHandlers{0}, opsWithoutMonitor{0}, handlers{0}, visits{0};
    std::atomic<long> stops{0}, longestStopMs{0};
    std::mutex firstMutex;
    std::string first;  // the first violation, for the failure message

    void Violation(const std::string &what)
    {
        if (violations.fetch_add(1) == 0) {
            std::lock_guard<std::mutex> lock(firstMutex);
            first = what;
        }
    }
};

// One interleaving: a gate, its monitor, its operations and its stop.
class Interleaving {
public:
    Interleaving(Figures &figures, unsigned seed) : f_(figures), seed_(seed) {}

    void Run()
    {
        std::mt19937 rnd(seed_);
        const int operators = 1 + static_cast<int>(rnd() % 3);
        const int opsEach = 5 + static_cast<int>(rnd() % 40);
        const auto stopAfter = std::chrono::microseconds(rnd() % 40000);

        gate_.MonitorStarting();
        Check("start");
        std::thread monitor([this] { Monitor(seed_ * 7 + 1); });
        std::vector<std::thread> ops;
        for (int i = 0; i < operators; ++i)
            ops.emplace_back([this, i, opsEach] { Operations(seed_ * 13 + static_cast<unsigned>(i), opsEach); });

        std::this_thread::sleep_for(stopAfter);
        if (rnd() % 4 != 0) {
            // Most runs stop while operations still go on; the others once they have ended.
            Stop(monitor);
            for (std::thread &t : ops)
                t.join();
        } else {
            for (std::thread &t : ops)
                t.join();
            CheckParkLeft();
            Stop(monitor);
        }
        GateSnapshot s = gate_.Snapshot();
        Expect(s.state == GateState::kExited, "the monitor ended: exited");
        Expect(s.holders == 0 && s.waiting == 0, "nothing held or waiting once all have ended");
        Expect(gate_.Borrow(false) == Loan::kNone, "no park after the monitor ended");
        f_.interleavings.fetch_add(1);
    }

private:
    // ---- The monitor: passes over 0 to 3 readers, each visit maybe raising events whose handlers
    // may start operations, a checkpoint after each reader and after each pass, a short sleep.
    void Monitor(unsigned seed)
    {
        std::mt19937 rnd(seed);
        for (;;) {
            int readers = static_cast<int>(rnd() % 4);
            for (int i = 0; i < readers; ++i) {
                Visit(rnd);
                if (!gate_.Checkpoint()) {
                    End();
                    return;
                }
                Check("after a reader");
            }
            if (!gate_.Checkpoint()) {
                End();
                return;
            }
            Check("after a pass");
            gate_.Idle(rnd() % 3);
            Check("after the sleep");
        }
    }

    void Visit(std::mt19937 &rnd)
    {
        visiting_.store(true);
        Expect(using_.load() == 0, "the monitor visits while an operation holds the Key");
        f_.visits.fetch_add(1);
        Jitter(rnd);
        int events = static_cast<int>(rnd() % 3);
        for (int e = 0; e < events; ++e) {
            gate_.EnterHandler();
            f_.handlers.fetch_add(1);
            Check("in a handler");
            GateSnapshot s = gate_.Snapshot();
            Expect(s.state == GateState::kInHandler || s.state == GateState::kStopping, "a handler runs: its state");
            if (rnd() % 3 == 0) {
                // An operation started by the handler: the monitor's own, it holds nothing.
                Loan loan = gate_.Borrow(true);
                Expect(loan == Loan::kNone, "an operation inside a handler was lent the park");
                f_.opsInHandlers.fetch_add(1);
                Jitter(rnd);
                gate_.GiveBack(loan);
            }
            if (rnd() % 2 == 0) {
                gate_.EnterHandler();  // an event raised inside that operation
                Check("in a nested handler");
                gate_.LeaveHandler();
            }
            Jitter(rnd);
            gate_.LeaveHandler();
            Check("after a handler");
        }
        Expect(using_.load() == 0, "an operation took the Key during the visit");
        visiting_.store(false);
    }

    void End()
    {
        Check("at the end");
        gate_.MonitorEnded();
        ended_.store(true);
    }

    // ---- An operator: operations one after the other, some sharing the park with others.
    void Operations(unsigned seed, int count)
    {
        std::mt19937 rnd(seed);
        for (int i = 0; i < count; ++i) {
            bool onlyIfFree = rnd() % 8 == 0;  // as AskToStopMonitorThread asks
            Loan loan = gate_.Borrow(false, onlyIfFree);
            f_.steps.fetch_add(1);
            if (loan == Loan::kParked) {
                int before = using_.fetch_add(1);
                Expect(!visiting_.load(), "an operation holds the Key while the monitor visits");
                GateSnapshot s = gate_.Snapshot();
                Expect(s.state == GateState::kParked, "lent the park while the monitor is not parked");
                Expect(s.holders >= 1, "lent the park without a holder counted");
                (before > 0 ? f_.sharedOps : f_.parkedOps).fetch_add(1);
                f_.checks.fetch_add(3);
                Jitter(rnd);
                Expect(!visiting_.load(), "the monitor began a visit while an operation held the Key");
                using_.fetch_sub(1);
                gate_.GiveBack(loan);
            } else {
                GateSnapshot s = gate_.Snapshot();
                bool goneOrGoing = s.state == GateState::kExited || s.state == GateState::kStopping ||
                                   s.stopAsked || ended_.load();
                // (Asked only if free, it may have met another borrower that has gone since.)
                Expect(goneOrGoing || onlyIfFree, "no park for an operation while the monitor runs");
                f_.opsWithoutMonitor.fetch_add(1);
                f_.checks.fetch_add(1);
            }
            Check("after an operation");
            Jitter(rnd);
        }
    }

    void Stop(std::thread &monitor)
    {
        auto start = Clock::now();
        gate_.RequestStop();
        Check("stop asked");
        while (!ended_.load() && Clock::now() - start < kStopBound)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        f_.stops.fetch_add(1);
        for (long longest = f_.longestStopMs.load(); ms > longest && !f_.longestStopMs.compare_exchange_weak(longest, ms);) {
        }
        f_.checks.fetch_add(1);
        if (!ended_.load()) {
            f_.Violation("a stop did not end within 5 s");
            seam_.gone = true;  // lets everything go, so that the run ends and reports
        }
        monitor.join();
    }

    // Once no operation is left, the monitor does not stay parked.
    void CheckParkLeft()
    {
        auto start = Clock::now();
        while (gate_.State() == GateState::kParked && Clock::now() - start < kLeaveParkBound)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        Expect(gate_.State() != GateState::kParked, "a park is held after its borrowers ended");
    }

    // The gate's own state adds up.
    void Check(const char *where)
    {
        GateSnapshot s = gate_.Snapshot();
        std::string at = std::string(" (") + where + ", " + keygate::GateStateName(s.state) + ")";
        Expect(s.holders >= 0 && s.waiting >= 0 && s.handlerDepth >= 0, "a negative count" + at);
        Expect(s.holders == 0 || s.state == GateState::kParked, "holders while not parked" + at);
        Expect(s.state != GateState::kInHandler || s.handlerDepth > 0, "in a handler with none running" + at);
        Expect(s.state != GateState::kParked || s.handlerDepth == 0, "parked inside a handler" + at);
        Expect(s.holdStill == (s.holders + s.waiting > 0), "hold still is not what the borrowers say" + at);
        Expect(s.state != GateState::kExited || s.holders == 0, "exited with holders" + at);
        f_.checks.fetch_add(6);
    }

    void Expect(bool ok, const std::string &rule)
    {
        f_.checks.fetch_add(1);
        if (!ok)
            f_.Violation(rule);
    }

    static void Jitter(std::mt19937 &rnd)
    {
        switch (rnd() % 4) {
        case 0: break;
        case 1: std::this_thread::yield(); break;
        default: std::this_thread::sleep_for(std::chrono::microseconds(rnd() % 300)); break;
        }
    }

    Figures &f_;
    unsigned seed_;
    HostGateSeam seam_;
    keygate::MonitorGate gate_{seam_};
    std::atomic<bool> visiting_{false};
    std::atomic<int> using_{0};
    std::atomic<bool> ended_{false};
};

double StressSeconds()
{
    const char *value = std::getenv("SENTRIO_GATE_STRESS_SECONDS");
    double seconds = value != nullptr ? std::atof(value) : 0;
    return seconds > 0 ? seconds : 2.0;
}

TEST(GateStress, RandomInterleavingsKeepTheGatesRules)
{
    Figures f;
    const double seconds = StressSeconds();
    const char *seedText = std::getenv("SENTRIO_GATE_STRESS_SEED");
    unsigned seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                        : static_cast<unsigned>(Clock::now().time_since_epoch().count());
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (unsigned i = 0; Clock::now() < end && f.violations.load() == 0; ++i) {
        Interleaving run(f, seed + i * 7919u);
        run.Run();
    }
    std::printf("gate stress (seed %u, %.0f s): %ld interleavings, %ld operation steps, %ld rule checks, %ld violations;"
                " %ld visits, %ld handlers, %ld operations parked, %ld sharing a park, %ld inside handlers,"
                " %ld without a monitor; %ld stops, the longest %ld ms\n",
                seed, seconds, f.interleavings.load(), f.steps.load(), f.checks.load(), f.violations.load(),
                f.visits.load(), f.handlers.load(), f.parkedOps.load(), f.sharedOps.load(), f.opsInHandlers.load(),
                f.opsWithoutMonitor.load(), f.stops.load(), f.longestStopMs.load());
    EXPECT_EQ(0, f.violations.load()) << "first: " << f.first;
    EXPECT_LT(0, f.interleavings.load());
    EXPECT_LT(0, f.parkedOps.load());
}

}  // namespace
