#!/usr/bin/env bash
# Makes the benchmarks' Wine prefix on first use ($WINEPREFIX as scripts/wine-env.sh sets it):
# Wine does not hand its windows to a window manager there. Under a bare Xvfb there is none, and
# Wine then waits 2 s for each window that goes away (the PIN prompt, the wait window, the Logout
# Screen) for a confirmation that never comes: 6 s in every re-insertion that no user with a
# desktop meets.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
if [ ! -f "$WINEPREFIX/.sentrio-bench" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
  "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  "$WINESERVER" -w
  touch "$WINEPREFIX/.sentrio-bench"
fi
