// The processing dialog and its worker: success, a failed access, the user closing the dialog
// while the Key is still busy, and where the dialog appears.
#include <gtest/gtest.h>

#include <string>

#include "key_worker.h"
#include "shared_ids.h"
#include "testkit.h"
#include "texts.h"

namespace {

struct Access {
    DWORD sleepMs = 0;
    HANDLE release = nullptr;  // when set, the access waits for it
    bool succeed = true;
    DWORD failWith = 0;
    volatile LONG finished = 0;
};

bool RunAccess(BraxialKeyWorker *block, void *context)
{
    Access *a = static_cast<Access *>(context);
    if (a->sleepMs)
        Sleep(a->sleepMs);
    if (a->release)
        WaitForSingleObject(a->release, 10000);
    block->size = 42;
    InterlockedExchange(&a->finished, 1);
    if (!a->succeed) {
        SetLastError(a->failWith);
        return false;
    }
    return true;
}

// Watches, on a thread of its own, for the processing dialog of this process.
struct Watcher {
    HWND dialog = nullptr;
    std::string text;
    RECT rect = {};
    bool close = false;
    HANDLE afterClose = nullptr;  // set once the dialog was seen (and the close posted)
    HANDLE thread = nullptr;

    static BOOL CALLBACK Match(HWND window, LPARAM param)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
            GetDlgItem(window, IDC_PROCESSING_TEXT) != nullptr) {
            *reinterpret_cast<HWND *>(param) = window;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI Run(LPVOID param)
    {
        Watcher *w = static_cast<Watcher *>(param);
        DWORD start = GetTickCount();
        while (w->dialog == nullptr && GetTickCount() - start < 5000) {
            EnumWindows(Match, reinterpret_cast<LPARAM>(&w->dialog));
            if (w->dialog == nullptr)
                Sleep(10);
        }
        if (w->dialog != nullptr) {
            w->text = testkit::GetControlText(GetDlgItem(w->dialog, IDC_PROCESSING_TEXT));
            GetWindowRect(w->dialog, &w->rect);
            if (w->close)
                PostMessageA(w->dialog, WM_CLOSE, 0, 0);
        }
        if (w->afterClose)
            SetEvent(w->afterClose);
        return 0;
    }
    void Start() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    void Join()
    {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
};

// Sets `release` 300 ms after `after` was set.
struct ReleaseLater {
    HANDLE after, release;
    static DWORD WINAPI Run(LPVOID param)
    {
        ReleaseLater *r = static_cast<ReleaseLater *>(param);
        WaitForSingleObject(r->after, 10000);
        Sleep(300);
        SetEvent(r->release);
        return 0;
    }
};

class KeyWorker : public testing::Test {
protected:
    void SetUp() override { LoadLanguage(nullptr, nullptr); }
    HINSTANCE instance() const { return GetModuleHandleA(nullptr); }
};

TEST_F(KeyWorker, SuccessfulAccessShowsTheDialogAndReportsNoError)
{
    // The access ends only once the watcher has seen the dialog.
    Watcher watcher;
    watcher.afterClose = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Access access;
    access.release = watcher.afterClose;
    watcher.Start();
    BraxialKeyWorker block = {0, 7, nullptr, 0, 0xDEAD};
    DWORD error = 0xDEADBEEF;
    EXPECT_TRUE(RunKeyAccess(instance(), nullptr, &block, RunAccess, &access, &error));
    watcher.Join();
    EXPECT_EQ(0u, error);
    EXPECT_EQ(0u, block.error);
    EXPECT_EQ(42u, block.size);
    EXPECT_NE(nullptr, watcher.dialog);
    EXPECT_EQ("Processing the Key . . .", watcher.text);
    EXPECT_FALSE(IsWindow(watcher.dialog));
    CloseHandle(watcher.afterClose);
}

TEST_F(KeyWorker, FailedAccessGivesTheThreadsLastError)
{
    Access access;
    access.succeed = false;
    access.failWith = 0x80100006;
    BraxialKeyWorker block = {};
    DWORD error = 0;
    EXPECT_FALSE(RunKeyAccess(instance(), nullptr, &block, RunAccess, &access, &error));
    EXPECT_EQ(0x80100006u, error);
    EXPECT_EQ(0x80100006u, block.error);
}

TEST_F(KeyWorker, FailureWithoutALastErrorIsStillAFailure)
{
    Access access;
    access.succeed = false;
    access.failWith = 0;
    BraxialKeyWorker block = {};
    DWORD error = 0;
    EXPECT_FALSE(RunKeyAccess(instance(), nullptr, &block, RunAccess, &access, &error));
    EXPECT_NE(0u, error);
}

// The user closes the dialog while the access still runs: the call waits for the worker and then
// answers with the worker's own result.
TEST_F(KeyWorker, ClosingTheDialogWaitsForTheAccessAndTakesItsResult)
{
    struct Case {
        bool succeed;
        DWORD failWith;
        bool expected;
        DWORD expectedError;
    } const cases[] = {
        {true, 0, true, 0},                              // the write reached the Key
        {false, 0x80100006, false, 0x80100006},          // the access failed on its own
        {false, ERROR_WRITE_FAULT, false, ERROR_WRITE_FAULT},
    };
    for (const Case &c : cases) {
        Access access;
        access.succeed = c.succeed;
        access.failWith = c.failWith;
        access.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        Watcher watcher;
        watcher.close = true;
        watcher.afterClose = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        watcher.Start();
        // Let the access end only some time after the dialog was closed.
        ReleaseLater later = {watcher.afterClose, access.release};
        HANDLE waiter = CreateThread(nullptr, 0, ReleaseLater::Run, &later, 0, nullptr);

        BraxialKeyWorker block = {};
        DWORD error = 0xdeadbeef;
        EXPECT_EQ(c.expected, RunKeyAccess(instance(), nullptr, &block, RunAccess, &access, &error)) << c.failWith;
        EXPECT_EQ(1, access.finished);  // the worker had ended before RunKeyAccess returned
        EXPECT_EQ(c.expectedError, error);
        EXPECT_EQ(42u, block.size);  // what the worker left is there to read
        EXPECT_NE(nullptr, watcher.dialog);
        EXPECT_EQ(-1, block.dialog);
        watcher.Join();
        WaitForSingleObject(waiter, 10000);
        CloseHandle(waiter);
        CloseHandle(access.release);
        CloseHandle(watcher.afterClose);
    }
}

HWND MakeOwner(int x, int y, int w, int h)
{
    return CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                           nullptr, nullptr);
}

TEST_F(KeyWorker, DialogIsCentredOverItsOwnerAndKeptOnScreen)
{
    HWND owner = MakeOwner(100, 100, 600, 400);
    ASSERT_NE(nullptr, owner);
    Watcher watcher;
    watcher.afterClose = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Access access;
    access.release = watcher.afterClose;
    watcher.Start();
    BraxialKeyWorker block = {};
    DWORD error = 0;
    EXPECT_TRUE(RunKeyAccess(instance(), owner, &block, RunAccess, &access, &error));
    watcher.Join();
    CloseHandle(watcher.afterClose);
    int cx = (watcher.rect.left + watcher.rect.right) / 2, cy = (watcher.rect.top + watcher.rect.bottom) / 2;
    EXPECT_NEAR(400, cx, 2);
    EXPECT_NEAR(300, cy, 2);
    DestroyWindow(owner);

    // An owner hanging off the right of the screen: the dialog is moved back inside.
    int screenRight = GetSystemMetrics(SM_CXSCREEN);
    owner = MakeOwner(screenRight - 50, 100, 400, 300);
    Watcher edge;
    edge.afterClose = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    access.release = edge.afterClose;
    edge.Start();
    EXPECT_TRUE(RunKeyAccess(instance(), owner, &block, RunAccess, &access, &error));
    edge.Join();
    CloseHandle(edge.afterClose);
    EXPECT_LE(edge.rect.right, screenRight);
    EXPECT_GT(edge.rect.right - edge.rect.left, 0);
    DestroyWindow(owner);
}

}  // namespace
