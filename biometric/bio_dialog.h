// The base of Braxial's dialogs: one trampoline that stores the dialog object and hands each
// message to it, and the texts every dialog loads from the caller's language module.
#pragma once

#include <windows.h>

class TBioDlg {
public:
    // The caller's language module; Braxial's own texts when none.
    HMODULE stringModule = nullptr;

    TBioDlg() = default;
    TBioDlg(const TBioDlg &) = delete;
    TBioDlg &operator=(const TBioDlg &) = delete;

protected:
    static constexpr int kTextSize = 1024;

    virtual ~TBioDlg() = default;
    // Shows Braxial's dialog `templateId` modal to `parent`; its EndDialog result, -1 when it could
    // not be shown.
    INT_PTR Run(HWND parent, UINT templateId);
    // One message of the dialog; what its dialog procedure answers.
    virtual INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Text `id` from the language module, else the program that loaded Braxial, else Braxial's own
    // copy; empty when none has it.
    const char *Text(UINT id, char (&buffer)[kTextSize]) const;
    void SetTitle(UINT textId);
    void SetItemText(int itemId, UINT textId);
    HWND Item(int itemId) const { return GetDlgItem(dialog_, itemId); }
    void EnableItem(int itemId, bool enable) { EnableWindow(Item(itemId), enable ? TRUE : FALSE); }

    // Cancel, the dialog's own Cancel button (1002) and the system close command.
    static bool IsCloseCommand(UINT message, WPARAM wParam);
    // The dialog's OK button (1003) and Enter.
    static bool IsOkCommand(UINT message, WPARAM wParam);

    HWND dialog_ = nullptr;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};
