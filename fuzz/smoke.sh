#!/usr/bin/env bash
# A few seconds of every fuzz target, run by the test command through CTest. Per level:
#  - every target, passes only counted, runs 2000 executions from the seeds under ASan and
#    UBSan and must end cleanly: nothing but the level's own passes;
#  - each level's target must report a known winner as the level's pass, and a seed as none,
#    which checks that each target maps its input the way the level's dialog does.
# Exits 77 (CTest: skipped) when clang is not installed; the test command installs it.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

if [ -z "$(fuzz_compiler)" ]; then
  echo "clang++ not found: fuzz smoke run skipped"
  exit 77
fi

targets=(level1 level2 level3 level4 level4_repair level5 level6 level6_repair level6_nocmp)
build_fuzz "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for target in "${targets[@]}"; do
  level=${target:5:1}
  mkdir -p "$work/$target"
  log=$work/$target.log
  extra=()
  [ "$target" = level6_nocmp ] && extra=(-use_cmp=0)
  if TUMBLEWICK_FUZZ_KEEP_GOING=1 "$fuzz_build/$target" -seed=1 -runs=2000 -max_len="$(fuzz_max_len "$level")" "${extra[@]}" \
    -artifact_prefix="$work/$target/" "$work/$target" "$repo/fuzz/corpus/level$level" >"$log" 2>&1 &&
    grep -q '^Done 2000 runs' "$log"; then
    echo "ok: $target, 2000 executions from the seeds"
  else
    fail "$target did not end cleanly"
    tail -n 30 "$log"
  fi
done

for level in 1 2 3 4 5 6; do
  log=$work/level$level-winner.log
  if ! "$fuzz_build/level$level" "$repo/fuzz/winners/level$level.bin" >"$log" 2>&1 &&
    grep -q "^TUMBLEWICK: level $level passed" "$log"; then
    echo "ok: level$level reports the known winner as its pass"
  else
    fail "level$level did not report the known winner"
    tail -n 20 "$log"
  fi
  seed=$(find "$repo/fuzz/corpus/level$level" -type f | head -n 1)
  if "$fuzz_build/level$level" "$seed" >"$log" 2>&1; then
    echo "ok: level$level lets its seed be"
  else
    fail "level$level reported its seed $seed"
    tail -n 20 "$log"
  fi
done

[ $failures -eq 0 ] && echo "fuzz smoke run: all targets clean" || exit 1
