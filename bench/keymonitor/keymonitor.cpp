// Prints the monitor thread's CPU time per minute while idle (no reader; a reader with no Key; a
// known Key that answers -5) and the time from a Key's insertion to onKeyInserted, without and with
// a real card's speed. Usage: bench_keymonitor [seconds per idle figure, default 10]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

double CpuMs(HANDLE thread)
{
    FILETIME c, e, k, u;
    if (!GetThreadTimes(thread, &c, &e, &k, &u))
        return 0;
    auto ms = [](FILETIME f) { return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e4; };
    return ms(k) + ms(u);
}

void Idle(const char *what, int seconds)
{
    BenchKey key;
    HANDLE done = key.StartInit(kAppNotes);
    WaitForSingleObject(done, 15000);
    Sleep(1000);
    double before = CpuMs(key.Thread());
    Sleep(static_cast<DWORD>(seconds) * 1000);
    double used = CpuMs(key.Thread()) - before;
    std::printf("idle CPU, %-28s %8.1f ms per minute (%d s measured, %u passes)\n", what, used * 60.0 / seconds,
                seconds, static_cast<unsigned>(QsimCallCount("AnyReadersChanges")));
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
    std::printf("insert to onKeyInserted, %-20s min %6.1f  median %6.1f  mean %6.1f  max %6.1f ms (%d rounds)\n", what,
                samples.front(), samples[samples.size() / 2], sum / samples.size(), samples.back(), rounds);
}

}  // namespace

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds <= 0)
        seconds = 10;
    QueryPerformanceFrequency(&g_frequency);
    LoadLanguage(nullptr, nullptr);

    QsimReset();
    Idle("no reader:", seconds);
    QsimReset();
    QsimAddReader("Reader A");
    Idle("one reader, no Key:", seconds);
    int card = QsimCreateKey("Bench", "");
    QsimInsertKey(card, "Reader A");
    Idle("one known Key (-5):", seconds);
    QsimReset();
    QsimAddReader("Reader A");
    QsimCreateKey("Bench", "");
    Latency("stand-in speed:", 15);
    QsimSetLatency(30, 9600);  // about a contact card at 9600 bytes/s
    Latency("30 ms/call, 9600 B/s:", 15);
    QsimReset();
    return 0;
}
