#!/usr/bin/env bash
# The main job, on a fresh machine: sets the machine up, builds what the demo needs, and runs it
# under Wine inside Xvfb: a Key prepared and listed in the admin console, the Notes client started
# with Tolvik, the PIN entered, a database opened without a password prompt, the Key pulled (the
# client locks) and put back (PIN, the client back). Writes build/demo/index.html with a
# screenshot of each step and the timeline of the measured latencies. Exit code 0 when every step
# held.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh

preset=win64-test
bin=build/win64/bin
shots=build/win64/screenshots
out=build/demo

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target sentrio_demo

mkdir -p "$out"
rm -f "$out"/steps.tsv "$out"/step-*.png "$out"/index.html
rc=0
bash scripts/wine-run.sh "$bin/sentrio_demo.exe" --gtest_color=no >"$out/demo.log" 2>&1 || rc=$?
grep '^demo: ' "$out/demo.log" || true
if [ ! -s "$out/steps.tsv" ]; then
  cat "$out/demo.log" >&2
  echo "demo: no steps were recorded (see $out/demo.log)" >&2
  exit 1
fi

# Screenshots as PNG beside the page.
tail -n +2 "$out/steps.tsv" | while IFS=$'\t' read -r step _ _ _ shot _; do
  name=${shot##*\\}
  if [ -n "$name" ] && [ -f "$shots/$name" ]; then
    convert "$shots/$name" "$out/step-$(printf %02d "$step").png"
  fi
done

# The page: one row per step, its time as a bar of the timeline, its screenshot.
awk -F'\t' -v when="$(date -u '+%Y-%m-%d %H:%M UTC')" -v rc="$rc" '
  function esc(s) { gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/>/, "\\&gt;", s); return s }
  NR == 1 { next }
  { n++; step[n] = $1; title[n] = $2; result[n] = $3; ms[n] = $4 + 0; detail[n] = $6
    total += ms[n]; if (ms[n] > top) top = ms[n]; if ($3 != "ok") failed++ }
  END {
    print "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Sentrio: the main job</title>"
    print "<style>body{font-family:sans-serif;margin:2em;color:#222}table{border-collapse:collapse}"
    print "td,th{border:1px solid #ccc;padding:4px 8px;vertical-align:top;text-align:left}"
    print ".ok{color:#176b1e;font-weight:bold}.FAILED{color:#b00020;font-weight:bold}"
    print ".bar{background:#4a78c2;height:14px;display:inline-block}.num{text-align:right}"
    print "img{max-width:640px;border:1px solid #999;margin:4px 0 16px}</style></head><body>"
    print "<h1>Sentrio: from a blank Key to a locked and restored Notes client</h1>"
    printf "<p>Run %s under Wine in Xvfb: %d steps, %s, %.1f s in all.</p>\n", when, n,
           failed ? failed " FAILED" : "every step passed", total / 1000
    print "<h2>Timeline</h2><table><tr><th>#</th><th>Step</th><th>Result</th><th>ms</th><th></th></tr>"
    for (i = 1; i <= n; i++) {
      w = top > 0 ? int(400 * ms[i] / top) : 0; if (w < 1) w = 1
      printf "<tr><td>%d</td><td><a href=\"#s%d\">%s</a></td><td class=\"%s\">%s</td><td class=\"num\">%d</td><td><span class=\"bar\" style=\"width:%dpx\"></span></td></tr>\n",
             step[i], step[i], esc(title[i]), result[i], result[i], ms[i], w
    }
    print "</table><h2>Steps</h2>"
    for (i = 1; i <= n; i++) {
      printf "<h3 id=\"s%d\">%d. %s: <span class=\"%s\">%s</span>, %d ms</h3>\n", step[i], step[i], esc(title[i]),
             result[i], result[i], ms[i]
      if (detail[i] != "") printf "<p>%s</p>\n", esc(detail[i])
      printf "<img src=\"step-%02d.png\" alt=\"step %d\">\n", step[i], step[i]
    }
    print "<p>Times run from the action of the step (a Key pulled, a PIN typed) to the moment the demo saw its"
    print "result in the windows, polled every 20 ms. The full log is <a href=\"demo.log\">demo.log</a>.</p>"
    print "</body></html>"
  }' "$out/steps.tsv" >"$out/index.html"

echo "demo: report in $out/index.html"
if [ $rc -ne 0 ] || grep -q $'\tFAILED\t' "$out/steps.tsv"; then
  echo "demo: a step failed (see $out/demo.log)" >&2
  exit 1
fi
