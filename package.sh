#!/usr/bin/env bash
# Builds the release archive build/release/Tumblewick-1.0-win64.zip: the files that
# cmake/package.cmake lists (the game, the judge, the GUI fuzzer, the starter files, the
# player's README and the hints), in a folder of their own. It builds twice, the second time a
# little later from a copy of the sources in another folder and with the fuzz lab's coverage
# build switched on, fails unless both builds give the same bytes, and prints the archive's
# SHA-256: building a release's tagged commit must give that same SHA-256.
# Installs the Debian packages it needs first.
set -euo pipefail
if [ $# -ne 0 ]; then
  echo "usage: ./package.sh (it takes no options; unknown: $*)" >&2
  exit 2
fi
. "$(dirname "$0")/scripts/common.sh"

ensure_packages "${game_packages[@]}" "${release_packages[@]}"
name=Tumblewick-1.0-win64
out=$build/release
# Every file in the archive carries the commit's time.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct)}
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
  say "warning: uncommitted changes are built in; the SHA-256 is not the commit's"

# release_build SOURCE DIR [OPTION...]: cross-builds SOURCE in DIR and zips the release as
# DIR/$name.zip.
release_build() {
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64-x86_64.cmake" \
    -DBUILD_TESTING=OFF -DTUMBLEWICK_WERROR=ON "${@:3}" >/dev/null
  cmake --build "$2" -j"$(nproc)" >/dev/null
  local files
  mapfile -t files <"$2/package/contents.txt"
  python3 "$1/scripts/release_zip.py" "$2/$name.zip" "$name" "$epoch" "${files[@]}"
}

rm -rf "$out"
say "release build 1: $out/build"
release_build "$repo" "$out/build"

again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
mkdir -p "$again/sources"
(cd "$repo" && git ls-files -z | xargs -0 cp --parents -t "$again/sources")
sleep 1
# The second build also builds the fuzz lab's coverage game beside the release's: the same
# bytes then show that the option leaves the release's files untouched.
say "release build 2: $again/build, from a copy of the sources in $again/sources, with the lab's coverage build"
release_build "$again/sources" "$again/build" -DTUMBLEWICK_GUI_COVERAGE=ON

say "SHA-256 of build 1: $(sha256sum <"$out/build/$name.zip" | cut -d' ' -f1)"
say "SHA-256 of build 2: $(sha256sum <"$again/build/$name.zip" | cut -d' ' -f1)"
mapfile -t files < <(sed "s|^$out/build/||" "$out/build/package/contents.txt")
for file in "${files[@]}" "$name.zip"; do
  if ! cmp -s "$out/build/$file" "$again/build/$file"; then
    say "NOT REPRODUCIBLE: $file differs between the two builds"
    cmp -l "$out/build/$file" "$again/build/$file" | head -n 20 >&2 || true
    exit 1
  fi
done
cp "$out/build/$name.zip" "$out/$name.zip"
say "both builds gave the same bytes for every file of the release and for $name.zip"
cmake -E tar tf "$out/$name.zip"
(cd "$out" && sha256sum "$name.zip")
