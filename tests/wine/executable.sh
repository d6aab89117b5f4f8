#!/usr/bin/env bash
# The game is a 64-bit Windows GUI program that imports nothing a clean Windows lacks.
dump=$(x86_64-w64-mingw32-objdump -p "$1") || exit 1
grep -q 'file format pei-x86-64' <<<"$dump" && grep -q 'Subsystem.*Windows GUI' <<<"$dump" || exit 1
dlls=$(sed -n 's/.*DLL Name: //p' <<<"$dump" | tr a-z A-Z | sort | tr '\n' ' ')
[ "$dlls" = "COMDLG32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || { echo "imports: $dlls"; exit 1; }
