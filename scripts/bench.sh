#!/usr/bin/env bash
# Runs every benchmark and prints one table: the logon story in the Notes client with Tolvik
# (inserted -> PIN prompt, PIN -> client on the Key's ID, pulled -> locked, re-inserted -> back),
# the Key operations on the Notes record, the console's Key commands, the reader monitor's idle CPU as the host sees the
# process, and what Tolvik adds to the client's handles and memory. Each at the stand-in's own
# speed and at a real card's (30 ms a call, 9600 bytes a second) where speed matters.
#   scripts/bench.sh [cycles, default 30] [idle seconds, default 60] [soak cycles, default 1000]
# The full output of each program is kept in build/bench/.
#
# It runs in a Wine prefix of its own (SENTRIO_BENCH_WINEPREFIX, default "<test prefix>-bench"),
# made on first use by scripts/bench-env.sh, where Wine does not wait for a window manager.
# Figures are noisy on a machine shared with other work.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
cycles=${1:-30}
idle=${2:-60}
soak=${3:-1000}

bench_targets="bench_tolvik bench_keydata bench_console_ops bench_keymonitor bench_soak"
. "$here/bench-env.sh"
bin="$root/build/win64/bin"
out="$root/build/bench"
mkdir -p "$out"


run() {  # name, program and arguments
  local name=$1
  shift
  (cd "$bin" && "$here/wine-run.sh" "$@") >"$out/$name.txt" 2>&1 || echo "($name ended with an error; see build/bench/$name.txt)" >>"$out/$name.txt"
}

run tolvik ./bench_tolvik.exe "$cycles"
run keydata ./bench_keydata.exe 10
run console-ops ./bench_console_ops.exe 10
run keymonitor ./bench_keymonitor.exe "$idle"
run soak-tolvik ./bench_soak.exe tolvik "$soak" "$(( soak >= 10 ? soak / 10 : 1 ))"

echo "| speed | figure | median / value | max / detail | over |"
echo "| --- | --- | --- | --- | --- |"
cat "$out/tolvik.txt" "$out/keydata.txt" "$out/console-ops.txt" "$out/keymonitor.txt" | grep '^|' || true
grep '^|' "$out/soak-tolvik.txt" || true
grep -E 'drift|did not' "$out"/*.txt | sed 's/^.*bench\//  /' || true
for f in "$out"/*.txt; do grep -q 'ended with an error' "$f" && echo "  $(basename "$f"): see the file" || true; done
