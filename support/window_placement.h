// Where a dialog goes on the screen: the geometry alone, so that it can be checked without windows.
#pragma once

// A rectangle in screen coordinates, right and bottom exclusive (as a Win32 RECT).
struct PlacementRect {
    long left, top, right, bottom;
};

struct PlacementPoint {
    long x, y;
};

// The top-left corner for a window of `width` x `height`: centred over `owner`, or centred on
// `workArea` when there is no owner (null), then moved so that it lies wholly inside `workArea`.
// A window larger than the work area keeps its top-left corner (its caption) inside it.
PlacementPoint CentredPlacement(long width, long height, const PlacementRect *owner,
                                const PlacementRect &workArea);
