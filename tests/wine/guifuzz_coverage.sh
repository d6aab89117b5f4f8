#!/usr/bin/env bash
# The GUI fuzzer on the fuzz lab's coverage build: level 1 repeated never shows new coverage and
# is beaten with coverage feedback; level 6, reached with the lab's winners, is beaten by cmp
# without the repair; the release game is refused for coverage feedback with one clear line.
#   guifuzz_coverage.sh LOCALE tumblewick-guifuzz.exe Velk_Game-cov.exe Velk_Game.exe WINNERS
set -u
: "${WINEPREFIX:?run through the test command}" "${DISPLAY:?run through the test command}"
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
locale=$1 fuzzer=$2 game=$(winpath "$3") release=$(winpath "$4") winners=$(winpath "$5")
out= rc=
fuzz() {  # a file, not a pipe, which the Wine services it may start would hold open
  local log && log=$(mktemp)
  LC_ALL=$locale WINEDEBUG=-all wine "$fuzzer" --seed 1 --json "$@" >"$log" 2>&1
  rc=$? && out=$(cat "$log") && rm -f "$log" && echo "$out"
}
fail() { echo "FAILED: $*" && exit 1; }

fuzz --level 1 --feedback coverage --repeat 30 "$game"
grep -q '^{"level":1,.*"feedback":"coverage",.*"repeats_new":0' <<<"$out" || fail "a repeat showed new coverage"
fuzz --level 1 --feedback coverage --submissions 300 "$game"
grep -q '^{"level":1,.*"beaten":true' <<<"$out" && [ $rc -eq 0 ] || fail "level 1 not beaten"
fuzz --level 6 --feedback cmp --plain --submissions 400 --replay "$winners" "$game"
grep -q '^{"level":6,"mode":"plain","beaten":true' <<<"$out" &&
  [ $rc -eq 0 ] || fail "level 6 not beaten by cmp without the repair"
fuzz --level 1 --feedback cmp --submissions 10 "$release"
[ $rc -eq 2 ] && grep -q 'records no coverage' <<<"$out" || fail "the release game was not refused"
exit 0
