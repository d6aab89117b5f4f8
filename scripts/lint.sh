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

checks='-*,bugprone-*,performance-*,portability-*,-bugprone-easily-swappable-parameters'
log=$(mktemp)
trap 'rm -f "$log"' EXIT
tidy() {
  if ! clang-tidy --quiet --warnings-as-errors='*' --checks="$checks" "$@" >"$log" 2>&1; then
    cat "$log"
    exit 1
  fi
}

echo "== clang-tidy (level rules, through their native tests and the judge)"
tidy -p "${TUMBLEWICK_BUILD_DIR:-$repo/build}/native" --header-filter='levels/.*' tests/rules/*.cpp \
  tools/judge.cpp

echo "== clang-tidy (game sources, for the Windows target)"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
tidy --header-filter='(app|levels)/.*' app/*.cpp levels/*.cpp tools/*.cpp -- --target=x86_64-w64-mingw32 \
  -std=c++20 -DUNICODE -D_UNICODE -Ilevels -Iresources \
  -isystem "$gcc_dir/include/c++" -isystem "$gcc_dir/include/c++/x86_64-w64-mingw32" \
  -isystem /usr/x86_64-w64-mingw32/include
