#!/usr/bin/env bash
# The fuzz lab: lets a fuzzer try to beat a level through the level's own rule, and tells
# whether it did, after how many executions and seconds, and where the winning input is.
# Installs what the fuzzer needs first when missing. See docs/fuzzing.md.
#   ./fuzz.sh LEVEL [--engine E] [--seconds N] [--seed N] [--corpus DIR] [TECHNIQUE...]
#       LEVEL 1-6; E: libfuzzer (default), afl, afl-cmplog or zzuf; DIR: seeds of your own
#       instead of fuzz/corpus/levelN; TECHNIQUE (libFuzzer): --plain (default), --dict,
#       --value-profile, --no-cmp (level 6), --repair (levels 4 and 6), --no-seeds
#   ./fuzz.sh LEVEL --compare [--seconds N] [--seeds K]  every libFuzzer technique for LEVEL,
#                                                        with the random seeds 1..K (default 3)
#   ./fuzz.sh table [--seconds N] [--seeds K]            the ladder: every engine on every level
#   ./fuzz.sh table --techniques [--seconds N] [--seeds K]  every libFuzzer technique, all levels
#   ./fuzz.sh soak [--runs N]                            each target for N executions (default
#                                                        1000000), passes only counted
set -euo pipefail
. "$(dirname "$0")/fuzz/lib.sh"
. "$(dirname "$0")/fuzz/engines.sh"

usage() {
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

what=${1:-}
case $what in [1-6] | table | soak) shift ;; *) usage ;; esac
seconds=60 seed=1 seeds=3 runs=1000000 compare=no engine=libfuzzer
techniques=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:?}; shift ;;
    --seed) seed=${2:?}; shift ;;
    --seeds) seeds=${2:?}; shift ;;
    --runs) runs=${2:?}; shift ;;
    --compare | --techniques) compare=yes ;;
    --engine) engine=${2:?}; shift ;;
    --corpus) seed_corpus=$(cd "${2:?}" && pwd); shift ;;
    --plain) ;;
    --dict | --value-profile | --no-cmp | --repair | --no-seeds) techniques+=("${1#--}") ;;
    *) usage ;;
  esac
  shift
done

case " ${engines[*]} " in *" $engine "*) ;; *) usage ;; esac
[ "$engine" = libfuzzer ] || [ ${#techniques[@]} -eq 0 ] || { say "the techniques are libFuzzer's"; exit 2; }
# The engines this run uses: the ladder needs all of them.
used=("$engine")
[ "$what" != table ] || [ $compare = yes ] || used=("${engines[@]}")
extra=()
for e in "${used[@]}"; do read -r -a p <<<"$(engine_packages "$e")"; extra+=("${p[@]}"); done
ensure_packages "${fuzz_packages[@]}" "${extra[@]}"

mode_of() {
  local IFS=+
  [ $# -eq 0 ] && echo plain || echo "$*"
}

# Checks that a mode applies to the level: that it has a dictionary and a build for it.
check_mode() {
  case "+$2+" in
    *+dict+*) [ -f "$fuzz_dir/level$1.dict" ] || { say "level $1 has no dictionary"; exit 2; } ;;
  esac
  fuzz_targets | grep -qx "$(fuzz_target "$1" "$2")" || { say "level $1 has no build for $2"; exit 2; }
}

# run_item LEVEL ITEM SEED: one run of ITEM, an engine of the ladder (kind=engine) or a
# libFuzzer mode (kind=technique).
kind=technique
run_item() {
  if [ $kind = engine ]; then
    run_engine "$1" "$2" "$seconds" "$3"
  else
    run_level "$1" "$2" "$seconds" "$3"
  fi
}

# One run, told in full.
report_run() {
  local level=$1 mode=$2
  run_item "$level" "$mode" "$seed"
  if [ "$run_beaten" = yes ]; then
    printf 'level %s, %s (seed %s): beaten after %s executions in %s s\n' "$level" "$mode" "$seed" "$run_execs" "$run_seconds"
    printf '  winning input: %s (%s bytes)\n' "${run_winner#"$repo"/}" "$(stat -c %s "$run_winner")"
    [ -z "$run_mutations" ] || printf '  last mutations: %s\n' "$run_mutations"
  else
    printf 'level %s, %s (seed %s): not beaten in %s s (%s executions)\n' "$level" "$mode" "$seed" "$seconds" "$run_execs"
  fi
  printf '  log: %s\n' "${run_log#"$repo"/}"
}

# Each item (engine or mode) with the random seeds 1..K: one table row each, the runs
# separated by " / " ("-" where the level held out).
table_rows() {
  local level=$1 mode s
  shift
  for mode in "$@"; do
    local beaten=0 execs=() secs=()
    for s in $(seq "$seeds"); do
      run_item "$level" "$mode" "$s"
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
  local column=Technique
  [ $kind = technique ] || column=Engine
  echo "| Level | $column | Beaten | Executions | Seconds |"
  echo "|---|---|---|---|---|"
}

for e in "${used[@]}"; do build_engine "$e"; done
case $what in
  [1-6])
    if [ "$engine" != libfuzzer ]; then
      kind=engine
      report_run "$what" "$engine"
      [ "$run_beaten" = yes ]
    elif [ $compare = yes ]; then
      read -r -a modes <<<"$(lab_value "$what" compare)"
      table_head
      table_rows "$what" "${modes[@]}"
    else
      mode=$(mode_of "${techniques[@]}")
      check_mode "$what" "$mode"
      report_run "$what" "$mode"
      [ "$run_beaten" = yes ]
    fi
    ;;
  table)
    [ $compare = yes ] || kind=engine
    table_head
    for level in 1 2 3 4 5 6; do
      if [ $kind = engine ]; then
        table_rows "$level" "${engines[@]}"
      else
        read -r -a modes <<<"$(lab_value "$level" compare)"
        table_rows "$level" "${modes[@]}"
      fi
    done
    ;;
  soak)
    echo "| Target | Executions | Seconds | Level passes counted | Sanitizer findings |"
    echo "|---|---|---|---|---|"
    failed=0
    for target in $(fuzz_targets); do
      keep_going "$target" "$fuzz_build/runs/$target-soak" "$runs" "$seed"
      findings=none
      [ "$run_fault" = no ] || { findings="see ${run_log#"$repo"/}"; failed=1; }
      printf '| %s | %s | %s | %s | %s |\n' "$target" "$run_execs" "$run_seconds" "$run_passes" "$findings"
    done
    exit $failed
    ;;
esac
