# The fuzzer ladder of fuzz.sh: the same levels attacked by zzuf (blind bit flips on the
# console judge), AFL++ (coverage-guided, plain and with CmpLog) and libFuzzer, each from the
# level's seeds in corpus/levelN/. Sourced after lib.sh.
# shellcheck shell=bash

engines=(zzuf afl afl-cmplog libfuzzer)
judge_build=$build/judge
afl_build=$fuzz_build-afl

# The packages an engine needs beyond the fuzz lab's own (scripts/common.sh).
engine_packages() {
  case $1 in
    zzuf) echo "${zzuf_packages[@]}" ;;
    afl | afl-cmplog) echo "${afl_packages[@]}" ;;
  esac
}

# Builds what ENGINE runs: the native console judge for zzuf; for AFL++ the fuzz targets of
# the six levels with afl-clang-fast++, once plain and once with CmpLog instrumentation.
build_engine() {
  local log dir cmplog
  log=$(mktemp)
  case $1 in
    zzuf)
      { [ -f "$judge_build/CMakeCache.txt" ] ||
        cmake -S "$repo" -B "$judge_build" -DBUILD_TESTING=OFF -DTUMBLEWICK_WERROR=ON \
          -DCMAKE_CXX_COMPILER="$(fuzz_compiler)"; } >"$log" 2>&1 &&
        cmake --build "$judge_build" -j2 --target tumblewick-judge >>"$log" 2>&1 ;;
    afl | afl-cmplog)
      for dir in "$afl_build" "$afl_build-cmplog"; do
        cmplog=
        [ "$dir" = "$afl_build" ] || cmplog=1
        { [ -f "$dir/CMakeCache.txt" ] ||
          AFL_LLVM_CMPLOG=$cmplog cmake -S "$fuzz_dir" -B "$dir" -DCMAKE_CXX_COMPILER=afl-clang-fast++ \
            -DTUMBLEWICK_FUZZ_SANITIZERS=OFF; } >>"$log" 2>&1 &&
          AFL_LLVM_CMPLOG=$cmplog AFL_QUIET=1 cmake --build "$dir" -j2 \
            --target level1 level2 level3 level4 level5 level6 >>"$log" 2>&1 || break
      done ;;
    libfuzzer) build_fuzz >>"$log" 2>&1 ;;
  esac || { cat "$log" >&2; rm -f "$log"; return 1; }
  rm -f "$log"
}

# zzuf LEVEL SECONDS SEED: zzuf seeds SEED*1000000 upwards flip bits of the level's seed file
# (the first, where there are several)
# as the judge reads it, until the judge exits 0 (a pass) or the time is up. zzuf -x reports
# a failing exit, so the judge's exit status is inverted by sh.
run_zzuf() {
  local level=$1 dir=$fuzz_build/runs/level$1-zzuf start seed_file won first=$(($3 * 1000000))
  seed_file=$(find "$(seeds_of "$level")" -type f | sort | head -n 1)
  rm -rf "$dir" && mkdir -p "$dir"
  run_log=$dir/fuzz.log run_winner=
  start=$(date +%s.%N)
  zzuf -v -x -q -c -s "$first:$((first + 999999))" -t "$2" \
    sh -c '! "$0" "$@"' "$judge_build/tumblewick-judge" "$level" "$seed_file" >"$run_log" 2>&1 || true
  seconds_since "$start"
  run_execs=$(grep -c ": launched " "$run_log" || true)
  won=$(sed -n 's/^zzuf\[s=\([0-9]*\),r=[0-9.]*\]: exit 1$/\1/p' "$run_log" | head -n 1)
  run_beaten=no
  if [ -n "$won" ]; then
    # zzuf flips the same bits of its standard input with the same seed.
    zzuf -s "$won" <"$seed_file" >"$dir/winner"
    "$judge_build/tumblewick-judge" "$level" "$dir/winner" >/dev/null 2>&1 &&
      run_beaten=yes run_winner=$dir/winner run_mutations="zzuf seed $won, ratio 0.004"
  fi
}

# afl LEVEL SECONDS SEED CMPLOG: afl-fuzz on the level's target until its first crash (a
# pass aborts) or the time is up; with CMPLOG=yes the CmpLog build is passed with -c.
run_afl() {
  local level=$1 dir=$fuzz_build/runs/level$1-afl start crash cmplog=()
  [ "$4" = no ] || { dir=$dir-cmplog cmplog=(-c "$afl_build-cmplog/level$level"); }
  rm -rf "$dir" && mkdir -p "$dir"
  run_log=$dir/fuzz.log run_winner= run_mutations=
  start=$(date +%s.%N)
  AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_UI=1 AFL_NO_AFFINITY=1 \
    AFL_BENCH_UNTIL_CRASH=1 afl-fuzz -i "$(seeds_of "$level")" -o "$dir/out" -s "$3" \
    -V "$2" "${cmplog[@]}" -- "$afl_build/level$level" >"$run_log" 2>&1 </dev/null || true
  seconds_since "$start"
  crash=$(find "$dir/out/default/crashes" -name 'id:*' 2>/dev/null | sort | head -n 1)
  run_execs=$(sed -n 's/^execs_done *: *//p' "$dir/out/default/fuzzer_stats" 2>/dev/null)
  run_beaten=no
  if [ -n "$crash" ]; then
    # The crash's name tells when it was found: time:MS, execs:N and the mutation, op:....
    run_beaten=yes run_winner=$crash
    run_execs=$(basename "$crash" | sed -n 's/.*,execs:\([0-9]*\).*/\1/p')
    run_seconds=$(basename "$crash" | sed -n 's/.*,time:\([0-9]*\).*/\1/p' | awk '{ printf "%.1f", $1 / 1000 }')
    run_mutations=$(basename "$crash" | sed -n 's/.*,\(op:.*\)/\1/p')
  fi
}

# run_engine LEVEL ENGINE SECONDS SEED: one run of ENGINE, from the level's seeds. Sets what
# read_log sets (run_beaten, run_execs, run_winner, run_mutations), run_seconds and run_log.
run_engine() {
  case $2 in
    zzuf) run_zzuf "$1" "$3" "$4" ;;
    afl) run_afl "$1" "$3" "$4" no ;;
    afl-cmplog) run_afl "$1" "$3" "$4" yes ;;
    libfuzzer) run_level "$1" plain "$3" "$4" ;;
  esac
}
