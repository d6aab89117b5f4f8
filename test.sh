#!/usr/bin/env bash
# Builds everything and runs every test: the level rules natively, then the real game under
# Wine on a private Xvfb display. Installs the Debian packages it needs first.
# What does not depend on each other runs side by side: the Wine prefix, the cross build and
# static analysis beside the native build, the native tests beside the Wine tests. Each side's
# output is shown whole once it is done, and each phase's seconds.
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
# Runs a command in the background with its output in a log; `finish` waits for it.
beside() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  background+=($!)
}
finish() {  # LOG PID WHAT: its output, and its status
  local status=0
  wait "$2" || status=$?
  cat "$1"
  [ "$status" -eq 0 ] || say "$3 failed"
  return "$status"
}

prefix_log=$build/wine-prefix.log
beside "$prefix_log" prepare_prefix
prefix_pid=$!
timed() {  # WHAT COMMAND...
  local what=$1 t=$SECONDS status=0
  shift
  "$@" || status=$?
  took "$what" $t
  return $status
}
cross_log=$build/cross-build.log
beside "$cross_log" timed "cross build (game and Wine test program)" build_game ON
cross_pid=$!

say "level rules (native build; the Wine prefix, the cross build and static analysis beside it)"
t=$SECONDS
cmake -S "$repo" -B "$build/native" -DTUMBLEWICK_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# Static analysis needs the compile database only, not the build; nothing waits for it, so it
# yields the processors to the builds and tests that others wait for.
lint_log=$build/lint.log
beside "$lint_log" timed "formatting and static analysis" nice -n 10 "$repo/scripts/lint.sh"
lint_pid=$!
cmake --build "$build/native" -j"$(nproc)"
took "native build" $t

say "fuzzer-found winners of the file levels, for the Wine tests"
t=$SECONDS
"$repo/fuzz.sh" find-winner "$build/fuzz/winners-found"
export TUMBLEWICK_FUZZ_WINNERS=$build/fuzz/winners-found
took "winners" $t

# The native tests need no display: they run while the Wine tests play.
native_log=$build/native-tests.log
beside "$native_log" timed "native tests" ctest --test-dir "$build/native" --output-on-failure
native_pid=$!

say "game and Wine tests (native tests and static analysis beside them)"
t=$SECONDS
finish "$cross_log" "$cross_pid" "the cross build"
finish "$prefix_log" "$prefix_pid" "preparing the Wine prefix"
took "cross build and Wine prefix, waited for" $t
t=$SECONDS
start_display
wineserver -p >/dev/null 2>&1 || true  # one server for the whole run keeps each start fast
wine_status=0
ctest --test-dir "$build/win" --output-on-failure --timeout 120 || wine_status=$?
took "Wine tests" $t

say "native tests (ran beside the Wine tests)"
native_status=0
finish "$native_log" "$native_pid" "the native tests" || native_status=$?
say "formatting and static analysis (ran beside the builds and tests)"
lint_status=0
finish "$lint_log" "$lint_pid" "formatting or static analysis" || lint_status=$?
took "everything" $started
[ "$wine_status" -eq 0 ] && [ "$native_status" -eq 0 ] && [ "$lint_status" -eq 0 ]
