#!/usr/bin/env bash
# A few seconds of every fuzz target, run by the test command through CTest:
#  - every target, passes only counted, runs 2000 executions from its seeds under ASan and
#    UBSan and must end cleanly: nothing but the level's own passes;
#  - each level's target must report its known winner (winners/) as the level's pass and its
#    seeds as none, which checks that it maps its input the way the level's dialog does.
# Exits 77 (CTest: skipped) when clang is not installed; the test command installs it.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

if [ -z "$(fuzz_compiler)" ]; then
  echo "clang++ not found: fuzz smoke run skipped"
  exit 77
fi
build_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() { # expect WHAT COMMAND...: tells whether COMMAND succeeds, with run_log when not
  if "${@:2}"; then
    echo "ok: $1"
  else
    echo "FAIL: $1"
    tail -n 20 "$run_log"
    failures=$((failures + 1))
  fi
}

for target in $(fuzz_targets); do
  keep_going "$target" "$work/$target" 2000 1
  expect "$target, 2000 executions from the seeds" [ "$run_fault/$run_execs" = no/2000 ]
done

for level in 1 2 3 4 5 6; do
  run_log=$work/level$level.log
  "$fuzz_build/level$level" "$fuzz_dir/winners/level$level.bin" >"$run_log" 2>&1 || true
  expect "level$level reports its known winner as the pass" \
    grep -q "^TUMBLEWICK: level $level passed$" "$run_log"
  rc=0
  "$fuzz_build/level$level" "$fuzz_dir/corpus/level$level"/* >"$run_log" 2>&1 || rc=$?
  expect "level$level lets its seeds be" [ $rc = 0 ]
done

[ $failures -eq 0 ] && echo "fuzz smoke run: all targets clean" || exit 1
