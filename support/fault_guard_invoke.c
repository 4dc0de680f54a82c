/* The fault guard proper, in C so that the guarding function carries no C++ exception handler of
 * the compiler's own beside ours.
 *
 * SentrioGuardInvoke registers SentrioGuardHandler for its frame: on 32-bit Windows by linking a
 * registration record into the thread's exception chain (NT_TIB.ExceptionList), on 64-bit Windows
 * through the .seh_handler entry of its unwind data. Exceptions raised below it that no inner
 * handler took reach the handler; for a fault it notes the code and address and jumps back to the
 * recovery point taken in SentrioGuardInvoke (__builtin_setjmp), which puts the thread's exception
 * chain back as it was at the guard and answers 0. The innermost guard of each thread is kept in a TLS slot, so guards nest and
 * threads do not meet. */
#include <windows.h>

#include "fault_guard_frame.h"

static DWORD g_slot = TLS_OUT_OF_INDEXES;

/* The thread's NT_TIB. GCC takes the segment-relative read in NtCurrentTeb for an access to an
 * empty array and warns; the read is what the system headers define. */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
static NT_TIB *Tib(void)
{
    return (NT_TIB *)NtCurrentTeb();
}
#pragma GCC diagnostic pop

static DWORD Slot(void)
{
    DWORD slot = g_slot;
    if (slot == TLS_OUT_OF_INDEXES) {
        DWORD fresh = TlsAlloc();
        DWORD before = (DWORD)InterlockedCompareExchange((volatile LONG *)&g_slot, (LONG)fresh,
                                                         (LONG)TLS_OUT_OF_INDEXES);
        if (before != TLS_OUT_OF_INDEXES) {
            TlsFree(fresh);
            slot = before;
        } else {
            slot = fresh;
        }
    }
    return slot;
}

static int IsFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
        return 1;
    default:
        return 0;
    }
}

EXCEPTION_DISPOSITION NTAPI SentrioGuardHandler(struct _EXCEPTION_RECORD *record, PVOID establisher,
                                                struct _CONTEXT *context, PVOID dispatcher)
{
    SentrioGuardFrame *frame;
    (void)establisher;
    (void)context;
    (void)dispatcher;
    if (record == NULL || (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !IsFault(record->ExceptionCode) || g_slot == TLS_OUT_OF_INDEXES)
        return ExceptionContinueSearch;
    frame = (SentrioGuardFrame *)TlsGetValue(g_slot);
    if (frame == NULL)
        return ExceptionContinueSearch;
    frame->code = record->ExceptionCode;
    frame->address = record->ExceptionAddress;
    frame->accessAddress = record->NumberParameters >= 2 ? record->ExceptionInformation[1] : 0;
    __builtin_longjmp(frame->jump, 1);
}

int __attribute__((noinline)) SentrioGuardInvoke(void (*thunk)(void *), void *context, SentrioGuardFrame *frame)
{
    DWORD error = GetLastError(); /* the TLS calls clear it: the call gets it as it was */
    DWORD slot = Slot();
#if defined(__x86_64__)
    __asm__ __volatile__(".seh_handler SentrioGuardHandler, @except");
#endif
    if (slot == TLS_OUT_OF_INDEXES) {
        SetLastError(error);
        thunk(context); /* no slot for a guard: the call runs unguarded */
        return 1;
    }
    frame->code = 0;
    frame->outer = (SentrioGuardFrame *)TlsGetValue(slot);
    /* The chain as it stands: the dispatcher of the fault links records of its own into it
     * (on 64-bit Wine too), which the jump back leaves behind; they are dropped on return. */
    frame->chain = Tib()->ExceptionList;
#if defined(__i386__)
    frame->registration.Handler = SentrioGuardHandler;
    frame->registration.Next = Tib()->ExceptionList;
    Tib()->ExceptionList = &frame->registration;
#endif
    TlsSetValue(slot, frame);
    frame->lastError = error;
    if (__builtin_setjmp(frame->jump)) {
        /* Back from a fault: the frames below were abandoned. The frame is taken from the slot
         * again rather than from a register the jump may not have kept. */
        SentrioGuardFrame *faulted = (SentrioGuardFrame *)TlsGetValue(g_slot);
        Tib()->ExceptionList = (struct _EXCEPTION_REGISTRATION_RECORD *)faulted->chain;
        TlsSetValue(g_slot, faulted->outer);
        SetLastError(faulted->lastError);
        return 0;
    }
    SetLastError(error);
    thunk(context);
    error = GetLastError();
    Tib()->ExceptionList = (struct _EXCEPTION_REGISTRATION_RECORD *)frame->chain;
    TlsSetValue(slot, frame->outer);
    SetLastError(error);
    return 1;
}
