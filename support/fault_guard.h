// A guard around calls into outside code (the BioAPI framework and its BSP modules, HA-API vendor
// modules): a fault raised inside the call that nothing inside handles (an access violation, an
// illegal instruction, a division by zero, a stack overflow ...) ends the call instead of the
// host process. C++ catch (...) catches none of these under this compiler, so the guard is a
// structured-exception handler of its own: on 32-bit Windows a frame registered in the thread's
// exception chain, on 64-bit Windows the handler in the unwind data of the guarding function.
// Being frame-based, it is asked last: a module's own handlers (and the system's, as in
// IsBadReadPtr) see their faults first. The call's frames are abandoned, not unwound, so the
// guarded call must hold no C++ object of ours that needs destroying, and must not throw.
#pragma once

#include <windows.h>

#include <type_traits>

struct OutsideFault {
    DWORD code = 0;                   // EXCEPTION_ACCESS_VIOLATION and the like; 0 when none
    const void *address = nullptr;    // where it was raised
    ULONG_PTR accessAddress = 0;      // the address an access violation touched
};

namespace fault_guard_detail {
// Runs thunk(context); 1 when it returned, 0 when a fault ended it (filled into *fault).
int Invoke(void (*thunk)(void *), void *context, OutsideFault *fault);
// Writes the log line of a fault caught in `what`, keeping the thread's last error.
void LogFault(const char *what, const OutsideFault &fault);
}  // namespace fault_guard_detail

// Calls `call` (no arguments) behind the guard. True when it returned; false when a fault ended
// it: then the fault is logged (level 1, naming `what`) and, when given, copied to `*fault`. The
// thread's last error after a call that returned is the call's own.
template <typename Call>
bool CallOutside(const char *what, Call &&call, OutsideFault *fault = nullptr)
{
    using Callable = std::remove_reference_t<Call>;
    OutsideFault caught;
    int returned = fault_guard_detail::Invoke([](void *c) { (*static_cast<Callable *>(c))(); },
                                              const_cast<void *>(static_cast<const void *>(&call)), &caught);
    if (returned)
        return true;
    fault_guard_detail::LogFault(what, caught);
    if (fault != nullptr)
        *fault = caught;
    return false;
}
