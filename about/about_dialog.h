// The About dialog of Ostrel.dll: data in, a modal box, nothing out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "about_modules.h"

class TAboutDlg {
public:
    HINSTANCE ownModule = nullptr;       // Ostrel's own resources (dialog, fallback pictures)
    HINSTANCE resourceModule = nullptr;  // the caller's icon and bitmap
    HINSTANCE versionModule = nullptr;   // the caller's version resource
    UINT iconId = 0;
    UINT bitmapId = 0;
    std::string productTitle, webAddress, supportAddress, makerName;
    std::vector<AboutModuleRow> modules;

    // Shows the box modal to `parent`; IDOK once closed, -1 (last error set) when it failed.
    INT_PTR Show(HWND parent);

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void FormInit(HWND dialog);
    void FormDestroy();
    void LinkClick(bool mail);
    void LinkDraw(const DRAWITEMSTRUCT *item);
    void BitmapDraw(const DRAWITEMSTRUCT *item);

    HWND dialog_ = nullptr;
    HICON icon_ = nullptr, smallIcon_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HFONT titleFont_ = nullptr, linkFont_ = nullptr;
};
