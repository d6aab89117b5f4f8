"""The bonus bugs of the fuzz lab: each level's bonus target (fuzz/bonus/, lab only) runs the
level's own rule and, on its winning path, a planted bug. This finds it, reads the sanitizer's
report, reproduces, minimises, tells crashes apart, merges corpora, keeps the regression
corpus honest and measures it all. See docs/fuzzing.md, "Bonus bugs". ./fuzz.sh hands these
commands over.

  fuzz.sh LEVEL --bonus [--engine libfuzzer|afl] [--seconds N] [--seed N] [--repair]
  fuzz.sh LEVEL --reproduce FILE         the bonus target's report, then the sound rule's verdict
  fuzz.sh LEVEL --minimize FILE [--engine libfuzzer|afl] [--out FILE]
  fuzz.sh LEVEL --merge DIR... [--engine libfuzzer|afl] [--out DIR]
  fuzz.sh dedup DIR...                   crashes grouped by report kind and top frames
  fuzz.sh regress                        the regression corpus: bonus build and sound rule
  fuzz.sh measure [--trials K] [--seconds N] [--jobs J] [--levels 1,2] [--engines ...]
                                          K trials of each engine, into docs/data/bonus.csv
  fuzz.sh table [--lang en|zh]           the measurements of docs/data/bonus.csv as a table
"""
import argparse
import configparser
import csv
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

from .config import BUILD as _BUILD, REPO as _REPO, LabError

REPO = str(_REPO)
FUZZ = os.path.join(REPO, "fuzz")
BUILD = str(_BUILD)
BUILDS = {"libfuzzer": os.path.join(BUILD, "fuzz"), "afl": os.path.join(BUILD, "fuzz-afl")}
RUNS = os.path.join(BUILD, "fuzz", "bonus-runs")
REGRESSIONS = os.path.join(FUZZ, "bonus", "regressions")
DATA = os.path.join(REPO, "docs", "data", "bonus.csv")
LEVELS = range(1, 7)
REPAIRED = (4, 6)  # the levels with a repairing mutator (fuzz/level4_size_repair.cpp ...)

# The report that each level's planted bug gives: what the regression corpus must reproduce.
EXPECTED = {
    1: "stack-buffer-overflow WRITE",
    2: "division by zero",
    3: "heap-buffer-overflow READ",
    4: "heap-buffer-overflow WRITE",
    5: "global-buffer-overflow WRITE",
    6: "heap-use-after-free READ",
}
# Symbolised reports with whole stacks, also for UBSan; AFL++ sets its own where it runs.
SANITIZER_ENV = {
    "ASAN_OPTIONS": "symbolize=1:detect_leaks=0",
    "UBSAN_OPTIONS": "print_stacktrace=1:symbolize=1",
}
AFL_ENV = {"AFL_SKIP_CPUFREQ": "1", "AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES": "1",
           "AFL_NO_UI": "1", "AFL_NO_AFFINITY": "1", "AFL_QUIET": "1"}


def say(text):
    print("== " + text, file=sys.stderr, flush=True)


def short(path):
    return os.path.relpath(path, REPO) if path.startswith(REPO) else path


# ---- building -------------------------------------------------------------------------------

def build(engine, targets):
    """Builds TARGETS in the engine's fuzz build (configured as fuzz.sh configures it)."""
    folder = BUILDS[engine]
    env = dict(os.environ, **AFL_ENV)
    compiler = shutil.which("clang++") or "clang++-14"
    configure = ["cmake", "-S", FUZZ, "-B", folder, "-DCMAKE_CXX_COMPILER=" + compiler]
    if engine == "afl":
        configure = configure[:-1] + ["-DCMAKE_CXX_COMPILER=afl-clang-fast++",
                                      "-DTUMBLEWICK_FUZZ_SANITIZERS=OFF"]
    steps = [] if os.path.exists(os.path.join(folder, "CMakeCache.txt")) else [configure]
    steps.append(["cmake", "--build", folder, "-j2", "--target"] + targets)
    for step in steps:
        done = subprocess.run(step, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, check=False)
        if done.returncode != 0:
            sys.stderr.write(done.stdout)
            raise LabError("build failed: " + " ".join(step))


def bonus_target(level, engine="libfuzzer", repair=False):
    name = f"level{level}_bonus" + ("_repair" if repair else "")
    return os.path.join(BUILDS[engine], "bonus", name)


def sound_target(level, engine="libfuzzer"):
    return os.path.join(BUILDS[engine], f"level{level}")


def libfuzzer_flags(level):
    """The [libfuzzer] settings of the level's .options, as flags."""
    options = configparser.ConfigParser()
    options.read(os.path.join(FUZZ, f"level{level}.options"))
    if not options.has_section("libfuzzer"):
        return []
    return [f"-{key}={value}" for key, value in options.items("libfuzzer")]


def seeds(level):
    return os.path.join(FUZZ, "corpus", f"level{level}")


# ---- reading a report ------------------------------------------------------------------------

FRAME = re.compile(r"^\s*#(\d+) 0x[0-9a-f]+ in (.+?) (/\S+|\(\S+\))")


def ours(where):
    """Whether a frame's place is a source file of the lab or of the levels."""
    return re.match(re.escape(REPO) + r"/(fuzz|levels)/.*\.(cpp|h):\d+", where) is not None


def read_report(text):
    """The kind of a sanitizer report (with READ/WRITE where it says), its frames in our own
    code (function, file:line) and the lines worth showing."""
    kind = None
    match = re.search(r"ERROR: AddressSanitizer: ([\w-]+)", text)
    if match:
        kind = match.group(1)
        access = re.search(r"^(READ|WRITE) of size (\d+)", text, re.M)
        if access:
            kind += " " + access.group(1)
    else:
        match = re.search(r"runtime error: (.+)", text)
        if match:
            kind = match.group(1).strip()
        elif re.search(r"deadly signal|SIGFPE|FPE on unknown", text):
            kind = "deadly signal"
    frames = []
    for line in text.splitlines():
        found = FRAME.match(line)
        if found and ours(found.group(3)):
            file, line_number = (found.group(3).split(":") + [""])[:2]
            frames.append((re.sub(r"\(anonymous namespace\)::|\(.*\)$", "", found.group(2)),
                           f"{short(file)}:{line_number}"))
    return kind, frames


def report_lines(text, frames=2):
    """The report shortened: its headline, the access, where the memory lies, the summary and
    under each stack our top frames."""
    keep, shown = [], 0
    for line in text.splitlines():
        frame = FRAME.match(line)
        line = line.replace(REPO + "/", "")
        if re.search(r"ERROR: |runtime error:|^(READ|WRITE) of size|is located|SUMMARY:|"
                     r"allocated by|freed by", line):
            keep.append(re.sub(r" (at pc|on address) 0x[0-9a-f]+.*", "", line)
                        if "ERROR:" in line else line)
            shown = 0
        elif frame and ours(frame.group(3)) and shown < frames:
            keep.append(re.sub(r" 0x[0-9a-f]+ in", " in", line))
            shown += 1
    return keep


def run_input(binary, path, env=None):
    """One input through a libFuzzer binary: its exit status and everything it printed."""
    done = subprocess.run([binary, path], env=dict(os.environ, **SANITIZER_ENV, **(env or {})),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", check=False)
    return done.returncode, done.stdout


def sound_verdict(level, path):
    """The normal target's verdict, passes only counted: (passed, clean)."""
    code, out = run_input(sound_target(level), path, {"TUMBLEWICK_FUZZ_KEEP_GOING": "1"})
    clean = code == 0 and "ERROR:" not in out and "runtime error" not in out
    return f"level {level} passed 1 times" in out, clean


# ---- one run of an engine --------------------------------------------------------------------

def run_libfuzzer(level, seconds, seed, repair=False, tag=""):
    folder = os.path.join(RUNS, f"level{level}-libfuzzer{'-repair' if repair else ''}{tag}")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "corpus"))
    os.makedirs(os.path.join(folder, "findings"))
    log = os.path.join(folder, "fuzz.log")
    command = [bonus_target(level, repair=repair)] + libfuzzer_flags(level) + [
        f"-seed={seed}", f"-max_total_time={seconds}", "-print_final_stats=1",
        "-artifact_prefix=" + os.path.join(folder, "findings") + "/",
        os.path.join(folder, "corpus"), seeds(level)]
    if repair:
        command.insert(1, "-use_value_profile=1")
    start = time.monotonic()
    with open(log, "w", encoding="utf-8") as out:
        subprocess.run(command, env=dict(os.environ, **SANITIZER_ENV), stdout=out,
                       stderr=subprocess.STDOUT, check=False)
    elapsed = time.monotonic() - start
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    execs = re.findall(r"stat::number_of_executed_units: *(\d+)", text)
    crash = re.findall(r"Test unit written to (\S+)", text)
    return {"found": bool(crash), "execs": int(execs[-1]) if execs else 0,
            "seconds": round(elapsed, 1), "crash": crash[-1] if crash else None, "log": log,
            "corpus": os.path.join(folder, "corpus"), "kind": read_report(text)[0]}


def run_afl(level, seconds, seed, tag=""):
    folder = os.path.join(RUNS, f"level{level}-afl{tag}")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    log = os.path.join(folder, "fuzz.log")
    env = dict(os.environ, **AFL_ENV, AFL_BENCH_UNTIL_CRASH="1")
    env.pop("AFL_QUIET")
    start = time.monotonic()
    with open(log, "w", encoding="utf-8") as out:
        subprocess.run(["afl-fuzz", "-i", seeds(level), "-o", os.path.join(folder, "out"),
                        "-s", str(seed), "-V", str(seconds), "--", bonus_target(level, "afl")],
                       env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                       check=False)
    elapsed = time.monotonic() - start
    out = os.path.join(folder, "out", "default")
    crashes = sorted(f for f in os.listdir(os.path.join(out, "crashes")) if f.startswith("id:")) \
        if os.path.isdir(os.path.join(out, "crashes")) else []
    result = {"found": bool(crashes), "seconds": round(elapsed, 1), "crash": None, "log": log,
              "corpus": os.path.join(out, "queue"), "kind": None, "execs": 0}
    stats = os.path.join(out, "fuzzer_stats")
    if os.path.exists(stats):
        with open(stats, encoding="utf-8") as f:
            found = re.search(r"^execs_done\s*:\s*(\d+)", f.read(), re.M)
            result["execs"] = int(found.group(1)) if found else 0
    if crashes:
        # The crash's name tells when it was found: time:MS and execs:N.
        name = crashes[0]
        result["crash"] = os.path.join(out, "crashes", name)
        result["execs"] = int(re.search(r"execs:(\d+)", name).group(1))
        result["seconds"] = round(int(re.search(r"time:(\d+)", name).group(1)) / 1000, 1)
        # The AFL++ build runs without symbols; the libFuzzer build tells the kind.
        result["kind"] = read_report(run_input(bonus_target(level), result["crash"])[1])[0]
    return result


def build_judge():
    """The console judge, as the lab builds it (build/judge)."""
    folder = os.path.join(BUILD, "judge")
    if not os.path.exists(os.path.join(folder, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", folder, "-DBUILD_TESTING=OFF",
                        "-DCMAKE_CXX_COMPILER=" + (shutil.which("clang++") or "clang++-14")],
                       stdout=subprocess.DEVNULL, check=True)
    subprocess.run(["cmake", "--build", folder, "--target", "tumblewick-judge"],
                   stdout=subprocess.DEVNULL, check=True)


def stopped_by(level, corpus):
    """Which checks held a run that found nothing: the console judge's verdicts on the inputs
    the run kept, each once, in the order the run first reached them (the last is usually
    the deepest, but not always: read them all)."""
    judge = os.path.join(BUILD, "judge", "tumblewick-judge")
    if not os.path.exists(judge) or not os.path.isdir(corpus):
        return ""
    files = sorted((os.path.join(corpus, f) for f in os.listdir(corpus)
                    if os.path.isfile(os.path.join(corpus, f))), key=os.path.getmtime)
    verdicts = []
    for path in files:
        done = subprocess.run([judge, str(level), path], env=dict(os.environ, LC_ALL="C"),
                              stdout=subprocess.PIPE, text=True, errors="replace", check=False)
        verdict = re.sub(r"^(notice|result): ", "", done.stdout.strip().splitlines()[-1]) \
            if done.stdout.strip() else ""
        if verdict and verdict not in verdicts:
            verdicts.append(verdict)
    return " | ".join(verdicts)


# ---- minimising, deduplicating, merging -------------------------------------------------------

def minimize(level, path, engine, out):
    if engine == "afl":
        done = subprocess.run(["afl-tmin", "-i", path, "-o", out, "--",
                               bonus_target(level, "afl")], env=dict(os.environ, **AFL_ENV),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors="replace", check=False)
    else:
        # Levels 4 and 6 shrink only with the mutator that keeps size and checksum fitting.
        done = subprocess.run([bonus_target(level, repair=level in REPAIRED), "-minimize_crash=1", "-runs=20000",
                               "-max_total_time=30", "-exact_artifact_path=" + out, path],
                              env=dict(os.environ, **SANITIZER_ENV), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace", check=False)
    if not os.path.exists(out):
        sys.stderr.write(done.stdout[-3000:])
        raise LabError("minimising failed")
    return os.path.getsize(out)


def level_of(path):
    found = re.findall(r"level([1-6])", path)
    return int(found[-1]) if found else None


def dedup(folders, top=2):
    """Groups crash files by report kind and their top frames in our code."""
    groups = {}
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in sorted(names):
                path = os.path.join(root, name)
                crash = re.match(r"(crash|oom|timeout)-", name) or (
                    name.startswith("id:") and os.path.basename(root) == "crashes")
                if not crash or not level_of(path):
                    continue
                kind, frames = read_report(run_input(bonus_target(level_of(path)), path)[1])
                key = (kind or "no report",) + tuple(f"{f} ({w})" for f, w in frames[:top])
                groups.setdefault(key, []).append(path)
    for number, (key, paths) in enumerate(sorted(groups.items()), 1):
        print(f"bug {number}: {key[0]}, {len(paths)} crash(es)")
        for frame in key[1:]:
            print("    in " + frame)
        print("  e.g. " + short(paths[0]))
    return groups


def folder_size(folder):
    files = [os.path.join(folder, f) for f in os.listdir(folder)]
    files = [f for f in files if os.path.isfile(f)]
    return len(files), sum(os.path.getsize(f) for f in files)


def merge(level, folders, engine, out):
    """Keeps the inputs of FOLDERS that add coverage, through the sound target (passes only
    counted, so that a winner is kept rather than reported)."""
    shutil.rmtree(out, ignore_errors=True)
    env = dict(os.environ, TUMBLEWICK_FUZZ_KEEP_GOING="1")
    if engine == "afl":
        env.update(AFL_ENV)
        command = ["afl-cmin", "-i", folders[0], "-o", out, "--", sound_target(level, "afl")]
        if len(folders) > 1:  # afl-cmin reads one folder: gather them first
            gathered = out + ".in"
            shutil.rmtree(gathered, ignore_errors=True)
            os.makedirs(gathered)
            for n, folder in enumerate(folders):
                for name in os.listdir(folder):
                    if os.path.isfile(os.path.join(folder, name)):
                        shutil.copy(os.path.join(folder, name), os.path.join(gathered, f"{n}-{name}"))
            command[2] = gathered
    else:
        os.makedirs(out)
        command = [sound_target(level), "-merge=1"] + libfuzzer_flags(level) + [out] + folders
    subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                   check=True)
    before = [folder_size(f) for f in folders]
    return sum(n for n, _ in before), sum(b for _, b in before), *folder_size(out)


# ---- the regression corpus -------------------------------------------------------------------

def regress():
    """Each committed reproducer must give its level's report in the bonus build and be judged
    a pass, with no report at all, by the sound target."""
    build("libfuzzer", [f"level{n}{s}" for n in LEVELS for s in ("", "_bonus")])
    failures = 0
    for level in LEVELS:
        path = os.path.join(REGRESSIONS, f"level{level}.bin")
        kind = read_report(run_input(bonus_target(level), path)[1])[0]
        passed, clean = sound_verdict(level, path)
        good = kind == EXPECTED[level] and passed and clean
        failures += not good
        print(f"{'ok' if good else 'FAIL'}: level {level}, {os.path.getsize(path)} bytes: bonus "
              f"build {kind}, sound rule {'pass' if passed else 'no pass'}, "
              f"{'no report' if clean else 'a report'}")
    return 1 if failures else 0


# ---- measuring ------------------------------------------------------------------------------

FIELDS = ["level", "engine", "trial", "found", "execs", "seconds", "kind", "first_bytes",
          "minimized_bytes", "stopped_by"]


def trial(level, engine, seed, seconds):
    tag = f"-trial{seed}"
    if engine == "afl":
        result = run_afl(level, seconds, seed, tag)
    else:
        result = run_libfuzzer(level, seconds, seed, engine == "libfuzzer-repair", tag)
    row = {"level": level, "engine": engine, "trial": seed, "found": int(result["found"]),
           "execs": result["execs"], "seconds": result["seconds"], "kind": result["kind"] or "",
           "first_bytes": "", "minimized_bytes": "", "stopped_by": ""}
    if result["found"]:
        row["first_bytes"] = os.path.getsize(result["crash"])
        row["minimized_bytes"] = minimize(level, result["crash"],
                                          "afl" if engine == "afl" else "libfuzzer",
                                          result["crash"] + ".min")
    else:
        row["stopped_by"] = stopped_by(level, result["corpus"])
    say(f"level {level} {engine} trial {seed}: {row}")
    return row


def measure(args):
    levels = [int(n) for n in args.levels.split(",")]
    engines = args.engines.split(",")
    build("libfuzzer", [f"level{n}{s}" for n in levels for s in ("", "_bonus")] +
          [f"level{n}_bonus_repair" for n in levels if n in REPAIRED])
    if "afl" in engines:
        build("afl", [f"level{n}_bonus" for n in levels])
    build_judge()
    work = [(level, engine, seed) for level in levels for engine in engines
            if engine != "libfuzzer-repair" or level in REPAIRED
            for seed in range(1, args.trials + 1)]
    with ThreadPoolExecutor(args.jobs) as pool:
        rows = list(pool.map(lambda w: trial(*w, args.seconds), work))
    old = []
    if os.path.exists(args.out):
        with open(args.out, encoding="utf-8") as f:
            done = {(r["level"], r["engine"]) for r in rows}
            old = [r for r in csv.DictReader(f) if (int(r["level"]), r["engine"]) not in done]
    rows = sorted(old + rows, key=lambda r: (int(r["level"]), r["engine"], int(r["trial"])))
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out, "w", encoding="utf-8", newline="") as f:
        writer = csv.DictWriter(f, FIELDS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    print(table(args.out, "en"))


def median(values):
    return statistics.median(values) if values else None


def number(value, seconds=False):
    if value is None:
        return "-"
    return f"{value:.1f}" if seconds or value % 1 else f"{int(value)}"


HEADINGS = {
    "en": ["Level", "Engine", "Found", "Median executions", "Median seconds", "Report",
           "First crash (bytes)", "Minimised (bytes)", "Not found: stopped at"],
    "zh": ["关卡", "引擎", "找到", "执行次数中位数", "秒数中位数", "报告", "首个崩溃（字节）",
           "最小化后（字节）", "未找到：止步于"],
}


def table(path, lang):
    """The measurements as a Markdown table: one row per level and engine."""
    with open(path, encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    groups = {}
    for row in rows:
        groups.setdefault((int(row["level"]), row["engine"]), []).append(row)
    lines = ["| " + " | ".join(HEADINGS[lang]) + " |", "|" + "---|" * len(HEADINGS[lang])]
    for (level, engine), group in sorted(groups.items()):
        found = [r for r in group if r["found"] == "1"]
        kinds = sorted({r["kind"] for r in found})
        stops = []  # each verdict once, in the order the trials reached them
        for r in group:
            if r["found"] != "1":
                stops += [v for v in r["stopped_by"].split(" | ") if v and v not in stops]
        cells = [str(level), engine, f"{len(found)}/{len(group)}",
                 number(median([int(r["execs"]) for r in found])),
                 number(median([float(r["seconds"]) for r in found]), seconds=True),
                 ", ".join(kinds) or "-",
                 number(median([int(r["first_bytes"]) for r in found])),
                 number(median([int(r["minimized_bytes"]) for r in found])),
                 "; ".join(f'"{s}"' for s in stops) or "-"]
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


# ---- the command line ------------------------------------------------------------------------

def main(argv):
    parser = argparse.ArgumentParser(prog="fuzz.sh", description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     usage=__doc__.split("\n\n", 1)[1])
    parser.add_argument("what", help="LEVEL 1-6, dedup, regress, measure or table")
    parser.add_argument("folders", nargs="*")
    parser.add_argument("--bonus", action="store_true")
    parser.add_argument("--reproduce", metavar="FILE")
    parser.add_argument("--minimize", metavar="FILE")
    parser.add_argument("--merge", action="store_true")
    parser.add_argument("--engine", default="libfuzzer", choices=["libfuzzer", "afl"])
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--repair", action="store_true")
    parser.add_argument("--out")
    parser.add_argument("--trials", type=int, default=10)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--levels", default="1,2,3,4,5,6")
    parser.add_argument("--engines", default="libfuzzer,libfuzzer-repair,afl")
    parser.add_argument("--lang", default="en", choices=["en", "zh"])
    args = parser.parse_intermixed_args(argv)

    if args.what == "dedup":
        build("libfuzzer", [f"level{n}_bonus" for n in LEVELS])
        dedup(args.folders)
        return 0
    if args.what == "regress":
        if not shutil.which("clang++") and not shutil.which("clang++-14"):
            print("clang++ not found: bonus regressions skipped")
            return 77  # CTest: skipped; the test command installs clang
        return regress()
    if args.what == "measure":
        args.out = args.out or DATA
        measure(args)
        return 0
    if args.what == "table":
        print(table(args.out or DATA, args.lang))
        return 0
    if args.what not in [str(n) for n in LEVELS]:
        parser.error("LEVEL must be 1 to 6, or one of dedup, regress, measure, table")
    level = int(args.what)
    if args.repair and level not in REPAIRED:
        parser.error("--repair: levels 4 and 6 only")
    targets = [f"level{level}_bonus", f"level{level}"] + (
        [f"level{level}_bonus_repair"] if level in REPAIRED else [])
    build("libfuzzer", targets)
    if args.engine == "afl" and (args.bonus or args.minimize or args.merge):
        build("afl", targets[:2])

    if args.reproduce:
        code, text = run_input(bonus_target(level), args.reproduce)
        print(f"level{level}_bonus {short(args.reproduce)}: exit {code}")
        print("\n".join("  " + line for line in report_lines(text)))
        passed, clean = sound_verdict(level, args.reproduce)
        print(f"level{level} (the sound rule): {'a pass' if passed else 'no pass'}, "
              f"{'no sanitizer report' if clean else 'A REPORT'}")
        return 0 if read_report(text)[0] and clean else 1
    if args.minimize:
        out = args.out or args.minimize + ".min"
        before = os.path.getsize(args.minimize)
        after = minimize(level, args.minimize, args.engine, out)
        kind = read_report(run_input(bonus_target(level), out)[1])[0]
        print(f"minimised with {'afl-tmin' if args.engine == 'afl' else '-minimize_crash=1'}: "
              f"{before} -> {after} bytes, {short(out)}; still {kind}")
        return 0
    if args.merge:
        out = args.out or os.path.join(RUNS, f"level{level}-merged-{args.engine}")
        files, size, kept, kept_size = merge(level, args.folders, args.engine, out)
        print(f"merged with {'afl-cmin' if args.engine == 'afl' else '-merge=1'}: {files} files "
              f"({size} bytes) -> {kept} files ({kept_size} bytes) in {short(out)}")
        return 0
    if args.bonus:
        tag = f"-seed{args.seed}"  # each seed's run kept apart, for dedup and merge
        if args.engine == "afl":
            result = run_afl(level, args.seconds, args.seed, tag)
        else:
            result = run_libfuzzer(level, args.seconds, args.seed, args.repair, tag)
        name = args.engine + (" repair" if args.repair else "")
        if result["found"]:
            print(f"level {level} bonus, {name} (seed {args.seed}): {result['kind']} after "
                  f"{result['execs']} executions in {result['seconds']} s")
            print(f"  crash: {short(result['crash'])} ({os.path.getsize(result['crash'])} bytes)")
        else:
            print(f"level {level} bonus, {name} (seed {args.seed}): nothing in {args.seconds} s "
                  f"({result['execs']} executions)")
            build_judge()
            print(f"  stopped at: {stopped_by(level, result['corpus'])}")
        print(f"  log: {short(result['log'])}")
        return 0 if result["found"] else 1
    parser.error("LEVEL needs --bonus, --reproduce FILE, --minimize FILE or --merge DIR...")
    return 2
