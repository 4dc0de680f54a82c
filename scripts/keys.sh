#!/usr/bin/env bash
# Virtual Keys by hand, while the demo, the console or the client runs: inserts, pulls, blocks and
# slows down the Keys of the Quorel32.dll stand-in, in the same Wine prefix and display as the demo
# (SENTRIO_WINEPREFIX and SENTRIO_DISPLAY choose others, as for the tests).
#
#   bash scripts/keys.sh list                    readers, Keys and their states
#   bash scripts/keys.sh new LABEL [PIN]         a new Key (prints its number), not inserted
#   bash scripts/keys.sh insert KEY [READER]     into READER ("Reader A" unless named; made when missing)
#   bash scripts/keys.sh pull KEY
#   bash scripts/keys.sh block KEY | unblock KEY
#   bash scripts/keys.sh slow MS | slow off      every Key call takes MS longer
#   bash scripts/keys.sh console                 starts the admin console among the virtual Keys
#   bash scripts/keys.sh screenshot FILE.png     the whole virtual screen
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$root/build/win64/bin"
usage() { sed -n '5,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 1 ] || usage
if [ ! -x "$bin/quorelctl.exe" ] && [ "$1" != screenshot ]; then
  cmake --preset win64-test >/dev/null
  cmake --build --preset win64-test --target quorelctl Arbolin Ostrel >/dev/null
fi
ctl() { bash "$root/scripts/wine-run.sh" "$bin/quorelctl.exe" "$@"; }
reader="Reader A"
case "$1" in
  list) ctl dump ;;
  new) [ $# -ge 2 ] || usage; ctl create-key "$2" "${3:-}" ;;
  insert)
    [ $# -ge 2 ] || usage
    reader=${3:-$reader}
    ctl add-reader "$reader" >/dev/null 2>&1 || true   # already there: nothing changes
    ctl insert "$2" "$reader" ;;
  pull) [ $# -eq 2 ] || usage; ctl pull "$2" ;;
  block) [ $# -eq 2 ] || usage; ctl block "$2" ;;
  unblock) [ $# -eq 2 ] || usage; ctl block "$2" unblock ;;
  slow)
    [ $# -eq 2 ] || usage
    if [ "$2" = off ]; then ctl latency 0 0; else ctl latency "$2" 0; fi ;;
  console)
    ( bash "$root/scripts/wine-run.sh" "$bin/Arbolin.exe" >/dev/null 2>&1 & )
    echo "keys: the console starts on display ${SENTRIO_DISPLAY:-:97}" ;;
  screenshot)
    [ $# -eq 2 ] || usage
    . "$root/scripts/wine-env.sh"
    import -display "$SENTRIO_DISPLAY" -window root "$2"
    echo "keys: $2" ;;
  *) usage ;;
esac
