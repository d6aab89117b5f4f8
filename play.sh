#!/usr/bin/env bash
# Builds the game and opens it on the current display, in a private Wine prefix set to
# code page 936 with CJK fonts. Installs the Debian packages it needs first.
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

if [ -z "${DISPLAY:-}" ]; then
  echo "play.sh: no display. Run it in a graphical session, or start one first, e.g.: Xvfb :1 & DISPLAY=:1 ./play.sh" >&2
  exit 1
fi
ensure_packages "${game_packages[@]}"
build_game OFF
prepare_prefix
ensure_locale
say "starting $build/win/game/Velk_Game.exe"
cd "$build/win/game"
WINEDEBUG=-all exec env LC_ALL="$TUMBLEWICK_LOCALE" LOCPATH="$TUMBLEWICK_LOCPATH" wine Velk_Game.exe
