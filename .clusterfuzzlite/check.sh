#!/usr/bin/env bash
# The OSS-Fuzz / ClusterFuzzLite build contract, checked here without its container: build.sh
# runs with the contract's variables for libFuzzer (clang, ASan) and for AFL++ (afl-clang-fast++
# and AFL++'s driver as $LIB_FUZZING_ENGINE), each into a fresh $OUT. $OUT must hold exactly
# the targets of the fuzz build, each with its .options, its seed corpus zip and, where its
# level has one, its .dict; and each target must run over its seeds without a finding, as
# OSS-Fuzz's build check runs them. Exits 77 (CTest: skipped) when clang is missing.
set -euo pipefail
. "$(dirname "$0")/../scripts/common.sh"

compiler=$(command -v clang++ || command -v clang++-14) || { echo "clang++ not found: contract check skipped"; exit 77; }
ensure_packages "${fuzz_packages[@]}" "${afl_packages[@]}" zip unzip
fuzz_dir=$repo/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The fuzz build's targets, as configuring it lists them.
cmake -S "$fuzz_dir" -B "$work/list" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
fuzz_targets() { cat "$work/list/targets.txt"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# contract ENGINE CC CXX FLAGS ENGINE_LIBRARY
contract() {
  local engine=$1 out=$work/$1/out target level seeds start
  mkdir -p "$out" "$work/$engine/work"
  start=$(date +%s.%N)
  if ! (cd "$repo" && SRC=$repo WORK=$work/$engine/work OUT=$out CC=$2 CXX=$3 CFLAGS=$4 CXXFLAGS=$4 \
    LIB_FUZZING_ENGINE=$5 AFL_QUIET=1 bash .clusterfuzzlite/build.sh) >"$work/$engine.log" 2>&1; then
    cat "$work/$engine.log"
    fail "$engine: build.sh"
    return
  fi
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  local wanted=()
  for target in $(fuzz_targets); do
    level=${target%%_*}
    wanted+=("$target" "$target.options" "${target}_seed_corpus.zip")
    [ ! -f "$fuzz_dir/$level.dict" ] || wanted+=("$target.dict")
    seeds=$work/$engine/seeds/$target
    mkdir -p "$seeds"
    unzip -q "$out/${target}_seed_corpus.zip" -d "$seeds" || { fail "$engine: $target's seeds"; continue; }
    "$out/$target" "$seeds"/* >"$work/run.log" 2>&1 || { tail -n 5 "$work/run.log"; fail "$engine: $target over its seeds"; }
  done
  [ "$(ls "$out" | sort)" = "$(printf '%s\n' "${wanted[@]}" | sort)" ] ||
    fail "$engine: \$OUT holds $(ls "$out" | tr '\n' ' '), not the fuzz build's targets"
  echo "$engine: build.sh in $seconds s, $(fuzz_targets | wc -l) targets, each over its seeds"
}

flags="-O1 -fno-omit-frame-pointer -gline-tables-only -fsanitize=address"
contract libfuzzer clang clang++ "$flags -fsanitize=fuzzer-no-link" -fsanitize=fuzzer
contract afl afl-clang-fast afl-clang-fast++ "$flags" /usr/lib/afl/libAFLDriver.a
[ $failures -eq 0 ] && echo "build contract: both engines" || exit 1
