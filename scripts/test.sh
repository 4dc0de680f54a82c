#!/usr/bin/env bash
# The test command: sets the machine up; builds the x86 deliverables and Sentrio-x86.msi (warnings
# as errors) and checks their imports; builds the x64 deliverables and Sentrio-x64.msi from the same
# sources and runs every test on those images under the 64-bit Wine inside Xvfb; where the machine
# can start 32-bit processes, runs every test a second time on the x86 images under the 32-bit Wine;
# builds the portable code for the host and runs its tests under the sanitizers (the monitor gate's
# also under ThreadSanitizer). A failure in any set fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh

if ! bash scripts/probe-32bit.sh; then
  run32=OFF
  echo "test: this machine cannot start 32-bit processes, so the 32-bit set is skipped; the 64-bit set runs alone"
elif [ ! -x /usr/lib/wine/wine ]; then
  run32=OFF
  echo "test: the 32-bit Wine is not installed (see the setup's output), so the 32-bit set is skipped; the 64-bit set runs alone"
else
  run32=ON
fi

# Ends the wineservers and X servers that the runs started, 64-bit and 32-bit alike.
cleanup() {
  for arch in win64 win32; do
    (
      export SENTRIO_WINE_ARCH=$arch
      . scripts/wine-env.sh
      [ -x "$WINESERVER" ] && "$WINESERVER" -k >/dev/null 2>&1
      num=${SENTRIO_DISPLAY#:}
      if [ -e "/tmp/.X$num-lock" ]; then
        kill "$(tr -d ' ' < "/tmp/.X$num-lock")" >/dev/null 2>&1
      fi
    ) || true
  done
}
trap cleanup EXIT

jobs=$(nproc)
status=0
started=$SECONDS
lap() { echo "test: $1 took $((SECONDS - started)) s"; started=$SECONDS; }

cmake --preset win32-ci -DSENTRIO_RUN_TESTS=$run32 >/dev/null
cmake --build --preset win32-ci -j "$jobs"
lap "the 32-bit build"

cmake --preset win64-test >/dev/null
cmake --build --preset win64-test -j "$jobs"
lap "the 64-bit build"

# The two sets run side by side: each has a wineserver, prefix and display of its own, so their
# named kernel objects and windows never meet, and their tests mostly wait for windows. Each set's
# output is printed whole when it ends, with its lane's name on every line.
lane() {
  local name=$1 preset=$2 parallel=$3 rc=0
  ctest --preset "$preset" -j "$parallel" --no-tests=error >"build/$name.log" 2>&1 || rc=$?
  sed "s/^/[$name] /" "build/$name.log"
  return $rc
}
lane win64 win64-test "$jobs" &
lane64=$!
# The 32-bit set: the import check always; every test where 32-bit processes run.
lane win32 win32-ci "$jobs" &
lane32=$!
wait $lane64 || status=1
wait $lane32 || status=1
lap "the 64-bit and 32-bit sets"

# Screenshots are saved as BMP by the tests; PNG is what people and viewers want.
shopt -s nullglob
for bmp in build/win64/screenshots/*.bmp build/win32/screenshots/*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
ctest --preset host --no-tests=error || status=1
# The monitor gate's tests again under ThreadSanitizer, which cannot share a build with the
# address sanitizer.
cmake --preset host-tsan >/dev/null
cmake --build --preset host-tsan -j "$jobs"
ctest --preset host-tsan --no-tests=error || status=1
lap "the host set"
exit $status
