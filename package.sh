#!/usr/bin/env bash
# Builds the release archive build/release/Tumblewick-1.0-win64.zip: Velk_Game.exe, the
# starter files 01.ZIP and 02.ZIP and README.txt for the player, in a folder of their own.
# Installs the Debian packages it needs first.
set -euo pipefail
. "$(dirname "$0")/scripts/common.sh"

ensure_packages "${game_packages[@]}"
out=$build/release
cmake -S "$repo" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DBUILD_TESTING=OFF -DTUMBLEWICK_WERROR=ON >/dev/null
cmake --build "$out" -j"$(nproc)"
(cd "$out" && cpack -G ZIP >/dev/null)
say "release archive: $out/Tumblewick-1.0-win64.zip"
cmake -E tar tf "$out/Tumblewick-1.0-win64.zip"
