"""The GUI rung: tumblewick-guifuzz plays the real game under Wine, in the project's prefix and
on a private Xvfb display set up as the test command does (scripts/common.sh). It reaches the
level by the lab's known winners (fuzz/winners), which it does not count; its submissions are
the executions and its seconds those of the level. One run at a time: two would share the
prefix's desktop. The technique names its feedback, "answers" (also "plain", the default),
"coverage" or "cmp", the last two against the game's coverage build Velk_Game-cov.exe, and
"+repair" adds the file levels' structure repair ("repair" alone: answers with it)."""
import json
import threading
from pathlib import Path

from ..builds import BUILDS
from ..config import FUZZ, GUI_FEEDBACKS, REPO, rel
from ..procs import run_bounded
from ..stages import reach

SCRIPT = """. "$0"; prepare_prefix >/dev/null; start_display || exit 3; trap stop_display EXIT
LC_ALL=$TUMBLEWICK_LOCALE WINEDEBUG=-all wine "$@" """
_lock = threading.Lock()


def feedback_of(technique):
    return next((p for p in technique.split("+") if p in GUI_FEEDBACKS), "answers")


def winpath(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def read_said(run, said, folder):
    """Fills RUN from the fuzzer's last JSON line for the level."""
    run.beaten, run.executions, run.seconds = said["beaten"], said["submissions"], said["seconds"]
    run.note = f"{said['coverage']} distinct answers" + ("" if run.beaten else f"; stuck at: {said['stuck_at']}")
    if said.get("feedback", "answers") != "answers":
        run.note += (f"; {said['edges']} edges, {said['kept_for_coverage']} kept for coverage, "
                     f"{said['unstable']} unstable")
    if said.get("feedback") == "cmp":
        run.note += f"; {said['cmp_kept']} of {said['cmp_tried']} operand inputs kept"
    if "stage_count" in said:
        run.stages = reach([tuple(p) for p in said["stages"]], said["stage_count"])
    if run.beaten:
        winner = folder / f"level{run.level}.bin"
        if not winner.exists():  # a typed level: its fields as typed
            winner = folder / "winner.json"
            winner.write_text(json.dumps(said["winner"], ensure_ascii=False) + "\n")
        run.winner = rel(winner)


def run(job):
    r = job.run
    job.dir.mkdir(parents=True)
    game = BUILDS["win"].dir / "game"
    feedback = feedback_of(r.technique)
    cmd = ["bash", "-c", SCRIPT, REPO / "scripts" / "common.sh",
           game / "tumblewick-guifuzz.exe", "--level", r.level,
           "--seconds", r.bound, "--seed", r.seed, "--json", "--replay", winpath(FUZZ / "winners"),
           "--seeds", winpath(job.seeds), "--save", winpath(job.dir), "--feedback", feedback]
    if "repair" not in r.technique.split("+"):
        cmd.append("--plain")
    if feedback != "answers":  # only the coverage build records what these feed on
        cmd.append(winpath(game / "Velk_Game-cov.exe"))
    with _lock:  # the bound leaves time for Wine to start and the replayed levels
        status, r.wall, ended = run_bounded(cmd, r.bound + 60, r.log, job.core)
    lines = [json.loads(line) for line in Path(r.log).read_text(errors="replace").splitlines()
             if line.startswith(f'{{"level":{r.level},')]
    if not lines:
        r.status = "failed" if ended == "exited" else "killed"
        return
    read_said(r, lines[-1], job.dir)
    if ended != "exited" or status == 3:
        r.status = "killed" if ended != "exited" else "failed"
