"""The record of one run, as every engine reports it: one JSON line in build/lab/runs.jsonl,
and one CSV row in docs/data for the tables and pictures."""
import csv
import dataclasses
import json
import threading
from pathlib import Path

from .config import ENGINE_LABELS, GUI_TECHNIQUES, lab_value


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
    note: str = ""  # why it failed or crashed, or what else the engine tells of its run
    passes: int = 0  # level passes counted, where only counted (soak, smoke)


_lock = threading.Lock()


def record(run, path):
    with _lock:
        path.parent.mkdir(parents=True, exist_ok=True)
        with path.open("a") as f:
            f.write(json.dumps(dataclasses.asdict(run), sort_keys=True) + "\n")


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


def technique_runs(path):
    """The runs of every libFuzzer technique: plain libFuzzer is the ladder's cell beside it (the
    same runs), the others are PATH's."""
    ladder = Path(path).with_name("ladder.csv")
    plain = [r for r in read_runs(ladder) if r.engine == "libfuzzer" and r.technique == "plain"] \
        if ladder.exists() else []
    runs = plain + [r for r in read_runs(path) if r.technique != "plain"]
    return sorted(runs, key=lambda r: (r.level, order_of(r), r.seed))


def order_of(r):
    names = list(ENGINE_LABELS)
    if r.engine == "gui":
        return (names.index(r.engine), GUI_TECHNIQUES.index(r.technique) if r.technique in GUI_TECHNIQUES
                else len(GUI_TECHNIQUES))
    if r.engine in names:
        return (names.index(r.engine), technique_order(r.level, r.technique))
    return (len(names), r.engine)


def technique_order(level, technique):
    compare = lab_value(level, "compare").split()
    return compare.index(technique) if technique in compare else len(compare)


def name_of(r):
    return r.engine if r.engine != "libfuzzer" or r.technique == "plain" else r.technique
