"""The lab's statistics on a case computed by hand, its report on a stale table, and the
arena's verdicts on four fixture fuzzers under a 2-second bound."""
import os
import sys
import tempfile
import unittest
from fractions import Fraction
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "fuzz"))
from fuzzlab import coverage, procs, report, schedule, stages, stats  # noqa: E402
from fuzzlab.config import LabError  # noqa: E402
from fuzzlab.engines import arena, libfuzzer  # noqa: E402
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

    def test_a_win_past_the_bound_is_censored_at_the_bound(self):
        # At a 30 s bound: won at 10 and 20, "won" at 30.1 and stopped unbeaten at 31.5. Both late
        # ones are censored at 30: S = 3/4 after 10, 1/2 after 20, and never 1/4 within the bound.
        r = [Run(6, "x", bound=30, seconds=t, beaten=w) for t, w in ((10, True), (30.1, True), (20, True), (31.5, False))]
        self.assertEqual(stats.summary(r, "seconds"), (20, 10, None))
        self.assertEqual(stats.time_to_win(r), [10, 30, 20, 30])

    def test_libfuzzer_wins_by_the_targets_clock(self):
        # A level-6 stage log as the target wrote it; the process itself ran 30.10 s.
        points = stages.stage_log_points("2 10 0.06\n3 4411995 20.80\n4 4695619 29.89\n")
        self.assertEqual(libfuzzer.won_at_target_clock(points, 4), 29.89)
        self.assertIsNone(libfuzzer.won_at_target_clock(points[:2], 4))

    def test_a12_counts_censored_runs_as_the_bound_and_ties_half(self):
        a, b = runs((1, True), (2, True), (9, False)), runs((2, True), (8, False), (9, False))
        x, y = stats.time_to_win(a), stats.time_to_win(b)
        self.assertEqual((x, y), ([1, 2, 30], [2, 30, 30]))
        self.assertAlmostEqual(stats.a12(x, y), 6.5 / 9)
        self.assertAlmostEqual(stats.a12(y, x), 2.5 / 9)
        self.assertEqual(stats.mann_whitney([30, 30], [30, 30]), (2.0, 1.0))
        self.assertLess(stats.mann_whitney([1] * 10, [30] * 10)[1], 0.001)

    def test_coverage_counts_read_the_way_round_the_check_is_written(self):
        # llvm-cov counts `if (!check(...))` as the negation: both inputs passed `size != 0`.
        lines = ["        2 |   if (!stages::check(trail, size != 0, seen)) return Step::Empty;",
                 "          |     -> true 0, false 2",
                 "        2 |   if (!check(trail, head[0] == 0x42 && head[1] == 0x4D, {head[0], head[1]})) {",
                 "          |     -> true 0, false 2", "          |     -> true 2, false 0", "          |     -> true 1, false 1",
                 "        2 |   return check(trail, stated > size + 256u, {stated, size})", "          |     -> true 1, false 1"]
        self.assertEqual([x.split("-> ")[1] for x in coverage.readable(lines) if "->" in x],
                         ["check passed 2, failed 0", "check passed 2, failed 0", "`head[0] == 0x42` true 2, false 0",
                          "`head[1] == 0x4D` true 1, false 1", "check passed 1, failed 1"])

    def test_report_renders_a_stale_table_anew(self):
        stale = ("<!-- lab:ladder -->\n| 1 | zzuf | 9/9 |\n<!-- /lab:ladder -->\n"
                 '"<!-- said:4:equation:bytes:000000040000000100000001:4096 -->has gone off<!-- /said -->"\n')
        fresh = report.rendered(stale, "en", JUDGE)
        self.assertNotIn("9/9", fresh)
        self.assertIn("-->Error: the little sesame has gone bad.<!--", fresh)
        self.assertEqual(report.rendered(fresh, "en", JUDGE), fresh)
        with self.assertRaises(LabError):  # a quote whose input fails elsewhere than it says
            report.rendered("<!-- said:4:equation:bytes::4096 -->x<!-- /said -->", "en", JUDGE)


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
