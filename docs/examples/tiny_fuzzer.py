#!/usr/bin/env python3
"""A fuzzer of your own: random mutations, the console judge as the oracle, and the judge's
words as the only feedback (an input that makes the game say something new is kept).
    tiny_fuzzer.py JUDGE LEVEL SEED_FILE [SECONDS]
Without arguments it takes them from the arena (./fuzz.sh arena -- python3 tiny_fuzzer.py)."""
import os, random, subprocess, sys, time


def mutate(data):
    """One to four random changes, in place: a byte overwritten, a run inserted, a piece cut."""
    for _ in range(random.randint(1, 4)):
        at, byte = random.randint(0, len(data)), random.randrange(256)
        how = random.randrange(3)
        if how == 0 and data:  # overwrite a byte
            data[min(at, len(data) - 1)] = byte
        elif how == 1:  # insert a run of one byte: the input grows
            data[at:at] = bytes([byte]) * random.choice((1, 8, 64, 512))
        else:  # cut a piece: it shrinks
            del data[at:at + random.randint(1, 64)]


def main():
    env = os.environ.get
    judge, level, seed_file = sys.argv[1:4] or [env(f"TUMBLEWICK_{k}") for k in ("JUDGE", "LEVEL", "SEED")]
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else float(env("TUMBLEWICK_SECONDS", 60))
    random.seed(int(env("TUMBLEWICK_RANDOM_SEED", 1)))
    corpus, heard, runs, start = [open(seed_file, "rb").read()], set(), 0, time.time()
    while time.time() - start < seconds:
        data, runs = bytearray(random.choice(corpus)), runs + 1
        mutate(data)
        said = subprocess.run([judge, level, "-"], input=data, capture_output=True)
        if said.returncode == 0:
            open(env("TUMBLEWICK_WINNER", "winner.bin"), "wb").write(data)
            print(f"beaten after {runs} runs in {time.time() - start:.1f} s")
            sys.exit(0)
        if said.stdout not in heard:  # the game said something new: keep this input
            heard.add(said.stdout)
            corpus.append(bytes(data))
    print(f"not beaten in {seconds:.0f} s ({runs} runs)")
    sys.exit(1)


if __name__ == "__main__":
    main()
