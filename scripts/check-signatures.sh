#!/usr/bin/env bash
# Checks that every deliverable of deliverables.txt and the installer package (Sentrio-x86.msi or
# Sentrio-x64.msi) in the program folder
# carry a valid Authenticode signature by the given certificate.
# Usage: check-signatures.sh OSSLSIGNCODE CERT BIN_DIR DELIVERABLES_TXT
set -u
tool=$1 cert=$2 dir=$3 list=$4
status=0
for f in $(cut -d' ' -f1 "$list") $(cd "$dir" && ls Sentrio-x86.msi Sentrio-x64.msi 2>/dev/null); do
  if "$tool" verify -CAfile "$cert" -in "$dir/$f" >/dev/null 2>&1; then
    echo "signed: $f"
  else
    echo "NOT SIGNED (or not by $cert): $f"
    status=1
  fi
done
exit $status
