#!/usr/bin/env bash
# The fuzz lab: lets libFuzzer try to beat a level through the level's own rule, and tells
# whether it did, after how many executions and seconds, and where the winning input is.
# Installs clang and libFuzzer first when missing. See docs/fuzzing.md.
#   ./fuzz.sh LEVEL [--seconds N] [--seed N] [TECHNIQUE...]
#       LEVEL 1-6; TECHNIQUE: --plain (default), --dict, --value-profile, --no-cmp
#       (level 6), --repair (levels 4 and 6), --no-seeds
#   ./fuzz.sh LEVEL --compare [--seconds N] [--seeds K]  every technique for LEVEL, with the
#                                                        random seeds 1..K (default 3)
#   ./fuzz.sh table [--seconds N] [--seeds K]            the same for all levels
#   ./fuzz.sh soak [--runs N]                            each target for N executions (default
#                                                        1000000), passes only counted
set -euo pipefail
. "$(dirname "$0")/fuzz/lib.sh"

usage() {
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

what=${1:-}
[ -n "$what" ] || usage
shift
seconds=60 seed=1 seeds=3 runs=1000000 compare=no
techniques=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:?}; shift ;;
    --seed) seed=${2:?}; shift ;;
    --seeds) seeds=${2:?}; shift ;;
    --runs) runs=${2:?}; shift ;;
    --compare) compare=yes ;;
    --plain) ;;
    --dict | --value-profile | --no-cmp | --repair | --no-seeds) techniques+=("${1#--}") ;;
    *) usage ;;
  esac
  shift
done

ensure_packages "${fuzz_packages[@]}"

mode_of() {
  local IFS=+
  [ $# -eq 0 ] && echo plain || echo "$*"
}

# Builds what the modes need and checks that they apply to the level.
prepare() {
  local level=$1 mode targets=()
  shift
  for mode in "$@"; do
    case "+$mode+" in
      *+dict+*) [ -f "$repo/fuzz/level$level.dict" ] || { say "level $level has no dictionary"; exit 2; } ;;
    esac
    case "+$mode+" in
      *+no-cmp+*) [ "$level" = 6 ] || { say "--no-cmp is built for level 6 only"; exit 2; } ;;
    esac
    case "+$mode+" in
      *+repair+*) [ "$level" = 4 ] || [ "$level" = 6 ] || { say "--repair is for levels 4 and 6"; exit 2; } ;;
    esac
    targets+=("$(fuzz_target "$level" "$mode")")
  done
  build_fuzz "${targets[@]}"
}

# One run, told in full.
report_run() {
  local level=$1 mode=$2
  run_level "$level" "$mode" "$seconds" "$seed"
  if [ "$run_beaten" = yes ]; then
    printf 'level %s, %s (seed %s): beaten after %s executions in %s s\n' "$level" "$mode" "$seed" "$run_execs" "$run_seconds"
    printf '  winning input: %s (%s bytes)\n' "${run_winner#"$repo"/}" "$(stat -c %s "$run_winner")"
    [ -z "$run_mutations" ] || printf '  last mutations: %s\n' "$run_mutations"
  else
    printf 'level %s, %s (seed %s): not beaten in %s s (%s executions)\n' "$level" "$mode" "$seed" "$seconds" "$run_execs"
  fi
  printf '  log: %s\n' "${run_log#"$repo"/}"
}

# Each mode with the random seeds 1..K: one table row each, the runs separated by " / "
# ("-" where the level held out).
table_rows() {
  local level=$1 mode s
  shift
  for mode in "$@"; do
    local beaten=0 execs=() secs=()
    for s in $(seq "$seeds"); do
      run_level "$level" "$mode" "$seconds" "$s"
      if [ "$run_beaten" = yes ]; then
        beaten=$((beaten + 1)) execs+=("$run_execs") secs+=("$run_seconds")
      else
        execs+=("- ($run_execs)") secs+=("-")
      fi
    done
    printf '| %s | %s | %s/%s | %s | %s |\n' "$level" "$mode" "$beaten" "$seeds" \
      "$(printf '%s / ' "${execs[@]}" | sed 's| / $||')" "$(printf '%s / ' "${secs[@]}" | sed 's| / $||')"
  done
}

table_head() {
  echo "Runs bounded at $seconds s each, random seeds 1 to $seeds; \"- (N)\": not beaten, N executions."
  echo
  echo "| Level | Technique | Beaten | Executions | Seconds |"
  echo "|---|---|---|---|---|"
}

case $what in
  [1-6])
    if [ $compare = yes ]; then
      read -r -a modes <<<"$(fuzz_modes "$what")"
      prepare "$what" "${modes[@]}"
      table_head
      table_rows "$what" "${modes[@]}"
    else
      mode=$(mode_of "${techniques[@]}")
      prepare "$what" "$mode"
      report_run "$what" "$mode"
      [ "$run_beaten" = yes ]
    fi
    ;;
  table)
    for level in 1 2 3 4 5 6; do
      read -r -a modes <<<"$(fuzz_modes "$level")"
      prepare "$level" "${modes[@]}"
    done
    table_head
    for level in 1 2 3 4 5 6; do
      read -r -a modes <<<"$(fuzz_modes "$level")"
      table_rows "$level" "${modes[@]}"
    done
    ;;
  soak)
    targets=(level1 level2 level3 level4 level4_repair level5 level6 level6_repair)
    build_fuzz "${targets[@]}"
    echo "| Target | Executions | Seconds | Level passes counted | Sanitizer findings |"
    echo "|---|---|---|---|---|"
    failed=0
    for target in "${targets[@]}"; do
      level=${target:5:1}
      dir=$fuzz_build/runs/$target-soak
      rm -rf "$dir" && mkdir -p "$dir/corpus"
      start=$(date +%s.%N)
      rc=0
      TUMBLEWICK_FUZZ_KEEP_GOING=1 "$fuzz_build/$target" -seed="$seed" -runs="$runs" -max_len="$(fuzz_max_len "$level")" \
        -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" "$repo/fuzz/corpus/level$level" \
        >"$dir/fuzz.log" 2>&1 || rc=$?
      end=$(date +%s.%N)
      soak_execs=$(sed -n "s/^stat::number_of_executed_units: *//p" "$dir/fuzz.log" | tail -n 1)
      passes=$(sed -n 's/^TUMBLEWICK: level [0-9] passed \([0-9]*\) times/\1/p' "$dir/fuzz.log")
      findings=none
      if [ $rc -ne 0 ] || grep -q 'ERROR\|runtime error' "$dir/fuzz.log"; then
        findings="see ${dir#"$repo"/}/fuzz.log"
        failed=1
      fi
      printf '| %s | %s | %s | %s | %s |\n' "$target" "$soak_execs" \
        "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')" "${passes:-0}" "$findings"
    done
    exit $failed
    ;;
  *) usage ;;
esac
