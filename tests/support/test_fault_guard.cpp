// The guard around calls into outside code: faults of each kind end the call and are reported,
// the thread goes on (again and again, nested, on other threads), and what the called code
// handles itself stays its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "fault_guard.h"

namespace {

// Faults the compiler cannot see coming (it would turn a plain null access into a trap).
volatile uintptr_t g_nowhere = 0;
volatile int g_zero = 0;
volatile int g_sink = 0;

void WriteNowhere()
{
    *reinterpret_cast<volatile int *>(g_nowhere + 8) = 1;
}
int ReadNowhere()
{
    return *reinterpret_cast<volatile int *>(g_nowhere + 16);
}
int DivideByZero()
{
    g_sink = 7 / g_zero;
    return g_sink;
}
void IllegalInstruction()
{
    __builtin_trap();
}
// Recurses until the stack runs out.
int Deep(int n)
{
    volatile char pad[4096];
    pad[0] = static_cast<char>(n);
    return n == 0 ? 0 : Deep(n + 1) + pad[0];
}

struct FaultCase {
    const char *what;
    void (*call)();
    DWORD code;
};

const FaultCase kFaults[] = {
    {"write through a null pointer", [] { WriteNowhere(); }, EXCEPTION_ACCESS_VIOLATION},
    {"read through a null pointer", [] { (void)ReadNowhere(); }, EXCEPTION_ACCESS_VIOLATION},
    {"divide by zero", [] { (void)DivideByZero(); }, EXCEPTION_INT_DIVIDE_BY_ZERO},
    {"illegal instruction", [] { IllegalInstruction(); }, EXCEPTION_ILLEGAL_INSTRUCTION},
};

TEST(FaultGuard, AFaultEndsTheCallAndIsReported)
{
    for (const FaultCase &c : kFaults) {
        SCOPED_TRACE(c.what);
        OutsideFault fault;
        EXPECT_FALSE(CallOutside(c.what, c.call, &fault));
        EXPECT_EQ(c.code, fault.code);
        EXPECT_NE(nullptr, fault.address);
        if (c.code == EXCEPTION_ACCESS_VIOLATION) {
            EXPECT_LT(fault.accessAddress, 64u);
        }
    }
}

TEST(FaultGuard, ACallThatReturnsKeepsItsResultAndLastError)
{
    // The call finds the last error as it was before the guard, and leaves its own.
    DWORD seen = 0;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(CallOutside("untouched", [&] { seen = GetLastError(); }));
    EXPECT_EQ(0xdeadbeefu, seen);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    int result = 0;
    EXPECT_TRUE(CallOutside("plain call", [&] {
        result = 5;
        SetLastError(1234);
    }));
    EXPECT_EQ(5, result);
    EXPECT_EQ(1234u, GetLastError());
}

TEST(FaultGuard, TheThreadGoesOnAfterManyFaults)
{
    for (int i = 0; i < 2000; ++i)
        ASSERT_FALSE(CallOutside("again", [] { WriteNowhere(); })) << "round " << i;
    // The thread's own exception handling still works afterwards.
    bool caught = false;
    try {
        throw 7;
    } catch (int) {
        caught = true;
    }
    EXPECT_TRUE(caught);
    EXPECT_TRUE(CallOutside("after the faults", [] {}));
}

TEST(FaultGuard, GuardsNestAndEachCatchesItsOwn)
{
    bool innerReturned = true, afterInner = false;
    OutsideFault outerFault;
    EXPECT_FALSE(CallOutside("outer", [&] {
        innerReturned = CallOutside("inner", [] { WriteNowhere(); });
        afterInner = true;
        (void)DivideByZero();
    }, &outerFault));
    EXPECT_FALSE(innerReturned);
    EXPECT_TRUE(afterInner);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO), outerFault.code);
}

TEST(FaultGuard, AFaultTheCalledCodeHandlesItselfStaysItsOwn)
{
    // IsBadReadPtr takes the access violation in a handler of its own.
    BOOL bad = FALSE;
    EXPECT_TRUE(CallOutside("probe", [&] { bad = IsBadReadPtr(reinterpret_cast<const void *>(g_nowhere + 32), 4); }));
    EXPECT_TRUE(bad);
}

TEST(FaultGuard, EachThreadHasItsOwnRecoveryPoint)
{
    struct Run {
        static DWORD WINAPI Thread(void *)
        {
            int faults = 0;
            for (int i = 0; i < 200; ++i)
                if (!CallOutside("thread", [] { WriteNowhere(); }))
                    ++faults;
            return static_cast<DWORD>(faults);
        }
    };
    HANDLE threads[2];
    for (HANDLE &t : threads)
        t = CreateThread(nullptr, 0, Run::Thread, nullptr, 0, nullptr);
    for (HANDLE t : threads) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 30000));
        DWORD faults = 0;
        GetExitCodeThread(t, &faults);
        EXPECT_EQ(200u, faults);
        CloseHandle(t);
    }
}

TEST(FaultGuard, AStackOverflowEndsTheCall)
{
    // On a thread of its own: the stack's guard page is spent afterwards.
    struct Run {
        static DWORD WINAPI Thread(void *)
        {
            OutsideFault fault;
            bool returned = CallOutside("deep", [] { (void)Deep(1); }, &fault);
            return returned ? 1 : fault.code;
        }
    };
    HANDLE thread = CreateThread(nullptr, 256 * 1024, Run::Thread, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW), code);
}

}  // namespace
