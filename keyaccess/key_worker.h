// One Key access of the biometric client binding, run on a worker thread while the calling thread
// shows the modal processing dialog (resource 5150 of the calling program), so the user interface
// stays alive while a slow Key reads or writes its biometric record.
#pragma once

#include <windows.h>

// The block shared by the calling thread and the worker. No lock: `dialog` is written by the
// calling thread (the dialog's window once it opened, -1 once the caller gave the dialog up) and
// polled by the worker; `size` and `error` are written by the worker before it ends the dialog.
struct BraxialKeyWorker {
    volatile LONG_PTR dialog;  // 0 before the dialog opened; its window; -1 when given up
    DWORD_PTR reader;          // the smart-key library's handle of the Key's reader
    void *buffer;              // bytes to write or the buffer to read into (none for a removal)
    DWORD size;                // number of bytes, in/out for a read
    DWORD error;               // 0 for success, else the thread's last error after the failed call
};

// The library calls of one access. Returns true on success; on failure the thread's last error
// says why.
typedef bool (*KeyAccessProc)(BraxialKeyWorker *block, void *context);

// Runs `access` on a worker thread under the processing dialog of `instance`, owned by `parent`.
// Returns only once the worker has ended, and answers with the worker's own result: true when the
// access succeeded (also when the user closed the dialog before it ended), false otherwise with
// `*error` set to the worker's error.
bool RunKeyAccess(HINSTANCE instance, HWND parent, BraxialKeyWorker *block, KeyAccessProc access,
                  void *context, DWORD *error);
