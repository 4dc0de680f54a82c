# Sourced by the scripts that run Wine: one place for the prefix, the display and Wine's quiet mode.
# SENTRIO_WINEPREFIX and SENTRIO_DISPLAY let two checkouts on one machine use prefixes (and so
# wineservers, and so named kernel objects) of their own.
#
# Tests run as 64-bit Windows programs under the 64-bit Wine: the kernel of our build machines has
# its 32-bit system-call entry switched off, so no 32-bit Linux process (and no 32-bit Wine, nor
# Wine's WoW64 mode, which needs that entry for the 32-bit %fs selector) can run there. The
# deliverables are still built and shipped as 32-bit images; the same sources are tested as 64-bit.
export WINEPREFIX="${SENTRIO_WINEPREFIX:-${HOME:-/root}/.cache/sentrio/wine64}"
# SENTRIO_DPI runs the program at another screen resolution (144 for a 150 % display) in a prefix
# of its own beside the usual one, so that no other test sees the changed setting.
if [ -n "${SENTRIO_DPI:-}" ]; then
  export WINEPREFIX="$WINEPREFIX-dpi$SENTRIO_DPI"
fi
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
SENTRIO_DISPLAY="${SENTRIO_DISPLAY:-:97}"
