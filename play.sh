#!/usr/bin/env bash
# Builds the game and opens it on the current display, in a private Wine prefix with CJK
# fonts. Installs the Debian packages it needs first.
#   ./play.sh            the Chinese edition: code page 936, as on a Simplified Chinese Windows
#   ./play.sh --english  the English edition: code page 1252, as on an English Windows
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

case "${1:-}" in
  "") ;;
  --english) TUMBLEWICK_LOCALE=en_US.UTF-8 ;;  # the game picks its edition from the code page
  *)
    echo "usage: ./play.sh [--english]" >&2
    exit 2
    ;;
esac

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
