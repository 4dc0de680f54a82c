// The fault guard's C++ side: the log line of a caught fault.
#include "fault_guard.h"

#include "log.h"

namespace fault_guard_detail {

void LogFault(const char *what, const OutsideFault &fault)
{
    DWORD saved = GetLastError();
    if (fault.code == EXCEPTION_ACCESS_VIOLATION)
        LogMessage(kLogError, "FaultGuard", "Fault 0x%08lX at %p in %s (access to %p), caught; the call failed",
                   static_cast<unsigned long>(fault.code), fault.address, what ? what : "",
                   reinterpret_cast<void *>(fault.accessAddress));
    else
        LogMessage(kLogError, "FaultGuard", "Fault 0x%08lX at %p in %s, caught; the call failed",
                   static_cast<unsigned long>(fault.code), fault.address, what ? what : "");
    SetLastError(saved);
}

}  // namespace fault_guard_detail

#include "fault_guard_frame.h"

namespace fault_guard_detail {

int Invoke(void (*thunk)(void *), void *context, OutsideFault *fault)
{
    SentrioGuardFrame frame = {};
    int returned = SentrioGuardInvoke(thunk, context, &frame);
    if (!returned && fault != nullptr) {
        fault->code = frame.code;
        fault->address = frame.address;
        fault->accessAddress = frame.accessAddress;
    }
    return returned;
}

}  // namespace fault_guard_detail
