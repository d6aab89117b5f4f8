#!/bin/sh
# A fuzzer for the arena's tests, as $1 says: honest, cheating, crashing or hanging.
case $1 in
  honest) "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" "$TUMBLEWICK_SEED"
    w=$(dirname "$0")/../../fuzz/winners/level$TUMBLEWICK_LEVEL.bin
    "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" "$w" && cp "$w" "$TUMBLEWICK_WINNER" ;;
  cheating) cp "$TUMBLEWICK_SEED" "$TUMBLEWICK_WINNER" ;;
  crashing) kill -SEGV $$ ;;
  hanging) trap '' TERM; while :; do sleep 1; done ;;
esac
