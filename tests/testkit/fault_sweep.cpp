// The fault sweep's machinery: failures planned in the Key stand-in, the k tried, the report.
#include "fault_sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "quorel_control.h"

namespace testkit {

namespace {

const char *const kEntries[] = {"EnumReaders", "InitReader", "CloseReader", "InitCard", "CloseCard",
                                "VerifyPIN", "ChangePIN", "UnblockPIN", "ReadData", "WriteData",
                                "SetDataSize", "GetRandom", "GetCardID", "GetApplicationInfo", "ReadLabel",
                                "WriteLabel", "ReadBIR", "WriteBIR", "SetBIRSize", "DeleteBIR",
                                "AnyReadersChanges", kWriteChunks};

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

bool PlanKeyFault(const KeyFault &fault, int skip, int key)
{
    if (fault.chunk)
        return QsimPullOnChunk(skip, key) != FALSE;
    if (fault.pull)
        return QsimPullOnCall(fault.entry, skip, key) != FALSE;
    return QsimFailCall(fault.entry, skip, fault.lastError, fault.result) != FALSE;
}

void ClearKeyFaults()
{
    for (const char *entry : kEntries)
        if (std::strcmp(entry, kWriteChunks) != 0)
            QsimFailNextEx(entry, 0, 0, 0);
    QsimPullOnChunk(0, 0);
}

std::vector<DWORD> KeyCallCounts()
{
    std::vector<DWORD> counts;
    for (const char *entry : kEntries)
        counts.push_back(std::strcmp(entry, kWriteChunks) == 0 ? QsimChunkCount() : QsimCallCount(entry));
    return counts;
}

std::string KeyCallsBetween(const std::vector<DWORD> &before, const std::vector<DWORD> &after)
{
    std::string text;
    for (std::size_t i = 0; i < before.size() && i < after.size() && i < sizeof kEntries / sizeof kEntries[0]; ++i)
        if (after[i] != before[i])
            text += std::string(text.empty() ? "" : " ") + kEntries[i] + "=" + std::to_string(after[i] - before[i]);
    return text;
}

std::vector<DWORD> KeyCallsDifference(const std::vector<DWORD> &before, const std::vector<DWORD> &after)
{
    std::vector<DWORD> calls;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
        calls.push_back(after[i] - before[i]);
    return calls;
}

DWORD KeyCallsOf(const std::vector<DWORD> &calls, const char *entry)
{
    for (std::size_t i = 0; i < calls.size() && i < sizeof kEntries / sizeof kEntries[0]; ++i)
        if (std::strcmp(kEntries[i], entry) == 0)
            return calls[i];
    return 0;
}

std::vector<int> SweepKs(int calls, int maxK)
{
    std::vector<int> ks;
    if (calls <= 0)
        return ks;
    if (maxK <= 0 || calls <= maxK) {
        for (int k = 0; k < calls; ++k)
            ks.push_back(k);
        return ks;
    }
    if (maxK == 1) {
        ks.push_back(0);
        return ks;
    }
    // Spread: the first and the last call, and those between at even steps.
    for (int i = 0; i < maxK; ++i) {
        int k = static_cast<int>((static_cast<long long>(i) * (calls - 1)) / (maxK - 1));
        if (ks.empty() || ks.back() != k)
            ks.push_back(k);
    }
    return ks;
}

int SweepMaxK(int fallback)
{
    std::string text = Env("SENTRIO_SWEEP_MAX_K");
    return text.empty() ? fallback : std::atoi(text.c_str());
}

int TornSweepMaxK()
{
    int maxK = SweepMaxK(3);
    return maxK == 0 ? 0 : std::max(maxK, 3);
}

bool SweepFlowSelected(const std::string &name)
{
    std::string only = Env("SENTRIO_SWEEP_FLOW");
    return only.empty() || only == name;
}

SweepFigures RunFaultSweep(const std::string &flow, const std::vector<KeyFault> &faults, const SweepRun &run,
                           int maxK, const std::vector<std::string> &sample)
{
    SweepFigures figures;
    std::string only = Env("SENTRIO_SWEEP_ONLY");
    bool verbose = !Env("SENTRIO_SWEEP_COUNTS").empty();
    bool sampling = Env("SENTRIO_SWEEP_SAMPLE") == "1";
    bool known = Env("SENTRIO_SWEEP_KNOWN") == "1";
    int onlyK = std::atoi(Env("SENTRIO_SWEEP_K").c_str());  // one call number only (1 = the first)
    std::set<std::string> sampled;
    DWORD started = GetTickCount();
    // How many calls of each entry the flow makes when nothing fails: the k to sweep.
    std::vector<DWORD> calls;
    std::string clean = run(nullptr, 0, &calls);
    ClearKeyFaults();
    if (!clean.empty())
        figures.failures.push_back("clean run: " + clean);
    for (const KeyFault &fault : faults) {
        if (!clean.empty())
            break;
        if (!only.empty() && only != fault.entry)
            continue;
        if (sampling && ((!sample.empty() && std::find(sample.begin(), sample.end(), fault.entry) == sample.end()) ||
                         !sampled.insert(fault.entry).second))
            continue;  // the sample takes the first kind of each of its entries
        if (fault.known != nullptr && !known) {
            std::printf("fault sweep: %s, %s (%s) left out: %s\n", flow.c_str(), fault.entry, fault.what, fault.known);
            continue;
        }
        int n = static_cast<int>(KeyCallsOf(calls, fault.chunk ? kWriteChunks : fault.entry));
        if (fault.chunk && n > 0)
            ++n;  // before each chunk, and once after the last
        if (n == 0) {
            figures.failures.push_back(std::string(fault.entry) + " (" + fault.what +
                                       "): the flow does not call it (a row to correct)");
            continue;
        }
        for (int k : SweepKs(n, maxK)) {
            if (onlyK > 0 && k + 1 != onlyK)
                continue;
            DWORD runStart = GetTickCount();
            std::string problem = run(&fault, k, nullptr);
            ClearKeyFaults();
            ++figures.runs;
            if (verbose)
                std::printf("fault sweep: %s, %s %s %d (%s): %lu ms%s\n", flow.c_str(), fault.entry,
                            fault.chunk ? "chunk" : "call", k + 1,
                            fault.what, static_cast<unsigned long>(GetTickCount() - runStart),
                            problem.empty() ? "" : ", failed");
            if (!problem.empty())
                figures.failures.push_back(std::string(fault.entry) + (fault.chunk ? " chunk " : " call ") +
                                           std::to_string(k + 1) + " of " +
                                           std::to_string(n) + " (" + fault.what + "): " + problem);
        }
    }
    std::printf("fault sweep: %s, %d runs (failure kinds x k), %zu failures, %lu s\n", flow.c_str(), figures.runs,
                figures.failures.size(), static_cast<unsigned long>((GetTickCount() - started) / 1000));
    for (const std::string &f : figures.failures)
        std::printf("fault sweep failure: %s: %s\n", flow.c_str(), f.c_str());
    std::fflush(stdout);
    return figures;
}

void WriteOutcomes::Add(WriteOutcome outcome)
{
    switch (outcome) {
    case WriteOutcome::kOld: ++old; break;
    case WriteOutcome::kNew: ++fresh; break;
    case WriteOutcome::kDamagedAndSaid: ++damaged; break;
    case WriteOutcome::kOther: ++other; break;
    }
}

void WriteOutcomes::Print(const std::string &flow) const
{
    std::printf("torn writes: %s: old %d, new %d, damaged and said %d, anything else %d\n", flow.c_str(), old, fresh,
                damaged, other);
    std::fflush(stdout);
}

}  // namespace testkit
