#!/usr/bin/env bash
# Builds everything and runs every test: the level rules natively, then the real game under
# Wine on a private Xvfb display. Installs the Debian packages it needs first.
#   ./test.sh                      all tests
#   ./test.sh --update-screenshots also copies the screenshots into docs/screenshots
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

ensure_packages "${game_packages[@]}" "${test_packages[@]}"

say "level rules (native)"
cmake -S "$repo" -B "$build/native" -DTUMBLEWICK_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build/native" -j"$(nproc)"
ctest --test-dir "$build/native" --output-on-failure

say "fuzzer-found winners of the file levels, for the Wine tests"
"$repo/fuzz/find_winner.sh" "$build/fuzz/winners-found"
export TUMBLEWICK_FUZZ_WINNERS=$build/fuzz/winners-found

say "formatting and static analysis"
"$repo/scripts/lint.sh"

say "game and Wine tests (cross-compiled)"
build_game ON
prepare_prefix
ensure_locale
start_display
trap stop_display EXIT
wineserver -p >/dev/null 2>&1 || true  # one server for the whole run keeps each start fast
export TUMBLEWICK_SHOTS_DIR=$build/screenshots
rm -rf "$TUMBLEWICK_SHOTS_DIR"
ctest --test-dir "$build/win" --output-on-failure

for shot in "$TUMBLEWICK_SHOTS_DIR"/*.bmp; do
  [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
done
if [ "${1:-}" = --update-screenshots ]; then
  mkdir -p "$repo/docs/screenshots"
  cp "$TUMBLEWICK_SHOTS_DIR"/*.png "$repo/docs/screenshots/"
  say "screenshots copied to docs/screenshots"
fi
