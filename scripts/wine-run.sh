#!/usr/bin/env bash
# Runs one Windows program under Wine inside Xvfb. ctest uses it as the emulator of every test
# executable. It starts the X server and a persistent wineserver on first use and leaves both
# running, so that the next test process starts in a fraction of a second.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

export DISPLAY="$SENTRIO_DISPLAY"
num=${DISPLAY#:}
if [ ! -e "/tmp/.X11-unix/X$num" ]; then
  # Another test may be starting the same server at this moment: only one starts it.
  (
    flock 9
    if [ ! -e "/tmp/.X11-unix/X$num" ]; then
      nohup Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&- &
      for _ in $(seq 1 200); do [ -e "/tmp/.X11-unix/X$num" ] && break; sleep 0.05; done
    fi
  ) 9>"/tmp/.sentrio-xvfb-$num.lock"
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
rm -f "$out"
exit $rc
