#!/usr/bin/env bash
# Runs the Wine test program against the game. The test command prepares the prefix, the
# display and the locale; this only wires up the game path and the relay trace.
# Usage: run_wine_test.sh WINE_TESTS.exe Velk_Game.exe [gtest args...]
set -u
driver=$1 game=$2
shift 2
: "${WINEPREFIX:?run through the test command (WINEPREFIX is not set)}"
: "${DISPLAY:?run through the test command (DISPLAY is not set)}"
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }

trace=$(mktemp "${TMPDIR:-/tmp}/tumblewick-trace.XXXXXX")
export TUMBLEWICK_GAME=$(winpath "$game")
export TUMBLEWICK_TRACE=$(winpath "$trace")
if [ -n "${TUMBLEWICK_SHOTS_DIR:-}" ]; then
  mkdir -p "$TUMBLEWICK_SHOTS_DIR"
  export TUMBLEWICK_SHOTS=$(winpath "$TUMBLEWICK_SHOTS_DIR")
fi
# The driver itself stays quiet; it turns the relay on for each game it starts, whose
# standard error is inherited from here.
env LC_ALL="${TUMBLEWICK_LOCALE:-zh_CN.UTF-8}" ${TUMBLEWICK_LOCPATH:+LOCPATH="$TUMBLEWICK_LOCPATH"} \
  WINEDEBUG=-all wine "$driver" "$@" 2>>"$trace"
rc=$?
if [ $rc -ne 0 ]; then
  echo "relay trace kept in $trace"
else
  rm -f "$trace"
fi
exit $rc
