#!/usr/bin/python3
"""The fuzz lab: lets fuzzers try to beat the levels through the levels' own rules, records
every run, and tells, over many trials, how often and how soon each one won. See
docs/fuzzing.md (Chinese) and docs/fuzzing.en.md (English).

  fuzz.sh LEVEL [--engine E] [--seconds N] [--seed N] [--corpus DIR] [TECHNIQUE...] [--trials N]
      LEVEL 1-6; E: libfuzzer (default), afl, afl-cmplog, zzuf or gui (the real game under
      Wine); DIR: seeds of your own instead of fuzz/corpus/levelN; TECHNIQUE (libFuzzer):
      --plain (default), --dict, --value-profile, --no-cmp (level 6), --repair (levels 4 and 6;
      also gui's), --no-seeds
      --explain: then the level's checks, with when each first fell; --coverage: then source
      coverage of the level's rule over the run's final corpus (HTML and an excerpt; --from
      RUNDIR: of a run already made, --data DIR: the excerpt also there)
  fuzz.sh LEVEL --compare [--seconds N] [--trials K]   every libFuzzer technique for LEVEL
  fuzz.sh table [--techniques] [--seconds N] [--trials K]  the ladder (every engine on every
      level) or every libFuzzer technique; K trials a cell (random seeds 1..K, default 3);
      the runs' data go to docs/data/ladder.csv or techniques.csv (--data FILE elsewhere)
  fuzz.sh table --engine gui [--levels L...] [--seconds N] [--trials K]  the GUI fuzzer alone,
      plain and with its repair (levels 4, 6); data: docs/data/gui.csv (--data FILE elsewhere)
  fuzz.sh soak [--runs N]            each target for N executions, passes only counted
  fuzz.sh report [--check]           the guides' measured tables and pictures from docs/data;
                                     --check: fail where a guide differs from them
  fuzz.sh arena [--trials N] [--seconds S] [--levels L...] -- COMMAND ARGS...
                                     grades a fuzzer of your own on each level
  fuzz.sh bench [--trials N] [--seconds S] [--levels L...]  the lab's overhead, --jobs 1 vs 2
  fuzz.sh smoke | find-winner OUTDIR [LEVEL...]           what the test command runs
  fuzz.sh LEVEL --bonus | --reproduce FILE | --minimize FILE | --merge DIR...; fuzz.sh dedup
      DIR...; fuzz.sh bonus regress | measure | table   the bonus bugs (fuzz/bonus.py, lab only)
Common: --jobs J (parallel runs, default the number of cores), --seed S (first random seed).
Every run appends one JSON line to build/lab/runs.jsonl."""
import argparse
import configparser
import csv
import dataclasses
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor, as_completed
from fractions import Fraction
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
FUZZ = REPO / "fuzz"
BUILD = Path(os.environ.get("TUMBLEWICK_BUILD_DIR", REPO / "build"))
LAB = Path(os.environ.get("TUMBLEWICK_LAB_DIR", BUILD / "lab"))
RESULTS = LAB / "runs.jsonl"
DATA = REPO / "docs" / "data"
GUIDES = {"zh": REPO / "docs" / "fuzzing.md", "en": REPO / "docs" / "fuzzing.en.md"}
LEVELS = (1, 2, 3, 4, 5, 6)
# Past the bound an engine gets this long to stop by itself before its group is killed.
GRACE = 5


def say(text):
    print("== " + text, file=sys.stderr, flush=True)


class LabError(Exception):
    """One clear line for the user; the lab goes on where it can."""


# ---------------------------------------------------------------------------------------------
# Packages and builds, each configured in one place.

def ensure_packages(*groups):
    """Installs the missing Debian packages of the named groups of scripts/common.sh, through
    its own helper (sudo when not root)."""
    script = '. "$0"; p=(); for g; do eval "p+=(\\"\\${${g}_packages[@]}\\")"; done; ensure_packages "${p[@]}"'
    subprocess.run(["bash", "-c", script, str(REPO / "scripts" / "common.sh"), *groups], check=True)


def compiler():
    return shutil.which("clang++") or shutil.which("clang++-14")


LEVEL_TARGETS = tuple(f"level{n}" for n in LEVELS)
AFL_OPTIONS = ("-DCMAKE_CXX_COMPILER=afl-clang-fast++", "-DTUMBLEWICK_FUZZ_SANITIZERS=OFF")


@dataclasses.dataclass(frozen=True)
class Build:
    source: Path
    dir: Path
    options: tuple = ()  # beside the compiler, which is clang++ unless given here
    env: tuple = ()  # (name, value) for configuring and building
    targets: tuple = ()  # none: all


BUILDS = {
    "fuzz": Build(FUZZ, BUILD / "fuzz"),
    "afl": Build(FUZZ, BUILD / "fuzz-afl", AFL_OPTIONS, targets=LEVEL_TARGETS),
    "afl-cmplog": Build(FUZZ, BUILD / "fuzz-afl-cmplog", AFL_OPTIONS, (("AFL_LLVM_CMPLOG", "1"),),
                        LEVEL_TARGETS),
    "judge": Build(REPO, BUILD / "judge", ("-DBUILD_TESTING=OFF", "-DTUMBLEWICK_WERROR=ON"),
                   targets=("tumblewick-judge",)),
    # Source coverage (./fuzz.sh LEVEL --coverage): the level targets, counting every line.
    "coverage": Build(FUZZ, BUILD / "fuzz-coverage", (
        "-DTUMBLEWICK_FUZZ_SANITIZERS=OFF", "-DCMAKE_CXX_FLAGS=-fprofile-instr-generate -fcoverage-mapping"),
        targets=LEVEL_TARGETS),
}
_built = set()


def build(name):
    """Configures (once) and builds; the build's output is shown only when it fails."""
    if name in _built:
        return
    b = BUILDS[name]
    env = dict(os.environ, AFL_QUIET="1", **dict(b.env))
    steps = []
    if not (b.dir / "CMakeCache.txt").exists():
        cxx = [] if any("COMPILER" in o for o in b.options) else [f"-DCMAKE_CXX_COMPILER={compiler()}"]
        steps.append(["cmake", "-S", str(b.source), "-B", str(b.dir), *cxx, *b.options])
    steps.append(["cmake", "--build", str(b.dir), f"-j{os.cpu_count()}"]
                 + (["--target", *b.targets] if b.targets else []))
    log = LAB / f"build-{name}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    with log.open("w") as out:
        for step in steps:
            if subprocess.run(step, env=env, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
                raise LabError(f"the {name} build failed; see {rel(log)}")
    _built.add(name)


def judge_path():
    return Path(os.environ.get("TUMBLEWICK_JUDGE_BINARY", BUILDS["judge"].dir / "tumblewick-judge"))


def options(path, section):
    """The key = value lines of SECTION in an .options file, as OSS-Fuzz lays them out."""
    if not path.exists():
        return {}
    parser = configparser.ConfigParser(interpolation=None)
    parser.read(path)
    return dict(parser[section]) if parser.has_section(section) else {}


def lab_value(level, key):
    return options(FUZZ / f"level{level}.options", "lab").get(key, "")


def fuzz_targets():
    return (BUILDS["fuzz"].dir / "targets.txt").read_text().split()


def libfuzzer_flags(target):
    """[libfuzzer] of the level's .options, then of the variant's own where it has one."""
    flags = options(FUZZ / f"{target.split('_')[0]}.options", "libfuzzer")
    if "_" in target:
        flags.update(options(FUZZ / f"{target}.options", "libfuzzer"))
    return [f"-{k}={v}" for k, v in flags.items()]


# ---------------------------------------------------------------------------------------------
# The record of one run: what every engine reports, one JSON line in build/lab/runs.jsonl.

@dataclasses.dataclass
class Run:
    level: int
    engine: str
    technique: str = "plain"
    seed: int = 1  # the trial's random seed
    bound: int = 60  # seconds
    beaten: bool = False
    executions: int = 0
    seconds: float = 0.0  # to the win, or the whole run when not beaten
    wall: float = 0.0  # the engine's process from start to end
    winner: str = ""
    log: str = ""
    mutations: str = ""  # the engine's account of the last mutations, where it gives one
    status: str = "ok"  # ok | fault (a finding, not a pass) | failed (did not start) | killed
    verdict: str = ""  # the arena's
    corpus: str = ""  # seeds of the user's own (--corpus)
    load: float = 0.0  # the machine's load average when the run started
    dir: str = ""
    # When each of the level's checks first fell (an input passed it): "EXECUTIONS/SECONDS"
    # per check, in the rule's order, "-" for one never passed; empty where unknown.
    stages: str = ""


_results_lock = threading.Lock()


def record(run):
    with _results_lock:
        RESULTS.parent.mkdir(parents=True, exist_ok=True)
        with RESULTS.open("a") as f:
            f.write(json.dumps(dataclasses.asdict(run), sort_keys=True) + "\n")


def rel(path):
    path = Path(path)
    return str(path.relative_to(REPO)) if path.is_relative_to(REPO) else str(path)


# ---------------------------------------------------------------------------------------------
# Processes: each in a session (process group) of its own, pinned to one core, killed with the
# whole group at the bound; Ctrl+C kills every group still running.

_live = {}
MARK = f"TUMBLEWICK_LAB_RUN={os.getpid()}".encode()
_count = iter(range(1, 1 << 62))
_live_lock = threading.Lock()
_stopping = threading.Event()


def kill_group(pid, sig=signal.SIGKILL):
    try:
        os.killpg(pid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def kill_marked(mark):
    """Kills every process whose environment holds MARK: those of a run that left its group,
    as AFL++ does when it puts the target in a session of its own. Returns how many."""
    killed = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if any(v == mark or mark.endswith(b"-") and v.startswith(mark)
                       for v in f.read().split(b"\0")):
                    os.kill(int(pid), signal.SIGKILL)
                    killed += 1
        except OSError:
            pass
    return killed


def kill_all():
    _stopping.set()
    with _live_lock:
        for pid in list(_live):
            kill_group(pid)
    kill_marked(MARK + b"-")


def run_bounded(cmd, bound, log, core=None, env=None, cwd=None, term_first=False):
    """Runs CMD until it exits or BOUND seconds passed; then kills its group (with TERM and a
    second's grace first when TERM_FIRST). Returns (exit status, seconds, how it ended:
    "exited", "stopped" (ended by TERM) or "killed")."""
    if _stopping.is_set():
        raise KeyboardInterrupt
    if core is not None and shutil.which("taskset"):
        cmd = ["taskset", "-c", str(core), *cmd]
    mark = MARK + f"-{next(_count)}".encode()
    env = dict(env or os.environ, TUMBLEWICK_LAB_RUN=mark.decode().partition("=")[2])
    start = time.monotonic()
    with open(log, "ab") as out:
        p = subprocess.Popen([str(c) for c in cmd], stdout=out, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, env=env, cwd=cwd, start_new_session=True)
    with _live_lock:
        _live[p.pid] = p
    ended = "exited"
    try:
        try:
            p.wait(timeout=bound)
        except subprocess.TimeoutExpired:
            ended = "killed"
            if term_first:
                kill_group(p.pid, signal.SIGTERM)
                try:
                    p.wait(timeout=1)
                    ended = "stopped"
                except subprocess.TimeoutExpired:
                    pass
            kill_group(p.pid)
            p.wait()
    finally:
        seconds = time.monotonic() - start
        kill_group(p.pid)  # whatever the run left behind in its group
        kill_marked(mark)
        with _live_lock:
            _live.pop(p.pid, None)
    return p.returncode, seconds, ended


# ---------------------------------------------------------------------------------------------
# Stage reach: how far through the level's checks (levels/stage_texts.h) a run's inputs got,
# and when. Each engine yields points (checks passed, executions, seconds); libFuzzer counts
# in the target, AFL++'s queue and crashes are replayed through the judge in the order they
# were found, and zzuf's judge explains every input it is handed.

EXPLAINED = re.compile(r"^checks passed: (\d+)/(\d+)$", re.M)


def explain(level, path):
    """(checks passed, checks) of one input, as tumblewick-judge --explain counts them."""
    said = subprocess.run([judge_path(), "--explain", str(level), str(path)], capture_output=True,
                          text=True, stdin=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C"))
    m = EXPLAINED.search(said.stdout)
    return (int(m.group(1)), int(m.group(2))) if m else (0, 0)


def stage_count(level):
    return explain(level, os.devnull)[1]


def stage_names(level, lang="en"):
    """The names of the level's checks, in order, as the judge's --explain gives them."""
    said = subprocess.run([judge_path(), "--explain", str(level), os.devnull], capture_output=True,
                          text=True, env=dict(os.environ, LC_ALL="zh_CN.UTF-8" if lang == "zh" else "C"))
    return [m.group(1).split("：" if lang == "zh" else ": ")[0]
            for m in re.finditer(r"^  \D*?\d+\. (.*)$", said.stdout, re.M)]


def reach(points, checks):
    """The Run.stages text: for each check, the first point that passed it."""
    fell = []
    for i in range(1, checks + 1):
        first = min(((e, s) for n, e, s in points if n >= i), default=None)
        fell.append(f"{first[0]}/{first[1]:.2f}" if first else "-")
    return " ".join(fell)


def fallen(run):
    """[(executions, seconds) or None] for each check of the run's level."""
    return [None if x == "-" else (int(x.split("/")[0]), float(x.split("/")[1]))
            for x in run.stages.split()]


def furthest(run):
    """The number of the furthest check a run's inputs reached (1-based), or None if unknown;
    one past the last check when it won."""
    marks = fallen(run)
    return next((i + 1 for i, x in enumerate(marks) if x is None), len(marks) + 1) if marks else None


# ---------------------------------------------------------------------------------------------
# The engines. Each takes a Job and fills in its Run.

@dataclasses.dataclass
class Job:
    run: Run
    dir: Path
    seeds: Path  # the folder of seed inputs
    core: int = None
    artifact: Path = None  # the exact path for the winning input (libFuzzer)
    keep_going: int = 0  # executions, passes only counted (soak, smoke)
    command: tuple = ()  # the arena's fuzzer


TECHNIQUES = {  # libFuzzer's: flags, or the build variant a technique needs
    "plain": {},
    "dict": {"flags": lambda level: [f"-dict={FUZZ / f'level{level}.dict'}"]},
    "value-profile": {"flags": lambda level: ["-use_value_profile=1"]},
    "no-cmp": {"variant": "nocmp"},
    "repair": {"variant": "repair"},
    "no-seeds": {"seeds": False},
}


def libfuzzer_target(level, technique):
    parts = technique.split("+")
    variants = [TECHNIQUES[t]["variant"] for t in parts if "variant" in TECHNIQUES[t]]
    return f"level{level}" + "".join(f"_{v}" for v in variants)


def check_technique(level, technique):
    for t in technique.split("+"):
        if t not in TECHNIQUES:
            raise LabError(f"no technique {t}")
    if "dict" in technique.split("+") and not (FUZZ / f"level{level}.dict").exists():
        raise LabError(f"level {level} has no dictionary")
    if libfuzzer_target(level, technique) not in fuzz_targets():
        raise LabError(f"level {level} has no build for {technique}")


def read_libfuzzer_log(run, text):
    execs = re.findall(r"^stat::number_of_executed_units: *(\d+)", text, re.M)
    run.executions = int(execs[-1]) if execs else 0
    mutations = re.findall(r"^MS: \d+ ([^;\n]*)", text, re.M)
    run.mutations = mutations[-1].strip() if mutations else ""
    winner = re.findall(r"Test unit written to (.*)", text)
    passed = re.search(r"^TUMBLEWICK: level [1-6] passed$", text, re.M)
    run.beaten = bool(passed and winner)
    run.winner = rel(winner[-1].strip()) if run.beaten else ""
    if not run.beaten and (not re.search(r"^Done \d+ runs", text, re.M)
                           or re.search(r"^==\d+==.*ERROR|runtime error", text, re.M)):
        run.status = "fault"


def passes_counted(text):
    m = re.search(r"^TUMBLEWICK: level [1-6] passed (\d+) times$", text, re.M)
    return int(m.group(1)) if m else 0


def run_libfuzzer(job):
    r = job.run
    target = libfuzzer_target(r.level, r.technique)
    (job.dir / "corpus").mkdir(parents=True)
    (job.dir / "findings").mkdir()
    args = [f"-seed={r.seed}"]
    if job.keep_going:
        args.append(f"-runs={job.keep_going}")
    else:
        args.append(f"-max_total_time={r.bound}")
    for t in r.technique.split("+"):
        args += TECHNIQUES[t].get("flags", lambda level: [])(r.level)
    if job.artifact:
        args.append(f"-exact_artifact_path={job.artifact}")
    if all(TECHNIQUES[t].get("seeds", True) for t in r.technique.split("+")):
        args.append(str(job.seeds))
    cmd = [BUILDS["fuzz"].dir / target, *libfuzzer_flags(target), "-print_final_stats=1",
           f"-artifact_prefix={job.dir / 'findings'}/", job.dir / "corpus", *args]
    stage_log = job.dir / "stages.log"
    env = dict(os.environ, TUMBLEWICK_STAGE_LOG=str(stage_log))
    if job.keep_going:
        env["TUMBLEWICK_FUZZ_KEEP_GOING"] = "1"
    bound = 3600 if job.keep_going else r.bound + GRACE
    _, r.wall, ended = run_bounded(cmd, bound, r.log, job.core, env)
    r.seconds = r.wall
    text = Path(r.log).read_text(errors="replace")
    read_libfuzzer_log(r, text)
    if stage_log.exists() and not job.keep_going:
        points = [(int(n), int(e), float(t)) for n, e, t in
                  (line.split() for line in stage_log.read_text().splitlines() if line.strip())]
        r.stages = reach(points, stage_count(r.level))
    r.mutations = r.mutations if not job.keep_going else str(passes_counted(text))
    if ended != "exited":
        r.status = "killed"


def first_seed_file(folder):
    files = sorted(p for p in Path(folder).iterdir() if p.is_file())
    if not files:
        raise LabError(f"no seed file in {folder}")
    return files[0]


def run_zzuf(job):
    """zzuf's seeds SEED*1000000 upwards flip bits of the level's (first) seed file as the
    judge reads it, until the judge exits 0 or the time is up. zzuf -x reports a failing exit,
    so sh inverts the judge's exit status."""
    r = job.run
    job.dir.mkdir(parents=True)
    seed_file = first_seed_file(job.seeds)
    first = r.seed * 1000000
    cmd = ["zzuf", "-v", "-x", "-c", "-s", f"{first}:{first + 999999}", "-t", r.bound,
           "sh", "-c", '! "$0" "$@"', judge_path(), "--explain", r.level, seed_file]
    _, r.wall, ended = run_bounded(cmd, r.bound + GRACE, r.log, job.core, dict(os.environ, LC_ALL="C"))
    r.seconds = r.wall
    text = Path(r.log).read_text(errors="replace")
    r.executions = text.count(": launched ")
    # Each input's explanation follows its launch; zzuf keeps no clock, so the seconds are
    # the run's steady rate times the input's number.
    runs = text.split(": launched ")[1:]
    rate = r.wall / max(len(runs), 1)
    points = [(int(m.group(1)), i + 1, (i + 1) * rate)
              for i, chunk in enumerate(runs) for m in [EXPLAINED.search(chunk)] if m]
    r.stages = reach(points, stage_count(r.level))
    won = re.search(r"^zzuf\[s=(\d+),r=[0-9.]+\]: exit 1$", text, re.M)
    if won:  # zzuf flips the same bits of its standard input with the same seed
        winner = job.dir / "winner"
        with open(seed_file, "rb") as i, open(winner, "wb") as o:
            subprocess.run(["zzuf", "-s", won.group(1)], stdin=i, stdout=o, check=False)
        if judged_pass(r.level, winner):
            r.beaten, r.winner = True, rel(winner)
            r.mutations = f"zzuf seed {won.group(1)}, ratio 0.004"
    if ended != "exited":
        r.status = "killed"


def judged_pass(level, path):
    return subprocess.run([judge_path(), str(level), str(path)], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL).returncode == 0


AFL_ENV = {"AFL_SKIP_CPUFREQ": "1", "AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES": "1", "AFL_NO_UI": "1",
           "AFL_NO_AFFINITY": "1", "AFL_BENCH_UNTIL_CRASH": "1"}


def run_afl(job, cmplog):
    """afl-fuzz on the level's target until its first crash (a pass aborts) or the bound."""
    r = job.run
    job.dir.mkdir(parents=True)
    extra = ["-c", BUILDS["afl-cmplog"].dir / f"level{r.level}"] if cmplog else []
    cmd = ["afl-fuzz", "-i", job.seeds, "-o", job.dir / "out", "-s", r.seed, "-V", r.bound, *extra,
           "--", BUILDS["afl"].dir / f"level{r.level}"]
    _, r.wall, ended = run_bounded(cmd, r.bound + GRACE, r.log, job.core, dict(os.environ, **AFL_ENV))
    r.seconds = r.wall
    stats = job.dir / "out" / "default" / "fuzzer_stats"
    execs = re.search(r"^execs_done *: *(\d+)", stats.read_text(), re.M) if stats.exists() else None
    r.executions = int(execs.group(1)) if execs else 0
    crashes = sorted((job.dir / "out" / "default" / "crashes").glob("id:*"))
    if crashes:  # the name tells when it was found: time:MS, execs:N and the mutation, op:...
        name = crashes[0].name
        r.beaten, r.winner = True, rel(crashes[0])
        r.executions = int(re.search(r"execs:(\d+)", name).group(1))
        r.seconds = int(re.search(r"time:(\d+)", name).group(1)) / 1000
        op = re.search(r",(op:.*)", name)
        r.mutations = op.group(1) if op else ""
    elif not stats.exists():
        r.status = "failed"
    if ended != "exited":
        r.status = "killed"
    # The queue and the crashes in the order found; each name tells when: time:MS, execs:N.
    points = []
    for f in (job.dir / "out" / "default").glob("[qc][ur]*/id:*"):
        e, t = re.search(r"execs:(\d+)", f.name), re.search(r"time:(\d+)", f.name)
        points.append((explain(r.level, f)[0], int(e.group(1)) if e else 0,
                       int(t.group(1)) / 1000 if t else 0.0))
    r.stages = reach(points, stage_count(r.level)) if stats.exists() else ""


@dataclasses.dataclass(frozen=True)
class Engine:
    run: object
    packages: tuple  # groups in scripts/common.sh
    builds: tuple
    label: str  # as tables and pictures name it


ENGINES = {  # the ladder, from blind to guided
    "zzuf": Engine(run_zzuf, ("fuzz", "zzuf"), ("judge",), "zzuf"),
    "afl": Engine(lambda job: run_afl(job, False), ("fuzz", "afl"), ("afl", "judge"), "AFL++"),
    "afl-cmplog": Engine(lambda job: run_afl(job, True), ("fuzz", "afl"),
                         ("afl", "afl-cmplog", "judge"), "AFL++ CmpLog"),
    "libfuzzer": Engine(run_libfuzzer, ("fuzz",), ("fuzz", "judge"), "libFuzzer"),
}


# ---------------------------------------------------------------------------------------------
# The GUI rung: tumblewick-guifuzz plays the real game under Wine, in the project's prefix and
# on a private Xvfb display set up as the test command does (scripts/common.sh). It reaches the
# level by the lab's known winners (fuzz/winners), which it does not count; its submissions are
# the executions and its seconds those of the level. One run at a time: two would share the
# prefix's desktop. Technique "repair": the file levels' structure repair (levels 4 and 6).

BUILDS["win"] = Build(REPO, BUILD / "win", (
    f"-DCMAKE_TOOLCHAIN_FILE={REPO / 'cmake' / 'mingw-w64-x86_64.cmake'}",
    "-DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix", "-DTUMBLEWICK_WERROR=ON"),
    targets=("Velk_Game", "tumblewick-guifuzz", "starter_samples"))
GUI_SCRIPT = """. "$0"; prepare_prefix >/dev/null; start_display || exit 3; trap stop_display EXIT
LC_ALL=$TUMBLEWICK_LOCALE WINEDEBUG=-all wine "$@" """
_gui_lock = threading.Lock()


def winpath(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def run_gui(job):
    r = job.run
    job.dir.mkdir(parents=True)
    cmd = ["bash", "-c", GUI_SCRIPT, REPO / "scripts" / "common.sh",
           BUILDS["win"].dir / "game" / "tumblewick-guifuzz.exe", "--level", r.level,
           "--seconds", r.bound, "--seed", r.seed, "--json", "--replay", winpath(FUZZ / "winners"),
           "--seeds", winpath(job.seeds), "--save", winpath(job.dir)]
    if "repair" not in r.technique.split("+"):
        cmd.append("--plain")
    with _gui_lock:  # the bound leaves time for Wine to start and the replayed levels
        status, r.wall, ended = run_bounded(cmd, r.bound + 60, r.log, job.core)
    lines = [json.loads(line) for line in Path(r.log).read_text(errors="replace").splitlines()
             if line.startswith(f'{{"level":{r.level},')]
    if not lines:
        r.status = "failed" if ended == "exited" else "killed"
        return
    said = lines[-1]
    r.beaten, r.executions, r.seconds = said["beaten"], said["submissions"], said["seconds"]
    r.mutations = f"{said['coverage']} distinct answers" + (
        "" if r.beaten else f"; stuck at: {said['stuck_at']}")
    if r.beaten:
        winner = job.dir / f"level{r.level}.bin"
        if not winner.exists():  # a typed level: its fields as typed
            winner = job.dir / "winner.json"
            winner.write_text(json.dumps(said["winner"], ensure_ascii=False) + "\n")
        r.winner = rel(winner)
    if ended != "exited" or status == 3:
        r.status = "killed" if ended != "exited" else "failed"


ENGINES["gui"] = Engine(run_gui, ("game", "gui"), ("win",), "GUI (guifuzz)")


GUI_WORDS = {"gui": ("GUI fuzzer 每秒提交次数", "GUI fuzzer: submissions/s"),
             "libfuzzer": ("libFuzzer 每秒执行次数（运行 1 秒以上的）", "libFuzzer: executions/s (runs of 1 s or more)"),
             "factor": ("慢多少倍", "Times slower")}


def gui_speed_table(path, lang):
    """The GUI fuzzer's submissions a second beside libFuzzer's executions a second (from the
    ladder's data), over the runs of a level: executions over seconds. libFuzzer's runs that won
    within a second are left out: their start-up, not their pace, makes their figure."""
    gui = read_runs(path) + (read_runs(DATA / "gui_files.csv") if (DATA / "gui_files.csv").exists() else [])
    ladder = next((DATA / f for f in ("ladder.csv", "ladder_3seeds_60s.csv") if (DATA / f).exists()), None)
    lib = [r for r in read_runs(ladder) if r.engine == "libfuzzer" and r.seconds >= 1] if ladder else []

    def rate(runs):
        seconds = sum(r.seconds for r in runs)
        return sum(r.executions for r in runs) / seconds if seconds else 0

    rows = []
    for level in LEVELS:
        g, f = rate([r for r in gui if r.level == level]), rate([r for r in lib if r.level == level])
        if g:
            rows.append((level, f"{g:.0f}", f"{f:.0f}" if f else "-", f"{f / g:.0f}" if f else "-"))
    head = [word("level", lang)] + [GUI_WORDS[k][lang == "en"] for k in ("gui", "libfuzzer", "factor")]
    return markdown(head, rows)


def prepare(engines):
    """Installs and builds what ENGINES need; those that cannot be built are left out with one
    line each."""
    try:
        ensure_packages("lab", *sorted({g for e in engines if e in ENGINES for g in ENGINES[e].packages}))
    except subprocess.CalledProcessError:
        say("could not install every package; going on with what there is")
    ready = []
    for e in engines:
        try:
            for b in ENGINES[e].builds if e in ENGINES else ("judge",):
                build(b)
            ready.append(e)
        except LabError as err:
            say(f"{e} left out: {err}")
    return ready


def execute(job):
    r = job.run
    if job.dir.exists():
        shutil.rmtree(job.dir)
    job.dir.parent.mkdir(parents=True, exist_ok=True)
    r.dir = rel(job.dir)
    r.log = str(job.dir) + ".log"
    Path(r.log).unlink(missing_ok=True)
    r.load = round(os.getloadavg()[0], 2)
    try:
        (run_arena if job.command else ENGINES[r.engine].run)(job)
    except (OSError, LabError, subprocess.SubprocessError) as err:
        r.status, r.mutations = "failed", str(err)
    r.seconds, r.wall = round(r.seconds, 2), round(r.wall, 2)
    r.log = rel(r.log)
    record(r)
    return r


def run_all(jobs, parallel):
    """Runs the jobs, PARALLEL at a time, each on a core of its own."""
    cores = list(range(os.cpu_count() or 1))
    free = list(cores * (1 + parallel // len(cores)))[:parallel]
    free_lock = threading.Lock()

    def one(job):
        with free_lock:
            job.core = free.pop(0)
        try:
            return execute(job)
        finally:
            with free_lock:
                free.append(job.core)

    done = []
    pool = ThreadPoolExecutor(max_workers=parallel)
    try:
        for f in as_completed([pool.submit(one, j) for j in jobs]):
            done.append(f.result())
            r = done[-1]
            if len(jobs) > 1:
                print(f"  [{len(done)}/{len(jobs)}] level {r.level}, {name_of(r)}, seed {r.seed}: "
                      + (f"beaten, {r.executions} executions, {r.seconds} s" if r.beaten
                         else f"not beaten ({r.executions} executions, {r.status})"),
                      file=sys.stderr, flush=True)
    except KeyboardInterrupt:
        kill_all()
        pool.shutdown(wait=True, cancel_futures=True)
        raise
    pool.shutdown()
    return done


def name_of(r):
    return r.engine if r.engine != "libfuzzer" or r.technique == "plain" else r.technique


def make_job(level, engine, technique, seed, bound, corpus=None, folder="runs"):
    run = Run(level, engine, technique, seed, bound, corpus=rel(corpus) if corpus else "")
    seeds = Path(corpus) if corpus else FUZZ / "corpus" / f"level{level}"
    tag = technique if engine == "libfuzzer" else engine
    tag += f"-{technique}" if engine == "gui" and technique != "plain" else ""
    return Job(run, LAB / folder / f"level{level}-{tag}-seed{seed}", seeds)


# ---------------------------------------------------------------------------------------------
# Statistics, as FuzzBench and Magma report them. A run not beaten is censored: it tells only
# that the win would have come later than where the run stopped.

def kaplan_meier(runs, measure):
    """Steps (t, S) of the Kaplan-Meier estimate of S(t), the share of runs not yet beaten
    after t executions or seconds (MEASURE); a run not beaten leaves the count at its end."""
    data = sorted((getattr(r, measure), r.beaten) for r in runs)
    at_risk, s, steps, i = len(data), Fraction(1), [], 0
    while i < len(data):
        t, won, left = data[i][0], 0, 0
        while i < len(data) and data[i][0] == t:
            won, left, i = won + data[i][1], left + 1, i + 1
        if won:
            s *= 1 - Fraction(won, at_risk)
            steps.append((t, s))
        at_risk -= left
    return steps


def quantile(steps, q):
    """The first t by which a share Q of the runs has won, or None when it never did."""
    return next((t for t, s in steps if s <= 1 - Fraction(q)), None)


def summary(runs, measure):
    """(median, first quartile, third quartile) of MEASURE to the win."""
    steps = kaplan_meier(runs, measure)
    return tuple(quantile(steps, q) for q in ("1/2", "1/4", "3/4"))


def time_to_win(runs):
    return [r.seconds if r.beaten else r.bound for r in runs]


def a12(a, b):
    """Vargha-Delaney A12: the chance that a run of A wins sooner than one of B (ties half)."""
    wins = sum((x < y) + (x == y) / 2 for x in a for y in b)
    return wins / (len(a) * len(b))


def mann_whitney(a, b):
    """Two-sided Mann-Whitney U test: (U of A, p)."""
    if len(set(a) | set(b)) == 1:
        return len(a) * len(b) / 2, 1.0  # all tied: nothing tells the two apart
    from scipy.stats import mannwhitneyu
    u, p = mannwhitneyu(a, b, alternative="two-sided")
    return float(u), float(p)


def cells(runs, key):
    """Runs grouped by (level, KEY), in order of first appearance."""
    out = {}
    for r in runs:
        out.setdefault((r.level, getattr(r, key)), []).append(r)
    return out


def pairs(runs, key, focus=None):
    """Per level, every two cells (with FOCUS, if given) of which at least one ever won:
    (level, A, B, A12, p)."""
    groups = cells(runs, key)
    out = []
    for level in sorted({lv for lv, _ in groups}):
        names = [n for lv, n in groups if lv == level]
        for i, a in enumerate(names):
            for b in names[i + 1:]:
                first, second = (b, a) if b == focus else (a, b)
                ra, rb = groups[level, first], groups[level, second]
                if any(r.beaten for r in ra + rb) and focus in (None, first):
                    x, y = time_to_win(ra), time_to_win(rb)
                    out.append((level, first, second, a12(x, y), mann_whitney(x, y)[1]))
    return out


# ---------------------------------------------------------------------------------------------
# Data files: one row a run, the fields that tables and pictures need.

CSV_FIELDS = ("level", "engine", "technique", "seed", "bound", "beaten", "executions", "seconds", "load",
              "stages")


def write_csv(path, runs):
    path.parent.mkdir(parents=True, exist_ok=True)
    with path.open("w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(CSV_FIELDS)
        for r in sorted(runs, key=lambda r: (r.level, order_of(r), r.seed)):
            w.writerow([r.level, r.engine, r.technique, r.seed, r.bound, int(r.beaten),
                        r.executions, f"{r.seconds:.2f}", f"{r.load:.1f}", r.stages])


def read_runs(path):
    with open(path, newline="") as f:
        return [Run(int(row["level"]), row["engine"], row["technique"], int(row["seed"]),
                    int(row["bound"]), row["beaten"] == "1", int(row["executions"]),
                    float(row["seconds"]), load=float(row.get("load") or 0), stages=row.get("stages") or "")
                for row in csv.DictReader(f)]


def order_of(r):
    names = list(ENGINES)
    if r.engine in names:
        return (names.index(r.engine), technique_order(r.level, r.technique))
    return (len(names), r.engine)


def technique_order(level, technique):
    compare = lab_value(level, "compare").split()
    return compare.index(technique) if technique in compare else len(compare)


# ---------------------------------------------------------------------------------------------
# Tables, in Markdown, for the console and for the guides (Chinese "zh" and English "en").

WORDS = {
    "level": ("关卡", "Level"), "engine": ("引擎", "Engine"), "technique": ("技巧", "Technique"),
    "fuzzer": ("fuzzer", "Fuzzer"), "beaten": ("赢的次数", "Beaten"),
    "executions": ("赢时的执行次数：中位数（四分位距）", "Executions to win: median (IQR)"),
    "seconds": ("赢时的秒数：中位数（四分位距）", "Seconds to win: median (IQR)"),
    "unbeaten": ("没赢的运行停下时的执行次数（中位数）", "Executions of the runs not beaten (median)"),
    "a12": ("A12（A 更快赢的概率）", "A12 (A wins sooner)"), "p": ("p（Mann–Whitney U）", "p (Mann–Whitney U)"),
    "before": ("赢的次数（之前：3 个种子，60 秒）", "Beaten before (3 seeds, 60 s)"), "now": ("赢的次数（现在）", "Beaten now"),
    "p_won": ("p（赢的次数，Fisher 精确检验）", "p (beaten, Fisher's exact test)"),
    "execs_before": ("之前赢时执行次数的中位数", "Median executions to win before"),
    "execs_now": ("现在的中位数", "Median now"), "p_execs": ("p（执行次数，Mann–Whitney U）", "p (executions, Mann–Whitney U)"),
    "caption": ("每次运行最多 {bound} 秒，每格 {n} 次试验（随机种子 {first} 到 {last}）。",
                "Runs bounded at {bound} s, {n} trials a cell (random seeds {first} to {last})."),
    "won": ("全部通过", "passed all"),
    "stages_caption": ("每格：多数试验到达的最远一项检查（第几项和它的名字），以及这样的试验次数。",
                       "Each cell: the furthest check that most trials reached (its number and name), and in how many."),
    "load": ("运行开始时机器的平均负载为 {low:.1f} 到 {high:.1f}。",
             "The machine's load average when the runs started: {low:.1f} to {high:.1f}."),
}


def word(key, lang):
    return WORDS[key][lang == "en"]


def number(x, seconds=False):
    if x is None:
        return "-"
    return f"{x:.1f}" if seconds else str(round(x))


def spread(runs, measure):
    median, low, high = summary(runs, measure)
    s = measure == "seconds"
    if median is None and low is None:
        return "-"
    return f"{number(median, s)} ({number(low, s)}–{number(high, s)})"


def markdown(head, rows):
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    return lines + ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]


def caption(runs, lang, key):
    seeds = sorted({r.seed for r in runs})
    n = max(len(v) for v in cells(runs, key).values())
    text = word("caption", lang).format(bound=max(r.bound for r in runs), n=n, first=seeds[0], last=seeds[-1])
    if any(r.load for r in runs):
        text += (" " if lang == "en" else "") + word("load", lang).format(
            low=min(r.load for r in runs), high=max(r.load for r in runs))
    return [text, ""]


def runs_table(runs, lang, key="engine"):
    """k of N, and the medians with their interquartile ranges, a row per level and KEY."""
    head = [word("level", lang), word(key, lang), word("beaten", lang),
            word("executions", lang), word("seconds", lang), word("unbeaten", lang)]
    rows = [(level, name, f"{sum(r.beaten for r in group)}/{len(group)}",
             spread(group, "executions"), spread(group, "seconds"),
             number(statistics.median([r.executions for r in group if not r.beaten] or [None])))
            for (level, name), group in cells(runs, key).items()]
    return caption(runs, lang, key) + markdown(head, rows)


def probability(p):
    return "< 0.001" if p < 0.001 else f"{p:.2g}"


def tests_table(runs, lang, key="engine", focus=None):
    head = [word("level", lang), "A", "B", word("a12", lang), word("p", lang)]
    rows = [(level, a, b, f"{x:.2f}", probability(p)) for level, a, b, x, p in pairs(runs, key, focus)]
    return markdown(head, rows)


def grid_table(runs, lang):
    names = [e for e in ENGINES if any(r.engine == e for r in runs)]
    groups = cells(runs, "engine")
    rows = [[level] + [f"{sum(r.beaten for r in groups[level, e])}/{len(groups[level, e])}"
                       for e in names] for level in sorted({r.level for r in runs})]
    return markdown([word("level", lang)] + [ENGINES[e].label for e in names], rows)


def furthest_mode(group):
    """The furthest check that most of the trials reached, and in how many (ties: the further)."""
    reached = [furthest(r) for r in group if r.stages]
    if not reached:
        return None, 0
    best = max(set(reached), key=lambda n: (reached.count(n), n))
    return best, reached.count(best)


def stages_table(runs, lang):
    """Per level and engine, the furthest check most trials reached: where each got stuck."""
    names = [e for e in ENGINES if any(r.engine == e for r in runs)]
    groups = cells(runs, "engine")
    rows = []
    for level in sorted({r.level for r in runs}):
        checks = stage_names(level, lang)
        row = [level]
        for e in names:
            n, k = furthest_mode(groups.get((level, e), []))
            total = sum(1 for r in groups.get((level, e), []) if r.stages)
            row.append("-" if n is None else
                       f"{word('won', lang)} ({k}/{total})" if n > len(checks) else
                       f"{n}. {checks[n - 1]} ({k}/{total})")
        rows.append(row)
    return [word("stages_caption", lang), ""] + markdown([word("level", lang)] + [ENGINES[e].label for e in names], rows)


def change_table(runs, lang, before="ladder_3seeds_60s.csv"):
    """The ladder against an earlier measurement of it: k of N with Fisher's exact test, and the
    median executions to win with a Mann-Whitney U test where both won every trial."""
    from scipy.stats import fisher_exact, mannwhitneyu
    old, new = cells(read_runs(DATA / before), "engine"), cells(runs, "engine")
    rows = []
    for key in (k for k in old if k in new):
        o, n = old[key], new[key]
        ko, kn = sum(r.beaten for r in o), sum(r.beaten for r in n)
        p_won = fisher_exact([[ko, len(o) - ko], [kn, len(n) - kn]])[1]
        p_execs = "-"
        if ko == len(o) and kn == len(n) and len({r.executions for r in o + n}) > 1:
            p_execs = probability(mannwhitneyu([r.executions for r in o], [r.executions for r in n])[1])
        rows.append((*key, f"{ko}/{len(o)}", f"{kn}/{len(n)}", probability(p_won),
                     number(summary(o, "executions")[0]), number(summary(n, "executions")[0]), p_execs))
    head = [word(k, lang) for k in ("level", "engine", "before", "now", "p_won", "execs_before",
                                     "execs_now", "p_execs")]
    return markdown(head, rows)


JUDGE_MODES = {"one-input": ("每个进程一个输入（次/秒）", "one input per process (/s)"),
               "batch": ("批量（次/秒）", "batch (/s)"), "in-process": ("进程内（次/秒）", "in process (/s)")}


def judge_speed_table(path, lang):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    speed = {(r["level"], r["mode"]): float(r["judgments_per_second"]) for r in rows}
    levels = sorted({r["level"] for r in rows}, key=int)
    modes = [m for m in JUDGE_MODES if any(k[1] == m for k in speed)]
    return markdown([word("level", lang)] + [JUDGE_MODES[m][lang == "en"] for m in modes],
                    [[lv] + [number(speed.get((lv, m))) for m in modes] for lv in levels])


# ---------------------------------------------------------------------------------------------
# The players' hints (docs/hints.ini): HINTS.txt for the release, and the guides' learner's path
# with what the ladder measured on each level.

HINTS = REPO / "docs" / "hints.ini"
HINTS_TXT = REPO / "docs" / "HINTS.txt"
HINT_WORDS = {
    "hint": ("提示", "Hint"), "technique": ("技巧", "Technique"), "measured": ("实测", "Measured"),
    "next": ("下一步", "Try next"), "answer": ("在游戏里", "In the game"), "explain": ("卡住时", "When stuck"),
    "ladder": ("阶梯，每格 {n} 次、每次 {bound} 秒", "the ladder, {n} trials of {bound} s"),
    "cell": ("{engine} {k}/{n}，最远到第 {stage} 项检查：{name}（{m}/{n}）",
             "{engine} {k}/{n}, furthest check {stage}: {name} ({m}/{n})"),
    "excerpt": ("{engine}（赢了 {k}/{n}），种子 1 那次运行的最终语料：", "{engine} (won {k}/{n}), the final corpus of its run with seed 1:"),
    "cell_won": ("{engine} {k}/{n}，{m}/{n} 次全部通过", "{engine} {k}/{n}, all checks passed in {m}/{n}"),
}


def hints():
    parser = configparser.ConfigParser(interpolation=None)
    parser.read(HINTS, encoding="utf-8")
    return {int(level): parser[level] for level in parser.sections()}


def hint(section, key, lang):
    return section[f"{key}.{lang}"]


def measured_line(runs, level, lang):
    """What the ladder measured on the level: each engine's wins and where most trials stopped."""
    groups = cells(runs, "engine")
    parts = []
    for e in (e for e in ENGINES if (level, e) in groups):
        group = groups[level, e]
        stage, m = furthest_mode(group)
        names = stage_names(level, lang)
        fields = dict(engine=ENGINES[e].label, k=sum(r.beaten for r in group), n=len(group), m=m, stage=stage)
        if stage is not None:
            key = "cell_won" if stage > len(names) else "cell"
            parts.append(HINT_WORDS[key][lang == "en"].format(name=names[min(stage, len(names)) - 1], **fields))
    head = HINT_WORDS["ladder"][lang == "en"].format(n=max(len(g) for g in groups.values()),
                                                    bound=max(r.bound for r in runs))
    return f"（{head}）：" + "；".join(parts) + "。" if lang == "zh" else f"({head}): " + "; ".join(parts) + "."


COVERAGE = DATA / "coverage"


def coverage_excerpts(runs, lang):
    """Per level, the excerpt (docs/data/coverage/levelN-ENGINE.txt) of the engine that won least
    beside the one that won most (ties: the lower rung, then the higher)."""
    lines = []
    for level in sorted({r.level for r in runs}):
        have = [e for e in ENGINES if (COVERAGE / f"level{level}-{e}.txt").exists()]
        if len(have) < 2:
            continue
        group = {e: [r for r in runs if r.level == level and r.engine == e] for e in have}
        won = {e: sum(r.beaten for r in group[e]) for e in have}
        worst = min(have, key=lambda e: won[e])
        best = max(reversed(have), key=lambda e: won[e])
        lines += ["**" + PICTURE_WORDS["level"][lang == "en"].format(level) + "**", ""]
        for e in (worst, best):
            excerpt_lines = (COVERAGE / f"level{level}-{e}.txt").read_text().rstrip("\n").splitlines()
            lines += [HINT_WORDS["excerpt"][lang == "en"].format(engine=ENGINES[e].label, k=won[e], n=len(group[e])),
                      "", "```text", *excerpt_lines, "```", ""]
    return lines[:-1]


def learners_path(runs, lang):
    """The guides' learner's path, level by level, from docs/hints.ini and the ladder's data."""
    colon = "：" if lang == "zh" else ": "
    lines = []
    for level, section in sorted(hints().items()):
        lines += [f"### {hint(section, 'title', lang)}", ""]
        for key, label in (("nudge", "hint"), ("technique", "technique"), (None, "measured"),
                           ("next", "next"), ("answer", "answer"), ("explain", "explain")):
            text = measured_line(runs, level, lang) if key is None else hint(section, key, lang)
            lines.append(f"- **{HINT_WORDS[label][lang == 'en']}**{colon if key else ' ' * (lang == 'en')}{text}")
        lines.append("")
    return lines[:-1]


def width(text):
    return sum(1 if ord(c) < 0x1100 else 2 for c in text)


def wrap(text, columns=76, indent="  "):
    """Lines of about COLUMNS display columns (a CJK character takes two), broken between words
    or CJK characters, never before a closing CJK mark."""
    lines, line = [], ""
    for token in re.findall(r"[!-~]+|\s|.", text):
        if width(indent + line + token) > columns and line.strip() and token not in "，。；：、）”！？":
            lines.append(indent + line.rstrip())
            line = ""
        line += "" if token.isspace() and not line else token
    return lines + [indent + line.rstrip()]


HINTS_TITLE = "Tumblewick 1.0 —— 提示 / Hints"
HINTS_WORDS = {
    "zh": ("【中文】", "卡住了？先问裁判程序：tumblewick-judge.exe --explain 关卡 文件 按顺序列出这一关的每一项检查，"
                     "标出通过、未通过、未到达，并对第一项没通过的检查说出你的输入有什么、它需要什么。"
                     "下面每关三级提示，一级比一级说得多，每一级前面都有一行剧透警告：读到你需要的那一级就停下。",
           "用裁判程序：", ("第一级：轻推", "第二级：技巧", "第三级：答案"), "↓↓↓ 剧透在下面（{}）↓↓↓"),
    "en": ("[English]", "Stuck? Ask the judge first: tumblewick-judge.exe --explain LEVEL FILE lists the "
                        "level's checks in order, marks each passed, failed or not reached, and for the "
                        "first failed one says what your input had against what it needed. Below, three "
                        "rungs of hints per level, each saying more than the one before, each behind a "
                        "spoiler line: stop at the rung you need.",
           "With the judge: ", ("rung 1: a nudge", "rung 2: the technique", "rung 3: the answer"),
           "vvv SPOILER BELOW ({}) vvv"),
}


def hints_text():
    """docs/HINTS.txt, as the release ships it (with Windows line ends): Chinese, then English."""
    out = [HINTS_TITLE, "=" * width(HINTS_TITLE), ""]
    for lang, (heading, intro, judge_words, rungs, spoiler) in HINTS_WORDS.items():
        out += [heading, "", *wrap(intro, indent=""), ""]
        for level, section in sorted(hints().items()):
            title = hint(section, "title", lang)
            out += [title, "-" * width(title), *wrap(judge_words + hint(section, "explain", lang)), ""]
            for rung, key in zip(rungs, ("nudge", "technique", "answer")):
                out += ["  " + spoiler.format(rung), "", "", "", *wrap(hint(section, key, lang)), ""]
        out.append("")
    return "\n".join(out).rstrip("\n") + "\n"


@dataclasses.dataclass(frozen=True)
class Table:
    """A measured table of the guides: <!-- lab:NAME --> ... <!-- /lab:NAME --> in both,
    rendered from docs/data/CSV; left alone when either is missing."""
    name: str
    csv: str
    render: object  # (path of the CSV, language) -> Markdown lines


def from_runs(render, **kw):
    return lambda path, lang: render(read_runs(path), lang, **kw)


TABLES = (
    Table("ladder", "ladder.csv", from_runs(runs_table)),
    Table("ladder-grid", "ladder.csv", from_runs(grid_table)),
    Table("ladder-tests", "ladder.csv", from_runs(tests_table)),
    Table("ladder-change", "ladder.csv", from_runs(change_table)),
    Table("ladder-stages", "ladder.csv", from_runs(stages_table)),
    Table("learners-path", "ladder.csv", from_runs(learners_path)),
    Table("coverage", "ladder.csv", from_runs(coverage_excerpts)),
    Table("crc-wall", "crc_wall.csv", from_runs(lambda runs, lang: runs_table(runs, lang) + [""] + stages_table(runs, lang))),
    Table("techniques", "techniques.csv", from_runs(runs_table, key="technique")),
    Table("techniques-tests", "techniques.csv", from_runs(tests_table, key="technique")),
    Table("tiny-fuzzer", "tiny_fuzzer.csv", from_runs(runs_table)),
    Table("judge-speed", "judge_speed.csv", judge_speed_table),
    Table("bonus", "bonus.csv", lambda path, lang: bonus().table(path, lang).splitlines()),
)
TABLES += (  # the GUI fuzzer's (./fuzz.sh table --engine gui)
    Table("gui-typed", "gui_typed.csv", from_runs(runs_table, key="technique")),
    Table("gui-files", "gui_files.csv", from_runs(runs_table, key="technique")),
    Table("gui-speed", "gui_typed.csv", gui_speed_table),
)


# ---------------------------------------------------------------------------------------------
# Pictures, drawn the same to the byte from the same data (no time or version in the file).

PICTURE_WORDS = {
    "level": ("第 {} 关", "Level {}"), "x": ("执行次数（对数刻度）", "Executions (log scale)"),
    "y": ("已赢的试验比例", "Share of trials won"),
    "overview": ("阶梯：每格赢的试验次数", "The ladder: trials won per cell"),
    "engines": ("引擎", "Engine"), "levels": ("关卡", "Level"),
    "stage": ("到达的检查（试验平均）", "Check reached (mean of trials)"),
}


def pyplot(lang):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    plt.rcdefaults()
    plt.rcParams.update({"font.family": "WenQuanYi Micro Hei" if lang == "zh" else "DejaVu Sans",
                         "axes.unicode_minus": False, "svg.hashsalt": "tumblewick"})
    return plt


def save(fig, path):
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=100, metadata={"Software": None})
    import matplotlib.pyplot as plt
    plt.close(fig)


def curves(runs, lang, path, key="engine"):
    """Per level, the share of a cell's trials that have won by each number of executions."""
    plt = pyplot(lang)
    groups = cells(runs, key)
    levels = sorted({lv for lv, _ in groups})
    names = list(dict.fromkeys(n for _, n in groups))
    rows = (len(levels) + 2) // 3
    fig, axes = plt.subplots(rows, 3, figsize=(12, 3.6 * rows), squeeze=False, sharey=True)
    for ax, level in zip(axes.flat, levels):
        here = [n for n in names if (level, n) in groups]
        for colour, name in zip(plt.get_cmap("tab10").colors, here):
            group = groups[level, name]
            wins = sorted(max(r.executions, 1) for r in group if r.beaten)
            end = max(max(r.executions for r in group), 1)
            xs = [1] + wins + [end]
            ys = [0] + [(i + 1) / len(group) for i in range(len(wins))] + [len(wins) / len(group)]
            ax.step(xs, ys, where="post", color=colour, lw=2,
                    label=f"{name} ({len(wins)}/{len(group)})")
            ax.plot(xs[-1:], ys[-1:], "o", color=colour, ms=5)  # where the runs got to
        ax.set_xscale("log")
        ax.set_xlim(1, 2e8)
        ax.set_ylim(-0.03, 1.03)
        ax.set_title(PICTURE_WORDS["level"][lang == "en"].format(level))
        ax.set_xlabel(PICTURE_WORDS["x"][lang == "en"])
        ax.grid(alpha=0.3)
        ax.legend(loc="best", fontsize=8)
    for ax in axes[:, 0]:
        ax.set_ylabel(PICTURE_WORDS["y"][lang == "en"])
    for ax in list(axes.flat)[len(levels):]:
        ax.set_visible(False)
    fig.tight_layout()
    save(fig, path)


def stage_curves(runs, lang, path):
    """Per level, for each engine, the mean over its trials of the furthest check reached by
    each number of executions: the stages' reach."""
    plt = pyplot(lang)
    groups = cells([r for r in runs if r.stages], "engine")
    levels = sorted({lv for lv, _ in groups})
    if not levels:
        return
    rows = (len(levels) + 2) // 3
    fig, axes = plt.subplots(rows, 3, figsize=(12, 3.6 * rows), squeeze=False)
    for ax, level in zip(axes.flat, levels):
        here = [e for e in ENGINES if (level, e) in groups]
        checks = len(fallen(groups[level, here[0]][0]))
        for i, (colour, e) in enumerate(zip(plt.get_cmap("tab10").colors, here)):
            group = groups[level, e]
            marks = sorted({max(x[0], 1) for r in group for x in fallen(r) if x} | {1})
            end = max(max(r.executions for r in group), 1)
            xs = marks + [end]
            lift = (i - (len(here) - 1) / 2) * 0.06  # engines that stop alike stay apart
            ys = [lift + statistics.mean(1 + sum(1 for x in fallen(r) if x and max(x[0], 1) <= t) for r in group)
                  for t in xs]
            ax.step(xs, ys, where="post", color=colour, lw=2, label=ENGINES[e].label)
        ax.set_xscale("log")
        ax.set_xlim(1, 2e8)
        ax.set_ylim(0.8, checks + 1.2)
        ax.set_yticks(range(1, checks + 2), [str(n) for n in range(1, checks + 1)] + [word("won", lang)])
        ax.set_title(PICTURE_WORDS["level"][lang == "en"].format(level))
        ax.set_xlabel(PICTURE_WORDS["x"][lang == "en"])
        ax.set_ylabel(PICTURE_WORDS["stage"][lang == "en"])
        ax.grid(alpha=0.3)
        ax.legend(loc="best", fontsize=8)
    for ax in list(axes.flat)[len(levels):]:
        ax.set_visible(False)
    fig.tight_layout()
    save(fig, path)


def overview(runs, lang, path):
    """Levels by engines, each cell coloured by the share of its trials won."""
    plt = pyplot(lang)
    groups = cells(runs, "engine")
    levels = sorted({lv for lv, _ in groups})
    names = [e for e in ENGINES if any(n == e for _, n in groups)]
    share = [[sum(r.beaten for r in groups[lv, e]) / len(groups[lv, e]) for e in names] for lv in levels]
    fig, ax = plt.subplots(figsize=(6.4, 4.8))
    ax.imshow(share, cmap="Greens", vmin=0, vmax=1.3, aspect="auto")
    for i, lv in enumerate(levels):
        for j, e in enumerate(names):
            g = groups[lv, e]
            ax.text(j, i, f"{sum(r.beaten for r in g)}/{len(g)}", ha="center", va="center", fontsize=13)
    ax.set_xticks(range(len(names)), [ENGINES[e].label for e in names])
    ax.set_yticks(range(len(levels)), [PICTURE_WORDS["level"][lang == "en"].format(lv) for lv in levels])
    ax.set_xlabel(PICTURE_WORDS["engines"][lang == "en"])
    ax.set_title(PICTURE_WORDS["overview"][lang == "en"])
    fig.tight_layout()
    save(fig, path)


PICTURES = (  # (name: docs/lab/NAME.LANG.png, data file, drawing)
    ("ladder-curves", "ladder.csv", curves),
    ("ladder-overview", "ladder.csv", overview),
    ("ladder-stages", "ladder.csv", stage_curves),
    ("techniques-curves", "techniques.csv", lambda runs, lang, path: curves(runs, lang, path, "technique")),
)


# ---------------------------------------------------------------------------------------------
# The report: the guides' measured tables and pictures, from the committed data.

def block(name):
    return re.compile(rf"(<!-- lab:{re.escape(name)} -->\n)(.*?)(<!-- /lab:{re.escape(name)} -->)", re.S)


def rendered(text, lang):
    """TEXT with every measured table that has data and markers rendered anew."""
    for t in TABLES:
        path = DATA / t.csv
        if path.exists() and block(t.name).search(text):
            body = "\n".join(t.render(path, lang)) + "\n"
            text = block(t.name).sub(lambda m: m.group(1) + body + m.group(3), text)
    return text


def cmd_report(a):
    ensure_packages("lab")
    if "TUMBLEWICK_JUDGE_BINARY" not in os.environ:
        build("judge")  # the names of the levels' checks
    texts = {lang: path.read_text() for lang, path in GUIDES.items()}
    problems = []
    for lang, path in GUIDES.items():
        new = rendered(texts[lang], lang)
        if new != texts[lang]:
            if a.check:
                problems.append(f"{rel(path)}: a measured table differs from ./fuzz.sh report's")
            else:
                path.write_text(new)
                say(f"updated {rel(path)}")
    for t in TABLES:  # the two guides: the same tables with the same numbers
        found = [block(t.name).search(texts[lang]) for lang in GUIDES]
        if any(found) and not all(found):
            problems.append(f"table {t.name} is in one guide only")
        elif all(found) and len({tuple(re.findall(r"\d+(?:\.\d+)?", m.group(2))) for m in found}) > 1:
            problems.append(f"table {t.name}: the guides' numbers differ")
    if HINTS_TXT.read_text() != hints_text() if HINTS_TXT.exists() else True:
        if a.check:
            problems.append(f"{rel(HINTS_TXT)} differs from {rel(HINTS)}; run ./fuzz.sh report")
        else:
            HINTS_TXT.write_text(hints_text())
            say(f"wrote {rel(HINTS_TXT)}")
    if a.check:
        print("\n".join(problems) or "the guides' measured tables match docs/data")
        return 1 if problems else 0
    for name, data, draw in PICTURES:
        if (DATA / data).exists():
            for lang in GUIDES:
                draw(read_runs(DATA / data), lang, REPO / "docs" / "lab" / f"{name}.{lang}.png")
            say(f"drew docs/lab/{name}.*.png")
    return 0


# ---------------------------------------------------------------------------------------------
# The arena: a fuzzer of the user's own on each level, held to the same bound and judged by the
# same judge. The contract (the guides tell it): the fuzzer starts in an empty folder of its
# own with
#   TUMBLEWICK_LEVEL        the level, 1 to 6
#   TUMBLEWICK_SEED         the level's seed file
#   TUMBLEWICK_JUDGE        the judge to run (LEVEL FILE, or LEVEL --batch), which counts runs
#   TUMBLEWICK_WINNER       where to write a winning input
#   TUMBLEWICK_SECONDS      the bound
#   TUMBLEWICK_RANDOM_SEED  the trial's random seed
# and exits 0 when it wrote a winner, 1 when it found none, by the bound. At the bound it gets
# SIGTERM, and a second later every process of the run is killed. It runs contained
# (fuzzlab/contain.py): it sees the machine read-only but for its folder, and not the real
# judge, whose every call goes through the arena (fuzzlab/arena_judge.py); a winner counts only
# if the judge judged those bytes a pass during the run.

VERDICTS = {
    "beaten": "beaten: the judge confirms the winner",
    "nothing": "found nothing",
    "false-claim": "claimed a winner that does not win",
    "unjudged": "claimed a winner it never judged",
    "crashed": "crashed",
    "escaped": "wrote outside its run folder",
    "ignored-bound": "ignored the bound: still running a second after SIGTERM, killed",
}
ARENA_TOOLS = BUILD / "arena"
_tools_lock = threading.Lock()
# The end of an uncaught Python exception: exit status 1, as when a fuzzer found nothing.
TRACEBACK = re.compile(rb"^Traceback \(most recent call last\):$.*^[A-Za-z_][\w.]*(: .*)?\s*\Z", re.M | re.S)


def log_tail(path, lines=5):
    try:
        with open(path, "rb") as f:
            f.seek(max(f.seek(0, os.SEEK_END) - 4096, 0))
            return f.read().decode(errors="replace").rstrip().splitlines()[-lines:]
    except OSError:
        return []


def run_arena(job):
    import tempfile
    from fuzzlab import arena_judge, contain
    if _stopping.is_set():
        raise KeyboardInterrupt
    r = job.run
    job.dir.mkdir(parents=True)
    with _tools_lock:
        built = contain.build_tools(ARENA_TOOLS)
    tools = Path(tempfile.mkdtemp(prefix="tumblewick-arena-"))  # short: a socket's path is
    shutil.copy2(built / "contained-run", tools)
    shutil.copy2(built / "counting-judge", tools / "judge")
    winner, boxed, real = job.dir / "winner.bin", contain.sandbox_works(), judge_path()
    mark = MARK + f"-{next(_count)}".encode()
    env = {k: v for k, v in os.environ.items() if not k.startswith("TUMBLEWICK_")}
    env.update(TUMBLEWICK_LEVEL=str(r.level), TUMBLEWICK_SEED=str(first_seed_file(job.seeds)),
               TUMBLEWICK_JUDGE=str((contain.INSIDE if boxed else tools) / "judge"),
               TUMBLEWICK_WINNER=str(winner), TUMBLEWICK_SECONDS=str(r.bound),
               TUMBLEWICK_RANDOM_SEED=str(r.seed), TUMBLEWICK_LAB_RUN=mark.decode().partition("=")[2])
    # Out of sight: the builds (the real judge among them) and the other runs, but for a folder
    # that holds the fuzzer itself or its seed.
    needed = [Path(c) for c in job.command if Path(c).exists()] + [Path(env["TUMBLEWICK_SEED"])]
    hide = [h for h in (BUILD, LAB, real.parent) if not any(n.is_relative_to(h) for n in needed)]

    def started(p):
        with _live_lock:
            _live[p.pid] = p

    def ended(p):
        with _live_lock:
            _live.pop(p.pid, None)

    judge = arena_judge.CountingJudge(real, r.level, tools / "judge.sock")
    try:
        out = contain.run(job.command, bound=r.bound, log=r.log, cwd=job.dir, tools=tools, env=env,
                          hide=hide, watch=(REPO,), core=job.core, on_start=started, on_end=ended)
    finally:
        judge.close()
        kill_marked(mark)
        shutil.rmtree(tools, ignore_errors=True)
    r.wall, r.executions = out.wall, judge.runs
    data, why = arena_judge.read_winner(winner)
    first = judge.passed(data) if data is not None else None
    exited = out.ended == "exited"
    if out.ended == "killed":
        r.verdict = "ignored-bound"
    elif exited and (out.signal or out.exit not in (0, 1)):
        r.verdict, r.mutations = "crashed", f"signal {out.signal}" if out.signal else f"exit {out.exit}"
    elif exited and out.exit == 1 and TRACEBACK.search("\n".join(log_tail(r.log, 40)).encode()):
        r.verdict, r.mutations = "crashed", "exit 1 after a Python traceback"
    elif out.escaped:
        r.verdict, r.mutations = "escaped", ", ".join(out.escaped)
    elif data is None:
        r.verdict = "nothing" if why == "no winner" and out.exit != 0 else "false-claim"
        r.mutations = "" if r.verdict == "nothing" else "exited 0 without a winner" if why == "no winner" else why
    elif arena_judge.judge_bytes(real, r.level, data) != 0:
        r.verdict = "false-claim"
    else:
        r.verdict = "beaten" if first is not None else "unjudged"
    r.beaten = r.verdict == "beaten"
    r.seconds = min(first, r.wall) if r.beaten else r.wall
    r.winner = rel(winner) if r.beaten else ""
    r.status = "ok" if r.verdict in ("beaten", "nothing") else "fault"
    if out.log_dropped:
        say(f"{rel(r.log)}: {out.log_dropped} bytes of the log's middle left out")


def fuzzer_name(command):
    interpreters = ("python", "python3", "sh", "bash", "node", "ruby", "perl", "env")
    first = Path(command[0]).name
    return Path(command[1]).name if first in interpreters and len(command) > 1 else first


def arena_jobs(command, levels, seeds, bound, folder="arena"):
    command = tuple(str(Path(c).resolve()) if Path(c).exists() else c for c in command)
    name = fuzzer_name(command)
    jobs = []
    for seed in seeds:
        for level in levels:
            job = make_job(level, name, "plain", seed, bound, folder=f"{folder}/{name}")
            job.dir = job.dir.with_name(f"level{level}-seed{seed}")
            job.command = command
            jobs.append(job)
    return jobs


def cmd_arena(a):
    if not a.command:
        raise LabError("usage: fuzz.sh arena [--trials N] [--seconds S] [--levels L...] -- COMMAND ARGS...")
    if a.judge:
        os.environ["TUMBLEWICK_JUDGE_BINARY"] = str(a.judge)
    else:
        prepare(["judge"])
    levels = a.levels or LEVELS
    jobs = arena_jobs(a.command, levels, range(a.seed, a.seed + a.trials), a.seconds)
    start = time.monotonic()
    runs = run_all(jobs, a.jobs)
    overhead(runs, time.monotonic() - start, a.jobs)
    runs.sort(key=lambda r: (r.level, r.seed))
    for r in runs:
        print(f"level {r.level}, seed {r.seed}: {VERDICTS[r.verdict]}"
              + (f" ({r.mutations})" if r.mutations else "")
              + f", {r.executions} judge runs, {r.seconds:.1f} s; log: {r.log}")
        if r.verdict == "crashed":
            print("".join(f"    {line}\n" for line in log_tail(r.log)), end="")
    if a.data:
        write_csv(a.data, runs)
    others = [r for f in ("tiny_fuzzer.csv", "ladder.csv") if (DATA / f).exists()
              for r in read_runs(DATA / f) if r.level in levels and r.engine != runs[0].engine]
    everyone = sorted(runs + others, key=lambda r: (r.level, order_of(r), r.seed))
    print("\n".join([""] + runs_table(everyone, "en")[2:] + [""]
                    + tests_table(everyone, "en", focus=runs[0].engine)))
    ensure_packages("lab")
    picture = LAB / "arena" / runs[0].engine / "curves.png"
    curves(everyone, "en", picture)
    say(f"picture: {rel(picture)}; the others' data: docs/data (their bounds may differ)")
    return 0 if all(r.status == "ok" for r in runs) else 1


def cmd_bench(a):
    """The lab's own overhead: a sub-ladder with --jobs 1, then with --jobs 2."""
    levels = a.levels or (1, 2, 3)
    engines = prepare([e for e in ENGINES if e != "gui"])  # gui's runs go one at a time anyway
    walls = {}
    for jobs in (1, 2):
        seeds = range(a.seed, a.seed + a.trials)
        todo = [make_job(lv, e, "plain", s, a.seconds, folder="bench") for s in seeds for lv in levels for e in engines]
        start = time.monotonic()
        runs = run_all(todo, jobs)
        walls[jobs] = time.monotonic() - start
        overhead(runs, walls[jobs], jobs)
    print(f"levels {' '.join(map(str, levels))}, every engine, {a.trials} trials, {a.seconds} s bound: "
          f"--jobs 1 {walls[1]:.0f} s, --jobs 2 {walls[2]:.0f} s, scaling {walls[1] / walls[2]:.2f}x "
          f"(load average {os.getloadavg()[0]:.1f})")
    return 0


# ---------------------------------------------------------------------------------------------
# Where a run got stuck: the stage ladder, and source coverage over its final corpus.

def tell_stages(r):
    """The level's checks in order, with when each first fell in the run."""
    if not r.stages:
        print("  (no stage data for this run)")
        return
    marks, stuck = fallen(r), furthest(r)
    print(f"the stage ladder of level {r.level}, {name_of(r)} (seed {r.seed}):")
    for i, name in enumerate(stage_names(r.level)):
        x = marks[i]
        when = (f"fell after {x[0]} executions, {x[1]:.2f} s" if x else
                "reached, never passed: stuck here" if i + 1 == stuck else "not reached")
        print(f"  {i + 1}. {name:<62} {when}")


def final_corpus(engine, folder, seeds):
    """Every input a run kept: its seeds, its corpus or queue, and its win."""
    folder = Path(folder)
    if engine in ("afl", "afl-cmplog"):
        return sorted(folder.glob("out/default/[qc][ur]*/id:*"))
    found = [p for d in ("corpus", "findings") for p in sorted((folder / d).glob("*"))]
    return sorted(Path(seeds).iterdir()) + found + ([folder / "winner"] if (folder / "winner").exists() else [])


RULE_START = re.compile(r"^constexpr (?:Verdict|bool|Step) (?:judge|passes|judgeSize)\(")


SHOWN = ("check(", "for (", "if (", "++")


def excerpt(text):
    """The checks of the rule's function (and the file verdict's size checks) from llvm-cov's
    text, each line as "COUNT | source": how many inputs got to each one; under a branching
    line, how many went each way."""
    out, inside, shown = [], False, False
    for line in text.splitlines():
        branch = re.match(r"^\s*\|\s*Branch \(\d+:\d+\): \[True: (\d+), False: (\d+)\]", line)
        if branch and shown:  # where a check's outcome splits the inputs
            out.append(f"{'':>9} |     -> true {branch.group(1)}, false {branch.group(2)}")
            continue
        parts = line.split("|", 2)
        if len(parts) < 3 or not parts[0].strip().isdigit():
            continue
        source = parts[2]
        start = bool(RULE_START.match(source))
        inside = inside or start
        shown = inside and (start or any(s in source for s in SHOWN))
        if shown:
            out.append(f"{parts[1].strip():>9} | {source.rstrip()}")
        if source.startswith("}"):
            inside = False
    return "\n".join(out) + "\n"


def coverage(level, engine, folder, seeds, data=None):
    """Replays a run's final corpus through the coverage build of the level's target; writes an
    HTML report and the rule's excerpt with its line counts."""
    ensure_packages("coverage")
    build("coverage")
    binary = BUILDS["coverage"].dir / f"level{level}"
    out = LAB / "coverage" / f"level{level}-{engine}"
    shutil.rmtree(out, ignore_errors=True)
    (out / "raw").mkdir(parents=True)
    inputs = final_corpus(engine, folder, seeds)
    env = dict(os.environ, TUMBLEWICK_FUZZ_KEEP_GOING="1", LLVM_PROFILE_FILE=str(out / "raw" / "%p.profraw"))
    for i in range(0, len(inputs), 200):
        subprocess.run([binary, *inputs[i:i + 200]], env=env, capture_output=True, check=False)
    profile = out / "merged.profdata"
    subprocess.run(["llvm-profdata-14", "merge", "-sparse", *(out / "raw").glob("*.profraw"), "-o", profile], check=True)
    rule = next((REPO / "levels").glob(f"level{level}_*_rule.h"))
    sources = ([REPO / "levels" / "file_verdict.h"] if level in (3, 4, 6) else []) + [rule]
    show = ["llvm-cov-14", "show", binary, f"-instr-profile={profile}", "-show-instantiations=false",
            "-show-branches=count"]
    subprocess.run([*show, "-format=html", f"-output-dir={out / 'html'}", *sources], check=True,
                   capture_output=True)
    text = subprocess.run([*show, *sources], check=True, capture_output=True, text=True).stdout
    cut = excerpt(text)
    (out / "excerpt.txt").write_text(cut)
    print(f"coverage of level {level}'s rule over the {len(inputs)} inputs of {rel(folder)} ({engine}):")
    print(cut, end="")
    print(f"HTML report: {rel(out / 'html' / 'index.html')}")
    if data:
        Path(data).mkdir(parents=True, exist_ok=True)
        (Path(data) / f"level{level}-{engine}.txt").write_text(cut)
        say(f"excerpt: {rel(Path(data) / f'level{level}-{engine}.txt')}")


# ---------------------------------------------------------------------------------------------
# Commands.

def tell_run(r):
    """One run, told in full."""
    name = name_of(r)
    if r.status == "failed":
        print(f"level {r.level}, {name} (seed {r.seed}): did not start" + (f" ({r.mutations})" if r.mutations else ""))
    elif r.beaten:
        print(f"level {r.level}, {name} (seed {r.seed}): beaten after {r.executions} executions in {r.seconds:.1f} s")
        print(f"  winning input: {r.winner} ({(REPO / r.winner).stat().st_size} bytes)")
        if r.mutations:
            print(f"  last mutations: {r.mutations}")
    else:
        print(f"level {r.level}, {name} (seed {r.seed}): not beaten in {r.bound} s ({r.executions} executions)")
        if r.status == "fault":
            say(f"the fuzzer found a fault, not a pass; see {r.log}")
    print(f"  log: {r.log}")


def overhead(runs, wall, jobs):
    """The lab's own cost: the wall time against the bounds and the engines' own seconds."""
    bounds = sum(r.bound for r in runs)
    used = sum(r.wall for r in runs)
    print(f"{len(runs)} runs with --jobs {jobs}: {wall:.0f} s wall; bounds sum to {bounds} s "
          f"({bounds / jobs:.0f} s over {jobs} cores); engines ran about {used:.0f} s "
          f"({used / jobs:.0f} s a core); lab overhead {wall - used / jobs:.0f} s", file=sys.stderr)


def measure(items, a, data=None, key="engine"):
    """Every (level, engine, technique) of ITEMS, a.trials times; prints the table."""
    seeds = range(a.seed, a.seed + a.trials)
    jobs = [make_job(lv, e, t, s, a.seconds, a.corpus) for s in seeds for lv, e, t in items]
    start = time.monotonic()
    runs = run_all(jobs, a.jobs)
    overhead(runs, time.monotonic() - start, a.jobs)
    for engine in dict.fromkeys(r.engine for r in runs if r.status == "failed"):
        failed = [r for r in runs if r.engine == engine and r.status == "failed"]
        say(f"{engine}: {len(failed)} runs did not start ({failed[0].mutations or 'see ' + failed[0].log}); left out")
    runs = [r for r in runs if r.status != "failed"]
    if not runs:
        raise LabError("no run started")
    if data:
        write_csv(data, runs)
        say(f"data: {rel(data)}; ./fuzz.sh report puts it into the guides")
    runs.sort(key=lambda r: (r.level, order_of(r), r.seed))
    print("\n".join(runs_table(runs, "en", key) + [""] + tests_table(runs, "en", key)))
    return runs


def cmd_level(a):
    level = int(a.what)
    technique = "+".join(a.techniques) or "plain"
    if a.engine != "libfuzzer" and set(a.techniques) - ({"repair"} if a.engine == "gui" else set()):
        raise LabError("the techniques are libFuzzer's (the GUI fuzzer's is --repair)")
    if not prepare([a.engine]):
        return 1
    if a.compare:
        techniques = lab_value(level, "compare").split()
        measure([(level, "libfuzzer", t) for t in techniques], a, key="technique")
        return 0
    if a.engine == "libfuzzer":
        check_technique(level, technique)
    job = make_job(level, a.engine, technique, a.seed, a.seconds, a.corpus)
    if a.coverage and a.source:  # a run that is already there, from a table for example
        coverage(level, a.engine, a.source, job.seeds, a.data)
        return 0
    if a.trials > 1:
        measure([(level, a.engine, technique)], a, a.data)
        return 0
    r = run_all([job], 1)[0]
    tell_run(r)
    if a.explain:
        tell_stages(r)
    if a.coverage:
        coverage(level, a.engine, job.dir, job.seeds, a.data)
    return 0 if r.beaten else 1


def cmd_table(a):
    if a.engine == "gui":  # the GUI rung alone: plain, and with the repair where a level has one
        if not prepare(["gui"]):
            return 1
        items = [(lv, "gui", t) for lv in a.levels or LEVELS for t in ("plain", "repair")
                 if t == "plain" or lv in (4, 6)]
        measure(items, a, a.data or DATA / "gui.csv", "technique")
    elif a.compare:
        if not prepare(["libfuzzer"]):
            return 1
        items = [(lv, "libfuzzer", t) for lv in LEVELS for t in lab_value(lv, "compare").split()]
        measure(items, a, a.data or (None if a.corpus else DATA / "techniques.csv"), "technique")
    else:
        engines = prepare(list(ENGINES))
        items = [(lv, e, "plain") for lv in LEVELS for e in engines]
        measure(items, a, a.data or (None if a.corpus else DATA / "ladder.csv"))
    return 0


def keep_going(target, folder, runs, seed=1):
    level = int(re.match(r"level(\d)", target).group(1))
    variant = {v["variant"]: t for t, v in TECHNIQUES.items() if "variant" in v}
    technique = variant.get(target.partition("_")[2], "plain")
    job = Job(Run(level, "libfuzzer", technique, seed), Path(folder), FUZZ / "corpus" / f"level{level}",
              keep_going=runs)
    return execute(job)


def cmd_soak(a):
    prepare(["libfuzzer"])
    print("| Target | Executions | Seconds | Level passes counted | Sanitizer findings |")
    print("|---|---|---|---|---|")
    failed = 0
    for target in fuzz_targets():
        r = keep_going(target, LAB / "soak" / target, a.runs, a.seed)
        findings = "none" if r.status == "ok" else f"see {r.log}"
        failed |= r.status != "ok"
        print(f"| {target} | {r.executions} | {r.seconds:.1f} | {r.mutations} | {findings} |")
    return failed


def cmd_smoke(a):
    """A few seconds of every target: 2000 executions from the seeds under ASan and UBSan with
    nothing but passes; each level's known winner (winners/) is its pass and its seeds none,
    which checks that each target maps its input as the level's dialog does."""
    if not compiler():
        print("clang++ not found: fuzz smoke run skipped")
        return 77
    build("fuzz")
    failures = 0

    def expect(what, ok, log):
        nonlocal failures
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            print("\n".join(Path(log).read_text(errors="replace").splitlines()[-20:]))
            failures += 1

    work = LAB / "smoke"
    for target in fuzz_targets():
        r = keep_going(target, work / target, 2000)
        expect(f"{target}, 2000 executions from the seeds", r.status == "ok" and r.executions == 2000, REPO / r.log)
    for level in LEVELS:
        binary = BUILDS["fuzz"].dir / f"level{level}"
        said = subprocess.run([binary, FUZZ / "winners" / f"level{level}.bin"], capture_output=True, text=True)
        log = work / f"level{level}.log"
        log.write_text(said.stdout + said.stderr)
        expect(f"level{level} reports its known winner as the pass",
               f"TUMBLEWICK: level {level} passed\n" in said.stdout + said.stderr, log)
        seeds = sorted((FUZZ / "corpus" / f"level{level}").iterdir())
        said = subprocess.run([binary, *seeds], capture_output=True, text=True)
        log.write_text(said.stdout + said.stderr)
        expect(f"level{level} lets its seeds be", said.returncode == 0, log)
    if failures:
        return 1
    print("fuzz smoke run: all targets clean")
    return 0


def cmd_find_winner(a):
    """Lets libFuzzer win the file levels with each one's quickest technique (find_winner in its
    .options) and a fixed seed, for the Wine tests to hand those very files to the real game."""
    out = Path(a.out).resolve()
    build("fuzz")
    out.mkdir(parents=True, exist_ok=True)
    status = 0
    for level in a.levels or (3, 4, 6):
        technique = lab_value(level, "find_winner")
        if not technique:
            raise LabError(f"find-winner: level {level} is not a file level")
        winner = out / f"level{level}.bin"
        winner.unlink(missing_ok=True)
        job = make_job(level, "libfuzzer", technique, 1, 60, folder="find-winner")
        job.artifact = winner
        r = execute(job)
        if r.beaten and winner.exists() and winner.stat().st_size:
            print(f"level {level}: {winner} ({winner.stat().st_size} bytes, {technique}, "
                  f"{r.executions} executions, {r.seconds:.1f} s)")
        else:
            print(f"level {level}: not beaten ({technique}); see {r.log}")
            status = 1
    return status


# ---------------------------------------------------------------------------------------------
# Entry.

class Usage(argparse.ArgumentParser):
    def error(self, message):
        raise LabError(f"{message}\n{__doc__.split(chr(10) * 2, 1)[1]}")


def parse(argv):
    argv = list(argv)
    command = argv[argv.index("--") + 1:] if "--" in argv else []
    argv = argv[:argv.index("--")] if "--" in argv else argv
    p = Usage(prog="fuzz.sh", add_help=False)
    p.add_argument("what", choices=[str(n) for n in LEVELS] + ["table", "soak", "report", "arena",
                                                               "bench", "smoke", "find-winner"])
    p.add_argument("rest", nargs="*", default=[])
    p.add_argument("--engine", default="libfuzzer", choices=list(ENGINES))
    p.add_argument("--seconds", type=int)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--trials", "--seeds", type=int)
    p.add_argument("--jobs", type=int, default=len(os.sched_getaffinity(0)))
    p.add_argument("--runs", type=int, default=1000000)
    p.add_argument("--compare", "--techniques", action="store_true")
    p.add_argument("--corpus", type=lambda d: Path(d).resolve())
    p.add_argument("--data", type=lambda d: Path(d).resolve())
    p.add_argument("--levels", type=int, nargs="+", choices=LEVELS)
    p.add_argument("--check", action="store_true")
    p.add_argument("--explain", action="store_true")
    p.add_argument("--coverage", action="store_true")
    p.add_argument("--from", dest="source", type=lambda d: Path(d).resolve())
    p.add_argument("--judge", type=lambda d: Path(d).resolve())
    p.add_argument("--plain", action="store_const", const=None, dest="unused")
    for t in TECHNIQUES:
        if t != "plain":
            p.add_argument(f"--{t}", action="append_const", const=t, dest="techniques", default=[])
    a = p.parse_args(argv)
    a.command = command
    many = a.what in ("table", "arena", "bench") or a.compare
    a.trials = a.trials or (3 if many else 1)
    a.seconds = a.seconds or (30 if a.what in ("arena", "bench") else 60)
    return a


# The bonus bugs (fuzz/bonus.py, lab only) have commands of their own: handed over whole.
BONUS_FLAGS = {"--bonus", "--reproduce", "--minimize", "--merge"}


def bonus():
    sys.path.insert(0, str(FUZZ))
    import bonus as module  # pylint: disable=import-outside-toplevel
    return module


def main(argv):
    if argv and (argv[0] in ("bonus", "dedup") or BONUS_FLAGS & set(argv)):
        return bonus().main(argv[1:] if argv[0] == "bonus" else argv)
    try:
        a = parse(argv)
    except LabError as err:
        say(str(err))
        return 2
    signal.signal(signal.SIGINT, signal.default_int_handler)  # also when started in the background
    signal.signal(signal.SIGTERM, lambda *_: (kill_all(), sys.exit(143)))
    try:
        if a.what == "find-winner":
            if not a.rest:
                raise LabError("usage: fuzz.sh find-winner OUTDIR [LEVEL...]")
            a.out, a.levels = a.rest[0], [int(x) for x in a.rest[1:]]
        handler = cmd_level if a.what.isdigit() else globals()["cmd_" + a.what.replace("-", "_")]
        return handler(a)
    except LabError as err:
        say(str(err))
        return 2
    except KeyboardInterrupt:
        kill_all()
        say("interrupted; every run stopped")
        return 130


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
