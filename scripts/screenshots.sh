#!/usr/bin/env bash
# Takes the README's screenshots of every window, in Chinese (code page 936) and in English
# (code page 1252), into docs/screenshots. Installs what it needs and builds first.
set -euo pipefail
. "$(dirname "$0")/common.sh"
ensure_packages "${game_packages[@]}" xvfb imagemagick googletest
build_game ON
prepare_prefix
start_display
trap stop_display EXIT
shots=$build/screenshots
for lang in zh_CN.UTF-8:zh en_US.UTF-8:en; do
  rm -rf "$shots" && mkdir -p "$shots"
  game=$build/win/game
  TUMBLEWICK_SHOTS="Z:${shots//\//\\}" TUMBLEWICK_STARTERS="Z:${game//\//\\}" "$repo/tests/wine/run.sh" "${lang%%:*}" \
    "$build/win/screenshots.exe" "$build/win/game/Velk_Game.exe"
  for shot in "$shots"/*.bmp; do
    name=$(basename "$shot" .bmp)
    convert "$shot" "$repo/docs/screenshots/${name}$([ "${lang##*:}" = en ] && echo _en).png"
  done
done
say "screenshots written to docs/screenshots"
