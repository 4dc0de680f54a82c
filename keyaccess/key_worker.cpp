// The processing dialog and its worker thread.
#include "key_worker.h"

#include "centre_window.h"
#include "shared_ids.h"
#include "texts.h"
#include "module_activation.h"

namespace {

const UINT kWorkerDone = WM_APP + 0x51;  // wParam: the dialog's result

struct WorkerStart {
    BraxialKeyWorker *block;
    KeyAccessProc access;
    void *context;
};

DWORD WINAPI WorkerThread(LPVOID param)
{
    WorkerStart *start = static_cast<WorkerStart *>(param);
    BraxialKeyWorker *block = start->block;
    block->error = 0;
    SetLastError(0);
    if (!start->access(block, start->context)) {
        DWORD error = GetLastError();
        block->error = error != 0 ? error : 1;
    }
    // Wait for the dialog to open (or to be given up), then end it with the result.
    for (;;) {
        LONG_PTR dialog = block->dialog;
        if (dialog == -1)
            return 0;
        if (dialog != 0) {
            PostMessageA(reinterpret_cast<HWND>(dialog), kWorkerDone, block->error == 0 ? 1 : 0, 0);
            return 0;
        }
        Sleep(1);
    }
}

INT_PTR CALLBACK ProcessingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        BraxialKeyWorker *block = reinterpret_cast<BraxialKeyWorker *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        CentreOverOwner(dialog);
        char text[256];
        SetDlgItemTextA(dialog, IDC_PROCESSING_TEXT, LoadResString(IDS_PROCESSING_KEY, text, sizeof text));
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&block->dialog), dialog);
        return TRUE;
    }
    case kWorkerDone:
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool RunKeyAccess(HINSTANCE instance, HWND parent, BraxialKeyWorker *block, KeyAccessProc access,
                  void *context, DWORD *error)
{
    block->dialog = 0;
    block->error = 0;
    WorkerStart start = {block, access, context};
    HANDLE thread = CreateThread(nullptr, 0, WorkerThread, &start, 0, nullptr);
    if (thread == nullptr) {
        *error = GetLastError();
        return false;
    }
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROCESSING), parent,
                                     ProcessingDialogProc, reinterpret_cast<LPARAM>(block));
    if (result != 1)
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&block->dialog),
                                   reinterpret_cast<PVOID>(static_cast<LONG_PTR>(-1)));
    // The worker uses the block, the buffer and the context until it ends: wait for it whatever
    // became of the dialog. Then its own result is the answer: the user closing the dialog (or a
    // dialog that could not be shown) does not undo a write that reached the Key.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    *error = block->error;
    return block->error == 0;
}
