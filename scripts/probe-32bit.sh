#!/usr/bin/env bash
# Answers whether this machine can start 32-bit x86 Linux processes (exit 0) or not (exit 1).
# Some kernels have their 32-bit system-call entry switched off; there neither the 32-bit Wine nor
# Wine's WoW64 mode can start a 32-bit Windows program. The probe is a 96-byte static ELF32 image
# that calls exit(7) through int 0x80: it answers 7 only where 32-bit code really runs.
# Never fails the caller: every way the probe cannot run counts as "no".
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/sentrio-probe32.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header (52 bytes), one program header (32 bytes), code: mov eax,1; mov ebx,7; int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000' >>"$probe"
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
printf '\270\001\000\000\000\273\007\000\000\000\315\200' >>"$probe"
chmod +x "$probe" 2>/dev/null || exit 1
( "$probe" ) >/dev/null 2>&1
[ $? -eq 7 ]
