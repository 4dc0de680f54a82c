#!/usr/bin/env bash
# The test command: sets the machine up; builds the 32-bit Windows images (the deliverables, warnings
# as errors) and checks their imports; builds the same sources as 64-bit Windows programs and runs
# every test under Wine inside Xvfb; builds the portable code for the host and runs its tests under
# the sanitizers.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
. scripts/wine-env.sh

cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  num=${SENTRIO_DISPLAY#:}
  if [ -e "/tmp/.X$num-lock" ]; then
    kill "$(tr -d ' ' < "/tmp/.X$num-lock")" >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

jobs=$(nproc)
status=0

cmake --preset win32-ci >/dev/null
cmake --build --preset win32-ci -j "$jobs"
ctest --preset win32-ci --no-tests=error || status=1

cmake --preset win64-test >/dev/null
cmake --build --preset win64-test -j "$jobs"
ctest --preset win64-test -j "$jobs" --no-tests=error || status=1

# Screenshots are saved as BMP by the tests; PNG is what people and viewers want.
shopt -s nullglob
for bmp in build/win64/screenshots/*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
ctest --preset host --no-tests=error || status=1
exit $status
