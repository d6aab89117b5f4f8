#!/usr/bin/env bash
# Lets the fuzzer win file levels and keeps what it found, so that the Wine tests can hand
# those very files to the real game. Each level's quickest technique (find_winner in its
# .options), fixed random seed, bounded time: the same inputs every run on the same build.
#   fuzz/find_winner.sh OUTDIR [LEVEL...]    LEVEL: 3, 4 or 6 (default: all three)
# Writes OUTDIR/level3.bin, level4.bin, level6.bin; fails when a level held out.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

out=${1:?usage: fuzz/find_winner.sh OUTDIR [LEVEL...]}
shift
levels=("$@")
[ ${#levels[@]} -gt 0 ] || levels=(3 4 6)
build_fuzz
mkdir -p "$out"
out=$(cd "$out" && pwd)

status=0
for level in "${levels[@]}"; do
  mode=$(lab_value "$level" find_winner)
  [ -n "$mode" ] || { say "find_winner: level $level is not a file level"; exit 2; }
  rm -f "$out/level$level.bin"
  run_level "$level" "$mode" 60 1 "$out/level$level.bin"
  if [ "$run_beaten" = yes ] && [ -s "$out/level$level.bin" ]; then
    echo "level $level: $out/level$level.bin ($(stat -c %s "$out/level$level.bin") bytes, $mode, $run_execs executions, $run_seconds s)"
  else
    echo "level $level: not beaten ($mode); see $run_log"
    status=1
  fi
done
exit $status
