#!/usr/bin/env bash
# Runs the Wine test program against the game under a locale (its code page decides the
# language). The test command prepares the prefix and the display; this wires up the game's
# path and its relay trace, which is the game's standard error.
# Usage: run.sh LOCALE WINE_TESTS.exe Velk_Game.exe [gtest args...]
set -u
locale=$1 driver=$2 game=$3
shift 3
: "${WINEPREFIX:?run through the test command}" "${DISPLAY:?run through the test command}"
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
trace=$(mktemp "${TMPDIR:-/tmp}/tumblewick-trace.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/tumblewick-work.XXXXXX")  # each game's folder and files
# The fuzzer's own winners of the file levels, or, without a fuzz run, the lab's known ones.
winners=${TUMBLEWICK_FUZZ_WINNERS:-$(dirname "$0")/../../fuzz/winners}
TUMBLEWICK_FUZZ_WINNERS=$(winpath "$winners") TUMBLEWICK_GAME=$(winpath "$game") TUMBLEWICK_TRACE=$(winpath "$trace") TUMBLEWICK_WORK=$(winpath "$work") \
  LC_ALL=$locale WINEDEBUG=-all wine "$driver" "$@" 2>>"$trace"
rc=$?
rm -rf "$work"
[ $rc -eq 0 ] && rm -f "$trace" || echo "relay trace kept in $trace"
exit $rc
