// Prints the monitor's idle CPU time, measured as the host sees this Wine process (its CPU time in
// /proc/self, read through Wine's Z: drive: thread times read inside a program under Wine are too
// coarse), for the process without a monitor and with a monitor on 1 and on 4 readers each holding
// a known Key (answering -5); and the time from a Key's insertion to onKeyInserted, without and
// with a real card's speed. Usage: bench_keymonitor [seconds per idle figure, default 60]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../host_proc.h"
#include "quorel_control.h"
#include "smart_key.h"
#include "texts.h"

namespace {

LARGE_INTEGER g_frequency;

double Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

class BenchKey : public CSmartKey {
public:
    ~BenchKey() override { StopMonitoring(); }
    void onKeyInserted(const char *) override { insertedAt = Now(); InterlockedIncrement(&inserted); }
    void onFinishInit(int) override { StartMonitoring(); }
    HANDLE Thread() const { return m_monitorThread; }
    volatile double insertedAt = 0;
    volatile LONG inserted = 0;
};

void Idle(const char *what, int readers, int seconds)
{
    QsimReset();
    for (int i = 0; i < readers; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Reader %c", 'A' + i);
        QsimAddReader(name);
        QsimInsertKey(QsimCreateKey("Bench", ""), name);
    }
    BenchKey key;
    if (readers > 0) {
        HANDLE done = key.StartInit(kAppNotes);
        WaitForSingleObject(done, 15000);
    }
    Sleep(2000);
    unsigned long pid = bench::FindHostPid("bench_keymonitor.exe", "");
    double before = pid != 0 ? bench::HostCpuMs(pid) : -1;
    DWORD passes = QsimCallCount("AnyReadersChanges");
    Sleep(static_cast<DWORD>(seconds) * 1000);
    double used = bench::HostCpuMs(pid) - before;
    passes = QsimCallCount("AnyReadersChanges") - passes;
    if (before < 0) {
        std::printf("idle CPU, %-34s host figures unreadable (/proc through Z:)\n", what);
        return;
    }
    std::printf("| %-22s | idle CPU, %-30s | %.3f %% of one core | %.1f ms in %d s | %u passes |\n", "stand-in speed", what,
                used * 100.0 / (seconds * 1000.0), used, seconds, static_cast<unsigned>(passes));
    std::fflush(stdout);
}

void Latency(const char *what, int rounds)
{
    BenchKey key;
    HANDLE done = key.StartInit(kAppNotes);
    WaitForSingleObject(done, 15000);
    std::vector<double> samples;
    int card = 1;
    for (int i = 0; i < rounds; ++i) {
        LONG before = key.inserted;
        Sleep(37 * (i % 7));  // land at different points of the pass
        double at = Now();
        QsimInsertKey(card, "Reader A");
        DWORD start = GetTickCount();
        while (key.inserted == before && GetTickCount() - start < 10000)
            Sleep(1);
        samples.push_back(key.insertedAt - at);
        QsimPullKey(card);
        Sleep(600);
    }
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    std::printf("| %-22s | Key inserted -> onKeyInserted (layer)     | %7.1f ms | %7.1f ms | %d rounds |\n", what,
                samples[samples.size() / 2], samples.back(), rounds);
}

}  // namespace

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0)
        seconds = 60;
    QueryPerformanceFrequency(&g_frequency);
    LoadLanguage(nullptr, nullptr);

    Idle("process without a monitor:", 0, seconds);
    Idle("monitor, 1 reader with a Key:", 1, seconds);
    Idle("monitor, 4 readers with a Key each:", 4, seconds);
    QsimReset();
    QsimAddReader("Reader A");
    QsimCreateKey("Bench", "");
    Latency("stand-in speed", 15);
    QsimSetLatency(30, 9600);  // about a contact card at 9600 bytes/s
    Latency("real card (30ms,9600)", 15);
    QsimReset();
    return 0;
}
