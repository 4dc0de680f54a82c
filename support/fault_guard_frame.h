/* The recovery point of one fault guard (shared by the C guard and its C++ caller). */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SentrioGuardFrame {
#if defined(__i386__)
    EXCEPTION_REGISTRATION_RECORD registration; /* on the guarding thread's stack, as the chain wants */
#endif
    void *chain;                       /* the thread's exception chain (NT_TIB) at the guard */
    void *jump[5];                     /* __builtin_setjmp's buffer */
    struct SentrioGuardFrame *outer;   /* the guard this one runs inside, or none */
    DWORD lastError;                   /* the thread's last error when the guard was entered */
    DWORD code;
    PVOID address;
    ULONG_PTR accessAddress;
} SentrioGuardFrame;

int SentrioGuardInvoke(void (*thunk)(void *), void *context, SentrioGuardFrame *frame);

#ifdef __cplusplus
}
#endif
