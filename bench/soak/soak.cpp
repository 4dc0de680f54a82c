// Long runs of insert/pull cycles: the handle count and the private bytes of the process that
// holds the Key access layer, at the start and every `every` cycles, and their drift.
//   tolvik:  the Notes client stand-in with Tolvik (build 190): the Key pulled until the client is
//            locked, put back and its PIN answered until the client is on the Key's ID again;
//            first the client alone (no extension), for what Tolvik adds to it.
//   console: the admin console with a Key put in and pulled out, each time until its list shows it.
// Usage: bench_soak tolvik|console [cycles, default 1000] [every, default 100] [--check]
// --check: exit code 1 when the process drifts. A leak grows the process by about the same amount
// every cycle; a one-time allocation (the first PIN prompt's, a heap that grows its arena once, a
// cache filled late) grows it once. So the first tenth of the run (at least 10 cycles) is a warm-up,
// the rest is cut into five equal segments, and the drift judged is the median of the five
// segments' growth per cycle: one or two steps anywhere leave the median where it was, a steady
// leak raises all five. The limits are 5 handles and 512 KB per 1000 cycles (1 KB a cycle is far
// over it); a segment's growth rests on two samples, so a run too short for five segments of at
// least two cycles is not judged and fails the check.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../client_cycle.h"
#include "../host_proc.h"
#include "arbolin_window.h"
#include "notes_scenario.h"
#include "quorel_control.h"
#include "testkit.h"

namespace {

struct Sample {
    DWORD handles = 0;
    double privateKb = 0;
};

// The handles process `pid` holds, from the system's handle table (GetProcessHandleCount answers 0
// for another process under Wine); 0 when the table cannot be read.
DWORD HandleCount(DWORD pid)
{
    using Query = LONG(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
    static Query query = reinterpret_cast<Query>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return 0;
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
        PVOID object;
        ULONG_PTR process, handle;
        ULONG access;
        USHORT trace, type;
        ULONG attributes, reserved;
    };
    constexpr ULONG kExtendedHandles = 64;
    std::string buffer(1 << 20, 0);
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        LONG status = query(kExtendedHandles, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0)
            return 0;
        ULONG_PTR count = *reinterpret_cast<const ULONG_PTR *>(buffer.data());
        const Entry *e = reinterpret_cast<const Entry *>(buffer.data() + 2 * sizeof(ULONG_PTR));
        DWORD mine = 0;
        for (ULONG_PTR i = 0; i < count; ++i)
            mine += e[i].process == pid;
        return mine;
    }
    return 0;
}

// Each handle of process `process` as "type name" (the name empty for an unnamed object), read
// through a duplicate of it; empty when the system's handle table cannot be read.
std::vector<std::string> HandleList(HANDLE process)
{
    using QuerySystem = LONG(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
    using QueryObject = LONG(WINAPI *)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto querySystem = reinterpret_cast<QuerySystem>(reinterpret_cast<void *>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    auto queryObject = reinterpret_cast<QueryObject>(reinterpret_cast<void *>(GetProcAddress(ntdll, "NtQueryObject")));
    std::vector<std::string> list;
    if (querySystem == nullptr || queryObject == nullptr)
        return list;
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
        PVOID object;
        ULONG_PTR process, handle;
        ULONG access;
        USHORT trace, type;
        ULONG attributes, reserved;
    };
    std::string buffer(1 << 20, 0);
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        LONG status = querySystem(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0)
            return list;
        break;
    }
    DWORD pid = GetProcessId(process);
    ULONG_PTR count = *reinterpret_cast<const ULONG_PTR *>(buffer.data());
    const Entry *e = reinterpret_cast<const Entry *>(buffer.data() + 2 * sizeof(ULONG_PTR));
    for (ULONG_PTR i = 0; i < count; ++i) {
        if (e[i].process != pid)
            continue;
        HANDLE copy = nullptr;
        std::string item = "?";
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(e[i].handle), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            alignas(8) char info[2048];
            auto text = [&](ULONG what) {  // OBJECT_TYPE_INFORMATION / OBJECT_NAME_INFORMATION: a UNICODE_STRING first
                std::string out;
                if (queryObject(copy, what, info, sizeof info, nullptr) != 0)
                    return out;
                const UNICODE_STRING *u = reinterpret_cast<const UNICODE_STRING *>(info);
                for (USHORT k = 0; u->Buffer != nullptr && k < u->Length / 2; ++k)
                    out += u->Buffer[k] < 128 ? static_cast<char>(u->Buffer[k]) : '?';
                return out;
            };
            item = text(2);
            std::string name = text(1);
            if (!name.empty())
                item += " " + name;
            CloseHandle(copy);
        }
        list.push_back(item);
    }
    std::sort(list.begin(), list.end());
    return list;
}

// What `with` holds beyond `without` (a multiset difference), one per line.
void PrintExtraHandles(const char *what, std::vector<std::string> with, const std::vector<std::string> &without)
{
    for (const std::string &h : without) {
        auto at = std::find(with.begin(), with.end(), h);
        if (at != with.end())
            with.erase(at);
    }
    std::printf("%-8s handles %s: %zu\n", what, "beyond the client's own", with.size());
    for (const std::string &h : with)
        std::printf("%-8s   %s\n", what, h.c_str());
}

// Handles as Windows counts them for the process; private bytes as the host counts them for the
// Wine process (its private resident memory, RssAnon), Windows' own figure when that is unreadable.
Sample Take(HANDLE process, unsigned long hostPid)
{
    Sample s;
    if (!GetProcessHandleCount(process, &s.handles) || s.handles == 0)
        s.handles = HandleCount(GetProcessId(process));
    double kb = hostPid != 0 ? bench::HostStatusKb(hostPid, "RssAnon:") : -1;
    if (kb >= 0) {
        s.privateKb = kb;
        return s;
    }
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&pmc), sizeof pmc))
        s.privateKb = static_cast<double>(pmc.PrivateUsage) / 1024.0;
    else
        std::printf("(private bytes unreadable, error %lu)\n", GetLastError());
    return s;
}

std::string LastPart(const std::string &path)
{
    std::size_t at = path.find_last_of('\\');
    return at == std::string::npos ? path : path.substr(at + 1);
}

void Print(const char *what, int cycle, const Sample &s, const Sample &start)
{
    std::printf("%-8s cycle %5d   handles %5lu (%+4ld)   private %9.0f KB (%+7.0f KB)\n", what, cycle,
                static_cast<unsigned long>(s.handles), static_cast<long>(s.handles) - static_cast<long>(start.handles),
                s.privateKb, s.privateKb - start.privateKb);
    std::fflush(stdout);
}

struct Run {
    int cycles = 1000, every = 100;
    Sample start, last;
    bool ran = false;
    bool haveAlone = false;
    Sample alone;  // the client without an extension
    std::vector<std::string> aloneHandles;
    // The cycles after which the judge samples: the end of the warm-up (the baseline), then the end
    // of each segment.
    static constexpr int kSegments = 5;
    int marks[kSegments + 1] = {};
    Sample at[kSegments + 1];
    int taken = 0;

    int WarmUp() const { return std::max(10, cycles / 10); }
    bool Judgeable() const { return cycles - WarmUp() >= 2 * kSegments; }
    void Plan()
    {
        int warm = WarmUp();
        for (int k = 0; k <= kSegments; ++k)
            marks[k] = warm + static_cast<int>(static_cast<long long>(cycles - warm) * k / kSegments);
    }
    // Whether the judge wants a sample after cycle `cycle`; `s` is taken by the caller only then.
    bool Wants(int cycle) const { return Judgeable() && taken <= kSegments && marks[taken] == cycle; }
    void Keep(const Sample &s) { at[taken++] = s; }
};

double Median(double *v, int n)
{
    std::sort(v, v + n);
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The judge: the median of the segments' growth per cycle, as handles and KB per 1000 cycles,
// against the limits. Prints every figure it judged by, so that a failure explains itself.
bool WithinBounds(const Run &r, const char *what)
{
    constexpr double kHandlesPer1000 = 5, kKbPer1000 = 512;
    std::printf("%-8s from the start: %+ld handles, %+.0f KB over %d cycles\n", what,
                static_cast<long>(r.last.handles) - static_cast<long>(r.start.handles),
                r.last.privateKb - r.start.privateKb, r.cycles);
    if (!r.Judgeable() || r.taken != Run::kSegments + 1) {
        std::printf("%-8s drift not judged: %d cycles leave no five segments of two cycles after a warm-up of %d\n",
                    what, r.cycles, r.WarmUp());
        return false;
    }
    const Sample &base = r.at[0];
    std::printf("%-8s warm-up cycles 1 to %d; baseline after cycle %d: handles %lu, private %.0f KB\n", what,
                r.WarmUp(), r.marks[0], static_cast<unsigned long>(base.handles), base.privateKb);
    double handleRate[Run::kSegments], kbRate[Run::kSegments];
    for (int k = 1; k <= Run::kSegments; ++k) {
        int length = r.marks[k] - r.marks[k - 1];
        long dh = static_cast<long>(r.at[k].handles) - static_cast<long>(r.at[k - 1].handles);
        double dkb = r.at[k].privateKb - r.at[k - 1].privateKb;
        handleRate[k - 1] = 1000.0 * dh / length;
        kbRate[k - 1] = 1000.0 * dkb / length;
        std::printf("%-8s segment %d (cycles %4d to %4d): %+3ld handles, %+6.0f KB\n", what, k, r.marks[k - 1] + 1,
                    r.marks[k], dh, dkb);
    }
    double handles = Median(handleRate, Run::kSegments), kb = Median(kbRate, Run::kSegments);
    bool ok = r.ran && handles <= kHandlesPer1000 && kb <= kKbPer1000;
    std::printf("%-8s drift, the segments' median slope: %+.1f handles (limit %.0f), %+.0f KB (limit %.0f) per 1000 "
                "cycles: %s\n",
                what, handles, kHandlesPer1000, kb, kKbPer1000, ok ? "flat" : "NOT FLAT");
    return ok;
}

// After cycle `i`: the judge's sample where it wants one, the printed one every `every` cycles.
void Checkpoint(Run *r, int i, const char *what, HANDLE process, unsigned long hostPid)
{
    bool judged = r->Wants(i), printed = i % r->every == 0 || i == r->cycles;
    if (!judged && !printed)
        return;
    Sample now = Take(process, hostPid);
    if (judged)
        r->Keep(now);
    if (printed) {
        r->last = now;
        Print(what, i, now, r->start);
    }
}

// The client alone, then with Tolvik through the cycles.
bool SoakClient(Run *r)
{
    testkit::NotesScenario s;
    if (s.MakeIdFile("own.id", "Olaf Own/Morvath", "pw-own").empty())
        return false;
    const testkit::NotesKeyRecord record = {"Anna Berg/Morvath", "pw-anna-key", "anna.id"};
    int key = s.MakeKey("Soak Key", "1234", &record);
    if (key == 0)
        return false;
    {
        testkit::NotesScenario alone(false);
        alone.extensions = "";
        alone.Start(190, s.dir().file("own.id"));
        if (!alone.AnswerClientPrompt("pw-own") || alone.WaitMain() == nullptr) {
            std::printf("client   the client alone did not start\n");
        } else {
            testkit::PumpMessages(500);
            r->alone = Take(alone.process(), bench::FindHostPid("notes.exe", LastPart(alone.dir().path())));
            r->aloneHandles = HandleList(alone.process());
            r->haveAlone = true;
            std::printf("client   alone (no extension)    handles %5lu   private %9.0f KB\n",
                        static_cast<unsigned long>(r->alone.handles), r->alone.privateKb);
        }
        alone.Close();
    }
    if (!s.Insert(key))
        return false;
    s.Start(190, "own.id");
    if (!s.AnswerPin("1234") || s.WaitMain() == nullptr || !s.WaitStatus("State=open"))
        return false;
    testkit::PumpMessages(500);
    unsigned long hostPid = bench::FindHostPid("notes.exe", LastPart(s.dir().path()));
    r->start = Take(s.process(), hostPid);
    Print("tolvik", 0, r->start, r->start);
    if (r->haveAlone)
        PrintExtraHandles("tolvik", HandleList(s.process()), r->aloneHandles);
    for (int i = 1; i <= r->cycles; ++i) {
        bench::CycleTimes t;
        if (!bench::RunClientCycle(s, key, "1234", "anna.id", &t) || t.logon < 0 || !s.WaitStatus("State=open")) {
            std::printf("tolvik   cycle %d did not run through\n", i);
            return false;
        }
        Checkpoint(r, i, "tolvik", s.process(), hostPid);
    }
    r->ran = true;
    if (r->haveAlone) {
        std::printf("| %-22s | %-40s | %+ld handles | %+.0f KB | |\n", "stand-in speed",
                    "Tolvik in the client, after start", static_cast<long>(r->start.handles) - static_cast<long>(r->alone.handles),
                    r->start.privateKb - r->alone.privateKb);
        std::printf("| %-22s | Tolvik in the client, after %5d cycles | %+ld handles | %+.0f KB | |\n", "stand-in speed",
                    r->cycles, static_cast<long>(r->last.handles) - static_cast<long>(r->alone.handles),
                    r->last.privateKb - r->alone.privateKb);
    }
    return s.Close() == 0;
}

bool SoakConsole(Run *r)
{
    testkit::ArbolinConsole c(true, testkit::FileExists(testkit::ExeDir() + "Sentrio.CHM"));
    QsimAddReader("Reader A");
    int key = testkit::ArbolinConsole::MakeKey("Soak", "");
    if (key == 0 || !c.Start() || c.WaitMain() == nullptr)
        return false;
    if (!testkit::ArbolinConsole::Insert(key, "Reader A") || !c.WaitRowCount(1))
        return false;
    testkit::PumpMessages(500);
    unsigned long hostPid = bench::FindHostPid("Arbolin.exe", LastPart(c.dir().path()));
    r->start = Take(c.process(), hostPid);
    Print("console", 0, r->start, r->start);
    for (int i = 1; i <= r->cycles; ++i) {
        if (!testkit::ArbolinConsole::Pull(key) || !c.WaitRowCount(0) ||
            !testkit::ArbolinConsole::Insert(key, "Reader A") || !c.WaitRowCount(1)) {
            std::printf("console  cycle %d did not run through\n", i);
            return false;
        }
        Checkpoint(r, i, "console", c.process(), hostPid);
    }
    r->ran = true;
    return c.Close() == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "tolvik") != 0 && std::strcmp(argv[1], "console") != 0)) {
        std::printf("usage: bench_soak tolvik|console [cycles] [every] [--check]\n");
        return 2;
    }
    bool check = false;
    int numbers[2] = {1000, 100};
    int n = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else if (n < 2)
            numbers[n++] = std::max(1, std::atoi(argv[i]));
    }
    Run r;
    r.cycles = numbers[0];
    r.every = std::min(numbers[1], numbers[0]);
    r.Plan();
    bool tolvik = std::strcmp(argv[1], "tolvik") == 0;
    bool ran = tolvik ? SoakClient(&r) : SoakConsole(&r);
    bool flat = WithinBounds(r, argv[1]);
    if (!ran)
        std::printf("%s: the run did not end cleanly\n", argv[1]);
    return (!ran || (check && !flat)) ? 1 : 0;
}
