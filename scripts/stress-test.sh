#!/usr/bin/env bash
# The load check, not part of CI: runs the Wine suite N times while two CPU-bound processes run
# beside it, then prints how many runs passed and the slowest step and test.
# Usage: scripts/stress-test.sh [N] (default 10). Builds what test.sh builds for Wine, if need be.
set -euo pipefail
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

runs=${1:-10}
case $runs in
  '' | *[!0-9]* | 0) echo "usage: scripts/stress-test.sh [N], N a number of runs from 1" >&2 && exit 2 ;;
esac
ensure_packages "${game_packages[@]}" "${test_packages[@]}"
build_game ON >/dev/null
prepare_prefix
[ -d "$build/fuzz/winners-found" ] && export TUMBLEWICK_FUZZ_WINNERS=$build/fuzz/winners-found

hogs=()
stop_all() {
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null || true; done
  stop_display
}
trap stop_all EXIT
start_display
wineserver -p >/dev/null 2>&1 || true
for _ in 1 2; do
  sh -c 'while :; do :; done' &
  hogs+=($!)
done

export TUMBLEWICK_STEP_TIMES=1  # each game reports its slowest step
logs=$build/stress
rm -rf "$logs" && mkdir -p "$logs"
passed=0
for i in $(seq "$runs"); do
  log=$logs/run$i.log
  if ctest --test-dir "$build/win" --output-on-failure --timeout 120 -V >"$log" 2>&1; then
    passed=$((passed + 1)) && result=passed
  else
    result="FAILED (see $log)"
  fi
  say "run $i/$runs: $result, load average $(cut -d' ' -f1 /proc/loadavg)"
done

echo "passed: $passed/$runs"
# "N: slowest step: MS ms, TEST, up to EVENT" from each game; ctest's "Passed  S sec" per test.
grep -ho 'slowest step: .*' "$logs"/run*.log | sort -t" " -k3 -n | tail -1 || true
grep -h 'Test *#.* sec$' "$logs"/run*.log | awk '{print $(NF-1), $4}' | sort -n | tail -1 |
  awk '{print "slowest test: " $1 " s, " $2}'
[ "$passed" -eq "$runs" ]
