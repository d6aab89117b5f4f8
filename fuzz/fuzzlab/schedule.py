"""The scheduler: jobs, each one run of one engine, run a few at a time, each on a core of its
own, each recorded."""
import dataclasses
import os
import shutil
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor, as_completed
from pathlib import Path

from .builds import build, ensure_packages
from .config import FUZZ, LAB, LabError, rel, say
from .engines import ENGINES
from .procs import kill_all
from .runs import Run, name_of, record


@dataclasses.dataclass
class Job:
    run: Run
    dir: Path
    seeds: Path  # the folder of seed inputs
    judge: object = None  # the Judge that confirms wins and counts stages
    results: Path = LAB / "runs.jsonl"  # where the run is recorded
    engine: object = None  # the function that runs it: the engine's unless given
    core: int = None
    artifact: Path = None  # the exact path for the winning input (libFuzzer)
    soak_runs: int = 0  # executions, passes only counted (soak, smoke)
    command: tuple = ()  # the arena's fuzzer
    binary: Path = None  # the target, where not the engine's own build of the level
    target: str = ""  # the libFuzzer target's name, where not the technique's
    env: dict = dataclasses.field(default_factory=dict)  # for the engine's process


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
        (job.engine or ENGINES[r.engine].run)(job)
    except (OSError, LabError, subprocess.SubprocessError) as err:
        r.status, r.note = "failed", str(err)
    r.seconds, r.wall = round(r.seconds, 2), round(r.wall, 2)
    r.log = rel(r.log)
    record(r, job.results)
    return r


def progress(r, done, total):
    print(f"  [{done}/{total}] level {r.level}, {name_of(r)}, seed {r.seed}: "
          + (f"beaten, {r.executions} executions, {r.seconds} s" if r.beaten
             else f"not beaten ({r.executions} executions, {r.status})"),
          file=sys.stderr, flush=True)


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
            if len(jobs) > 1:
                progress(done[-1], len(done), len(jobs))
    except KeyboardInterrupt:
        kill_all()
        pool.shutdown(wait=True, cancel_futures=True)
        raise
    pool.shutdown()
    return done


def make_job(level, engine, technique, seed, bound, judge, corpus=None, folder="runs", lab=LAB):
    run = Run(level, engine, technique, seed, bound, corpus=rel(corpus) if corpus else "")
    seeds = Path(corpus) if corpus else FUZZ / "corpus" / f"level{level}"
    tag = technique if engine == "libfuzzer" else engine
    tag += f"-{technique}" if engine == "gui" and technique != "plain" else ""
    return Job(run, lab / folder / f"level{level}-{tag}-seed{seed}", seeds, judge, lab / "runs.jsonl")


def overhead(runs, wall, jobs):
    """The lab's own cost: the wall time against the bounds and the engines' own seconds."""
    bounds = sum(r.bound for r in runs)
    used = sum(r.wall for r in runs)
    print(f"{len(runs)} runs with --jobs {jobs}: {wall:.0f} s wall; bounds sum to {bounds} s "
          f"({bounds / jobs:.0f} s over {jobs} cores); engines ran about {used:.0f} s "
          f"({used / jobs:.0f} s a core); lab overhead {wall - used / jobs:.0f} s", file=sys.stderr)
