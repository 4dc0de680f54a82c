#!/usr/bin/env bash
# The long fuzz campaign, run by hand (CI runs each target for a few seconds only, in the host set):
#   bash scripts/fuzz.sh --runs 10000000          # each target for ten million inputs
#   bash scripts/fuzz.sh --seconds 600 fuzz_bir_bioapi
# Builds the host preset's fuzz targets, then runs the targets one after another, each with one
# worker (the machine's cores are shared), from its seeds in tests/fuzz/corpus/<target>/ and a
# working corpus of its own in build/host/fuzz-campaign/<target>/. Prints per target the inputs
# run, the rate, the corpus size and the findings (crash, leak, timeout, out-of-memory inputs, kept
# in that directory); exits 1 when any target has a finding. A finding fixed becomes a regression
# seed: copy it into the target's seed directory as regress-<what>.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

budget=(-runs=1000000)
what="1000000 inputs"
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --runs) budget=(-runs="$2"); what="$2 inputs"; shift 2 ;;
    --seconds) budget=(-max_total_time="$2"); what="$2 s"; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

cmake --preset host >/dev/null
cmake --build --preset host -j 2 --target "${targets[@]}"

status=0
summary=()
for t in "${targets[@]}"; do
  work=build/host/fuzz-campaign/$t
  mkdir -p "$work/corpus"
  echo "fuzz: $t for $what"
  log=$work/last-run.log
  rc=0
  ASAN_OPTIONS=detect_leaks=1 "build/host/tests/fuzz/$t" "${budget[@]}" \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corpus=$(find "$work/corpus" "tests/fuzz/corpus/$t" -type f | wc -l)
  findings=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ]; then
    status=1
    tail -40 "$log"
  fi
  summary+=("$(printf '%-26s %12s inputs %8s/s corpus %5s findings %s (exit %s)' "$t" "${runs:-?}" "${rate:-?}" \
    "$corpus" "$findings" "$rc")")
done
echo "fuzz: summary ($what per target)"
printf '  %s\n' "${summary[@]}"
exit $status
