"""The lab's commands, one function each; fuzzlab's __main__ parses their options."""
import os
import re
import subprocess
import time
from pathlib import Path

from .builds import BUILDS, build, compiler, fuzz_targets
from .config import DATA, FUZZ, GUI_FEEDBACKS, LAB, LEVELS, REPO, LabError, lab_value, rel, say
from .coverage import coverage
from .engines import ENGINES
from .engines.libfuzzer import check_technique, technique_of
from .runs import Run, name_of, order_of, read_runs, write_csv
from .schedule import Job, execute, make_job, overhead, prepare, run_all
from .stages import fallen, furthest
from .tables import runs_table, tests_table


def tell_run(r):
    """One run, told in full."""
    name = name_of(r)
    if r.status == "failed":
        print(f"level {r.level}, {name} (seed {r.seed}): did not start" + (f" ({r.note})" if r.note else ""))
    elif r.beaten:
        print(f"level {r.level}, {name} (seed {r.seed}): beaten after {r.executions} executions in {r.seconds:.1f} s")
        print(f"  winning input: {r.winner} ({(REPO / r.winner).stat().st_size} bytes)")
        if r.mutations or r.note:
            print(f"  last mutations: {r.mutations or r.note}")
    else:
        print(f"level {r.level}, {name} (seed {r.seed}): not beaten in {r.bound} s ({r.executions} executions)")
        if r.status == "fault":
            say(f"the fuzzer found a fault, not a pass; see {r.log}")
    print(f"  log: {r.log}")


def tell_stages(r, judge):
    """The level's checks in order, with when each first fell in the run."""
    if not r.stages:
        print("  (no stage data for this run)")
        return
    marks, stuck = fallen(r), furthest(r)
    print(f"the stage ladder of level {r.level}, {name_of(r)} (seed {r.seed}):")
    for i, name in enumerate(judge.check_names(r.level)):
        x = marks[i]
        when = (f"fell after {x[0]} executions, {x[1]:.2f} s" if x else
                "reached, never passed: stuck here" if i + 1 == stuck else "not reached")
        print(f"  {i + 1}. {name:<62} {when}")


def measure_cells(items, a, judge, data=None, key="engine"):
    """Every (level, engine, technique) of ITEMS, a.trials times; prints the table."""
    seeds = range(a.seed, a.seed + a.trials)
    jobs = [make_job(lv, e, t, s, a.seconds, judge, a.corpus) for s in seeds for lv, e, t in items]
    start = time.monotonic()
    runs = run_all(jobs, a.jobs)
    overhead(runs, time.monotonic() - start, a.jobs)
    for engine in dict.fromkeys(r.engine for r in runs if r.status == "failed"):
        failed = [r for r in runs if r.engine == engine and r.status == "failed"]
        say(f"{engine}: {len(failed)} runs did not start ({failed[0].note or 'see ' + failed[0].log}); left out")
    runs = [r for r in runs if r.status != "failed"]
    if not runs:
        raise LabError("no run started")
    if data:
        write_csv(data, runs)
        say(f"data: {rel(data)}; ./fuzz.sh report puts it into the guides")
    runs.sort(key=lambda r: (r.level, order_of(r), r.seed))
    print("\n".join(runs_table(runs, "en", key) + [""] + tests_table(runs, "en", key)))
    return runs


def cmd_level(a, judge):
    level = int(a.what)
    technique = "+".join(a.techniques) or "plain"
    a.engine = a.engine or "libfuzzer"
    if a.engine != "libfuzzer" and set(a.techniques) - ({"repair"} if a.engine == "gui" else set()):
        raise LabError("the techniques are libFuzzer's (the GUI fuzzer's is --repair)")
    if a.feedback != "answers":
        if a.engine != "gui":
            raise LabError("--feedback is the GUI fuzzer's (--engine gui)")
        technique = "+".join([a.feedback] + a.techniques)
    if not prepare([a.engine] + (["judge"] if a.explain else [])):
        return 1
    if a.compare:
        techniques = lab_value(level, "compare").split()
        measure_cells([(level, "libfuzzer", t) for t in techniques], a, judge, key="technique")
        return 0
    if a.engine == "libfuzzer":
        check_technique(level, technique)
    job = make_job(level, a.engine, technique, a.seed, a.seconds, judge, a.corpus)
    if a.coverage and a.source:  # a run that is already there, from a table for example
        coverage(level, a.engine, a.source, job.seeds, judge, a.data)
        return 0
    if a.trials > 1:
        measure_cells([(level, a.engine, technique)], a, judge, a.data)
        return 0
    r = run_all([job], 1)[0]
    tell_run(r)
    if a.explain:
        tell_stages(r, judge)
    if a.coverage:
        coverage(level, a.engine, job.dir, job.seeds, judge, a.data)
    return 0 if r.beaten else 1


def cmd_table(a, judge):
    if a.engine == "gui" and "repair" in a.techniques:  # plain, and with the repair where a level has one
        if not prepare(["gui", "judge"]):
            return 1
        repaired = judge.with_repair()
        items = [(lv, "gui", t) for lv in a.levels or LEVELS for t in ("plain", "repair")
                 if t == "plain" or lv in repaired]
        measure_cells(items, a, judge, a.data or DATA / "gui.csv", "technique")
    elif a.engine == "gui":  # the GUI rung alone: each kind of feedback, without the repair
        if not prepare(["gui", "judge"]):
            return 1
        items = [(lv, "gui", f) for lv in a.levels or LEVELS for f in GUI_FEEDBACKS]
        measure_cells(items, a, judge, a.data or DATA / "gui_feedback.csv", "technique")
    elif a.compare:  # plain libFuzzer is the ladder's own cell: the same runs, not a second measure
        if not prepare(["libfuzzer"]):
            return 1
        items = [(lv, "libfuzzer", t) for lv in a.levels or LEVELS for t in lab_value(lv, "compare").split()
                 if t != "plain"]
        measure_cells(items, a, judge, a.data or (None if a.corpus else DATA / "techniques.csv"), "technique")
    else:
        engines = prepare([a.engine] if a.engine else list(ENGINES))
        items = [(lv, e, "plain") for lv in a.levels or LEVELS for e in engines]
        data = a.data or (None if a.corpus else DATA / "ladder.csv")
        runs = measure_cells(items, a, judge)
        if data:  # one engine's column, or some levels, anew: the other cells stay as measured
            kept = [r for r in read_runs(data) if (r.level, r.engine) not in {(lv, e) for lv, e, _ in items}] \
                if data.exists() and (a.engine or a.levels) else []
            write_csv(data, kept + runs)
            say(f"data: {rel(data)}; ./fuzz.sh report puts it into the guides")
    return 0


def soak_run(target, folder, runs, seed=1):
    """RUNS executions of a libFuzzer target from its seeds, passes only counted."""
    level = int(re.match(r"level(\d)", target).group(1))
    job = Job(Run(level, "libfuzzer", technique_of(target), seed), Path(folder), FUZZ / "corpus" / f"level{level}",
              soak_runs=runs, target=target)
    return execute(job)


def cmd_soak(a, judge):
    prepare(["libfuzzer"])
    print("| Target | Executions | Seconds | Level passes counted | Sanitizer findings |")
    print("|---|---|---|---|---|")
    failed = 0
    for target in fuzz_targets():
        r = soak_run(target, LAB / "soak" / target, a.runs, a.seed)
        findings = "none" if r.status == "ok" else f"see {r.log}"
        failed |= r.status != "ok"
        print(f"| {target} | {r.executions} | {r.seconds:.1f} | {r.passes} | {findings} |")
    return failed


def cmd_smoke(a, judge):
    """A few seconds of every target: 2000 executions from the seeds under ASan and UBSan with
    nothing but passes; each level's known winner (winners/) is its pass and its seeds none,
    which checks that each target maps its input as the level's dialog does."""
    if not compiler():
        print("clang++ not found: fuzz smoke run skipped")
        return 77
    build("fuzz")
    failures = []

    def expect(what, ok, log):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            print("\n".join(Path(log).read_text(errors="replace").splitlines()[-20:]))
            failures.append(what)

    work = LAB / "smoke"
    for target in fuzz_targets():
        r = soak_run(target, work / target, 2000)
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


def cmd_find_winner(a, judge):
    """Lets libFuzzer win the file levels with each one's quickest technique (find_winner in its
    .options) and a fixed seed, for the Wine tests to hand those very files to the real game."""
    out = Path(a.out).resolve()
    build("fuzz")
    out.mkdir(parents=True, exist_ok=True)
    status = 0
    for level in a.levels or [lv for lv in LEVELS if lab_value(lv, "find_winner")]:
        technique = lab_value(level, "find_winner")
        if not technique:
            raise LabError(f"find-winner: level {level} is not a file level")
        winner = out / f"level{level}.bin"
        winner.unlink(missing_ok=True)
        job = make_job(level, "libfuzzer", technique, 1, 60, None, folder="find-winner")
        job.artifact = winner
        r = execute(job)
        if r.beaten and winner.exists() and winner.stat().st_size:
            print(f"level {level}: {winner} ({winner.stat().st_size} bytes, {technique}, "
                  f"{r.executions} executions, {r.seconds:.1f} s)")
        else:
            print(f"level {level}: not beaten ({technique}); see {r.log}")
            status = 1
    return status


def cmd_bench(a, judge):
    """The lab's own overhead: a sub-ladder with --jobs 1, then with --jobs 2."""
    levels = a.levels or (1, 2, 3)
    engines = prepare([e for e in ENGINES if e != "gui"])  # gui's runs go one at a time anyway
    walls = {}
    for jobs in (1, 2):
        seeds = range(a.seed, a.seed + a.trials)
        todo = [make_job(lv, e, "plain", s, a.seconds, judge, folder="bench")
                for s in seeds for lv in levels for e in engines]
        start = time.monotonic()
        runs = run_all(todo, jobs)
        walls[jobs] = time.monotonic() - start
        overhead(runs, walls[jobs], jobs)
    print(f"levels {' '.join(map(str, levels))}, every engine, {a.trials} trials, {a.seconds} s bound: "
          f"--jobs 1 {walls[1]:.0f} s, --jobs 2 {walls[2]:.0f} s, scaling {walls[1] / walls[2]:.2f}x "
          f"(load average {os.getloadavg()[0]:.1f})")
    return 0
