#!/usr/bin/env bash
# Prints the game's figures: executable size, start-up time against a minimal dialog
# program built the same way, and the time from pressing 报名 to the verdict notice; then the
# console judge's: judgments per second one input per process, in batch mode and in process,
# and its peak memory on endless and huge inputs (bench/judge_bench.py, which also writes
# docs/data/judge_speed.csv and docs/data/judge_memory.csv).
#   ./bench.sh [runs]     everything
#   ./bench.sh judge      the judge's figures only
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

judge_figures() {
  ensure_packages cmake make g++ python3
  cmake -S "$repo" -B "$build/judge" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build/judge" --target tumblewick-judge judge_loop -j"$(nproc)" >/dev/null
  /usr/bin/python3 "$repo/bench/judge_bench.py" "$build/judge/tumblewick-judge" \
    "$build/judge/judge_loop" "$repo"
}
if [ "${1:-}" = judge ]; then
  judge_figures
  exit 0
fi

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
(cd "$build/win" && env LC_ALL="$TUMBLEWICK_LOCALE" WINEDEBUG=-all wine bench/bench.exe \
  game/Velk_Game.exe bench/minimal_dialog.exe "${1:-15}")
judge_figures
