"""The report on a tiny data set (report/*.csv) against the tables it must give in each language
(report/guide.LANG.md); the check that the two guides agree."""
import contextlib
import io
import re
import shutil
import tempfile
import unittest
from pathlib import Path

from labtest import HERE, RecordedJudge

from fuzzlab import report

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
