// The one placement of every dialog of the product.
#pragma once

#include <windows.h>

// Centres `window` over its owner and keeps it wholly on the work area of the owner's monitor.
// With no owner, or an owner that is hidden or minimised (Tolvik's hidden window, a client in
// the task bar), the window is centred on that monitor's work area (the primary one without an
// owner). Call it from WM_INITDIALOG.
void CentreOverOwner(HWND window);
