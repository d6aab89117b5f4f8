#!/usr/bin/env bash
# Takes the README's screenshots of every window, in Chinese (code page 936) and in English
# (code page 1252), into docs/screenshots. Installs what it needs and builds first.
set -euo pipefail
. "$(dirname "$0")/common.sh"
ensure_packages "${game_packages[@]}" xvfb imagemagick
build_game OFF
cmake --build "$build/win" --target screenshots
prepare_prefix
start_display
trap stop_display EXIT
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
shots=$build/screenshots game=$build/win/game
for lang in zh_CN.UTF-8:zh en_US.UTF-8:en; do
  rm -rf "$shots" && mkdir -p "$shots"
  TUMBLEWICK_SHOTS=$(winpath "$shots") TUMBLEWICK_STARTERS=$(winpath "$game") \
    TUMBLEWICK_GAME=$(winpath "$game/Velk_Game.exe") LC_ALL=${lang%%:*} WINEDEBUG=-all \
    TUMBLEWICK_FUZZ_WINNERS=$(winpath "${TUMBLEWICK_FUZZ_WINNERS:-$repo/fuzz/winners}") \
    wine "$build/win/screenshots.exe"
  for shot in "$shots"/*.bmp; do
    name=$(basename "$shot" .bmp)
    convert "$shot" "$repo/docs/screenshots/${name}$([ "${lang##*:}" = en ] && echo _en).png"
  done
done
say "screenshots written to docs/screenshots"
