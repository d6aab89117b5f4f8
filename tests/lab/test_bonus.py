"""The bonus bugs' triage on recorded sanitizer reports, and their table's medians."""
import tempfile
import unittest
from pathlib import Path

from labtest import RECORDED_ROOT, RecordedJudge, log

from fuzzlab import bonus
from fuzzlab.config import LabError


class Reports(unittest.TestCase):
    def test_kind_and_our_frames_of_each_sanitizer(self):
        cases = {
            "asan-level3.log": ("heap-buffer-overflow READ", ("loadPhoto", "fuzz/bonus/bonus_fuzz.cpp:58")),
            "asan-level6.log": ("heap-use-after-free READ", ("serveDinner", "fuzz/bonus/bonus_fuzz.cpp:98")),
            "ubsan-level2.log": ("division by zero", ("examine", "fuzz/bonus/bonus_fuzz.cpp:49")),
        }
        for name, (kind, top) in cases.items():
            with self.subTest(name=name):
                found, frames = bonus.read_report(log(name), RECORDED_ROOT)
                self.assertEqual((found, frames[0]), (kind, top))
                self.assertTrue(all(where.startswith("fuzz/") for _, where in frames))  # no libFuzzer, no std
        self.assertEqual(bonus.read_report("INFO: Seed: 1\nDone 5 runs\n", RECORDED_ROOT), (None, []))

    def test_the_shortened_report(self):
        lines = bonus.report_lines(log("asan-level3.log"), root=RECORDED_ROOT)
        self.assertEqual(lines[0], "==2342==ERROR: AddressSanitizer: heap-buffer-overflow")
        self.assertEqual(lines[1], "READ of size 1 at 0x619000001380 thread T0")
        self.assertEqual(lines[2], "    #0 in (anonymous namespace)::loadPhoto(unsigned char const*, unsigned long) "
                                   "fuzz/bonus/bonus_fuzz.cpp:58:61")
        self.assertEqual(len([line for line in lines if "#" in line]), 4)  # two frames under each stack
        self.assertTrue(lines[-1].startswith("SUMMARY: AddressSanitizer: heap-buffer-overflow fuzz/bonus/"))


class Crashes(unittest.TestCase):
    def test_crash_files_and_their_levels(self):
        with tempfile.TemporaryDirectory() as folder:
            root = Path(folder)
            for name in ("level3-libfuzzer-seed1/findings/crash-ab", "level5-afl-seed1/out/default/crashes/id:000000",
                         "level5-afl-seed1/out/default/queue/id:000000", "level3-libfuzzer-seed1/corpus/crash-in-corpus",
                         "level3-libfuzzer-seed1/findings/.crash-ab.min.log"):
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_bytes(b"x")
            found = sorted(str(p.relative_to(root)) for p in bonus.crash_files([root]))
            self.assertEqual(found, ["level3-libfuzzer-seed1/corpus/crash-in-corpus",
                                     "level3-libfuzzer-seed1/findings/crash-ab",
                                     "level5-afl-seed1/out/default/crashes/id:000000"])
            self.assertEqual([bonus.level_of(root / f) for f in found], [3, 3, 5])


class Table(unittest.TestCase):
    def row(self, trial, found, execs, seconds, stopped=""):
        return {"trial": str(trial), "found": str(int(found)), "execs": str(execs), "seconds": str(seconds),
                "kind": "heap-buffer-overflow READ" if found else "", "first_bytes": "1030" if found else "",
                "minimized_bytes": "1024" if found else "", "stopped_by": stopped}

    def test_medians_count_the_trials_that_found_nothing_as_censored(self):
        # Censored at 5, found at 10 (S = 2/3) and 30 (S = 1/3), censored at 50: the median is
        # 30; the found trials' own median would say 20, and with every trial a find, 10.
        group = [self.row(1, False, 5, 60.0, "size-at-least"), self.row(2, True, 10, 0.1), self.row(3, True, 30, 0.3),
                 self.row(4, False, 50, 60.0, "size-at-least | stated-size/magic")]
        cell = bonus.cell(3, "libfuzzer", group, RecordedJudge())
        self.assertEqual(cell[:5], [3, "libFuzzer", "2/4", "30", "0.3"])
        # The checks named from the level table, where the record holds only their keys.
        self.assertEqual(cell[-1], "2. size at least 1024 bytes; 5. bytes 2-5 (little-endian) state a size above "
                                   "the file's + 256 or 4. starts with \"BM\"")
        self.assertEqual(bonus.cell(3, "afl", group[:1] + group[3:], RecordedJudge())[2:5], ["0/2", "-", "-"])
        with self.assertRaises(LabError):  # a verdict's text, as the records once held, is no check
            bonus.cell(3, "afl", [self.row(1, False, 5, 60.0, "Error: the picture is too small")], RecordedJudge())
        self.assertEqual(bonus.median_size([1024, 1027]), "1025.5")


if __name__ == "__main__":
    unittest.main()
