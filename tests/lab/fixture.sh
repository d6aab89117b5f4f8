#!/bin/sh
# A fuzzer for the arena's tests, as $1 says: honest ones, and ones that cheat, crash, hang or
# try to get out of their run.
known=$(dirname "$0")/../../fuzz/winners/level$TUMBLEWICK_LEVEL.bin
case $1 in
  honest) "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" "$TUMBLEWICK_SEED"
    "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" "$known" && cp "$known" "$TUMBLEWICK_WINNER" ;;
  honest-batch) # the known winner as one frame, then written out when the judge says 0
    python3 -c 'import os, struct, sys; d = open(sys.argv[1], "rb").read()
os.write(1, struct.pack("<I", len(d)) + d)' "$known" |
      "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" --batch | od -An -tu1 | grep -qx ' *0' &&
      cp "$known" "$TUMBLEWICK_WINNER" ;;
  asking) # the judge's other calls, each answered as the real judge answers it
    j=$TUMBLEWICK_JUDGE
    "$j" --explain "$TUMBLEWICK_LEVEL" - <"$TUMBLEWICK_SEED"; echo "explain: $?"
    "$j" 2 "$TUMBLEWICK_SEED"; echo "other level: $?"
    "$j" 1 /nonexistent; echo "unreadable: $?"
    "$j" 1 /; echo "directory: $?"
    "$j" 1 a b; echo "too many: $?"
    "$j" --levels >/dev/null; echo "levels: $?"
    exit 1 ;;
  tiny_fuzzer.py | tiny_fuzzer_batch.py) # the guide's examples, as the guide starts them
    exec python3 "$(dirname "$0")/../../docs/examples/$1" ;;
  cheating) cp "$TUMBLEWICK_SEED" "$TUMBLEWICK_WINNER" ;;
  copying) cp "$known" "$TUMBLEWICK_WINNER" ;; # a winner it never had judged
  linking) "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" /etc/services
    ln -s /etc/services "$TUMBLEWICK_WINNER" ;;
  piping) mkfifo "$TUMBLEWICK_WINNER" ;;
  crashing) kill -SEGV $$ ;;
  traceback) python3 -c 'import sys; sys.argv[9]' ;;
  broken-frame) printf '\003\000\000\000ab' | "$TUMBLEWICK_JUDGE" "$TUMBLEWICK_LEVEL" --batch ;;
  hanging) trap '' TERM; while :; do sleep 1; done ;;
  escaping) # a child in a session of its own, with none of the run's environment
    setsid env -i sh -c "sleep 30; : $TUMBLEWICK_WINNER" </dev/null >/dev/null 2>&1 & exit 1 ;;
  writing) echo x >"$(dirname "$0")/escaped.bin"; echo x >"/tmp/$TUMBLEWICK_LAB_RUN-escaped"; exit 1 ;;
  flooding) head -c 50000000 /dev/zero | tr '\0' x; exit 1 ;;
esac
