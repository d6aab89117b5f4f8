#!/usr/bin/env bash
# Builds everything and runs every test: the level rules natively, then the real game under
# Wine on a private Xvfb display. Installs the Debian packages it needs first.
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

ensure_packages "${game_packages[@]}" "${test_packages[@]}" "${lab_packages[@]}"

say "level rules (native)"
cmake -S "$repo" -B "$build/native" -DTUMBLEWICK_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build/native" -j"$(nproc)"
ctest --test-dir "$build/native" --output-on-failure

say "fuzzer-found winners of the file levels, for the Wine tests"
"$repo/fuzz.sh" find-winner "$build/fuzz/winners-found"
export TUMBLEWICK_FUZZ_WINNERS=$build/fuzz/winners-found

say "formatting and static analysis"
"$repo/scripts/lint.sh"

say "game and Wine tests (cross-compiled)"
build_game ON
prepare_prefix
start_display
trap stop_display EXIT
wineserver -p >/dev/null 2>&1 || true  # one server for the whole run keeps each start fast
ctest --test-dir "$build/win" --output-on-failure --timeout 120
