# Shared by play.sh and test.sh: packages, builds, the Wine prefix and a display.
# shellcheck shell=bash

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TUMBLEWICK_BUILD_DIR:-$repo/build}
export WINEPREFIX=${TUMBLEWICK_WINEPREFIX:-$build/wine-prefix}
# Wine takes the ANSI code page from the locale name; 936 needs no generated locale. Set
# only for Wine (through env), so that bash does not warn about the missing locale.
# zh_CN.UTF-8 gives code page 936 and the Chinese edition; play.sh --english sets
# en_US.UTF-8 (code page 1252) for the English one.
export TUMBLEWICK_LOCALE=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { printf '== %s\n' "$*" >&2; }

# Installs the Debian packages that are missing, through sudo when not root.
ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

game_packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 fonts-wine fonts-wqy-microhei locales)
test_packages=(g++ libgtest-dev googletest xvfb clang-format clang-tidy cppcheck python3-pyflakes git
  clang libclang-rt-14-dev)
# package.sh: the archive is written by Python and its time taken from git.
release_packages=(python3 git)
# The fuzz lab: clang with libFuzzer and the sanitizer runtimes.
fuzz_packages=(cmake make clang libclang-rt-14-dev)
# The other engines of its ladder (./fuzz.sh --engine, ./fuzz.sh table).
zzuf_packages=(zzuf)
afl_packages=(afl++)
# The GUI fuzzer's runs under Wine (./fuzz.sh --engine gui), beside the game's packages.
gui_packages=(xvfb)
# The lab's coverage views (./fuzz.sh LEVEL --coverage): llvm-profdata-14 and llvm-cov-14.
coverage_packages=(llvm-14)
# The lab's statistics, pictures and their Chinese labels (fuzz/fuzzlab).
lab_packages=(python3-scipy python3-matplotlib fonts-wqy-microhei bubblewrap)

# Cross-compiles the game (and, with tests on, the Wine test program and the fuzz lab's
# coverage build of the game, which the GUI fuzzer's test plays).
build_game() {
  local testing=${1:-OFF}
  cmake -S "$repo" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DBUILD_TESTING="$testing" -DTUMBLEWICK_GUI_COVERAGE="$testing" -DTUMBLEWICK_WERROR=ON >/dev/null
  cmake --build "$build/win" -j"$(nproc)"
}

prepare_prefix() {
  "$repo/scripts/wine-prefix.sh" "$WINEPREFIX"
}

# Starts a private Xvfb and exports DISPLAY; the caller stops it with stop_display.
xvfb_pid=
start_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  say "Xvfb did not start"
  return 1
}
stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
}

# Wine names Unix files in the C library's codeset, which is ASCII while the locale above is
# not generated: no file with a Chinese name could be opened. A private compiled copy needs
# no root; Wine is pointed at it through LOCPATH.
ensure_locale() {
  local dir=$build/locale
  if [ ! -e "$dir/$TUMBLEWICK_LOCALE/LC_CTYPE" ]; then
    mkdir -p "$dir"
    localedef -i "${TUMBLEWICK_LOCALE%%.*}" -f UTF-8 "$dir/$TUMBLEWICK_LOCALE" >/dev/null 2>&1 || true
  fi
  [ -e "$dir/$TUMBLEWICK_LOCALE/LC_CTYPE" ] || say "could not compile the $TUMBLEWICK_LOCALE locale"
  export TUMBLEWICK_LOCPATH=$dir
}
