"""Stage reach from the judge's data forms as recorded (--explain=tsv, --batch --stages,
--levels), and the same forms from the judge itself where it is built."""
import unittest

from labtest import HERE, JUDGE_BINARY, Judge, RecordedJudge, log, parse_explain, parse_levels, runs

from fuzzlab import judge, stages
from fuzzlab.engines import afl

# What the judge's batch mode answered for the recorded AFL++ queue, in afl.queue's order.
AFL_LEVEL3_STAGES = [5, 4, 1, 3, 3]


class DataForms(unittest.TestCase):
    def test_explain_rows_and_their_passed_checks_in_both_languages(self):
        en, zh = parse_explain(log("explain-level3.en.tsv")), parse_explain(log("explain-level3.zh.tsv"))
        self.assertEqual([r["state"] for r in en], ["passed"] * 4 + ["failed"])
        self.assertEqual(judge.passed_of(en), 4)
        self.assertEqual([r["key"] for r in en], [r["key"] for r in zh])
        self.assertEqual((en[4]["had"], zh[3]["name"]), ("stated size 1078, file size 1078", '以 "BM" 开头'))
        self.assertEqual(parse_explain("notice: The picture is empty.\n"), [])
        empty = parse_explain(log("explain-level3-empty.en.tsv"))
        self.assertEqual(([r["state"] for r in empty][:2], judge.passed_of(empty)), (["failed", "not-reached"], 0))

    def test_levels_tell_file_levels_repairs_and_checks(self):
        j = RecordedJudge()
        self.assertEqual((j.with_input("file"), j.with_repair()), ((3, 4, 6), (4, 6)))
        self.assertEqual([f.checks for f in j.levels().values()], [1, 7, 5, 7, 2, 4])
        self.assertEqual((j.levels()[4].min_size, j.levels()[4].max_size), (4096, 1048576))
        with self.assertRaises(judge.LabError):
            parse_levels("level\tinput\n1\tname\n")

    def test_batch_frames_are_a_length_then_the_bytes(self):
        paths = [HERE / "logs" / "judge-levels.tsv"]
        data = judge.frames(paths * 2)
        size = paths[0].stat().st_size
        self.assertEqual(data[:4], size.to_bytes(4, "little"))
        self.assertEqual(len(data), 2 * (4 + size))


class Reach(unittest.TestCase):
    def test_an_afl_queue_reaches_as_its_names_and_the_judge_say(self):
        entries = afl.queue(HERE / "afl-level3")
        points = [(n, *afl.found_at(f.name)) for n, f in zip(AFL_LEVEL3_STAGES, entries)]
        self.assertEqual(stages.reach(points, 5), "0/0.00 0/0.00 0/0.00 0/0.00 882/0.02")

    def test_fallen_and_furthest(self):
        r = runs((7, False))[0]
        r.stages = "0/0.00 12/0.50 - -"
        self.assertEqual(stages.fallen(r), [(0, 0.0), (12, 0.5), None, None])
        self.assertEqual(stages.furthest(r), 3)
        r.stages = "0/0.00 1/0.01"
        self.assertEqual(stages.furthest(r), 3)  # both passed: one past the last, a win

    def test_the_mode_of_the_trials_ties_to_the_further(self):
        group = runs((1, False), (1, False), (1, False), (1, False))
        for r, s in zip(group, ("1/0 - -", "1/0 - -", "1/0 2/0 -", "1/0 2/0 -")):
            r.stages = s
        self.assertEqual(stages.furthest_mode(group), (3, 2))
        group[0].stages = ""
        self.assertEqual(stages.furthest_mode(group), (3, 2))
        self.assertEqual(stages.furthest_mode(group[:1]), (None, 0))


@unittest.skipUnless(JUDGE_BINARY.exists(), "the judge is not built")
class TheJudgeItself(unittest.TestCase):
    def test_it_answers_as_recorded(self):
        j = Judge(JUDGE_BINARY)
        self.assertEqual(j.stages(3, afl.queue(HERE / "afl-level3")), AFL_LEVEL3_STAGES)
        self.assertEqual(j.levels(), RecordedJudge().levels())
        self.assertEqual(j.check_names(3, "zh"), RecordedJudge().check_names(3, "zh"))
        self.assertTrue(j.passes(3, HERE.parent.parent / "fuzz" / "winners" / "level3.bin"))


if __name__ == "__main__":
    unittest.main()
