#!/usr/bin/env bash
# The main job, on a fresh machine: sets the machine up, builds what the demo needs, and runs it
# under Wine inside Xvfb: a Key prepared and listed in the admin console, the Notes client started
# with Tolvik, the PIN entered, a database opened without a password prompt, the Key pulled (the
# client locks) and put back (PIN, the client back). It runs on the shipped x64 images (the files
# Sentrio-x64.msi carries, in build/win64/bin) under the 64-bit Wine, and, where the machine can
# start 32-bit processes, a second time on the shipped x86 images (Sentrio-x86.msi's, in
# build/win32/bin) under the 32-bit Wine. Writes build/demo/index.html: for each run the images it
# ran (file, machine, size), a screenshot of each step and the timeline of the measured latencies.
# Exit code 0 when every step of every run held.
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
  cmake --build --preset "$preset" -j "$(nproc)" --target sentrio_demo installer
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

status=0
declare -A rcs
for arch in $runs; do
  rc=0
  run_demo "$arch" || rc=$?
  rcs[$arch]=$rc
  if [ $rc -ne 0 ] || grep -q $'\tFAILED\t' "$out/$arch/steps.tsv" 2>/dev/null; then
    status=1
  fi
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
