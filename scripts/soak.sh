#!/usr/bin/env bash
# The long soak, run by hand: 1000 insert/pull cycles with Tolvik in the Notes client stand-in and
# 1000 with the admin console, the process's handle count and private bytes at the start and every
# 100 cycles; each run fails when it drifts: after a warm-up of a tenth of the run, the median growth
# of five equal segments over 512 KB or 5 handles per 1000 cycles (bench/soak/soak.cpp).
#   scripts/soak.sh [cycles, default 1000] [every, default 100]
# Runs in the benchmarks' Wine prefix (see scripts/bench.sh: windows not handed to a window
# manager, so that the client cycles are not held up 2 s per closed window under a bare Xvfb).
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
cycles=${1:-1000}
every=${2:-100}
bench_targets=bench_soak
. "$here/bench-env.sh"
cd "$root/build/win64/bin"
status=0
"$here/wine-run.sh" ./bench_soak.exe tolvik "$cycles" "$every" --check || status=1
"$here/wine-run.sh" ./bench_soak.exe console "$cycles" "$every" --check || status=1
exit $status
