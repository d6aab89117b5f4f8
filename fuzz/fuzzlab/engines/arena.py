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
SIGTERM, and a second later every process of the run is killed. It runs contained
(fuzzlab/contain.py): it sees the machine read-only but for its folder, and not the real
judge, whose every call goes through the arena (fuzzlab/arena_judge.py); a winner counts only
if the judge judged those bytes a pass during the run."""
import os
import re
import shutil
import tempfile
import threading
import time
from pathlib import Path

from .. import arena_judge, contain
from ..builds import ensure_packages
from ..config import BUILD, DATA, LAB, LEVELS, REPO, LabError, rel, say
from ..plots import curves
from ..procs import MARK, _count, _live, _live_lock, _stopping, kill_marked
from ..runs import order_of, read_runs, write_csv
from ..schedule import make_job, overhead, prepare, run_all
from ..tables import runs_table, tests_table
from .zzuf import first_seed_file

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
TRACEBACK = re.compile(rb"^Traceback \(most recent call last\):$.*^[A-Za-z_][\w.]*(: [^\n]*)?\s*\Z", re.M | re.S)


def log_tail(path, lines=5):
    try:
        with open(path, "rb") as f:
            f.seek(max(f.seek(0, os.SEEK_END) - 4096, 0))
            return f.read().decode(errors="replace").rstrip().splitlines()[-lines:]
    except OSError:
        return []


def run_arena(job):
    if _stopping.is_set():
        raise KeyboardInterrupt
    r = job.run
    job.dir.mkdir(parents=True)
    with _tools_lock:
        built = contain.build_tools(ARENA_TOOLS)
    tools = Path(tempfile.mkdtemp(prefix="tumblewick-arena-"))  # short: a socket's path has a limit
    shutil.copy2(built / "contained-run", tools)
    shutil.copy2(built / "counting-judge", tools / "judge")
    winner, boxed, real = job.dir / "winner.bin", contain.sandbox_works(), job.judge.path
    mark = MARK + f"-{next(_count)}".encode()
    env = {k: v for k, v in os.environ.items() if not k.startswith("TUMBLEWICK_")}
    env.update(TUMBLEWICK_LEVEL=str(r.level), TUMBLEWICK_SEED=str(first_seed_file(job.seeds)),
               TUMBLEWICK_JUDGE=str((contain.INSIDE if boxed else tools) / "judge"),
               TUMBLEWICK_WINNER=str(winner), TUMBLEWICK_SECONDS=str(r.bound),
               TUMBLEWICK_RANDOM_SEED=str(r.seed), TUMBLEWICK_LAB_RUN=mark.decode().partition("=")[2])
    # Out of sight: the builds and the other runs, and the real judge wherever it is; in sight,
    # read only, the repository and the folders of the fuzzer's own files and of its seed,
    # wherever they are (/tmp is the run's own).
    hide = (BUILD, job.results.parent)
    show = {REPO, Path(env["TUMBLEWICK_SEED"]).parent} | {Path(c).parent for c in job.command if Path(c).is_file()}

    def started(p):
        with _live_lock:
            _live[p.pid] = p

    def ended(p):
        with _live_lock:
            _live.pop(p.pid, None)

    judge = arena_judge.CountingJudge(job.judge, r.level, tools / "judge.sock")
    try:
        out = contain.run(job.command, bound=r.bound, log=r.log, cwd=job.dir, tools=tools, env=env,
                          hide=hide, show=show, mask=(real,), watch=(REPO,), core=job.core,
                          on_start=started, on_end=ended)
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
        r.verdict, r.note = "crashed", f"signal {out.signal}" if out.signal else f"exit {out.exit}"
    elif exited and out.exit == 1 and TRACEBACK.search("\n".join(log_tail(r.log, 40)).encode()):
        r.verdict, r.note = "crashed", "exit 1 after a Python traceback"
    elif out.escaped:
        r.verdict, r.note = "escaped", ", ".join(out.escaped)
    elif data is None:
        r.verdict = "nothing" if why == "no winner" and out.exit != 0 else "false-claim"
        r.note = "" if r.verdict == "nothing" else "exited 0 without a winner" if why == "no winner" else why
    elif not job.judge.passes_bytes(r.level, data, arena_judge.WINNER_SECONDS):
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
    if not contain.sandbox_works():
        say("bubblewrap cannot run here: a subreaper catches each run's processes, and writes "
            "outside a run's folder are reported, not prevented")
    jobs = arena_jobs(a.command, levels, range(a.seed, a.seed + a.trials), a.seconds, judge)
    start = time.monotonic()
    runs = run_all(jobs, a.jobs)
    overhead(runs, time.monotonic() - start, a.jobs)
    runs.sort(key=lambda r: (r.level, r.seed))
    for r in runs:
        print(f"level {r.level}, seed {r.seed}: {VERDICTS[r.verdict]}"
              + (f" ({r.note})" if r.note else "")
              + f", {r.executions} judge runs, {r.seconds:.1f} s; log: {r.log}")
        if r.verdict == "crashed":
            print("".join(f"    {line}\n" for line in log_tail(REPO / r.log)), end="")
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
