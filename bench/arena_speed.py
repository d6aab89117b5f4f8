#!/usr/bin/env python3
"""Judgements a second through $TUMBLEWICK_JUDGE, one input a process and in batch mode, 3 s
each, on the level's seed. Through the arena's counting judge, and then the judge itself:
    ./fuzz.sh arena --levels 3 --trials 1 --seconds 10 --jobs 1 -- python3 bench/arena_speed.py
    cat build/lab/arena/arena_speed.py/level3-seed1.log
    TUMBLEWICK_JUDGE=build/judge/tumblewick-judge TUMBLEWICK_LEVEL=3 \\
      TUMBLEWICK_SEED=fuzz/corpus/level3/photo.bmp python3 bench/arena_speed.py"""
import os
import struct
import subprocess
import sys
import time

judge, level = os.environ["TUMBLEWICK_JUDGE"], os.environ["TUMBLEWICK_LEVEL"]
data = open(os.environ["TUMBLEWICK_SEED"], "rb").read()
start, runs = time.monotonic(), 0
while time.monotonic() - start < 3:
    subprocess.run([judge, level, "-"], input=data, stdout=subprocess.DEVNULL)
    runs += 1
one = runs / (time.monotonic() - start)
batch = subprocess.Popen([judge, level, "--batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
frame, start, frames = struct.pack("<I", len(data)) + data, time.monotonic(), 0
while time.monotonic() - start < 3:
    batch.stdin.write(frame)
    batch.stdin.flush()
    batch.stdout.read(1)
    frames += 1
batch.stdin.close()
batch.wait()
print(f"one input a process: {one:.0f}/s; batch: {frames / (time.monotonic() - start):.0f} frames/s "
      f"({len(data)}-byte input, load average {os.getloadavg()[0]:.1f})")
sys.exit(1)  # found nothing, as the arena's contract has it
