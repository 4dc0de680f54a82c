// What the parts of CSmartKey share inside the layer: interlocked access to the flags and handles
// the monitor and the callers both touch, and the waits' timings.
#pragma once

#include <windows.h>

namespace smart_key_internal {
inline LONG Get(volatile LONG *flag)
{
    return InterlockedCompareExchange(flag, 0, 0);
}

inline void Put(volatile LONG *flag, LONG value)
{
    InterlockedExchange(flag, value);
}

inline HANDLE GetHandle(HANDLE volatile *h)
{
    return InterlockedCompareExchangePointer(const_cast<PVOID volatile *>(reinterpret_cast<PVOID volatile *>(h)),
                                             nullptr, nullptr);
}

inline void PutHandle(HANDLE volatile *h, HANDLE value)
{
    InterlockedExchangePointer(const_cast<PVOID volatile *>(reinterpret_cast<PVOID volatile *>(h)), value);
}

inline bool ThreadEnded(HANDLE thread)
{
    return thread == INVALID_HANDLE_VALUE || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

constexpr DWORD kPollMs = 100;                  // a caller's wait for the park or the stop
constexpr DWORD kParkedSleepMs = 10;
constexpr DWORD kPassSleepMs = 250;
constexpr DWORD kNoReaderSleepMs = 500;

}  // namespace smart_key_internal
