// The controls of the main window: kind, caption, bounds in client pixels at 96 DPI (inside the
// window or inside their group box), help context, and whether they start enabled. Listed in tab
// order: the Key list, the Key group, the Notes group, Close.
#pragma once

#include <windows.h>

enum class ControlKind { kLabel, kList, kGroup, kEdit, kButton };

struct ControlSpec {
    int id;
    ControlKind kind;
    UINT captionId;       // 0: none
    int groupId;          // 0: placed in the window; else the id of the group box holding it
    int x, y, width, height;
    DWORD helpContext;    // 0: none
    bool enabled;
};

constexpr int kFormClientWidth = 457;
constexpr int kFormClientHeight = 334;
constexpr DWORD kFormHelpContext = 400;
constexpr int kButtonWidth = 89, kButtonHeight = 25;

extern const ControlSpec kFormControls[];
extern const int kFormControlCount;

// The layout entry of control `id`, or null.
const ControlSpec *FindControlSpec(int id);
// Bounds of `spec` in the window's client pixels at 96 DPI (the group's position added).
RECT ControlBounds96(const ControlSpec &spec);
