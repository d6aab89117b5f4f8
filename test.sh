#!/usr/bin/env bash
# Builds everything and runs every test: the level rules natively, then the real game under
# Wine on a private Xvfb display. Installs the Debian packages it needs first.
# What does not depend on each other runs side by side: the Wine prefix is prepared while the
# builds run, and the native tests and static analysis run while the Wine tests play.
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

ensure_packages "${game_packages[@]}" "${test_packages[@]}" "${lab_packages[@]}"
mkdir -p "$build"
started=$SECONDS
took() { say "$1: $((SECONDS - $2)) s"; }

background=()
stop_all() {
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done
  stop_display
}
trap stop_all EXIT

say "Wine prefix (beside the builds)"
prefix_log=$build/wine-prefix.log
prepare_prefix >"$prefix_log" 2>&1 &
prefix_pid=$!
background+=("$prefix_pid")

say "level rules (native build)"
t=$SECONDS
cmake -S "$repo" -B "$build/native" -DTUMBLEWICK_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build/native" -j"$(nproc)"
took "native build" $t

say "fuzzer-found winners of the file levels, for the Wine tests"
t=$SECONDS
"$repo/fuzz.sh" find-winner "$build/fuzz/winners-found"
export TUMBLEWICK_FUZZ_WINNERS=$build/fuzz/winners-found
took "winners" $t

say "game and Wine test program (cross-compiled)"
t=$SECONDS
build_game ON
took "cross build" $t

# The native tests and static analysis need no display: they run while the Wine tests play,
# their output kept until the end so that it does not interleave.
native_log=$build/native-and-lint.log
(
  status=0
  t=$SECONDS
  ctest --test-dir "$build/native" --output-on-failure || status=1
  took "native tests" $t
  t=$SECONDS
  say "formatting and static analysis"
  "$repo/scripts/lint.sh" || status=1
  took "lint" $t
  exit $status
) >"$native_log" 2>&1 &
native_pid=$!
background+=("$native_pid")

say "Wine tests (native tests and static analysis beside them)"
t=$SECONDS
if ! wait "$prefix_pid"; then
  cat "$prefix_log" >&2
  say "the Wine prefix could not be prepared"
  exit 1
fi
took "Wine prefix, waited for" $t
start_display
wineserver -p >/dev/null 2>&1 || true  # one server for the whole run keeps each start fast
wine_status=0
ctest --test-dir "$build/win" --output-on-failure --timeout 120 || wine_status=$?
took "Wine tests" $t

native_status=0
wait "$native_pid" || native_status=$?
say "native tests and static analysis (ran beside the Wine tests)"
cat "$native_log"
took "everything" $started
[ "$wine_status" -eq 0 ] && [ "$native_status" -eq 0 ]
