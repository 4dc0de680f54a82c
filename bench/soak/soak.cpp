// Long runs of insert/pull cycles: the handle count and the private bytes of the process that
// holds the Key access layer, at the start and every `every` cycles, and their drift.
//   tolvik:  the Notes client stand-in with Tolvik (build 190): the Key pulled until the client is
//            locked, put back and its PIN answered until the client is on the Key's ID again;
//            first the client alone (no extension), for what Tolvik adds to it.
//   console: the admin console with a Key put in and pulled out, each time until its list shows it.
// Usage: bench_soak tolvik|console [cycles, default 1000] [every, default 100] [--check]
// --check: exit code 1 when the drift after the first cycle (whose one-time allocations, the first
// PIN prompt's and the like, are no drift) is over 2 MB or 5 handles per 1000 cycles (proportionally
// for shorter runs, but never under 3 handles and 256 KB: single heap growth steps).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    Sample start, warm, last;  // warm: after the first cycle, whose one-time allocations are not drift
    bool ran = false;
    bool haveAlone = false;
    Sample alone;     // the client without an extension
};

bool WithinBounds(const Run &r, const char *what)
{
    double scale = r.cycles / 1000.0;
    long handleLimit = std::max(3L, static_cast<long>(5 * scale + 0.5));
    double kbLimit = std::max(256.0, 2048.0 * scale);
    long handles = static_cast<long>(r.last.handles) - static_cast<long>(r.warm.handles);
    double kb = r.last.privateKb - r.warm.privateKb;
    bool ok = r.ran && handles <= handleLimit && kb <= kbLimit;
    std::printf("%-8s from the start: %+ld handles, %+.0f KB; the first cycle: %+ld handles, %+.0f KB\n", what,
                static_cast<long>(r.last.handles) - static_cast<long>(r.start.handles), r.last.privateKb - r.start.privateKb,
                static_cast<long>(r.warm.handles) - static_cast<long>(r.start.handles), r.warm.privateKb - r.start.privateKb);
    std::printf("%-8s drift over cycles 2 to %d: %+ld handles (limit %ld), %+.0f KB (limit %.0f KB): %s\n", what,
                r.cycles, handles, handleLimit, kb, kbLimit, ok ? "flat" : "NOT FLAT");
    return ok;
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
    for (int i = 1; i <= r->cycles; ++i) {
        bench::CycleTimes t;
        if (!bench::RunClientCycle(s, key, "1234", "anna.id", &t) || t.logon < 0 || !s.WaitStatus("State=open")) {
            std::printf("tolvik   cycle %d did not run through\n", i);
            return false;
        }
        if (i == 1)
            r->warm = Take(s.process(), hostPid);
        if (i % r->every == 0 || i == r->cycles) {
            r->last = Take(s.process(), hostPid);
            Print("tolvik", i, r->last, r->start);
        }
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
        if (i == 1)
            r->warm = Take(c.process(), hostPid);
        if (i % r->every == 0 || i == r->cycles) {
            r->last = Take(c.process(), hostPid);
            Print("console", i, r->last, r->start);
        }
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
    bool tolvik = std::strcmp(argv[1], "tolvik") == 0;
    bool ran = tolvik ? SoakClient(&r) : SoakConsole(&r);
    bool flat = WithinBounds(r, argv[1]);
    if (!ran)
        std::printf("%s: the run did not end cleanly\n", argv[1]);
    return (!ran || (check && !flat)) ? 1 : 0;
}
