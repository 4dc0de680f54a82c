#!/usr/bin/env bash
# The fault sweep, run by hand (each run starts the Notes client stand-in afresh, some 13 s): every
# k of every failure kind over Tolvik's start-up logon, in the 64-bit test build. Prints the count
# of runs and every failure. Usage: bash scripts/fault-sweep.sh [max k per entry, 0 = all]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset win64-test >/dev/null
# The admin console's Key commands instead (each run starts the console afresh, some 5 s), every
# failure kind: bash scripts/fault-sweep.sh console [max k per entry, 0 = all]
if [ "${1:-}" = console ]; then
  cmake --build --preset win64-test -j 2 --target arbolin_fault_sweep_tests
  export SENTRIO_SWEEP_MAX_K=${2:-0} SENTRIO_SWEEP_KINDS=all SENTRIO_TEST_WATCHDOG=0
  cd build/win64/bin
  exec env WINEDEBUG=-all bash "$root/scripts/wine-run.sh" ./arbolin_fault_sweep_tests.exe --gtest_color=no
fi
cmake --build --preset win64-test -j 2 --target tolvik_fault_sweep_tests
export SENTRIO_SWEEP_MAX_K=${1:-0}
# A full sweep is one long test: the per-test watchdog would end it.
export SENTRIO_TEST_WATCHDOG=0
cd build/win64/bin
WINEDEBUG=-all bash "$root/scripts/wine-run.sh" ./tolvik_fault_sweep_tests.exe --gtest_color=no
