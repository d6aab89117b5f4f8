# Shared by fuzz.sh, fuzz/smoke.sh and fuzz/find_winner.sh: the fuzz build, each target's
# options, one run of a target and what its log tells.
# shellcheck shell=bash

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

fuzz_dir=$repo/fuzz
fuzz_build=$build/fuzz

fuzz_compiler() { command -v clang++ || command -v clang++-14; }

# Configures the fuzz build when needed and builds every target; the build's output is shown
# only when it fails.
build_fuzz() {
  local log
  log=$(mktemp)
  if ! { [ -f "$fuzz_build/CMakeCache.txt" ] ||
    cmake -S "$fuzz_dir" -B "$fuzz_build" -DCMAKE_CXX_COMPILER="$(fuzz_compiler)"; } >"$log" 2>&1 ||
    ! cmake --build "$fuzz_build" -j"$(nproc)" >>"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# The targets as fuzz/CMakeLists.txt lists them: levelN, and variants named levelN_VARIANT.
fuzz_targets() { cat "$fuzz_build/targets.txt"; }

# ini_values SECTION FILE...: the lines "key=value" of SECTION in .options files.
ini_values() {
  local section=$1
  shift
  awk -v want="[$section]" '/^[ \t]*([#;]|$)/ { next }
    /^[ \t]*\[/ { gsub(/[ \t]/, ""); on = $0 == want; next }
    on { sub(/[ \t]*=[ \t]*/, "="); gsub(/^[ \t]+|[ \t]+$/, ""); print }' "$@"
}

# The libFuzzer flags of a target: [libfuzzer] of its level's .options, then of its own
# .options where a variant has one.
fuzz_flags() {
  local files=("$fuzz_dir/${1%%_*}.options")
  [ "$1" = "${1%%_*}" ] || [ ! -f "$fuzz_dir/$1.options" ] || files+=("$fuzz_dir/$1.options")
  ini_values libfuzzer "${files[@]}" | sed 's/^/-/'
}

# lab_value LEVEL KEY: a setting of the lab itself, from [lab] of the level's .options.
lab_value() {
  [ ! -f "$fuzz_dir/level$1.options" ] || ini_values lab "$fuzz_dir/level$1.options" | sed -n "s/^$2=//p"
}

# The target that MODE (techniques joined by "+") runs for LEVEL.
fuzz_target() {
  case "+$2+" in
    *+repair+*) echo "level${1}_repair" ;;
    *+no-cmp+*) echo "level${1}_nocmp" ;;
    *) echo "level$1" ;;
  esac
}

# read_log LOG: what a libFuzzer log tells. Sets run_execs; run_mutations, the last ones;
# run_beaten, yes when a pass stopped the run and its input was saved as run_winner;
# run_passes, those counted when the run kept going; run_fault, yes when anything but a pass
# or the end of its time or runs stopped it.
read_log() {
  run_execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -n 1)
  run_mutations=$(sed -n 's/^MS: [0-9]* \([^;]*\).*/\1/p' "$1" | tail -n 1)
  run_winner=$(sed -n 's/.*Test unit written to //p' "$1" | tail -n 1)
  run_passes=$(sed -n 's/^TUMBLEWICK: level [1-6] passed \([0-9]*\) times$/\1/p' "$1")
  run_passes=${run_passes:-0} run_beaten=no run_fault=no
  if grep -q '^TUMBLEWICK: level [1-6] passed$' "$1" && [ -n "$run_winner" ]; then
    run_beaten=yes
  elif ! grep -q '^Done [0-9]* runs' "$1" || grep -q '^==[0-9]*==.*ERROR\|runtime error' "$1"; then
    run_fault=yes
  fi
  [ $run_beaten = yes ] || run_winner=
}

# run_target TARGET DIR ARG...: one run of TARGET with its flags and ARGs (more flags, seed
# corpora) in a fresh DIR: new inputs go to DIR/corpus, findings to DIR/findings/, the log to
# run_log. Sets run_seconds and what read_log sets.
run_target() {
  local target=$1 dir=$2 flags start
  shift 2
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/findings"
  run_log=$dir/fuzz.log
  mapfile -t flags < <(fuzz_flags "$target")
  start=$(date +%s.%N)
  "$fuzz_build/$target" "${flags[@]}" -print_final_stats=1 -artifact_prefix="$dir/findings/" \
    "$dir/corpus" "$@" >"$run_log" 2>&1 || true
  seconds_since "$start"
  read_log "$run_log"
}

# Sets run_seconds to the seconds since START (date +%s.%N).
seconds_since() { run_seconds=$(awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'); }

# keep_going TARGET DIR RUNS SEED: RUNS executions from the level's seeds, passes only counted.
keep_going() {
  TUMBLEWICK_FUZZ_KEEP_GOING=1 run_target "$1" "$2" -seed="$4" -runs="$3" "$fuzz_dir/corpus/${1%%_*}"
}

# The seed corpus of LEVEL: seed_corpus when set (fuzz.sh --corpus), else the level's own.
seeds_of() { echo "${seed_corpus:-$fuzz_dir/corpus/level$1}"; }

# run_level LEVEL MODE SECONDS SEED [ARTIFACT]: one run until the level is beaten or the time
# is up. MODE is "plain" or techniques joined by "+": dict, value-profile, no-cmp, repair,
# no-seeds. ARTIFACT, when given, is the exact path for the winning input. Fails when the
# fuzzer found a fault instead of a pass.
run_level() {
  local level=$1 mode=$2 args=(-seed="$4" -max_total_time="$3")
  [ -z "${5:-}" ] || args+=(-exact_artifact_path="$5")
  case "+$mode+" in *+dict+*) args+=(-dict="$fuzz_dir/level$level.dict") ;; esac
  case "+$mode+" in *+value-profile+*) args+=(-use_value_profile=1) ;; esac
  case "+$mode+" in *+no-seeds+*) ;; *) args+=("$(seeds_of "$level")") ;; esac
  run_target "$(fuzz_target "$level" "$mode")" "$fuzz_build/runs/level$level-$mode" "${args[@]}"
  [ "$run_fault" = no ] || { say "level $level ($mode): the fuzzer found a fault, not a pass; see $run_log"; return 1; }
}
