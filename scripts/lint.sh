#!/usr/bin/env bash
# Formatting and static analysis; any finding fails. Needs the native build's
# compile_commands.json for clang-tidy (test.sh makes it).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || find app levels resources tests -name '*.cpp' -o -name '*.h')
echo "== clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}"

echo "== cppcheck (game sources and the judge)"
cppcheck --quiet --std=c++20 --enable=warning,style,performance,portability --inline-suppr \
  --suppress=missingIncludeSystem --error-exitcode=1 -I levels -I resources app levels tools

echo "== pyflakes (the fuzz lab, its tests and examples)"
mapfile -t python < <(git ls-files '*.py' 2>/dev/null || find fuzz tests docs bench scripts -name '*.py')
/usr/bin/python3 -m pyflakes "${python[@]}"

log=$(mktemp)
trap 'rm -f "$log"' EXIT

checks='-*,bugprone-*,performance-*,portability-*,-bugprone-easily-swappable-parameters'
build=${TUMBLEWICK_BUILD_DIR:-$repo/build}
# clang-tidy checks each file in a process of its own, as many at once as there are processors.
# A clean check leaves a stamp named after all that decides its findings: the file, the
# project's headers, the flags (for the native files, their compile database) and the tool. A
# file whose stamp exists is not checked again; a fresh clone has no stamps, and CI (CI set)
# ignores them, so there every file is checked.
stamps=$build/lint-stamps
mkdir -p "$stamps"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export TIDY_CHECKS=$checks TIDY_STAMPS=$stamps TIDY_FRESH=${CI:+1} TIDY_BUILD=$build/native
export TIDY_GCC=$gcc_dir
TIDY_BASE=$( {
  clang-tidy --version
  printf '%s\n' "$checks"
  cat "$build/native/compile_commands.json"
  git ls-files -z '*.h' 2>/dev/null | xargs -0 cat 2>/dev/null ||
    find app levels resources tests -name '*.h' -exec cat {} +
} | sha256sum | cut -c1-64)
export TIDY_BASE
# TARGET FILE: the level rules through their native tests and the judge, or a game source for
# the Windows target; the findings printed whole.
tidy_one() {
  local target=$1 file=$2 key log args
  if [ "$target" = native ]; then
    args=(-p "$TIDY_BUILD" --header-filter='levels/.*')
  else
    args=(--header-filter='(app|levels)/.*' -- --target=x86_64-w64-mingw32 -std=c++20 -DUNICODE
      -D_UNICODE -Ilevels -Iresources -isystem "$TIDY_GCC/include/c++"
      -isystem "$TIDY_GCC/include/c++/x86_64-w64-mingw32" -isystem /usr/x86_64-w64-mingw32/include)
  fi
  key=$( { printf '%s\n' "$TIDY_BASE" "$target" "${args[@]}"; cat "$file"; } | sha256sum | cut -c1-64)
  [ -z "$TIDY_FRESH" ] && [ -e "$TIDY_STAMPS/$key" ] && return 0
  log=$(mktemp)
  if clang-tidy --quiet --warnings-as-errors='*' --checks="$TIDY_CHECKS" "$file" "${args[@]}" >"$log" 2>&1; then
    touch "$TIDY_STAMPS/$key"
    rm -f "$log"
  else
    cat "$log"
    rm -f "$log"
    return 1
  fi
}
export -f tidy_one

echo "== clang-tidy (level rules natively, game sources for the Windows target)"
for f in tests/rules/*.cpp tools/judge.cpp; do printf 'native %s\0' "$f"; done >"$log"
for f in app/*.cpp levels/*.cpp tools/*.cpp; do printf 'windows %s\0' "$f"; done >>"$log"
# shellcheck disable=SC2016 # expanded by the shell that xargs starts
xargs -0 -P"$(nproc)" -n1 bash -c 'tidy_one ${0%% *} "${0#* }"' <"$log"
