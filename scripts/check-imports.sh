#!/usr/bin/env bash
# Fails when a PE file of the build imports anything but Windows system DLLs. A Notes PC has no
# mingw runtime DLLs. Each deliverable may import only the extra DLLs its line in the deliverables
# list names (Tolvik: the Notes client's nnotes.dll and hhctrl.ocx, say); the other images of the
# build (tests, stand-ins) may also import the stand-ins' libraries. Quorel32.dll, bioapi100.dll
# and the vendor modules are loaded by name, never imported, by a deliverable.
# nnotes.dll is imported by name in a 64-bit image (the ordinals are the 32-bit library's; nothing
# says the 64-bit one keeps them): a 64-bit image importing it by ordinal fails. A 32-bit
# deliverable imports it by those ordinals only, as the toolkit's notes.lib does.
# Usage: check-imports.sh <objdump> <folder> [<deliverables list>]
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

# Prints "<ordinal|name> <what>" for each function <file> imports from nnotes.dll.
nnotes_imports() {
  "$objdump" -p "$1" | awk '
    /^[[:space:]]*DLL Name: / { inblock = (tolower($3) == "nnotes.dll"); next }
    inblock && /^[[:space:]]*$/ { inblock = 0; next }
    inblock && /Hint\/Ord/ { next }
    function hexval(h,   i, v) { v = 0; h = tolower(h)
      for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
      return v }
    inblock && NF >= 3 { if ($3 == "<none>") print "ordinal", hexval(substr($1, length($1) - 3)); else print "name", $3 }'
}

# Whether <file> is listed as a deliverable.
is_deliverable() {
  [ -n "$list" ] && awk -v n="$(basename "$1" | tr 'A-Z' 'a-z')" 'tolower($1) == n { found = 1 } END { exit !found }' "$list"
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
  if "$objdump" -f "$f" | grep -q 'file format pei-x86-64'; then
    while read -r how what; do
      if [ "$how" = ordinal ]; then
        echo "$(basename "$f") imports nnotes.dll by ordinal ($what): a 64-bit image imports the Notes API by name"
        status=1
      fi
    done < <(nnotes_imports "$f")
  elif is_deliverable "$f"; then
    while read -r how what; do
      if [ "$how" = name ]; then
        echo "$(basename "$f") imports nnotes.dll by name ($what): a 32-bit image imports the Notes API by the ordinals of the 32-bit library"
        status=1
      fi
    done < <(nnotes_imports "$f")
  fi
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
