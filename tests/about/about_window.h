// Reading the About box back through its window (works across processes: list box and static
// texts are read with messages the system carries between processes).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testkit.h"

namespace abouttest {

const int kModuleListId = 105;  // the About box's module list
const DWORD kWindowWait = 15000;

struct Line {
    std::string file, version, description;
};

inline std::vector<Line> ReadModuleList(HWND dialog)
{
    std::vector<Line> lines;
    HWND list = GetDlgItem(dialog, kModuleListId);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        std::string text(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(static_cast<size_t>(length));
        Line line;
        size_t a = text.find('\t'), b = text.find('\t', a == std::string::npos ? a : a + 1);
        line.file = text.substr(0, a);
        if (a != std::string::npos)
            line.version = text.substr(a + 1, b == std::string::npos ? b : b - a - 1);
        if (b != std::string::npos)
            line.description = text.substr(b + 1);
        lines.push_back(line);
    }
    return lines;
}

// A key press as the dialog's own message loop sees it.
inline void PressKey(HWND dialog, WPARAM key)
{
    HWND target = GetDlgItem(dialog, kModuleListId);
    PostMessageA(target != nullptr ? target : dialog, WM_KEYDOWN, key, 0);
}

}  // namespace abouttest
