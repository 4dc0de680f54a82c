#!/usr/bin/env bash
# Runs one 32-bit Windows program under the 32-bit Wine, in the 32-bit prefix and on the 32-bit
# set's display: the emulator of the 32-bit build's tests (scripts/wine-env.sh).
export SENTRIO_WINE_ARCH=win32
exec bash "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$@"
