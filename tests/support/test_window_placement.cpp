// Where a dialog goes: centred over its owner, kept wholly inside the work area, centred on the
// work area without an owner; on a primary monitor and on monitors beside it.
#include <gtest/gtest.h>

#include "window_placement.h"

namespace {

// A 1024 x 768 screen with a 28-pixel task bar at the bottom.
constexpr PlacementRect kPrimary = {0, 0, 1024, 740};
// A second monitor to the right, and one to the left (negative coordinates).
constexpr PlacementRect kRightMonitor = {1024, 0, 2048, 768};
constexpr PlacementRect kLeftMonitor = {-1280, 0, 0, 1024};

struct Case {
    const char *what;
    long width, height;
    bool hasOwner;
    PlacementRect owner;
    PlacementRect work;
    long x, y;
};

const Case kCases[] = {
    {"owner in the middle", 300, 200, true, {212, 184, 812, 584}, kPrimary, 362, 284},
    {"owner off the left edge", 300, 200, true, {-500, 200, 100, 500}, kPrimary, 0, 250},
    {"owner off the right edge", 300, 200, true, {900, 200, 1300, 500}, kPrimary, 724, 250},
    {"owner off the top edge", 300, 200, true, {300, -250, 700, 50}, kPrimary, 350, 0},
    {"owner over the task bar", 300, 200, true, {300, 700, 700, 1000}, kPrimary, 350, 540},
    {"owner smaller than the window", 300, 200, true, {500, 300, 600, 350}, kPrimary, 400, 225},
    {"no owner", 300, 200, false, {}, kPrimary, 362, 270},
    {"no owner, window larger than the work area", 1200, 900, false, {}, kPrimary, 0, 0},
    {"owner larger than the work area", 300, 200, true, {-100, -100, 1500, 1000}, kPrimary, 550, 350},
    {"owner on a monitor to the right, off its edge", 300, 200, true, {1900, 100, 2300, 400}, kRightMonitor,
     1748, 150},
    {"no owner, a monitor to the right", 300, 200, false, {}, kRightMonitor, 1386, 284},
    {"owner on a monitor to the left, off its left edge", 300, 200, true, {-1400, 500, -1000, 800},
     kLeftMonitor, -1280, 550},
    {"owner on a monitor to the left, hanging into the primary", 300, 200, true, {-200, 100, 200, 400},
     kLeftMonitor, -300, 150},
};

TEST(WindowPlacement, CentredOverTheOwnerAndKeptInsideTheWorkArea)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        PlacementPoint at = CentredPlacement(c.width, c.height, c.hasOwner ? &c.owner : nullptr, c.work);
        EXPECT_EQ(c.x, at.x);
        EXPECT_EQ(c.y, at.y);
        // Wherever it went, a window that fits lies wholly inside the work area.
        if (c.width <= c.work.right - c.work.left && c.height <= c.work.bottom - c.work.top) {
            EXPECT_GE(at.x, c.work.left);
            EXPECT_GE(at.y, c.work.top);
            EXPECT_LE(at.x + c.width, c.work.right);
            EXPECT_LE(at.y + c.height, c.work.bottom);
        }
    }
}

}  // namespace
