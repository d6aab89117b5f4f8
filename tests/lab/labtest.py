"""What the lab's tests share: the package on the path, the recorded logs, the judge."""
import os
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
LOGS = HERE / "logs"
sys.path.insert(0, str(REPO / "fuzz"))

from fuzzlab.judge import Judge, parse_explain, parse_levels  # noqa: E402
from fuzzlab.runs import Run  # noqa: E402

# Where the recorded sanitizer reports and logs were made: the root of their paths.
RECORDED_ROOT = "/work/wt-21"
JUDGE_BINARY = Path(os.environ.get("TUMBLEWICK_JUDGE_BINARY", REPO / "build" / "judge" / "tumblewick-judge"))


def log(name):
    return (LOGS / name).read_text()


class RecordedJudge(Judge):
    """The judge as recorded: its --levels and the keys and names of level 3's checks in both
    languages; other levels' checks are named "check N" (key check-N)."""

    def __init__(self):
        super().__init__("/nonexistent/judge")
        self._levels = parse_levels(log("judge-levels.tsv"))
        for lang in ("en", "zh"):
            self._checks[3, lang] = [r["name"] for r in parse_explain(log(f"explain-level3.{lang}.tsv"))]
        self._keys[3] = [r["key"] for r in parse_explain(log("explain-level3.en.tsv"))]
        for level, facts in self._levels.items():
            self._keys.setdefault(level, [f"check-{n}" for n in range(1, facts.checks + 1)])
            for lang in ("en", "zh"):
                self._checks.setdefault((level, lang), [f"check {n} {lang}" for n in range(1, facts.checks + 1)])


def runs(*trials, bound=30):
    """Runs of level 1 from (executions = seconds, beaten) pairs."""
    return [Run(1, "x", bound=bound, executions=t, seconds=t, beaten=won) for t, won in trials]
