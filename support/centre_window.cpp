// Centring a dialog over its owner on the owner's monitor.
#include "centre_window.h"

#include "window_placement.h"

namespace {

PlacementRect FromRect(const RECT &rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The work area of `monitor`; the primary work area when the monitor cannot be asked.
RECT WorkArea(HMONITOR monitor)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (monitor != nullptr && GetMonitorInfoA(monitor, &info))
        return info.rcWork;
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

}  // namespace

void CentreOverOwner(HWND window)
{
    RECT mine;
    if (!GetWindowRect(window, &mine))
        return;
    HWND owner = GetWindow(window, GW_OWNER);
    // A minimised owner's monitor is the one it was on before (MonitorFromWindow uses its restored
    // rectangle); a window without an owner goes on the primary monitor.
    HMONITOR monitor = owner != nullptr ? MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                                        : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    PlacementRect work = FromRect(WorkArea(monitor));
    RECT ownerRect;
    bool overOwner = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) &&
                     GetWindowRect(owner, &ownerRect);
    PlacementRect over = overOwner ? FromRect(ownerRect) : work;
    PlacementPoint at = CentredPlacement(mine.right - mine.left, mine.bottom - mine.top,
                                         overOwner ? &over : nullptr, work);
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
