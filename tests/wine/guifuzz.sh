#!/usr/bin/env bash
# The GUI fuzzer beats level 1 of a game it starts itself, then leaves neither the game nor its
# scratch folder behind: guifuzz.sh LOCALE tumblewick-guifuzz.exe
set -u
: "${WINEPREFIX:?run through the test command}" "${DISPLAY:?run through the test command}"
log=$(mktemp)  # a file, not a pipe, which the Wine services it may start would hold open
LC_ALL=$1 WINEDEBUG=-all wine "$2" --level 1 --submissions 500 --seed 1 --json >"$log" 2>&1
rc=$? && out=$(cat "$log") && rm -f "$log" && echo "$out"
grep -q '^{"level":1,.*"beaten":true' <<<"$out" && [ $rc -eq 0 ] || { echo "level 1 not beaten"; exit 1; }
folder=$(sed -n 's/.*scratch folder \(.*\)$/\1/p' <<<"$out" | tr -d '\r')
[ -n "$folder" ] && [ ! -e "$(LC_ALL=$1 WINEDEBUG=-all winepath -u "$folder")" ] || { echo "left $folder"; exit 1; }
game=$(WINEDEBUG=-all winepath -w "$(dirname "$2")/Velk_Game.exe")  # not another build's game
for _ in $(seq 50); do [[ $(ps -eo args) == *"$game"* ]] || exit 0; sleep 0.1; done
echo "the game is still running" && exit 1
