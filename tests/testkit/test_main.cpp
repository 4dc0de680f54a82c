// main() of every Windows test executable: no crash dialogs, a watchdog on each test, then
// GoogleTest.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One test that runs this long has hung: the watchdog names it and ends the program, so that the
// run's output says where it stopped (ctest kills a program past its time-out without printing
// what it wrote). SENTRIO_TEST_WATCHDOG sets the limit in seconds; 0 switches the watchdog off.
constexpr DWORD kDefaultWatchdogSeconds = 150;

CRITICAL_SECTION g_lock;
std::string g_running;  // "Suite.Test" while a test runs, empty between tests
DWORD g_startedAt = 0;

class WatchdogListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &info) override
    {
        EnterCriticalSection(&g_lock);
        g_running = std::string(info.test_suite_name()) + "." + info.name();
        g_startedAt = GetTickCount();
        LeaveCriticalSection(&g_lock);
    }
    void OnTestEnd(const testing::TestInfo &) override
    {
        EnterCriticalSection(&g_lock);
        g_running.clear();
        LeaveCriticalSection(&g_lock);
    }
};

DWORD WINAPI Watchdog(void *limit)
{
    const DWORD limitMs = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(limit)) * 1000;
    for (;;) {
        Sleep(1000);
        EnterCriticalSection(&g_lock);
        std::string running = g_running;
        DWORD elapsed = GetTickCount() - g_startedAt;
        LeaveCriticalSection(&g_lock);
        if (!running.empty() && elapsed >= limitMs) {
            std::printf("\nwatchdog: %s still running after %lu s; the test program ends here\n",
                        running.c_str(), static_cast<unsigned long>(elapsed / 1000));
            std::fflush(stdout);
            ExitProcess(3);
        }
    }
}

DWORD WatchdogSeconds()
{
    char text[16] = "";
    DWORD n = GetEnvironmentVariableA("SENTRIO_TEST_WATCHDOG", text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return kDefaultWatchdogSeconds;
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

}  // namespace

int main(int argc, char **argv)
{
    // A crash must end the test process with a failure, not wait for someone to close a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Wine loads its display driver on the first use of a display: done here, on one thread,
    // before any test starts threads. Two threads meeting there for the first time (one of them
    // loading a library whose start-up opens a display context) can deadlock Wine itself.
    if (HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr))
        DeleteDC(display);
    testing::InitGoogleTest(&argc, argv);
    InitializeCriticalSection(&g_lock);
    if (DWORD seconds = WatchdogSeconds()) {
        testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
        HANDLE thread = CreateThread(nullptr, 0, Watchdog, reinterpret_cast<void *>(static_cast<UINT_PTR>(seconds)),
                                     0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
    }
    return RUN_ALL_TESTS();
}
