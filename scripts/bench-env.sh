# Sourced by scripts/bench.sh and scripts/soak.sh: the benchmarks' Wine prefix and display, the
# bench programs built (unless SENTRIO_BENCH_NOBUILD is set: `bench_targets` names them), and the
# prefix made on first use. In that prefix Wine does not hand its windows to a window manager:
# under a bare Xvfb there is none, and Wine then waits 2 s for each window that goes away (the PIN
# prompt, the wait window, the Logout Screen) for a confirmation that never comes: 6 s in every
# re-insertion that no user with a desktop meets.
base=${SENTRIO_WINEPREFIX:-${HOME:-/root}/.cache/sentrio/wine64}
export SENTRIO_WINEPREFIX=${SENTRIO_BENCH_WINEPREFIX:-$base-bench}
export SENTRIO_DISPLAY=${SENTRIO_DISPLAY:-:97}
. "$here/wine-env.sh"
if [ -z "${SENTRIO_BENCH_NOBUILD:-}" ]; then
  cmake --preset win64-test >/dev/null
  # shellcheck disable=SC2086
  cmake --build --preset win64-test -j2 --target $bench_targets
fi
if [ ! -f "$WINEPREFIX/.sentrio-bench" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
  "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  "$WINESERVER" -w
  touch "$WINEPREFIX/.sentrio-bench"
fi
