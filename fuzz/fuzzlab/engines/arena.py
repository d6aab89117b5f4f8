"""The arena: a fuzzer of the user's own on each level, held to the same bound and judged by the
same judge. The contract (the guides tell it): the fuzzer starts in an empty folder of its
own with
  TUMBLEWICK_LEVEL        the level, 1 to 6
  TUMBLEWICK_SEED         the level's seed file
  TUMBLEWICK_JUDGE        the judge to run (LEVEL FILE, or LEVEL --batch), which counts runs
  TUMBLEWICK_WINNER       where to write a winning input
  TUMBLEWICK_SECONDS      the bound
  TUMBLEWICK_RANDOM_SEED  the trial's random seed
and exits 0 when it wrote a winner, 1 when it found none, by the bound. At the bound it gets
SIGTERM, and a second later it is killed."""
import os
import shlex
import time
from pathlib import Path

from ..builds import ensure_packages
from ..config import DATA, LAB, LEVELS, LabError, rel, say
from ..plots import curves
from ..procs import run_bounded
from ..runs import order_of, read_runs, write_csv
from ..schedule import make_job, overhead, prepare, run_all
from ..tables import runs_table, tests_table
from .zzuf import first_seed_file

JUDGE_WRAPPER = """#!/bin/sh
# The arena's judge: one byte into the count a run (in batch mode, one a verdict), then the judge.
if [ "${{2:-}}" = --batch ]; then {judge} "$@" | tee -a {count}.batch; exit 0; fi
printf . >>{count}
exec {judge} "$@"
"""
VERDICTS = {
    "beaten": "beaten: the judge confirms the winner",
    "nothing": "found nothing",
    "false-claim": "claimed a winner that does not win",
    "crashed": "crashed",
    "ignored-bound": "ignored the bound: still running a second after SIGTERM, killed",
}


def run_arena(job):
    r = job.run
    job.dir.mkdir(parents=True)
    count, winner, wrapper = job.dir / ".judge-runs", job.dir / "winner.bin", job.dir / ".judge"
    wrapper.write_text(JUDGE_WRAPPER.format(judge=shlex.quote(str(job.judge.path)),
                                            count=shlex.quote(str(count))))
    wrapper.chmod(0o755)
    env = dict(os.environ, TUMBLEWICK_LEVEL=str(r.level), TUMBLEWICK_SEED=str(first_seed_file(job.seeds)),
               TUMBLEWICK_JUDGE=str(wrapper), TUMBLEWICK_WINNER=str(winner),
               TUMBLEWICK_SECONDS=str(r.bound), TUMBLEWICK_RANDOM_SEED=str(r.seed))
    start = time.time()
    rc, r.wall, ended = run_bounded(job.command, r.bound, r.log, job.core, env, job.dir, term_first=True)
    r.executions = sum(p.stat().st_size for p in (count, Path(f"{count}.batch")) if p.exists())
    won = winner.exists() and job.judge.passes(r.level, winner)
    r.seconds = min(max(winner.stat().st_mtime - start, 0), r.wall) if won else r.wall
    if ended == "killed":
        r.verdict = "ignored-bound"
    elif ended == "exited" and rc not in (0, 1):
        r.verdict = "crashed"
        r.note = f"exit status {rc}" if rc > 0 else f"signal {-rc}"
    elif (winner.exists() or rc == 0) and not won:
        r.verdict = "false-claim"
    else:
        r.verdict = "beaten" if won else "nothing"
    r.beaten = r.verdict == "beaten"
    r.winner = rel(winner) if won else ""
    r.status = "ok" if r.verdict in ("beaten", "nothing") else "fault"


def fuzzer_name(command):
    interpreters = ("python", "python3", "sh", "bash", "node", "ruby", "perl", "env")
    first = Path(command[0]).name
    return Path(command[1]).name if first in interpreters and len(command) > 1 else first


def arena_jobs(command, levels, seeds, bound, judge, folder="arena", lab=LAB):
    command = tuple(str(Path(c).resolve()) if Path(c).exists() else c for c in command)
    name = fuzzer_name(command)
    jobs = []
    for seed in seeds:
        for level in levels:
            job = make_job(level, name, "plain", seed, bound, judge, folder=f"{folder}/{name}", lab=lab)
            job.dir = job.dir.with_name(f"level{level}-seed{seed}")
            job.command = command
            job.engine = run_arena
            jobs.append(job)
    return jobs


def cmd_arena(a, judge):
    if not a.command:
        raise LabError("usage: fuzz.sh arena [--trials N] [--seconds S] [--levels L...] -- COMMAND ARGS...")
    if not a.judge:
        prepare(["judge"])
    levels = a.levels or LEVELS
    jobs = arena_jobs(a.command, levels, range(a.seed, a.seed + a.trials), a.seconds, judge)
    start = time.monotonic()
    runs = run_all(jobs, a.jobs)
    overhead(runs, time.monotonic() - start, a.jobs)
    runs.sort(key=lambda r: (r.level, r.seed))
    for r in runs:
        print(f"level {r.level}, seed {r.seed}: {VERDICTS[r.verdict]}"
              + (f" ({r.note})" if r.note else "")
              + f", {r.executions} judge runs, {r.seconds:.1f} s; log: {r.log}")
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
