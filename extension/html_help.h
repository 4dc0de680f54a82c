// The HTML Help control, hhctrl.ocx: its ANSI entry HtmlHelpA taken by ordinal 14 when help is first
// asked for, and kept for the life of the process (the help window runs on its code).
#pragma once

#include <windows.h>

struct HtmlHelpLibrary {
    typedef HWND(WINAPI *HtmlHelpAFn)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
    static constexpr WORD kHtmlHelpAOrdinal = 14;
    static constexpr UINT kHelpContext = 0x0F;  // HH_HELP_CONTEXT: the topic of a context number

    HMODULE module = nullptr;
    HtmlHelpAFn HtmlHelpA = nullptr;

    // Loads hhctrl.ocx (program and system folders) and resolves the entry; false (last error kept)
    // when either is missing.
    bool Bind();
};

// Opens `file` at the topic of `context` with no owner; the help window, or null.
HWND ShowHelpContext(const char *file, DWORD context);
