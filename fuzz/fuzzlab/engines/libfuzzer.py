"""libFuzzer: the level's target, built with its technique's variant and flags; the target
counts the checks each input passed into a stage log."""
import os
import re
from pathlib import Path

from ..builds import BUILDS, fuzz_targets, libfuzzer_flags
from ..config import FUZZ, GRACE, LabError, rel
from ..procs import run_bounded
from ..stages import reach, stage_log_points

TECHNIQUES = {  # flags, or the build variant a technique needs
    "plain": {},
    "dict": {"flags": lambda level: [f"-dict={FUZZ / f'level{level}.dict'}"]},
    "value-profile": {"flags": lambda level: ["-use_value_profile=1"]},
    "no-cmp": {"variant": "nocmp"},
    "repair": {"variant": "repair"},
    "no-seeds": {"seeds": False},
}


def target(level, technique):
    parts = technique.split("+")
    variants = [TECHNIQUES[t]["variant"] for t in parts if "variant" in TECHNIQUES[t]]
    return f"level{level}" + "".join(f"_{v}" for v in variants)


def technique_of(target_name):
    """The technique whose variant TARGET_NAME is ("plain" for a level's own target)."""
    variant = {v["variant"]: t for t, v in TECHNIQUES.items() if "variant" in v}
    return variant.get(target_name.partition("_")[2], "plain")


def check_technique(level, technique):
    for t in technique.split("+"):
        if t not in TECHNIQUES:
            raise LabError(f"no technique {t}")
    if "dict" in technique.split("+") and not (FUZZ / f"level{level}.dict").exists():
        raise LabError(f"level {level} has no dictionary")
    if target(level, technique) not in fuzz_targets():
        raise LabError(f"level {level} has no build for {technique}")


def read_log(run, text):
    """Fills RUN from libFuzzer's output: executions, last mutations, the winner, a fault."""
    execs = re.findall(r"^stat::number_of_executed_units: *(\d+)", text, re.M)
    run.executions = int(execs[-1]) if execs else 0
    mutations = re.findall(r"^MS: \d+ ([^;\n]*)", text, re.M)
    run.mutations = mutations[-1].strip() if mutations else ""
    winner = re.findall(r"Test unit written to (.*)", text)
    passed = re.search(r"^TUMBLEWICK: level \d+ passed$", text, re.M)
    run.beaten = bool(passed and winner)
    run.winner = rel(winner[-1].strip()) if run.beaten else ""
    if not run.beaten and (not re.search(r"^Done \d+ runs", text, re.M)
                           or re.search(r"^==\d+==.*ERROR|runtime error", text, re.M)):
        run.status = "fault"


def passes_counted(text):
    m = re.search(r"^TUMBLEWICK: level \d+ passed (\d+) times$", text, re.M)
    return int(m.group(1)) if m else 0


def won_at_target_clock(points, checks):
    """Seconds to the win by the target's own clock, from its first input: the stage log's
    point where every check passed. The process's wall time also holds its start-up and the
    crash report, which can carry a win at the bound past it."""
    return min((s for n, _, s in points if n >= checks), default=None)


def command(job, name, stage_log):
    r = job.run
    args = [f"-seed={r.seed}", f"-runs={job.soak_runs}" if job.soak_runs else f"-max_total_time={r.bound}"]
    for t in r.technique.split("+"):
        args += TECHNIQUES[t].get("flags", lambda level: [])(r.level)
    if job.artifact:
        args.append(f"-exact_artifact_path={job.artifact}")
    if all(TECHNIQUES[t].get("seeds", True) for t in r.technique.split("+")):
        args.append(str(job.seeds))
    env = dict(os.environ, TUMBLEWICK_STAGE_LOG=str(stage_log))
    if job.soak_runs:
        env["TUMBLEWICK_FUZZ_KEEP_GOING"] = "1"
    return [job.binary or BUILDS["fuzz"].dir / name, *libfuzzer_flags(name), "-print_final_stats=1",
            f"-artifact_prefix={job.dir / 'findings'}/", job.dir / "corpus", *args], env


def run(job):
    r = job.run
    name = job.target or target(r.level, r.technique)
    (job.dir / "corpus").mkdir(parents=True)
    (job.dir / "findings").mkdir()
    stage_log = job.dir / "stages.log"
    cmd, env = command(job, name, stage_log)
    bound = 3600 if job.soak_runs else r.bound + GRACE
    _, r.wall, ended = run_bounded(cmd, bound, r.log, job.core, dict(env, **job.env))
    r.seconds = r.wall
    text = Path(r.log).read_text(errors="replace")
    read_log(r, text)
    if job.soak_runs:
        r.passes, r.mutations = passes_counted(text), ""
    elif stage_log.exists() and job.judge:
        points = stage_log_points(stage_log.read_text())
        checks = job.judge.levels()[r.level].checks
        r.stages = reach(points, checks)
        won_at = won_at_target_clock(points, checks) if r.beaten else None
        if won_at is not None:
            r.seconds = won_at
    if ended != "exited":
        r.status = "killed"
