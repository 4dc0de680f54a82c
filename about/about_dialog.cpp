// The About dialog: title, version, module list and the maker's contact block.
#include "about_dialog.h"

#include <shellapi.h>

#include "centre_window.h"
#include "cut_format.h"
#include "module_version.h"
#include "ostrel_res.h"
#include "module_activation.h"

namespace {

std::string LoadOwnText(HINSTANCE module, UINT id)
{
    char text[256];
    int n = LoadStringA(module, id, text, sizeof text);
    return std::string(text, n > 0 ? n : 0);
}

HFONT DeriveFont(HWND control, bool bold, bool underline, int scalePercent)
{
    HFONT base = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA font = {};
    if (base == nullptr || GetObjectA(base, sizeof font, &font) == 0)
        return nullptr;
    if (bold)
        font.lfWeight = FW_BOLD;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfHeight = MulDiv(font.lfHeight, scalePercent, 100);
    return CreateFontIndirectA(&font);
}

// Loads a picture from the caller's module, else from Ostrel's own copy.
HANDLE LoadPicture(HINSTANCE preferred, HINSTANCE own, UINT id, UINT type, int cx, int cy)
{
    HANDLE image = nullptr;
    if (preferred != nullptr && id != 0)
        image = LoadImageA(preferred, MAKEINTRESOURCEA(id), type, cx, cy, LR_DEFAULTCOLOR);
    if (image == nullptr && id != 0)
        image = LoadImageA(own, MAKEINTRESOURCEA(id), type, cx, cy, LR_DEFAULTCOLOR);
    return image;
}

}  // namespace

INT_PTR TAboutDlg::Show(HWND parent)
{
    ModuleActivation activation;  // the DLL's dialogs in common controls 6
    return DialogBoxParamA(ownModule, MAKEINTRESOURCEA(IDD_ABOUT), parent, Proc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TAboutDlg::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TAboutDlg *self = reinterpret_cast<TAboutDlg *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        self = reinterpret_cast<TAboutDlg *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->FormInit(dialog);
        return TRUE;
    case WM_COMMAND:
        if (self == nullptr)
            break;
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:  // Esc and the caption's close box
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDC_ABOUT_WEB:
            self->LinkClick(false);
            return TRUE;
        case IDC_ABOUT_MAIL:
            self->LinkClick(true);
            return TRUE;
        }
        break;
    case WM_DRAWITEM: {
        if (self == nullptr)
            break;
        const DRAWITEMSTRUCT *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (item->CtlID == IDC_ABOUT_BITMAP)
            self->BitmapDraw(item);
        else
            self->LinkDraw(item);
        return TRUE;
    }
    case WM_SETCURSOR: {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        if (id == IDC_ABOUT_WEB || id == IDC_ABOUT_MAIL) {
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    }
    case WM_DESTROY:
        if (self != nullptr)
            self->FormDestroy();
        break;
    }
    return FALSE;
}

void TAboutDlg::FormInit(HWND dialog)
{
    dialog_ = dialog;
    char text[512];
    FormatCut(text, sizeof text, LoadOwnText(ownModule, IDS_ABOUT_CAPTION).c_str(),
              productTitle.c_str());
    SetWindowTextA(dialog, text);

    char productVersion[kVersionTextSize], copyright[kVersionTextSize];
    GetModuleVersionInfo(versionModule, nullptr, nullptr, nullptr, nullptr, nullptr,
                         productVersion, copyright);
    SetDlgItemTextA(dialog, IDC_ABOUT_TITLE, productTitle.c_str());
    FormatCut(text, sizeof text, LoadOwnText(ownModule, IDS_ABOUT_VERSION).c_str(), productVersion);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, text);
    SetDlgItemTextA(dialog, IDC_ABOUT_COPYRIGHT, copyright);

    titleFont_ = DeriveFont(GetDlgItem(dialog, IDC_ABOUT_TITLE), true, false, 100);
    if (titleFont_ != nullptr)
        SendDlgItemMessageA(dialog, IDC_ABOUT_TITLE, WM_SETFONT,
                            reinterpret_cast<WPARAM>(titleFont_), FALSE);
    linkFont_ = DeriveFont(GetDlgItem(dialog, IDC_ABOUT_WEB), false, true, 100);

    // Icon sized to its place, which is in dialog units and so follows the screen's DPI.
    RECT iconRect;
    GetClientRect(GetDlgItem(dialog, IDC_ABOUT_ICON), &iconRect);
    int side = iconRect.bottom < iconRect.right ? iconRect.bottom : iconRect.right;
    icon_ = static_cast<HICON>(LoadPicture(resourceModule, ownModule, iconId, IMAGE_ICON, side, side));
    smallIcon_ = static_cast<HICON>(LoadPicture(resourceModule, ownModule, iconId, IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON)));
    if (icon_ != nullptr) {
        SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    }
    if (smallIcon_ != nullptr)
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    bitmap_ = static_cast<HBITMAP>(LoadPicture(resourceModule, ownModule, bitmapId, IMAGE_BITMAP, 0, 0));

    HWND list = GetDlgItem(dialog, IDC_ABOUT_MODULES);
    INT tabs[] = {ABOUT_TAB_VERSION, ABOUT_TAB_DESCR};
    SendMessageA(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabs));
    std::string notFound = LoadOwnText(ownModule, IDS_ABOUT_NOT_FOUND);
    std::string notFoundDescr = LoadOwnText(ownModule, IDS_ABOUT_NOT_FOUND_DESCR);
    RECT stops = {ABOUT_TAB_VERSION, 0, ABOUT_TAB_DESCR, 0};
    MapDialogRect(dialog, &stops);
    INT pixelTabs[] = {stops.left, stops.right};
    HDC dc = GetDC(list);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const AboutModuleRow &row : modules) {
        std::string line = FormatAboutModuleLine(row, notFound.c_str(), notFoundDescr.c_str());
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        DWORD extent = GetTabbedTextExtentA(dc, line.c_str(), static_cast<int>(line.size()), 2, pixelTabs);
        LONG width = static_cast<LONG>(LOWORD(extent)) + 8;
        if (width > widest)
            widest = width;
    }
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
    SendMessageA(list, LB_SETCURSEL, 0, 0);

    SetDlgItemTextA(dialog, IDC_ABOUT_MAKER, makerName.c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_WEB, webAddress.c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_MAIL, supportAddress.c_str());
    ShowWindow(GetDlgItem(dialog, IDC_ABOUT_WEB), webAddress.empty() ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_ABOUT_MAIL), supportAddress.empty() ? SW_HIDE : SW_SHOW);
    CentreOverOwner(dialog);
}

void TAboutDlg::FormDestroy()
{
    if (icon_ != nullptr)
        DestroyIcon(icon_);
    if (smallIcon_ != nullptr)
        DestroyIcon(smallIcon_);
    if (bitmap_ != nullptr)
        DeleteObject(bitmap_);
    if (titleFont_ != nullptr)
        DeleteObject(titleFont_);
    if (linkFont_ != nullptr)
        DeleteObject(linkFont_);
    icon_ = smallIcon_ = nullptr;
    bitmap_ = nullptr;
    titleFont_ = linkFont_ = nullptr;
}

void TAboutDlg::LinkClick(bool mail)
{
    std::string target = ContactLinkTarget(mail ? supportAddress.c_str() : webAddress.c_str(), mail);
    if (target.empty())
        return;
    HINSTANCE started = ShellExecuteA(dialog_, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32)
        MessageBeep(MB_ICONWARNING);
}

namespace {

int Luminance(COLORREF c)
{
    return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000;
}

// The theme's link colour, unless it can hardly be read on the dialog's face (some themes give a
// pale grey); then the classic link blue.
COLORREF LinkColour()
{
    COLORREF hot = GetSysColor(COLOR_HOTLIGHT), face = GetSysColor(COLOR_BTNFACE);
    int difference = Luminance(hot) - Luminance(face);
    if (difference < 0)
        difference = -difference;
    return difference >= 96 ? hot : RGB(0, 0, 204);
}

}  // namespace

void TAboutDlg::LinkDraw(const DRAWITEMSTRUCT *item)
{
    char text[512];
    GetWindowTextA(item->hwndItem, text, sizeof text);
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ oldFont = SelectObject(dc, linkFont_ != nullptr ? linkFont_
                                       : reinterpret_cast<HGDIOBJ>(SendMessageA(item->hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, LinkColour());
    RECT textRect = rect;
    DrawTextA(dc, text, -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    textRect.bottom = rect.bottom;
    textRect.top = rect.top;
    DrawTextA(dc, text, -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item->itemState & ODS_FOCUS)
        DrawFocusRect(dc, &textRect);
    SelectObject(dc, oldFont);
}

void TAboutDlg::BitmapDraw(const DRAWITEMSTRUCT *item)
{
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    BITMAP info = {};
    if (bitmap_ == nullptr || GetObjectA(bitmap_, sizeof info, &info) == 0 || info.bmWidth <= 0 ||
        info.bmHeight <= 0)
        return;
    // Scaled to fit its place (dialog units, so it grows with the DPI), aspect kept.
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int drawWidth = width, drawHeight = MulDiv(info.bmHeight, width, info.bmWidth);
    if (drawHeight > height) {
        drawHeight = height;
        drawWidth = MulDiv(info.bmWidth, height, info.bmHeight);
    }
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap_);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, rect.left + (width - drawWidth) / 2, rect.top + (height - drawHeight) / 2,
               drawWidth, drawHeight, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}
