"""The statistics on cases computed by hand."""
import unittest
from fractions import Fraction

from labtest import runs

from fuzzlab import stats


class KaplanMeier(unittest.TestCase):
    def test_a_censored_trial_and_a_tie(self):
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
        r = runs((10, True), (30.1, True), (20, True), (31.5, False))
        self.assertEqual(stats.summary(r, "seconds"), (20, 10, None))
        self.assertEqual(stats.time_to_win(r), [10, 30, 20, 30])

    def test_fewer_than_half_won_has_no_median(self):
        r = runs((1, True), (30, False), (30, False))
        self.assertEqual(stats.summary(r, "seconds"), (None, 1, None))


class Comparisons(unittest.TestCase):
    def test_a12_counts_censored_runs_as_the_bound_and_ties_half(self):
        a, b = runs((1, True), (2, True), (9, False)), runs((2, True), (8, False), (9, False))
        x, y = stats.time_to_win(a), stats.time_to_win(b)
        self.assertEqual((x, y), ([1, 2, 30], [2, 30, 30]))
        self.assertAlmostEqual(stats.a12(x, y), 6.5 / 9)
        self.assertAlmostEqual(stats.a12(y, x), 2.5 / 9)
        self.assertEqual(stats.mann_whitney([30, 30], [30, 30]), (2.0, 1.0))
        self.assertLess(stats.mann_whitney([1] * 10, [30] * 10)[1], 0.001)

    def test_pairs_put_the_focus_first_and_skip_cells_that_never_won(self):
        a = [r for r in runs((1, True), (2, True)) if setattr(r, "engine", "a") is None]
        b = [r for r in runs((30, False), (30, False)) if setattr(r, "engine", "b") is None]
        c = [r for r in runs((30, False), (30, False)) if setattr(r, "engine", "c") is None]
        found = stats.pairs(a + b + c, "engine", focus="b")
        self.assertEqual([(lv, x, y) for lv, x, y, _, _ in found], [(1, "b", "a")])
        self.assertEqual(found[0][3], 0.0)  # b never wins sooner than a


if __name__ == "__main__":
    unittest.main()
