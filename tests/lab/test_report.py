"""The report on a tiny data set (report/*.csv) against the tables it must give in each language
(report/guide.LANG.md); the check that the two guides agree."""
import contextlib
import io
import re
import shutil
import tempfile
import unittest
from pathlib import Path

from labtest import HERE, JUDGE_BINARY, RecordedJudge

from fuzzlab import coverage, report
from fuzzlab.config import LabError
from fuzzlab.judge import Judge

DATA = HERE / "report"


def guide(lang):
    return (DATA / f"guide.{lang}.md").read_text()


def emptied(text):
    """TEXT with every measured table's body taken out."""
    return re.sub(r"(<!-- lab:([\w-]+) -->\n).*?(<!-- /lab:\2 -->)", r"\1\3", text, flags=re.S)


class Rendering(unittest.TestCase):
    def test_each_language_gives_its_tables_to_the_letter(self):
        for lang in ("en", "zh"):
            with self.subTest(lang=lang):
                self.assertEqual(report.rendered(emptied(guide(lang)), lang, RecordedJudge(), DATA), guide(lang))

    def test_a_rendered_guide_stays_as_it_is(self):
        for lang in ("en", "zh"):
            self.assertEqual(report.rendered(guide(lang), lang, RecordedJudge(), DATA), guide(lang))

    def test_a_table_without_its_data_is_left_alone(self):
        text = "<!-- lab:techniques -->\nold\n<!-- /lab:techniques -->\n"
        self.assertEqual(report.rendered(text, "en", RecordedJudge(), DATA), text)


class Quotes(unittest.TestCase):
    def test_what_a_guide_quotes_of_the_judge_is_the_level_tables(self):
        judge = Judge(JUDGE_BINARY)
        stale = '"<!-- said:4:equation:bytes:000000040000000100000001:4096 -->has gone off<!-- /said -->"\n'
        fresh = report.rendered(stale, "en", judge)
        self.assertIn("-->Error: the little sesame has gone bad.<!--", fresh)
        self.assertEqual(report.rendered(fresh, "en", judge), fresh)
        with self.assertRaises(LabError):  # a quote whose input fails elsewhere than it says
            report.rendered("<!-- said:4:equation:bytes::4096 -->x<!-- /said -->", "en", judge)

    def test_coverage_counts_read_the_way_round_the_check_is_written(self):
        # llvm-cov counts `if (!check(...))` as the negation: both inputs passed `size != 0`.
        lines = ["        2 |   if (!stages::check(trail, size != 0, seen)) return Step::Empty;",
                 "          |     -> true 0, false 2",
                 "        2 |   if (!check(trail, head[0] == 0x42 && head[1] == 0x4D, {head[0], head[1]})) {",
                 "          |     -> true 0, false 2", "          |     -> true 2, false 0",
                 "          |     -> true 1, false 1",
                 "        2 |   return check(trail, stated > size + 256u, {stated, size})",
                 "          |     -> true 1, false 1"]
        self.assertEqual([x.split("-> ")[1] for x in coverage.readable(lines) if "->" in x],
                         ["check passed 2, failed 0", "check passed 2, failed 0", "`head[0] == 0x42` true 2, false 0",
                          "`head[1] == 0x4D` true 1, false 1", "check passed 1, failed 1"])


class Check(unittest.TestCase):
    def check(self, en, zh):
        folder = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, folder)
        guides = {"zh": folder / "zh.md", "en": folder / "en.md"}
        guides["en"].write_text(en)
        guides["zh"].write_text(zh)
        said = io.StringIO()
        with contextlib.redirect_stdout(said):
            status = report.report(True, RecordedJudge(), guides, DATA)
        return status, said.getvalue()

    def test_the_fixture_guides_pass(self):
        self.assertEqual(self.check(guide("en"), guide("zh")), (0, "the guides' measured tables match docs/data\n"))

    def test_a_changed_figure_or_a_table_in_one_guide_fails(self):
        status, said = self.check(guide("en").replace("| 882 |", "| 883 |"), guide("zh"))
        self.assertEqual(status, 1)
        self.assertIn("a measured table differs", said)
        self.assertIn("table bonus: the guides' numbers differ", said)
        status, said = self.check(guide("en"), re.sub(r"<!-- lab:bonus -->.*<!-- /lab:bonus -->\n", "", guide("zh"),
                                                       flags=re.S))
        self.assertIn("table bonus is in one guide only", said)


if __name__ == "__main__":
    unittest.main()
