#!/usr/bin/env bash
# Prints the game's figures: executable size, start-up time against a minimal dialog
# program built the same way, and the time from pressing 报名 to the verdict notice.
#   ./bench.sh [runs]
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"
ensure_packages "${game_packages[@]}" xvfb
build_game OFF
cmake --build "$build/win" --target bench minimal_dialog -j"$(nproc)"
prepare_prefix
owned_display=
if [ -z "${DISPLAY:-}" ]; then start_display; owned_display=1; fi
trap '[ -n "$owned_display" ] && stop_display' EXIT
wineserver -p >/dev/null 2>&1 || true

exe=$build/win/game/Velk_Game.exe
printf 'executable: %s bytes (%s)\n' "$(stat -c %s "$exe")" "$exe"
cd "$build/win"
env LC_ALL="$TUMBLEWICK_LOCALE" WINEDEBUG=-all wine bench/bench.exe game/Velk_Game.exe \
  bench/minimal_dialog.exe "${1:-15}"
