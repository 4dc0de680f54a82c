// The fault sweep's machinery, for any flow that drives the product against the Key stand-in: a
// table of failure kinds (one Key entry, the error it fails with), a clean run that counts how
// often the flow calls each entry, and one run per k that fails the k-th call. The flow's own run
// does the driving and the checks and answers "" when every check held, else what failed.
//
// Environment: SENTRIO_SWEEP_MAX_K bounds the k tried per kind (0: every k; unset: the caller's
// default); when a flow makes more calls than the bound, the k tried are spread over them, the
// first and the last always among them. SENTRIO_SWEEP_ONLY names one Key entry whose kinds alone
// are swept; SENTRIO_SWEEP_FLOW names one flow (by the name its sweep prints) to sweep alone;
// SENTRIO_SWEEP_COUNTS=1 prints each run's time. SENTRIO_SWEEP_SAMPLE=1 (the ctest run) sweeps
// the first kind of each of the flow's sample entries only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testkit {

// One failure kind: the entry `entry` of Quorel32.dll fails with `lastError`; `result` is what it
// answers when it answers a number (InitCard), else 0; `what` names the kind in the report.
// `pull`: the Key is really pulled out of its reader in that call (the call fails as a pulled
// Key's would), instead of failing while the Key stays in.
struct KeyFault {
    const char *entry;
    DWORD lastError;
    int result;
    const char *what;
    bool pull = false;
    // A failure the sweep found and the product still shows: the kind is left out of the sweep
    // (SENTRIO_SWEEP_KNOWN=1 takes it in) and this text is printed instead.
    const char *known = nullptr;
    // The Key is pulled between two chunks of the data the flow writes (one reader command each,
    // whatever WriteData call they belong to) instead of at a call: k counts the chunks that land
    // first (k from 0, before the first, to the number of chunks, after the last), and the write
    // is left torn. `entry` names "WriteData"; `pull` is implied.
    bool chunk = false;
};

// The name under which the call counts carry the chunks of data written (KeyCallsOf, the report).
constexpr char kWriteChunks[] = "WriteData chunks";

// Common kinds.
constexpr DWORD kFaultNotReady = ERROR_NOT_READY;   // the Key pulled
constexpr DWORD kFaultIo = ERROR_IO_DEVICE;         // an I/O error
constexpr DWORD kFaultNoSpace = 0x80100006;         // SCARD_E_NO_MEMORY: no room on the Key
constexpr DWORD kFaultPinRefused = 0x8010006B;      // SCARD_W_WRONG_CHV
constexpr DWORD kFaultPinBlocked = 0x8010006C;      // SCARD_W_CHV_BLOCKED

// Plans `fault` for the call after the next `skip` calls of its entry (a pull pulls Key `key`).
bool PlanKeyFault(const KeyFault &fault, int skip, int key);
// Takes every planned failure back.
void ClearKeyFaults();
// The call counts of the Key entries a flow may call, now; the entries called between two counts,
// as "Entry=n ..." (for choosing a flow's rows: SENTRIO_SWEEP_COUNTS=1 prints them).
std::vector<DWORD> KeyCallCounts();
std::string KeyCallsBetween(const std::vector<DWORD> &before, const std::vector<DWORD> &after);
// The calls of `entry` in a difference of counts (after - before, element by element).
DWORD KeyCallsOf(const std::vector<DWORD> &calls, const char *entry);
std::vector<DWORD> KeyCallsDifference(const std::vector<DWORD> &before, const std::vector<DWORD> &after);

// One run of a flow with `fault` planned after `skip` calls of its entry, or a clean run when
// `fault` is null: then *calls receives what the flow's action called (KeyCallsBetween's counts).
// Answers "" when every check held, else what failed.
using SweepRun = std::function<std::string(const KeyFault *fault, int skip, std::vector<DWORD> *calls)>;

struct SweepFigures {
    int runs = 0;                       // faulted runs (clean runs not counted)
    std::vector<std::string> failures;  // "<entry> call <k> (<what>): <problem>"
};

// The k tried for an entry called `calls` times under the bound `maxK` (0: all), in order.
std::vector<int> SweepKs(int calls, int maxK);
// SENTRIO_SWEEP_MAX_K, or `fallback` when unset.
int SweepMaxK(int fallback);
// The chunk positions a sweep of torn writes tries: every one with SENTRIO_SWEEP_MAX_K=0, else at
// least 3 (the first, the last and one between: the old record, the new one and a torn one).
int TornSweepMaxK();
// Whether SENTRIO_SWEEP_FLOW leaves flow `name` in the sweep.
bool SweepFlowSelected(const std::string &name);

// Sweeps each kind of `faults` that SENTRIO_SWEEP_ONLY leaves in: one clean run first, which counts
// the calls of every entry (its failure is the flow's failure, and nothing is swept then), then
// one run per k of each kind; a kind whose entry the clean run did not call is a failure too. Prints "fault sweep:
// <flow>, N runs (failure kinds x k), M failures" and every failure.
// `sample`: the entries SENTRIO_SWEEP_SAMPLE=1 keeps (empty: every entry).
SweepFigures RunFaultSweep(const std::string &flow, const std::vector<KeyFault> &faults, const SweepRun &run,
                           int maxK, const std::vector<std::string> &sample = {});

// What the product read after each run of a sweep of torn writes: the old record, the new one, a
// record it refused as damaged and said so, or anything else (which must never happen).
enum class WriteOutcome { kOld, kNew, kDamagedAndSaid, kOther };

struct WriteOutcomes {
    int old = 0, fresh = 0, damaged = 0, other = 0;
    void Add(WriteOutcome outcome);
    // Prints "torn writes: <flow>: old N, new N, damaged and said N, anything else N".
    void Print(const std::string &flow) const;
};

}  // namespace testkit
