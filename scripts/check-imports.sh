#!/usr/bin/env bash
# Fails when a PE file of the build imports anything but Windows system DLLs (and the Notes client's
# own nnotes.dll, which the product imports by ordinal). A Notes PC has no mingw runtime DLLs.
# Usage: check-imports.sh <objdump> <folder>
set -u
objdump=$1
dir=$2
allowed='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|shlwapi|version|msvcrt|ole32|oleaut32|uuid|ws2_32|winmm|rpcrt4|crypt32|bcrypt|uxtheme|ntdll|imm32|winspool\.drv|hhctrl\.ocx|nnotes|quorel32|api-ms-win-[a-z0-9-]+)(\.dll)?$'
status=0
count=0
shopt -s nullglob nocaseglob
for f in "$dir"/*.exe "$dir"/*.dll; do
  count=$((count + 1))
  while read -r name; do
    lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
    if ! printf '%s' "$lower" | grep -Eq "$allowed"; then
      echo "$(basename "$f") imports $name"
      status=1
    fi
  done < <("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
if [ "$count" -eq 0 ]; then
  echo "no PE files in $dir"
  exit 1
fi
[ $status -eq 0 ] && echo "$count PE files import Windows system DLLs only"
exit $status
