"""The lab's statistics on a case computed by hand, its report on a stale table, the GUI
fuzzer's report read into a run and tabled, and the arena's verdicts on four fixture fuzzers
under a 2-second bound."""
import os
import sys
import tempfile
import unittest
from fractions import Fraction
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "fuzz"))
from fuzzlab import procs, report, schedule, stats, tables  # noqa: E402
from fuzzlab.engines import arena, gui  # noqa: E402
from fuzzlab.judge import Judge  # noqa: E402
from fuzzlab.runs import Run  # noqa: E402

JUDGE = Judge(os.environ.get("TUMBLEWICK_JUDGE_BINARY", HERE.parent.parent / "build" / "judge" / "tumblewick-judge"))


def runs(*trials):
    return [Run(1, "x", bound=30, executions=t, seconds=t, beaten=won) for t, won in trials]


class Statistics(unittest.TestCase):
    def test_kaplan_meier_with_a_censored_trial_and_a_tie(self):
        # Stopped at 5 unbeaten, then 4 still running: two won at 10 (S = 1/2), one at 20 of the
        # two left (S = 1/4), one stopped at 40. Counting the censored trials as losses would
        # put the median at 20.
        r = runs((10, True), (40, False), (5, False), (20, True), (10, True))
        self.assertEqual(stats.kaplan_meier(r, "executions"), [(10, Fraction(1, 2)), (20, Fraction(1, 4))])
        self.assertEqual(stats.summary(r, "executions"), (10, 10, 20))
        self.assertEqual(stats.summary(runs((3, False)), "seconds"), (None, None, None))

    def test_a12_counts_censored_runs_as_the_bound_and_ties_half(self):
        a, b = runs((1, True), (2, True), (9, False)), runs((2, True), (8, False), (9, False))
        x, y = stats.time_to_win(a), stats.time_to_win(b)
        self.assertEqual((x, y), ([1, 2, 30], [2, 30, 30]))
        self.assertAlmostEqual(stats.a12(x, y), 6.5 / 9)
        self.assertAlmostEqual(stats.a12(y, x), 2.5 / 9)
        self.assertEqual(stats.mann_whitney([30, 30], [30, 30]), (2.0, 1.0))
        self.assertLess(stats.mann_whitney([1] * 10, [30] * 10)[1], 0.001)

    def test_report_renders_a_stale_table_anew(self):
        stale = "<!-- lab:ladder -->\n| 1 | zzuf | 9/9 |\n<!-- /lab:ladder -->\n"
        fresh = report.rendered(stale, "en", JUDGE)
        self.assertNotIn("9/9", fresh)
        self.assertEqual(report.rendered(fresh, "en", JUDGE), fresh)


class GuiFeedback(unittest.TestCase):
    # The last JSON line of a level-4 run with --feedback cmp, cut to the fields the lab reads.
    SAID = {"level": 4, "mode": "plain", "beaten": True, "submissions": 207, "seconds": 0.78, "coverage": 4,
            "stuck_at": None, "stages": [[1, 1, 0.0], [5, 16, 0.05], [6, 17, 0.06], [7, 207, 0.78]],
            "stage_count": 7, "feedback": "cmp", "kept_for_coverage": 6, "unstable": 0, "edges": 66,
            "cmp_tried": 197, "cmp_kept": 5}

    def test_a_report_read_into_a_run_and_the_target_counted(self):
        self.assertEqual([gui.feedback_of(t) for t in ("plain", "repair", "cmp", "coverage+repair")],
                         ["answers", "answers", "cmp", "coverage"])
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        (Path(folder.name) / "level4.bin").write_bytes(b"")
        r = Run(4, "gui", "cmp", bound=30)
        gui.read_said(r, self.SAID, Path(folder.name))
        # Each check falls at the first point that passed at least that many.
        self.assertEqual(r.stages, "1/0.00 16/0.05 16/0.05 16/0.05 16/0.05 17/0.06 207/0.78")
        self.assertEqual((r.beaten, r.executions), (True, 207))
        self.assertIn("5 of 197 operand inputs kept", r.note)
        late = Run(4, "gui", "cmp", bound=30, beaten=True, executions=tables.GUI_TARGET_SUBMISSIONS + 1)
        lines = tables.gui_feedback_table([r, late], "en")
        self.assertIn("| 4 | cmp | 2/2 | 1/2 |", lines[-1])


class Arena(unittest.TestCase):
    def test_verdicts(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        fuzzers = ("honest", "cheating", "crashing", "hanging")
        jobs = [arena.arena_jobs([HERE / "fixture.sh", f], [1], [1], 2, JUDGE, lab=Path(folder.name))[0] for f in fuzzers]
        for job, f in zip(jobs, fuzzers):
            job.dir = job.dir.with_name(f)
        done = {Path(r.dir).name: r for r in schedule.run_all(jobs, len(jobs))}
        self.assertEqual([done[f].verdict for f in fuzzers],
                         ["beaten", "false-claim", "crashed", "ignored-bound"])
        self.assertEqual(done["honest"].executions, 2)
        self.assertLess(done["hanging"].wall, 4)
        self.assertEqual(procs.kill_marked(procs.MARK + b"-"), 0)  # none of them left behind
