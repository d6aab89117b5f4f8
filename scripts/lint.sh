#!/usr/bin/env bash
# Formatting and static analysis; any finding fails. Needs the native build's
# compile_commands.json for clang-tidy (test.sh makes it).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find app levels resources tests -name '*.cpp' -o -name '*.h')
echo "== clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}"

echo "== cppcheck (game sources)"
cppcheck --quiet --std=c++17 --enable=warning,style,performance,portability --inline-suppr \
  --suppress=missingIncludeSystem --error-exitcode=1 -I levels -I resources app levels

echo "== clang-tidy (level rules, through their native tests)"
log=$(mktemp)
if ! clang-tidy -p "${TUMBLEWICK_BUILD_DIR:-$repo/build}/native" --quiet --header-filter='levels/.*' --warnings-as-errors='*' \
  --checks='-*,bugprone-*,performance-*,portability-*,-bugprone-easily-swappable-parameters' \
  tests/rules/*.cpp >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
