#!/usr/bin/python3
"""The console judge's speed and memory, as figures (bench.sh runs it):
  - judgments per second on the same inputs of levels 1, 3 and 6: one input per process
    (tumblewick-judge LEVEL -), batch mode driven request by request as a fuzzer drives it
    (tumblewick-judge LEVEL --batch), and the fuzz target's body in process (judge_loop);
  - the judge's peak memory on a 5 GiB sparse file and on 10 s of /dev/zero.
Writes docs/data/judge_speed.csv and docs/data/judge_memory.csv.
    judge_bench.py JUDGE JUDGE_LOOP REPO"""
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import time

judge, judge_loop, repo = sys.argv[1:4]
LEVELS = (1, 3, 6)
INPUTS = 300  # distinct inputs per level, mutated from the level's seeds


def inputs(level):
    """INPUTS mutations of the level's seed files, the same on every run."""
    folder = os.path.join(repo, "fuzz", "corpus", f"level{level}")
    seeds = [open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))]
    rng = random.Random(level)
    out = []
    for _ in range(INPUTS):
        data = bytearray(rng.choice(seeds))
        for _ in range(rng.randint(1, 4)):
            at = rng.randint(0, len(data))
            data[at:at] = bytes([rng.randrange(256)]) * rng.choice((1, 8, 64, 512))
        out.append(bytes(data))
    return out


def one_input_rate(level, data):
    start = time.perf_counter()
    for d in data:
        subprocess.run([judge, str(level), "-"], input=d, stdout=subprocess.DEVNULL, check=False)
    return len(data) / (time.perf_counter() - start)


def batch_rate(level, data, rounds=100):
    """One frame written, its verdict read, then the next: a fuzzer's request-response loop."""
    with subprocess.Popen([judge, str(level), "--batch"], stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE) as proc:
        frames = [struct.pack("<I", len(d)) + d for d in data]
        start = time.perf_counter()
        for _ in range(rounds):
            for f in frames:
                proc.stdin.write(f)
                proc.stdin.flush()
                proc.stdout.read(1)
        elapsed = time.perf_counter() - start
        proc.stdin.close()
    return rounds * len(frames) / elapsed


def in_process_rate(level, data):
    with tempfile.NamedTemporaryFile() as frames:
        frames.write(b"".join(struct.pack("<I", len(d)) + d for d in data))
        frames.flush()
        said = subprocess.run([judge_loop, str(level), frames.name], capture_output=True,
                              text=True, check=True)
    return float(said.stdout.split()[0])


def peak_kib(command, seconds=None):
    """The largest resident set of the command (GNU time), stopped after `seconds` if given."""
    if seconds:
        command = ["timeout", str(seconds)] + command
    said = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True, check=False)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", said.stderr).group(1))


speed = []
print("judgments per second (one input per process | batch | in process):")
for level in LEVELS:
    data = inputs(level)
    one, batch, inside = one_input_rate(level, data), batch_rate(level, data), \
        in_process_rate(level, data)
    speed += [(level, "one-input", one), (level, "batch", batch), (level, "in-process", inside)]
    print(f"  level {level}: {one:9.0f} | {batch:9.0f} | {inside:9.0f}   "
          f"batch/one-input {batch / one:5.0f}x   in-process/batch {inside / batch:5.1f}x")

memory = []
with tempfile.TemporaryDirectory() as folder:
    sparse = os.path.join(folder, "sparse-5GiB.bin")
    with open(sparse, "wb") as f:
        f.truncate(5 << 30)
    memory.append(("sparse 5 GiB file (level 3)", peak_kib([judge, "3", sparse])))
memory.append(("10 s of /dev/zero (level 6)", peak_kib([judge, "6", "/dev/zero"], seconds=10)))
print("peak memory of the judge:")
for name, kib in memory:
    print(f"  {name}: {kib} KiB")

data_dir = os.path.join(repo, "docs", "data")
os.makedirs(data_dir, exist_ok=True)
with open(os.path.join(data_dir, "judge_speed.csv"), "w") as f:
    f.write("level,mode,judgments_per_second\n")
    f.writelines(f"{level},{mode},{rate:.0f}\n" for level, mode, rate in speed)
with open(os.path.join(data_dir, "judge_memory.csv"), "w") as f:
    f.write("input,peak_kib\n")
    f.writelines(f"{name},{kib}\n" for name, kib in memory)
print(f"written: {data_dir}/judge_speed.csv, {data_dir}/judge_memory.csv")
