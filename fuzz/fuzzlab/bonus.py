"""The bonus bugs' triage: each level's bonus target (fuzz/bonus/, lab only) runs the level's own
rule and, on its winning path, a planted bug. This reads the sanitizer's report, reproduces,
minimises, tells crashes apart, merges corpora and keeps the regression corpus honest. The runs
that find the bugs go through the lab's scheduler and engines like every other run."""
import csv
import functools
import os
import re
import shutil
import statistics
import subprocess
from pathlib import Path

from .builds import BUILDS, build, libfuzzer_flags
from .config import DATA, FUZZ, LAB, LEVELS, REPO, LabError, rel, say
from .engines import ENGINES
from .procs import run_bounded
from .runs import Run
from .schedule import make_job, run_all
from .stats import summary
from .tables import markdown, named, number

REGRESSIONS = FUZZ / "bonus" / "regressions"
CSV = DATA / "bonus.csv"
# The bonus table's engines: the lab's engine and technique each runs.
BONUS_ENGINES = {"libfuzzer": ("libfuzzer", "plain"), "libfuzzer-repair": ("libfuzzer", "repair"),
                 "afl": ("afl", "plain")}
ENGINE_NAMES = tuple(BONUS_ENGINES)
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
SANITIZER_ENV = {"ASAN_OPTIONS": "symbolize=1:detect_leaks=0", "UBSAN_OPTIONS": "print_stacktrace=1:symbolize=1"}
AFL_TOOLS_ENV = {"AFL_SKIP_CPUFREQ": "1", "AFL_NO_AFFINITY": "1", "AFL_QUIET": "1"}


def bonus_binary(level, engine="libfuzzer", repair=False):
    build_name = "afl" if engine == "afl" else "fuzz"
    return BUILDS[build_name].dir / "bonus" / (f"level{level}_bonus" + ("_repair" if repair else ""))


def sound_binary(level, engine="libfuzzer"):
    return BUILDS["afl" if engine == "afl" else "fuzz"].dir / f"level{level}"


def build_for(levels, engines, repaired):
    """The bonus and sound targets of LEVELS for ENGINES, in the lab's own builds."""
    targets = [f"level{n}{s}" for n in levels for s in ("", "_bonus")]
    build("fuzz", targets + [f"level{n}_bonus_repair" for n in levels if n in repaired])
    if "afl" in engines:
        build("afl", targets)


# ---- reading a report ------------------------------------------------------------------------

FRAME = re.compile(r"^\s*#(\d+) 0x[0-9a-f]+ in (.+?) (/\S+|\(\S+\))")


def ours(where, root=REPO):
    """Whether a frame's place is a source file of the lab or of the levels."""
    return re.match(re.escape(str(root)) + r"/(fuzz|levels)/.*\.(cpp|h):\d+", where) is not None


def report_kind(text):
    """The kind of a sanitizer report, with READ/WRITE where it says; None for no report."""
    match = re.search(r"ERROR: AddressSanitizer: ([\w-]+)", text)
    if match:
        access = re.search(r"^(READ|WRITE) of size (\d+)", text, re.M)
        return match.group(1) + (" " + access.group(1) if access else "")
    match = re.search(r"runtime error: (.+)", text)
    if match:
        return match.group(1).strip()
    return "deadly signal" if re.search(r"deadly signal|SIGFPE|FPE on unknown", text) else None


def read_report(text, root=REPO):
    """The kind of a sanitizer report and its frames in our own code (function, file:line)."""
    frames = []
    for line in text.splitlines():
        found = FRAME.match(line)
        if found and ours(found.group(3), root):
            file, line_number = (found.group(3).split(":") + [""])[:2]
            frames.append((re.sub(r"\(anonymous namespace\)::|\(.*\)$", "", found.group(2)),
                           f"{os.path.relpath(file, root)}:{line_number}"))
    return report_kind(text), frames


def report_lines(text, frames=2, root=REPO):
    """The report shortened: its headline, the access, where the memory lies, the summary and
    under each stack our top frames."""
    keep, shown = [], 0
    for line in text.splitlines():
        frame = FRAME.match(line)
        line = line.replace(f"{root}/", "")
        if re.search(r"ERROR: |runtime error:|^(READ|WRITE) of size|is located|SUMMARY:|allocated by|freed by", line):
            keep.append(re.sub(r" (at pc|on address) 0x[0-9a-f]+.*", "", line) if "ERROR:" in line else line)
            shown = 0
        elif frame and ours(frame.group(3), root) and shown < frames:
            keep.append(re.sub(r" 0x[0-9a-f]+ in", " in", line))
            shown += 1
    return keep


def run_input(binary, path, env=None):
    """One input through a libFuzzer binary: its exit status and everything it printed."""
    done = subprocess.run([str(binary), str(path)], env=dict(os.environ, **SANITIZER_ENV, **(env or {})),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                          check=False)
    return done.returncode, done.stdout


def sound_verdict(level, path):
    """The normal target's verdict, passes only counted: (passed, clean)."""
    code, out = run_input(sound_binary(level), path, {"TUMBLEWICK_FUZZ_KEEP_GOING": "1"})
    clean = code == 0 and "ERROR:" not in out and "runtime error" not in out
    return f"level {level} passed 1 times" in out, clean


# ---- finding it: the lab's runs, a crash being the find --------------------------------------

def bonus_job(level, engine, seed, bound, judge, found):
    """A run of ENGINE (libfuzzer, libfuzzer-repair or afl) on the level's bonus target; what
    it found goes into FOUND."""
    base, technique = BONUS_ENGINES[engine]
    repair = "repair" in technique.split("+")
    job = make_job(level, base, technique, seed, bound, judge, folder="bonus")
    job.dir = job.dir.with_name(f"level{level}-{engine}-seed{seed}")
    job.binary = bonus_binary(level, base, repair)
    job.target = job.binary.name
    job.env = {} if base == "afl" else dict(SANITIZER_ENV)
    job.engine = functools.partial(find, ENGINES[base].run, found=found)
    found[job.dir.name] = {"crash": None, "kind": "", "queue": job.dir / "corpus"}  # where it did not start
    return job


def find(engine, job, found):
    """Runs the engine on the bonus target; its first crash is the find."""
    engine(job)
    r = job.run
    if r.engine == "afl":
        crash = REPO / r.winner if r.beaten else None
        kind = report_kind(run_input(bonus_binary(r.level), crash)[1]) if crash else None
    else:
        text = Path(r.log).read_text(errors="replace")
        written = re.findall(r"Test unit written to (\S+)", text)
        crash, kind = (Path(written[-1]) if written else None), report_kind(text)
        r.beaten, r.winner = bool(crash), rel(crash) if crash else ""
    r.status = "ok" if crash or r.status in ("ok", "killed") else r.status
    found[job.dir.name] = {"crash": crash, "kind": kind or "", "queue": job.dir / "out" / "default" / "queue"
                           if r.engine == "afl" else job.dir / "corpus"}


def stopped_by(level, corpus, judge):
    """Which checks held a run that found nothing: the key of the check each input the run kept
    failed, each once, in the order the run first reached them (the last is usually the
    deepest, but not always: read them all). Keys, not texts: the guides name the checks from
    the level table when they are rendered."""
    if not Path(corpus).is_dir():
        return ""
    keys = []
    for path in sorted((p for p in Path(corpus).iterdir() if p.is_file()), key=os.path.getmtime):
        key = next((r["key"] for r in judge.explain(level, path) if r["state"] == "failed"), "")
        if key and key not in keys:
            keys.append(key)
    return " | ".join(keys)


def checks_named(level, stops, judge, lang="en"):
    """STOPS (check keys; "a/b" where the record could not tell which) as the level's checks,
    numbered and named in LANG."""
    keys, names = judge.check_keys(level), judge.check_names(level, lang)
    said = []
    for stop in stops:
        alternatives = stop.split("/")
        if set(alternatives) - set(keys):
            raise LabError(f"level {level} has no check {stop!r}; measure the bonus table again")
        said.append((" 或 " if lang == "zh" else " or ").join(
            f"{keys.index(k) + 1}. {names[keys.index(k)]}" for k in alternatives))
    return said


# ---- minimising, deduplicating, merging -------------------------------------------------------

def minimize(level, path, engine, out, repaired):
    """The crash cut down with afl-tmin or -minimize_crash=1, bounded like a run; its size."""
    out = Path(out)
    log = out.with_name(f".{out.name}.log")  # not named as a crash, which dedup would take it for
    log.unlink(missing_ok=True)
    if engine == "afl":
        cmd = ["afl-tmin", "-i", path, "-o", out, "--", bonus_binary(level, "afl")]
        env = dict(os.environ, **AFL_TOOLS_ENV)
    else:  # the levels with a repair shrink only with the mutator that keeps them fitting
        cmd = [bonus_binary(level, repair=level in repaired), "-minimize_crash=1", "-runs=20000",
               "-max_total_time=30", f"-exact_artifact_path={out}", path]
        env = dict(os.environ, **SANITIZER_ENV)
    run_bounded(cmd, 60, log, env=env)
    if not out.exists():
        raise LabError(f"minimising failed; see {rel(log)}")
    return out.stat().st_size


def level_of(path):
    found = re.findall(r"level(\d+)", str(path))
    return int(found[-1]) if found else None


def crash_files(folders):
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in sorted(names):
                path = Path(root) / name
                if (re.match(r"(crash|oom|timeout)-", name) or name.startswith("id:") and Path(root).name == "crashes") \
                        and level_of(path):
                    yield path


def dedup(folders, top=2):
    """Groups crash files by report kind and their top frames in our code."""
    groups = {}
    for path in crash_files(folders):
        kind, frames = read_report(run_input(bonus_binary(level_of(path)), path)[1])
        key = (kind or "no report",) + tuple(f"{f} ({w})" for f, w in frames[:top])
        groups.setdefault(key, []).append(path)
    for n, (key, paths) in enumerate(sorted(groups.items()), 1):
        print(f"bug {n}: {key[0]}, {len(paths)} crash(es)")
        for frame in key[1:]:
            print("    in " + frame)
        print("  e.g. " + rel(paths[0]))
    return groups


def folder_size(folder):
    files = [f for f in Path(folder).iterdir() if f.is_file()]
    return len(files), sum(f.stat().st_size for f in files)


def merge(level, folders, engine, out):
    """Keeps the inputs of FOLDERS that add coverage, through the sound target (passes only
    counted, so that a winner is kept rather than reported)."""
    out = Path(out)
    shutil.rmtree(out, ignore_errors=True)
    env = dict(os.environ, TUMBLEWICK_FUZZ_KEEP_GOING="1")
    if engine == "afl":
        env.update(AFL_TOOLS_ENV)
        gathered = Path(folders[0])
        if len(folders) > 1:  # afl-cmin reads one folder: gather them first
            gathered = Path(f"{out}.in")
            shutil.rmtree(gathered, ignore_errors=True)
            gathered.mkdir(parents=True)
            for n, folder in enumerate(folders):
                for f in (f for f in Path(folder).iterdir() if f.is_file()):
                    shutil.copy(f, gathered / f"{n}-{f.name}")
        cmd = ["afl-cmin", "-i", gathered, "-o", out, "--", sound_binary(level, "afl")]
    else:
        out.mkdir(parents=True)
        cmd = [sound_binary(level), "-merge=1", *libfuzzer_flags(f"level{level}"), out, *folders]
    if subprocess.run([str(c) for c in cmd], env=env, capture_output=True).returncode != 0:
        raise LabError(f"merging into {rel(out)} failed")
    before = [folder_size(f) for f in folders]
    return sum(n for n, _ in before), sum(b for _, b in before), *folder_size(out)


def regress():
    """Each committed reproducer must give its level's report in the bonus build and be judged
    a pass, with no report at all, by the sound target."""
    build_for(LEVELS, ("libfuzzer",), ())
    failures = 0
    for level in LEVELS:
        path = REGRESSIONS / f"level{level}.bin"
        kind = report_kind(run_input(bonus_binary(level), path)[1])
        passed, clean = sound_verdict(level, path)
        good = kind == EXPECTED[level] and passed and clean
        failures += not good
        print(f"{'ok' if good else 'FAIL'}: level {level}, {path.stat().st_size} bytes: bonus build {kind}, "
              f"sound rule {'pass' if passed else 'no pass'}, {'no report' if clean else 'a report'}")
    return 1 if failures else 0


# ---- measuring: K trials of each engine, and their table -------------------------------------

FIELDS = ["level", "engine", "trial", "found", "execs", "seconds", "kind", "first_bytes", "minimized_bytes",
          "stopped_by"]


def row_of(job, found, judge, repaired):
    r, f = job.run, found[job.dir.name]
    engine = next(e for e, used in BONUS_ENGINES.items() if used == (r.engine, r.technique))
    row = {"level": r.level, "engine": engine, "trial": r.seed, "found": int(bool(f["crash"])),
           "execs": r.executions, "seconds": f"{r.seconds:.1f}", "kind": f["kind"], "first_bytes": "",
           "minimized_bytes": "", "stopped_by": ""}
    if f["crash"]:
        row["first_bytes"] = f["crash"].stat().st_size
        row["minimized_bytes"] = minimize(r.level, f["crash"], r.engine, f"{f['crash']}.min", repaired)
    else:
        row["stopped_by"] = stopped_by(r.level, f["queue"], judge)
    return row


def measure(levels, engines, trials, seconds, jobs, judge, out=CSV):
    """TRIALS runs of each engine on each level's bonus target, into OUT (other cells kept)."""
    repaired = judge.with_repair()
    build_for(levels, engines, repaired)
    found = {}
    todo = [bonus_job(level, engine, seed, seconds, judge, found) for level in levels for engine in engines
            if engine != "libfuzzer-repair" or level in repaired for seed in range(1, trials + 1)]
    run_all(todo, jobs)
    rows = [row_of(job, found, judge, repaired) for job in todo]
    old = []
    if out.exists():
        done = {(r["level"], r["engine"]) for r in rows}
        with out.open(encoding="utf-8") as f:
            old = [r for r in csv.DictReader(f) if (int(r["level"]), r["engine"]) not in done]
    rows = sorted(old + rows, key=lambda r: (int(r["level"]), r["engine"], int(r["trial"])))
    out.parent.mkdir(parents=True, exist_ok=True)
    with out.open("w", encoding="utf-8", newline="") as f:
        writer = csv.DictWriter(f, FIELDS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    say(f"data: {rel(out)}; ./fuzz.sh report puts it into the guides")
    print(table(out, "en", judge))


HEADINGS = {
    "en": ["Level", "Engine", "Found", "Median executions", "Median seconds", "Report",
           "First crash (bytes)", "Minimised (bytes)", "Not found: stopped at"],
    "zh": ["关卡", "引擎", "找到", "执行次数中位数", "秒数中位数", "报告", "首个崩溃（字节）",
           "最小化后（字节）", "未找到：止步于"],
}


def median_size(values):
    """The median of sizes in bytes, with its half where it has one."""
    if not values:
        return "-"
    m = statistics.median(values)
    return f"{m:.1f}" if m % 1 else str(int(m))


def cell(level, engine, group, judge, lang="en"):
    """A row of the table: the medians to the find from Kaplan-Meier, the trials that found
    nothing counted as censored at their end, as in the ladder."""
    runs = [Run(level, engine, beaten=r["found"] == "1", executions=int(r["execs"]), seconds=float(r["seconds"]))
            for r in group]
    found = [r for r in group if r["found"] == "1"]
    stops = []  # each verdict once, in the order the trials reached them
    for r in group:
        stops += [v for v in r["stopped_by"].split(" | ") if v and v not in stops and r["found"] != "1"]
    name = named(engine.removesuffix("-repair")) + (" --repair" if engine.endswith("-repair") else "")
    return [level, name, f"{len(found)}/{len(group)}", number(summary(runs, "executions")[0]),
            number(summary(runs, "seconds")[0], seconds=True), ", ".join(sorted({r["kind"] for r in found})) or "-",
            median_size([int(r["first_bytes"]) for r in found]),
            median_size([int(r["minimized_bytes"]) for r in found]),
            "; ".join(checks_named(level, stops, judge, lang)) or "-"]


def table(path, lang, judge):
    """The measurements as a Markdown table: one row per level and engine."""
    with open(path, encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    groups = {}
    for row in rows:
        groups.setdefault((int(row["level"]), row["engine"]), []).append(row)
    return "\n".join(markdown(HEADINGS[lang], [cell(lv, e, g, judge, lang) for (lv, e), g in sorted(groups.items())]))


# ---- the commands ----------------------------------------------------------------------------

def find_one(level, engine, seed, seconds, judge):
    """One run on the bonus target, told."""
    repaired = judge.with_repair()
    if engine == "libfuzzer-repair" and level not in repaired:
        raise LabError(f"--repair: levels {' and '.join(map(str, repaired))} only")
    build_for([level], [engine], repaired)
    found = {}
    job = bonus_job(level, engine, seed, seconds, judge, found)
    r, f = run_all([job], 1)[0], found[job.dir.name]
    name = engine.replace("-", " ")
    if f["crash"]:
        print(f"level {level} bonus, {name} (seed {seed}): {f['kind']} after {r.executions} executions in "
              f"{r.seconds:.1f} s")
        print(f"  crash: {rel(f['crash'])} ({f['crash'].stat().st_size} bytes)")
    else:
        print(f"level {level} bonus, {name} (seed {seed}): nothing in {seconds} s ({r.executions} executions)")
        stops = stopped_by(level, f["queue"], judge).split(" | ")
        print(f"  stopped at: {'; '.join(checks_named(level, [k for k in stops if k], judge))}")
    print(f"  log: {r.log}")
    return 0 if f["crash"] else 1


def reproduce(level, path):
    code, text = run_input(bonus_binary(level), path)
    print(f"level{level}_bonus {rel(path)}: exit {code}")
    print("\n".join("  " + line for line in report_lines(text)))
    passed, clean = sound_verdict(level, path)
    print(f"level{level} (the sound rule): {'a pass' if passed else 'no pass'}, "
          f"{'no sanitizer report' if clean else 'A REPORT'}")
    return 0 if report_kind(text) and clean else 1


def cmd_bonus(a, judge):
    """LEVEL --bonus | --reproduce FILE | --minimize FILE | --merge DIR..."""
    level, engine = int(a.what), a.engine
    if engine not in ("libfuzzer", "afl"):
        raise LabError("the bonus bugs' engines are libfuzzer and afl")
    if a.bonus:
        return find_one(level, "libfuzzer-repair" if "repair" in a.techniques else engine, a.seed, a.seconds, judge)
    build_for([level], [engine], judge.with_repair())
    if a.reproduce:
        return reproduce(level, a.reproduce)
    if a.minimize:
        out = a.out or Path(f"{a.minimize}.min")
        before, after = a.minimize.stat().st_size, minimize(level, a.minimize, engine, out, judge.with_repair())
        kind = report_kind(run_input(bonus_binary(level), out)[1])
        print(f"minimised with {'afl-tmin' if engine == 'afl' else '-minimize_crash=1'}: "
              f"{before} -> {after} bytes, {rel(out)}; still {kind}")
        return 0
    out = a.out or LAB / "bonus" / f"level{level}-merged-{engine}"
    files, size, kept, kept_size = merge(level, a.folders, engine, out)
    print(f"merged with {'afl-cmin' if engine == 'afl' else '-merge=1'}: {files} files "
          f"({size} bytes) -> {kept} files ({kept_size} bytes) in {rel(out)}")
    return 0
