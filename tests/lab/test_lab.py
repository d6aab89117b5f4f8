"""The arena's verdicts on four fixture fuzzers under a 2-second bound."""
import os
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "fuzz"))
from fuzzlab import procs, schedule  # noqa: E402
from fuzzlab.engines import arena  # noqa: E402
from fuzzlab.judge import Judge  # noqa: E402

JUDGE = Judge(os.environ.get("TUMBLEWICK_JUDGE_BINARY", HERE.parent.parent / "build" / "judge" / "tumblewick-judge"))


class Arena(unittest.TestCase):
    def test_verdicts(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        fuzzers = ("honest", "cheating", "crashing", "hanging")
        jobs = [arena.arena_jobs([HERE / "fixture.sh", f], [1], [1], 2, JUDGE, lab=Path(folder.name))[0]
                for f in fuzzers]
        for job, f in zip(jobs, fuzzers):
            job.dir = job.dir.with_name(f)
        done = {Path(r.dir).name: r for r in schedule.run_all(jobs, len(jobs))}
        self.assertEqual([done[f].verdict for f in fuzzers],
                         ["beaten", "false-claim", "crashed", "ignored-bound"])
        self.assertEqual(done["honest"].executions, 2)
        self.assertLess(done["hanging"].wall, 4)
        self.assertEqual(procs.kill_marked(procs.MARK + b"-"), 0)  # none of them left behind
