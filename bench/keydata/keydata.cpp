// Prints the time of writing and reading back the Notes logon record through the Key operations
// (each opens the Key and verifies the PIN afresh), for ID files of 2, 8 and 16 KB, at the stand-in's
// own speed and at the speed of a real card (30 ms a call, 9600 bytes a second).
// Usage: bench_keydata [rounds per figure, default 5]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "notes_key_data.h"
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
    void onKeyInserted(const char *) override { InterlockedIncrement(&inserted); }
    void onFinishInit(int) override { StartMonitoring(); }
    volatile LONG inserted = 0;
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QueryPerformanceFrequency(&g_frequency);
    LoadLanguage(nullptr, nullptr);
    QsimReset();
    QsimAddReader("Bench Reader");
    int card = QsimCreateKey("Bench", "1234");
    QsimSetCapacity(card, 32768, 24576, 4096);
    QsimInsertKey(card, "Bench Reader");

    BenchKey key;
    key.SetPIN(nullptr, "1234");
    HANDLE done = key.StartInit(kAppNotes);
    if (done == INVALID_HANDLE_VALUE || WaitForSingleObject(done, 15000) != WAIT_OBJECT_0)
        return 1;
    for (int i = 0; i < 500 && key.inserted == 0; ++i)
        Sleep(10);
    if (key.inserted == 0) {
        std::printf("the Key was not taken up\n");
        return 1;
    }

    const struct {
        const char *name;
        DWORD msPerCall, bytesPerSecond;
    } speeds[] = {{"stand-in speed", 0, 0}, {"real card (30ms,9600)", 30, 9600}};
    for (const auto &speed : speeds) {
        for (std::size_t size : {2048u, 8192u, 16000u}) {
            std::string id(size, 'i');
            std::vector<double> writes, reads;
            for (int r = 0; r < rounds; ++r) {
                QsimSetLatency(speed.msPerCall, speed.bytesPerSecond);
                char report[512];
                double t0 = Now();
                bool written = WriteNotesKeyData(key, "Bench Reader", "CN=Bench User/O=Acme", "password", "bench.id",
                                                 reinterpret_cast<const BYTE *>(id.data()), id.size(), report,
                                                 sizeof report);
                double t1 = Now();
                static NotesKeyData data;
                KeyDataRead read = ReadNotesKeyData(key, "Bench Reader", &data, nullptr);
                double t2 = Now();
                QsimSetLatency(0, 0);
                if (!written || read != KeyDataRead::kRead || data.record.wIDFileLength != size) {
                    std::printf("round failed: %s\n", report);
                    return 1;
                }
                writes.push_back(t1 - t0);
                reads.push_back(t2 - t1);
            }
            std::printf("| %-22s | Key write of the record, %5u-byte ID file | %7.1f ms | | %d rounds |\n", speed.name,
                        static_cast<unsigned>(size), Median(writes), rounds);
            std::printf("| %-22s | Key read of the record, %5u-byte ID file  | %7.1f ms | | %d rounds |\n", speed.name,
                        static_cast<unsigned>(size), Median(reads), rounds);
        }
    }
    std::printf("(medians of %d rounds; every operation parks the monitor, opens the Key and checks the PIN)\n",
                rounds);
    QsimReset();
    return 0;
}
