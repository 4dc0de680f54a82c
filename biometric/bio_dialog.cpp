// The trampoline and the texts of Braxial's dialogs.
#include "bio_dialog.h"

#include "bio_backend.h"
#include "braxial_res.h"
#include "module_activation.h"

INT_PTR TBioDlg::Run(HWND parent, UINT templateId)
{
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    return DialogBoxParamA(g_braxialInstance, MAKEINTRESOURCEA(templateId), parent, Proc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TBioDlg::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TBioDlg *self = reinterpret_cast<TBioDlg *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<TBioDlg *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->dialog_ = dialog;
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) find no object yet.
    if (self == nullptr)
        return FALSE;
    return self->Message(message, wParam, lParam);
}

const char *TBioDlg::Text(UINT id, char (&buffer)[kTextSize]) const
{
    HMODULE modules[3] = {stringModule, GetModuleHandleA(nullptr), g_braxialInstance};
    for (HMODULE module : modules)
        if (module != nullptr && LoadStringA(module, id, buffer, kTextSize) > 0)
            return buffer;
    buffer[0] = 0;
    return buffer;
}

void TBioDlg::SetTitle(UINT textId)
{
    char text[kTextSize];
    SetWindowTextA(dialog_, Text(textId, text));
}

void TBioDlg::SetItemText(int itemId, UINT textId)
{
    char text[kTextSize];
    SetDlgItemTextA(dialog_, itemId, Text(textId, text));
}

bool TBioDlg::IsCloseCommand(UINT message, WPARAM wParam)
{
    if (message == WM_COMMAND)
        return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_BIO_CANCEL;
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
}

bool TBioDlg::IsOkCommand(UINT message, WPARAM wParam)
{
    return message == WM_COMMAND && (LOWORD(wParam) == IDC_BIO_OK || LOWORD(wParam) == IDOK);
}
