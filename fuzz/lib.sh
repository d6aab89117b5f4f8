# Shared by fuzz.sh, fuzz/smoke.sh and fuzz/find_winner.sh: the fuzz build and one bounded
# libFuzzer run of a level.
# shellcheck shell=bash

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

fuzz_build=$build/fuzz

fuzz_compiler() { command -v clang++ || command -v clang++-14; }

# Configures the fuzz build when needed and builds the given targets; the
# build's output is shown only when it fails.
build_fuzz() {
  local log
  log=$(mktemp)
  if ! { [ -f "$fuzz_build/CMakeCache.txt" ] ||
    cmake -S "$repo/fuzz" -B "$fuzz_build" -DCMAKE_CXX_COMPILER="$(fuzz_compiler)"; } >"$log" 2>&1 ||
    ! cmake --build "$fuzz_build" -j"$(nproc)" --target "$@" >>"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# libFuzzer never makes an input longer than this. The file levels get twice their minimum
# size, so that many sizes are open (level 4 at 4096 would leave only one); level 2 reads
# exactly four numbers; the text levels keep libFuzzer's usual 4096, more than either
# field holds.
fuzz_max_len() {
  case $1 in
    2) echo 16 ;;
    3 | 6) echo 2048 ;;
    4) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

# Techniques each level is measured with (fuzz.sh --compare and the table).
fuzz_modes() {
  case $1 in
    3) echo "plain no-seeds no-seeds+dict no-seeds+value-profile no-seeds+dict+value-profile" ;;
    4) echo "plain value-profile repair repair+value-profile" ;;
    5) echo "plain dict value-profile" ;;
    6) echo "plain value-profile no-cmp no-cmp+value-profile repair repair+value-profile" ;;
    *) echo "plain value-profile" ;;
  esac
}

# The target that a mode runs.
fuzz_target() {
  local level=$1 mode=$2
  case "+$mode+" in
    *+repair+*) echo "level${level}_repair" ;;
    *+no-cmp+*) echo "level${level}_nocmp" ;;
    *) echo "level${level}" ;;
  esac
}

# run_level LEVEL MODE SECONDS SEED [ARTIFACT]: one run until the level is beaten or the time
# is up. MODE is "plain" or techniques joined by "+": dict, value-profile, no-cmp, repair,
# no-seeds. Sets run_beaten (yes/no), run_execs, run_seconds, run_winner, run_mutations,
# run_log. ARTIFACT, when given, is the exact path for the winning input.
run_level() {
  local level=$1 mode=$2 seconds=$3 seed=$4 artifact=${5:-}
  local target dir
  target=$(fuzz_target "$level" "$mode")
  dir=$fuzz_build/runs/level$level-$mode
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/findings"
  run_log=$dir/fuzz.log
  local args=(-seed="$seed" -max_total_time="$seconds" -max_len="$(fuzz_max_len "$level")"
    -print_final_stats=1 -artifact_prefix="$dir/findings/")
  [ -n "$artifact" ] && args+=(-exact_artifact_path="$artifact")
  case "+$mode+" in *+dict+*) args+=(-dict="$repo/fuzz/level$level.dict") ;; esac
  case "+$mode+" in *+value-profile+*) args+=(-use_value_profile=1) ;; esac
  case "+$mode+" in *+no-cmp+*) args+=(-use_cmp=0) ;; esac
  local corpora=("$dir/corpus")  # new inputs go here; the seeds stay untouched
  case "+$mode+" in *+no-seeds+*) ;; *) corpora+=("$repo/fuzz/corpus/level$level") ;; esac

  local start end
  start=$(date +%s.%N)
  "$fuzz_build/$target" "${args[@]}" "${corpora[@]}" >"$run_log" 2>&1 || true
  end=$(date +%s.%N)
  run_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  run_execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run_log" | tail -n 1)
  run_mutations=$(sed -n 's/^MS: [0-9]* \([^;]*\).*/\1/p' "$run_log" | tail -n 1)
  run_winner=$(sed -n 's/.*Test unit written to //p' "$run_log" | tail -n 1)
  if grep -q "^TUMBLEWICK: level $level passed" "$run_log" && [ -n "$run_winner" ]; then
    run_beaten=yes
  else
    run_beaten=no
    run_winner=
  fi
  # Anything else that stopped the fuzzer is a fault in the target or the rule.
  if [ "$run_beaten" = no ] && grep -q '^==[0-9]*==.*ERROR\|runtime error' "$run_log"; then
    say "level $level ($mode): the fuzzer found a fault, not a pass; see $run_log"
    return 1
  fi
}
