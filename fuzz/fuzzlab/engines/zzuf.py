"""zzuf: seeds SEED*1000000 upwards flip bits of the level's (first) seed file as the judge
reads it, until the judge exits 0 or the time is up. zzuf -x reports a failing exit, so sh
inverts the judge's exit status; the judge explains each input as data, into the log."""
import os
import re
import subprocess
from pathlib import Path

from ..config import GRACE, LabError, rel
from ..judge import parse_explain, passed_of
from ..procs import run_bounded
from ..stages import reach

WON = re.compile(r"^zzuf\[s=(\d+),r=[0-9.]+\]: exit 1$", re.M)


def first_seed_file(folder):
    files = sorted(p for p in Path(folder).iterdir() if p.is_file())
    if not files:
        raise LabError(f"no seed file in {folder}")
    return files[0]


def points(text, wall):
    """(checks passed, executions, seconds) of each input in zzuf's log. Each input's checks
    follow its launch; zzuf keeps no clock, so the seconds are the run's steady rate times the
    input's number."""
    runs = text.split(": launched ")[1:]
    rate = wall / max(len(runs), 1)
    return [(passed_of(rows), i + 1, (i + 1) * rate)
            for i, chunk in enumerate(runs) for rows in [parse_explain(chunk)] if rows]


def run(job):
    r = job.run
    job.dir.mkdir(parents=True)
    seed_file = first_seed_file(job.seeds)
    first = r.seed * 1000000
    cmd = ["zzuf", "-v", "-x", "-c", "-s", f"{first}:{first + 999999}", "-t", r.bound,
           "sh", "-c", '! "$0" "$@"', job.judge.path, "--explain=tsv", r.level, seed_file]
    _, r.wall, ended = run_bounded(cmd, r.bound + GRACE, r.log, job.core, dict(os.environ, LC_ALL="C"))
    r.seconds = r.wall
    text = Path(r.log).read_text(errors="replace")
    r.executions = text.count(": launched ")
    r.stages = reach(points(text, r.wall), job.judge.levels()[r.level].checks)
    won = WON.search(text)
    if won:  # zzuf flips the same bits of its standard input with the same seed
        winner = job.dir / "winner"
        with open(seed_file, "rb") as i, open(winner, "wb") as o:
            subprocess.run(["zzuf", "-s", won.group(1)], stdin=i, stdout=o, check=False)
        if job.judge.passes(r.level, winner):
            r.beaten, r.winner = True, rel(winner)
            r.mutations = f"zzuf seed {won.group(1)}, ratio 0.004"
    if ended != "exited":
        r.status = "killed"
