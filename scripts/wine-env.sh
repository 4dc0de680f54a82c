# Sourced by the scripts that run Wine: one place for the prefix, the display and Wine's quiet mode.
# SENTRIO_WINEPREFIX and SENTRIO_DISPLAY let two checkouts on one machine use prefixes (and so
# wineservers, and so named kernel objects) of their own.
#
# SENTRIO_WINE_ARCH picks the Wine that runs the programs: win64 (the default) runs the 64-bit
# build of the sources under the 64-bit Wine; win32 runs the 32-bit build, the images that ship,
# under the 32-bit Wine in a 32-bit prefix of its own. Some of our machines cannot start 32-bit
# processes at all (their kernel has the 32-bit system-call entry switched off, which the 32-bit
# Wine and Wine's WoW64 mode both need): there only the 64-bit set runs (scripts/probe-32bit.sh).
SENTRIO_WINE_ARCH="${SENTRIO_WINE_ARCH:-win64}"
if [ "$SENTRIO_WINE_ARCH" = win32 ]; then
  export WINEPREFIX="${SENTRIO_WINEPREFIX32:-${HOME:-/root}/.cache/sentrio/wine32}"
  export WINEARCH=win32
  export WINELOADER=/usr/lib/wine/wine
  export WINESERVER=/usr/lib/wine/wineserver32
else
  export WINEPREFIX="${SENTRIO_WINEPREFIX:-${HOME:-/root}/.cache/sentrio/wine64}"
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
fi
# SENTRIO_DPI runs the program at another screen resolution (144 for a 150 % display) in a prefix
# of its own beside the usual one, so that no other test sees the changed setting.
if [ -n "${SENTRIO_DPI:-}" ]; then
  export WINEPREFIX="$WINEPREFIX-dpi$SENTRIO_DPI"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# Each set has a display of its own, so that keys typed into one set's windows never reach the other's.
if [ "$SENTRIO_WINE_ARCH" = win32 ]; then
  SENTRIO_DISPLAY="${SENTRIO_DISPLAY32:-:98}"
else
  SENTRIO_DISPLAY="${SENTRIO_DISPLAY:-:97}"
fi
