#!/usr/bin/env bash
# Runs the Wine test program against the game under a locale, whose code page decides the
# language: run.sh LOCALE WINE_TESTS.exe Velk_Game.exe [gtest args...]. The test command
# prepares the prefix and display; the game's standard error is its relay trace.
set -u
: "${WINEPREFIX:?run through the test command}" "${DISPLAY:?run through the test command}"
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
locale=$1 driver=$2 game=$3 && shift 3
trace=$(mktemp /tmp/tumblewick-trace.XXXXXX) work=$(mktemp -d /tmp/tumblewick-work.XXXXXX)
# The fuzzer's own winners of the file levels, or, without a fuzz run, the lab's known ones.
winners=${TUMBLEWICK_FUZZ_WINNERS:-$(dirname "$0")/../../fuzz/winners}
TUMBLEWICK_FUZZ_WINNERS=$(winpath "$winners") TUMBLEWICK_GAME=$(winpath "$game") LC_ALL=$locale \
  TUMBLEWICK_TRACE=$(winpath "$trace") TUMBLEWICK_WORK=$(winpath "$work") WINEDEBUG=-all \
  wine "$driver" "$@" 2>>"$trace"
rc=$? && rm -rf "$work"
[ $rc -eq 0 ] && rm -f "$trace" || echo "relay trace kept in $trace"
exit $rc
