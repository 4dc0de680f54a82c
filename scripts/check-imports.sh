#!/usr/bin/env bash
# Fails when a PE file of the build imports anything but Windows system DLLs. A Notes PC has no
# mingw runtime DLLs. Each deliverable may import only the extra DLLs its line in the deliverables
# list names (Tolvik: the Notes client's nnotes.dll, imported by ordinal, and hhctrl.ocx, say);
# the other images of the build (tests, stand-ins) may also import the stand-ins' libraries.
# Quorel32.dll, bioapi100.dll and the vendor modules are loaded by name, never imported, by a
# deliverable. Usage: check-imports.sh <objdump> <folder> [<deliverables list>]
set -u
objdump=$1
dir=$2
list=${3:-}
system='kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|shlwapi|version|msi|msvcrt|ole32|oleaut32|uuid|ws2_32|winmm|rpcrt4|crypt32|bcrypt|uxtheme|ntdll|imm32|winspool\.drv|api-ms-win-[a-z0-9-]+'
others='nnotes|quorel32|hhctrl\.ocx'

# The pattern of what <file> may import.
allowed_for() {
  local name extras
  name=$(basename "$1" | tr 'A-Z' 'a-z')
  if [ -n "$list" ] && extras=$(awk -v n="$name" 'tolower($1) == n { $1 = ""; print; found = 1 } END { exit !found }' "$list"); then
    extras=$(printf '%s' "$extras" | tr 'A-Z' 'a-z' | sed 's/^ *//; s/ *$//; s/\./\\./g; s/  */|/g')
    printf '^(%s%s)(\\.dll)?$' "$system" "${extras:+|$extras}"
  else
    printf '^(%s|%s)(\\.dll)?$' "$system" "$others"
  fi
}

status=0
count=0
shopt -s nullglob nocaseglob
for f in "$dir"/*.exe "$dir"/*.dll; do
  count=$((count + 1))
  allowed=$(allowed_for "$f")
  while read -r name; do
    lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
    if ! printf '%s' "$lower" | grep -Eq "$allowed"; then
      echo "$(basename "$f") imports $name, which it may not"
      status=1
    fi
  done < <("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
if [ "$count" -eq 0 ]; then
  echo "no PE files in $dir"
  exit 1
fi
if [ -n "$list" ]; then
  while read -r name _; do
    [ -n "$name" ] || continue
    if [ ! -e "$dir/$name" ]; then
      echo "deliverable $name is missing from $dir"
      status=1
    fi
  done <"$list"
fi
[ $status -eq 0 ] && echo "$count PE files import Windows system DLLs only; the deliverables only what their lists allow"
exit $status
