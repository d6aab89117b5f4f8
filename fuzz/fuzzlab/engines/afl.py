"""AFL++ on the level's target until its first crash (a pass aborts) or the bound; with CmpLog,
beside a second build that logs comparisons."""
import os
import re

from ..builds import BUILDS
from ..config import GRACE, rel
from ..procs import run_bounded
from ..stages import reach

ENV = {"AFL_SKIP_CPUFREQ": "1", "AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES": "1", "AFL_NO_UI": "1",
       "AFL_NO_AFFINITY": "1", "AFL_BENCH_UNTIL_CRASH": "1"}


def found_at(name):
    """(executions, seconds) at which AFL++ found the entry its file is named after
    (id:...,time:MS,execs:N,...), zeros where the name does not say."""
    e, t = re.search(r"execs:(\d+)", name), re.search(r"time:(\d+)", name)
    return int(e.group(1)) if e else 0, int(t.group(1)) / 1000 if t else 0.0


def executions_done(stats_text):
    m = re.search(r"^execs_done *: *(\d+)", stats_text, re.M)
    return int(m.group(1)) if m else 0


def read_out(run, out):
    """Fills RUN from AFL++'s output folder: its fuzzer_stats and its first crash, a win."""
    stats = out / "fuzzer_stats"
    run.executions = executions_done(stats.read_text()) if stats.exists() else 0
    crashes = sorted((out / "crashes").glob("id:*"))
    if crashes:
        run.beaten, run.winner = True, rel(crashes[0])
        run.executions, run.seconds = found_at(crashes[0].name)
        op = re.search(r",(op:.*)", crashes[0].name)
        run.mutations = op.group(1) if op else ""
    elif not stats.exists():
        run.status = "failed"


def queue(out):
    """The queue's and the crashes' entries."""
    return sorted(out.glob("[qc][ur]*/id:*"))


def run(job, cmplog=False):
    r = job.run
    job.dir.mkdir(parents=True)
    extra = ["-c", BUILDS["afl-cmplog"].dir / f"level{r.level}"] if cmplog else []
    binary = job.binary or BUILDS["afl"].dir / f"level{r.level}"
    cmd = ["afl-fuzz", "-i", job.seeds, "-o", job.dir / "out", "-s", r.seed, "-V", r.bound, *extra,
           "--", binary]
    _, r.wall, ended = run_bounded(cmd, r.bound + GRACE, r.log, job.core, dict(os.environ, **ENV, **job.env))
    r.seconds = r.wall
    out = job.dir / "out" / "default"
    read_out(r, out)
    if ended != "exited":
        r.status = "killed"
    if (out / "fuzzer_stats").exists() and job.judge:
        entries = queue(out)
        passed = job.judge.stages(r.level, entries)
        r.stages = reach([(n, *found_at(f.name)) for n, f in zip(passed, entries)],
                         job.judge.levels()[r.level].checks)


def run_cmplog(job):
    run(job, cmplog=True)
