// The centring of real windows: over a visible owner, inside the work area at the screen's edge,
// and on the work area when the owner is missing, hidden or minimised.
#include <gtest/gtest.h>

#include "centre_window.h"

namespace {

RECT PrimaryWorkArea()
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcWork;
}

enum class Owner { kNone, kVisible, kHidden, kMinimised };

struct Case {
    const char *what;
    Owner owner;
    int x, y;            // the owner's position; a negative value counts from the work area's far edge
    bool overTheOwner;   // centred over the owner, else on the work area
};

TEST(CentreWindow, OverItsOwnerOrOnTheWorkArea)
{
    RECT work = PrimaryWorkArea();
    const Case cases[] = {
        {"visible owner in the middle", Owner::kVisible, 150, 120, true},
        {"visible owner off the right edge", Owner::kVisible, -100, 120, false},
        {"visible owner off the bottom edge", Owner::kVisible, 150, -60, false},
        {"no owner", Owner::kNone, 0, 0, false},
        {"hidden owner", Owner::kHidden, 20, 20, false},
        {"minimised owner", Owner::kMinimised, 20, 20, false},
    };
    const int ownerWidth = 500, ownerHeight = 360, width = 300, height = 200;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int ownerX = c.x < 0 ? work.right + c.x : work.left + c.x;
        int ownerY = c.y < 0 ? work.bottom + c.y : work.top + c.y;
        HWND owner = nullptr;
        if (c.owner != Owner::kNone) {
            DWORD style = c.owner == Owner::kMinimised ? WS_OVERLAPPEDWINDOW : WS_POPUP | WS_BORDER;
            owner = CreateWindowExA(0, "STATIC", "centring owner", style, ownerX, ownerY, ownerWidth, ownerHeight,
                                    nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(nullptr, owner);
            if (c.owner == Owner::kVisible)
                ShowWindow(owner, SW_SHOWNOACTIVATE);
            if (c.owner == Owner::kMinimised) {
                ShowWindow(owner, SW_SHOWMINNOACTIVE);
                EXPECT_TRUE(IsIconic(owner));
            }
        }
        HWND window = CreateWindowExA(0, "STATIC", "centred", WS_POPUP | WS_BORDER, 3, 5, width, height, owner,
                                      nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(owner, GetWindow(window, GW_OWNER));
        CentreOverOwner(window);
        RECT box;
        ASSERT_TRUE(GetWindowRect(window, &box));
        EXPECT_EQ(width, box.right - box.left);
        EXPECT_EQ(height, box.bottom - box.top);
        EXPECT_GE(box.left, work.left);
        EXPECT_GE(box.top, work.top);
        EXPECT_LE(box.right, work.right);
        EXPECT_LE(box.bottom, work.bottom);
        if (c.overTheOwner) {
            EXPECT_NEAR(ownerX + ownerWidth / 2, (box.left + box.right) / 2, 1);
            EXPECT_NEAR(ownerY + ownerHeight / 2, (box.top + box.bottom) / 2, 1);
        } else if (c.owner == Owner::kVisible) {
            // Pushed back inside at the edge the owner hangs over.
            if (c.x < 0) {
                EXPECT_EQ(work.right, box.right);
            }
            if (c.y < 0) {
                EXPECT_EQ(work.bottom, box.bottom);
            }
        } else {
            EXPECT_NEAR((work.left + work.right) / 2, (box.left + box.right) / 2, 1);
            EXPECT_NEAR((work.top + work.bottom) / 2, (box.top + box.bottom) / 2, 1);
        }
        DestroyWindow(window);
        if (owner != nullptr)
            DestroyWindow(owner);
    }
}

}  // namespace
