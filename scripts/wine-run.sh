#!/usr/bin/env bash
# Runs one Windows program under Wine inside Xvfb. ctest uses it as the emulator of every test
# executable. It starts the X server and a persistent wineserver on first use and leaves both
# running, so that the next test process starts in a fraction of a second.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

export DISPLAY="$SENTRIO_DISPLAY"
num=${DISPLAY#:}

# An X server is alive when it answers; a socket or lock file alone may be left over from a
# server that was killed (a machine shut down mid-run), and trusting it would leave every window
# of the run uncreatable.
display_alive() { xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; }

if ! display_alive; then
  # Another test may be starting the same server at this moment: only one starts it.
  (
    flock 9
    if ! display_alive; then
      pid=$(tr -dc '0-9' 2>/dev/null <"/tmp/.X$num-lock")
      if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
        rm -f "/tmp/.X$num-lock" "/tmp/.X11-unix/X$num"
      fi
      nohup Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&- &
      for _ in $(seq 1 200); do display_alive && break; sleep 0.05; done
      display_alive || echo "wine-run: the X server on $DISPLAY did not start" >&2
    fi
  ) 9>"/tmp/.sentrio-xvfb-$num.lock"
fi

# A prefix for another resolution is made on first use: wineboot, then the resolution setting
# and unmanaged windows as in the usual prefix (scripts/setup.sh).
if [ -n "${SENTRIO_DPI:-}" ] && [ ! -f "$WINEPREFIX/.sentrio-dpi2" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.sentrio-dpi2" ]; then
      mkdir -p "$WINEPREFIX"
      "$WINELOADER" wineboot -i >/dev/null 2>&1 9>&- || true
      "$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$SENTRIO_DPI" /f >/dev/null 2>&1 9>&-
      "$WINELOADER" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$SENTRIO_DPI" /f >/dev/null 2>&1 9>&-
      "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 9>&-
      "$WINESERVER" -w 9>&-
      touch "$WINEPREFIX/.sentrio-dpi2"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# -p keeps the server alive between processes; a second call finds it running and returns.
"$WINESERVER" -p >/dev/null 2>&1 || true

# The program's output goes through a file: Wine's own background processes (services.exe, the
# desktop), started by whichever program needs them first, inherit that program's output and live
# on; had they inherited a pipe, whoever reads it (ctest) would wait for them forever.
out=$(mktemp "${TMPDIR:-/tmp}/sentrio-wine-run.XXXXXX")
"$WINELOADER" "$@" >"$out" 2>&1
rc=$?
cat "$out"
# A test program that dies half-way (a stack overflow, a fault in a window procedure) can leave
# Wine with exit code 0. A GoogleTest run that started but never printed its closing summary did
# not finish, whatever the exit code says.
if [ $rc -eq 0 ] && grep -q '^\[==========\] Running' "$out" &&
   ! grep -q '^\[==========\] [0-9]* tests\? from .* ran\.' "$out"; then
  echo "wine-run: the test program ended before its summary" >&2
  rc=1
fi
rm -f "$out"
exit $rc
