#!/usr/bin/env python3
"""The small fuzzer in batch form: one judge process for the whole run, fed input after input
(a 4-byte little-endian length, then the bytes) and answering each with one byte, 0 for a
pass. No words come back, so it mutates blindly, but it judges hundreds of times as many
inputs a second as tiny_fuzzer.py, which starts the judge for every input.
    tiny_fuzzer_batch.py JUDGE LEVEL SEED_FILE [SECONDS]
Without arguments it takes them from the arena (./fuzz.sh arena -- python3 tiny_fuzzer_batch.py)."""
import os, random, struct, subprocess, sys, time

from tiny_fuzzer import mutate  # the same mutations, beside this file

env = os.environ.get
judge, level, seed_file = sys.argv[1:4] or [env(f"TUMBLEWICK_{k}") for k in ("JUDGE", "LEVEL", "SEED")]
seconds = float(sys.argv[4]) if len(sys.argv) > 4 else float(env("TUMBLEWICK_SECONDS", 60))
random.seed(int(env("TUMBLEWICK_RANDOM_SEED", 1)))
seed, runs, start = open(seed_file, "rb").read(), 0, time.time()
oracle = subprocess.Popen([judge, level, "--batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
while time.time() - start < seconds:
    data, runs = bytearray(seed), runs + 1
    mutate(data)
    oracle.stdin.write(struct.pack("<I", len(data)) + data)  # one request...
    oracle.stdin.flush()
    if oracle.stdout.read(1) == b"\0":  # ...one answer
        open(env("TUMBLEWICK_WINNER", "winner.bin"), "wb").write(data)
        print(f"beaten after {runs} runs in {time.time() - start:.1f} s")
        sys.exit(0)
print(f"not beaten in {seconds:.0f} s ({runs} runs)")
sys.exit(1)
