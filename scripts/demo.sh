#!/usr/bin/env bash
# The main job, on a fresh machine: sets the machine up, builds what the demo needs, and runs it
# under Wine inside Xvfb: a Key prepared and listed in the admin console, the Notes client started
# with Tolvik, the PIN entered, a database opened without a password prompt, the Key pulled (the
# client locks) and put back (PIN, the client back). It runs on the shipped x64 images (the files
# Sentrio-x64.msi carries, in build/win64/bin) under the 64-bit Wine, and, where the machine can
# start 32-bit processes, a second time on the shipped x86 images (Sentrio-x86.msi's, in
# build/win32/bin) under the 32-bit Wine. Writes build/demo/index.html: for each run the images it
# ran (file, machine, size), a screenshot of each step and the timeline of the measured latencies.
# Each run then provisions three Keys from the command line: ArbolinCmd.exe's batch, the Keys
# inserted in another order than the CSV's rows; its output and its report (each Key and its
# outcome) go into the page too.
# Exit code 0 when every step of every run held and every batch provisioned its three Keys.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh

out=build/demo
mkdir -p "$out"
rm -rf "$out"/x64 "$out"/x86 "$out"/index.html

runs="x64"
if bash scripts/probe-32bit.sh && [ -x /usr/lib/wine/wine ]; then
  runs="x64 x86"
else
  echo "demo: this machine cannot start 32-bit processes; the x86 images are not run"
fi

# run_demo <arch>: builds and runs the demo on that bitness's shipped images; its record, the
# screenshots as PNG and the list of images into build/demo/<arch>/. Answers the demo's exit code.
run_demo() {
  local arch=$1 preset build runner objdump
  if [ "$arch" = x64 ]; then
    preset=win64-test build=build/win64 runner=scripts/wine-run.sh objdump=x86_64-w64-mingw32-objdump
  else
    preset=win32-ci build=build/win32 runner=scripts/wine-run32.sh objdump=i686-w64-mingw32-objdump
  fi
  local dir=$out/$arch
  mkdir -p "$dir"
  cmake --preset "$preset" -DSENTRIO_RUN_TESTS=ON >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target sentrio_demo installer ArbolinCmd quorelctl mkid
  rm -f "$build"/demo/steps.tsv
  # The images the run loads: the deliverables as shipped (stripped in place by the build).
  : >"$dir/images.tsv"
  while read -r name _; do
    [ -n "$name" ] || continue
    local f=$build/bin/$name machine
    machine=$("$objdump" -f "$f" | sed -n 's/.*file format //p')
    printf '%s\t%s\t%s\n' "$name" "$machine" "$(stat -c %s "$f")" >>"$dir/images.tsv"
  done <"$build/deliverables.txt"
  local rc=0
  bash "$runner" "$build/bin/sentrio_demo.exe" --gtest_color=no >"$dir/demo.log" 2>&1 || rc=$?
  sed "s/^demo: /demo ($arch): /" "$dir/demo.log" | grep '^demo (' || true
  if [ ! -s "$build/demo/steps.tsv" ]; then
    cat "$dir/demo.log" >&2
    echo "demo ($arch): no steps were recorded (see $dir/demo.log)" >&2
    return 1
  fi
  cp "$build/demo/steps.tsv" "$dir/steps.tsv"
  tail -n +2 "$dir/steps.tsv" | while IFS=$'\t' read -r step _ _ _ shot _; do
    name=${shot##*\\}
    if [ -n "$name" ] && [ -f "$build/screenshots/$name" ]; then
      convert "$build/screenshots/$name" "$dir/step-$(printf %02d "$step").png"
    fi
  done
  return $rc
}

# winpath <unix path>: the path as the Wine programs see it (drive Z: is the root).
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# run_batch <arch>: three Keys provisioned by ArbolinCmd's batch from a CSV file, the Keys inserted
# (Carl, then Anna, then the Key named by its card id) while the batch runs. Its output into
# build/demo/<arch>/batch.log, its report into build/demo/<arch>/batch-report.csv. Answers its exit
# code.
run_batch() {
  local arch=$1 build runner
  if [ "$arch" = x64 ]; then build=build/win64 runner=scripts/wine-run.sh; else build=build/win32 runner=scripts/wine-run32.sh; fi
  local dir=$out/$arch bin=$build/bin
  local work=$dir/batch
  rm -rf "$work" && mkdir -p "$work"
  work=$(cd "$work" && pwd)
  ctl() { bash "$runner" "$bin/quorelctl.exe" "$@" >/dev/null; }
  cmd() { bash "$runner" "$bin/ArbolinCmd.exe" "$@"; }
  ctl reset
  for r in "Reader A" "Reader B" "Reader C"; do ctl add-reader "$r"; done
  local anna bert carl
  anna=$(bash "$runner" "$bin/quorelctl.exe" create-key Anna 2468 | tr -dc 0-9)
  bert=$(bash "$runner" "$bin/quorelctl.exe" create-key "" "" | tr -dc 0-9)
  carl=$(bash "$runner" "$bin/quorelctl.exe" create-key Carl 1357 | tr -dc 0-9)
  # Bert's Key has no label: its row names its card id, read from the Key once.
  ctl insert "$bert" "Reader B"
  local bertId
  bertId=$(cmd list --json | tr -d '\r' | sed -n 's/.*"reader": "Reader B".*"cardId": "\([0-9A-F]*\)".*/\1/p')
  ctl pull "$bert"
  for who in admin:Admin/Morvath:admin-pw anna:"Anna Berg/Morvath":anna-pw bert:"Bert Brun/Morvath":bert-pw \
             carl:"Carl Cole/Morvath":carl-pw; do
    IFS=: read -r file user pw <<<"$who"
    bash "$runner" "$bin/mkid.exe" "$(winpath "$work/$file.id")" "$user" "$pw" >/dev/null
  done
  printf '[Notes]\r\nDirectory=%s\r\nKeyFileName=admin.id\r\n' "$(winpath "$work")" >"$work/notes.ini"
  # The secrets: readable by the administrator alone (no access for other users of the PC).
  ( umask 077; printf 'anna-pin=2468\r\nanna-pw=anna-pw\r\nbert-pw=bert-pw\r\ncarl-pin=1357\r\ncarl-pw=carl-pw\r\n' \
      >"$work/keys.secrets" )
  {
    printf 'key,id_file,password,pin\r\n'
    printf 'Anna,%s,secret:anna-pw,secret:anna-pin\r\n' "$(winpath "$work/anna.id")"
    printf '%s,%s,secret:bert-pw,none\r\n' "$bertId" "$(winpath "$work/bert.id")"
    printf 'Carl,%s,secret:carl-pw,secret:carl-pin\r\n' "$(winpath "$work/carl.id")"
  } >"$work/keys.csv"
  cp "$work/keys.csv" "$dir/batch-keys.csv"
  local ini_before
  ini_before=$(md5sum <"$work/notes.ini")
  cmd batch --csv "$(winpath "$work/keys.csv")" --ini "$(winpath "$work/notes.ini")" \
      --secrets "$(winpath "$work/keys.secrets")" --report "$(winpath "$work/report.csv")" --wait 60 \
      >"$dir/batch.log" 2>&1 &
  local batch=$!
  sleep 2; ctl insert "$carl" "Reader C"
  sleep 1; ctl insert "$anna" "Reader A"
  sleep 1; ctl insert "$bert" "Reader B"
  local rc=0
  wait "$batch" || rc=$?
  tr -d '\r' <"$work/report.csv" >"$dir/batch-report.csv" 2>/dev/null || true
  if [ "$(md5sum <"$work/notes.ini")" != "$ini_before" ]; then
    echo "demo ($arch): the batch changed notes.ini" >>"$dir/batch.log"
    rc=1
  fi
  tr -d '\r' <"$dir/batch.log" | sed "s/^/demo ($arch) batch: /"
  rm -f "$work/keys.secrets"
  return $rc
}

status=0
declare -A rcs
declare -A batch_rcs
for arch in $runs; do
  rc=0
  run_demo "$arch" || rc=$?
  rcs[$arch]=$rc
  if [ $rc -ne 0 ] || grep -q $'\tFAILED\t' "$out/$arch/steps.tsv" 2>/dev/null; then
    status=1
  fi
  rc=0
  run_batch "$arch" || rc=$?
  batch_rcs[$arch]=$rc
  [ $rc -eq 0 ] || status=1
done

# The page: per run, the images it ran, then one row per step, its time as a bar of the timeline,
# its screenshot.
{
  cat <<'HEAD'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Sentrio: the main job</title>
<style>body{font-family:sans-serif;margin:2em;color:#222}table{border-collapse:collapse}
td,th{border:1px solid #ccc;padding:4px 8px;vertical-align:top;text-align:left}
.ok{color:#176b1e;font-weight:bold}.FAILED{color:#b00020;font-weight:bold}
.bar{background:#4a78c2;height:14px;display:inline-block}.num{text-align:right}
img{max-width:640px;border:1px solid #999;margin:4px 0 16px}</style></head><body>
<h1>Sentrio: from a blank Key to a locked and restored Notes client</h1>
HEAD
  printf '<p>Run %s under Wine in Xvfb, on the shipped images of: %s.</p>\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" \
         "$(for a in $runs; do printf '%s ' "$a"; done | sed 's/ $//; s/ / and /')"
  if [ "$runs" = x64 ]; then
    echo '<p>The x86 images were not run: this machine cannot start 32-bit processes.</p>'
  fi
  for arch in $runs; do
    dir=$out/$arch
    if [ "$arch" = x64 ]; then pkg=Sentrio-x64.msi; kind="64-bit"; else pkg=Sentrio-x86.msi; kind="32-bit"; fi
    printf '<h2 id="%s">%s: the %s images</h2>\n' "$arch" "$arch" "$kind"
    printf '<p>The shipped images (stripped) that %s carries; the run starts the console and the %s Notes client stand-in beside them:</p>\n' "$pkg" "$kind"
    echo '<table><tr><th>Image</th><th>Format</th><th class="num">Bytes</th></tr>'
    awk -F'\t' '{ printf "<tr><td>%s</td><td>%s</td><td class=\"num\">%s</td></tr>\n", $1, $2, $3 }' "$dir/images.tsv"
    echo '</table>'
    if [ -s "$dir/steps.tsv" ]; then
      awk -F'\t' -v arch="$arch" -v rc="${rcs[$arch]}" '
        function esc(s) { gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s); return s }
        NR == 1 { next }
        { n++; step[n] = $1; title[n] = $2; result[n] = $3; ms[n] = $4 + 0; detail[n] = $6
          total += ms[n]; if (ms[n] > top) top = ms[n]; if ($3 != "ok") failed++ }
        END {
          printf "<p>%d steps, %s, %.1f s in all.</p>\n", n,
                 failed ? failed " FAILED" : (rc != 0 ? "the run FAILED" : "every step passed"), total / 1000
          print "<h3>Timeline</h3><table><tr><th>#</th><th>Step</th><th>Result</th><th>ms</th><th></th></tr>"
          for (i = 1; i <= n; i++) {
            w = top > 0 ? int(400 * ms[i] / top) : 0; if (w < 1) w = 1
            printf "<tr><td>%d</td><td><a href=\"#%s-s%d\">%s</a></td><td class=\"%s\">%s</td><td class=\"num\">%d</td><td><span class=\"bar\" style=\"width:%dpx\"></span></td></tr>\n",
                   step[i], arch, step[i], esc(title[i]), result[i], result[i], ms[i], w
          }
          print "</table><h3>Steps</h3>"
          for (i = 1; i <= n; i++) {
            printf "<h4 id=\"%s-s%d\">%d. %s: <span class=\"%s\">%s</span>, %d ms</h4>\n", arch, step[i], step[i],
                   esc(title[i]), result[i], result[i], ms[i]
            if (detail[i] != "") printf "<p>%s</p>\n", esc(detail[i])
            printf "<img src=\"%s/step-%02d.png\" alt=\"step %d\">\n", arch, step[i], step[i]
          }
          printf "<p>The full log is <a href=\"%s/demo.log\">%s/demo.log</a>.</p>\n", arch, arch
        }' "$dir/steps.tsv"
    else
      echo '<p class="FAILED">No steps were recorded.</p>'
    fi
    printf '<h3>Three Keys from the command line</h3>\n'
    printf '<p>ArbolinCmd.exe batch (exit code %s): the Keys were inserted Carl first, then Anna, then the Key with no label, named in the CSV by its card id; each is matched to its row by card id or label.</p>\n' "${batch_rcs[$arch]}"
    echo '<pre>'
    if [ -f "$dir/batch.log" ]; then sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g' "$dir/batch.log" | tr -d '\r'; fi
    echo '</pre><p>The report (no PIN, no password in it):</p><table>'
    [ ! -s "$dir/batch-report.csv" ] || awk -F',' 'NR == 1 { printf "<tr><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th></tr>\n", $1, $2, $3, $4, $6, $9; next }
               { printf "<tr><td>%s</td><td>%s</td><td class=\"%s\">%s</td><td>%s</td><td>%s</td><td>%s</td></tr>\n", $1, $2, ($3 == "done" ? "ok" : "FAILED"), $3, $4, $6, $9 }' \
        "$dir/batch-report.csv"
    echo '</table>'
  done
  echo '<p>Times run from the action of the step (a Key pulled, a PIN typed) to the moment the demo saw its'
  echo 'result in the windows, polled every 20 ms.</p>'
  echo '</body></html>'
} >"$out/index.html"

echo "demo: report in $out/index.html"
if [ $status -ne 0 ]; then
  echo "demo: a step failed (see $out/*/demo.log)" >&2
  exit 1
fi
