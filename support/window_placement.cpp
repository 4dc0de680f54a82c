// Centring a window over its owner and keeping it inside a work area.
#include "window_placement.h"

namespace {

// `position` moved so that [position, position + size) lies inside [low, high); when it cannot,
// it starts at `low`.
long KeepInside(long position, long size, long low, long high)
{
    if (position + size > high)
        position = high - size;
    if (position < low)
        position = low;
    return position;
}

}  // namespace

PlacementPoint CentredPlacement(long width, long height, const PlacementRect *owner,
                                const PlacementRect &workArea)
{
    const PlacementRect &around = owner != nullptr ? *owner : workArea;
    // Halving the difference, not each size, so that odd sizes round the same way everywhere.
    long x = around.left + (around.right - around.left - width) / 2;
    long y = around.top + (around.bottom - around.top - height) / 2;
    return {KeepInside(x, width, workArea.left, workArea.right),
            KeepInside(y, height, workArea.top, workArea.bottom)};
}
