// The one dialog trampoline of the console: each dialog class derives from AdminDialog, which
// stores `this` with the window and forwards to its short handlers. Controls are placed in client
// pixels at 96 DPI, scaled for the screen.
#pragma once

#include <windows.h>

class AdminDialog {
public:
    virtual ~AdminDialog() = default;

protected:
    // Runs the dialog `templateId` modally over `owner`; the dialog's result, -1 when it failed.
    INT_PTR RunModal(HWND owner, int templateId);
    // Makes it modeless (hidden); null when it failed.
    HWND CreateModeless(HWND owner, int templateId);

    virtual void FormShow() {}
    // True when the command was handled.
    virtual bool Command(int id, int code) { (void)id; (void)code; return false; }
    virtual void FormClose() {}

    // Client area of `width` x `height` pixels, centred over the owner (the screen without one).
    void SetClientSize(int width, int height);
    void Place(int id, int x, int y, int width, int height);
    HWND Item(int id) const { return GetDlgItem(window_, id); }

    HWND window_ = nullptr;
    HFONT font_ = nullptr;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

// The console's dialog font (8 points "MS Shell Dlg" at the screen's resolution), made once.
HFONT AdminFont();
