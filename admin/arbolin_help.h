// The console's help: the help file beside the program, the topic opened with F1, and the
// context-help pop-ups of the title bar's help button, all through the HTML Help entry of
// hhctrl.ocx (imported by ordinal 14).
#pragma once

#include <windows.h>

#include <htmlhelp.h>

#include <string>

// The shape of HtmlHelpA. Tests put a recording entry in its place.
typedef HWND(WINAPI *HtmlHelpEntry)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

// The help commands as the application's help hook sees them.
constexpr UINT kHelpContextPopupCommand = 8;   // a control's pop-up (HELP_CONTEXTPOPUP)

class ArbolinHelp {
public:
    std::string helpFile;          // full path of Sentrio.CHM beside the program
    HWND helpWindow = nullptr;     // what the last F1 call returned
    HtmlHelpEntry entry = nullptr; // HtmlHelpA unless replaced

    ArbolinHelp();

    // The directory of `program` followed by `fileName`, as a full path.
    static std::string HelpFileBeside(const char *program, const std::string &fileName);

    // F1: opens the help file at `context` (HH_HELP_CONTEXT) and keeps the returned window.
    void ShowContext(HWND caller, DWORD context);

    // ApplicationEventsHelp: a context pop-up (command 8) for the control whose help context is
    // `data`, shown at `where` as text of "::/Cshelp.txt" inside the help file; nothing while the
    // F1 help window is open. Returns true; clears *callHelp when the request was handled here.
    bool ApplicationEventsHelp(UINT command, DWORD_PTR data, POINT where, bool *callHelp);

    // The pop-up description handed with HH_DISPLAY_TEXT_POPUP (filled for `context` at `where`).
    static HH_POPUP PopupFor(DWORD context, POINT where);
    static const char kPopupFont[];
};
