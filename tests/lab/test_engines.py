"""Each engine's reader on short recorded logs: libFuzzer's output, AFL++'s fuzzer_stats and
queue names, zzuf's log with the judge's checks as data, the GUI fuzzer's JSON line (with its
stage reach and, against the coverage build, its counters; the target it is tabled against)."""
import json
import shutil
import tempfile
import unittest
from pathlib import Path

from labtest import HERE, Run, log

from fuzzlab import tables
from fuzzlab.engines import afl, gui, libfuzzer, zzuf
from fuzzlab.stages import reach, stage_log_points

AFL_OUT = HERE / "afl-level3"


class LibFuzzer(unittest.TestCase):
    def test_a_win_gives_its_executions_winner_and_last_mutations(self):
        r = Run(3, "libfuzzer")
        libfuzzer.read_log(r, log("libfuzzer-level3-win.log"))
        self.assertEqual((r.beaten, r.executions, r.status), (True, 401, "ok"))
        self.assertTrue(r.winner.endswith("findings/crash-47cdd7bade6f1ec22c5a63f825b2c4ddd53e5b6f"))
        self.assertTrue(r.mutations.startswith("ChangeBit-PersAutoDict-EraseBytes-CMP-PersAutoDict- DE: "))

    def test_a_run_to_the_bound_and_a_sanitizer_report_are_no_win(self):
        r = Run(4, "libfuzzer")
        libfuzzer.read_log(r, log("libfuzzer-level4-bound.log"))
        self.assertEqual((r.beaten, r.executions, r.status, r.winner), (False, 1050846, "ok", ""))
        r = Run(3, "libfuzzer")
        libfuzzer.read_log(r, log("asan-level3.log"))
        self.assertEqual((r.beaten, r.status), (False, "fault"))

    def test_a_win_by_the_targets_clock(self):
        # A level-6 stage log as the target wrote it; the process itself ran 30.10 s.
        points = stage_log_points("2 10 0.06\n3 4411995 20.80\n4 4695619 29.89\n")
        self.assertEqual(libfuzzer.won_at_target_clock(points, 4), 29.89)
        self.assertIsNone(libfuzzer.won_at_target_clock(points[:2], 4))

    def test_targets_and_counted_passes(self):
        self.assertEqual(libfuzzer.target(6, "no-cmp+value-profile"), "level6_nocmp")
        self.assertEqual(libfuzzer.target(4, "repair"), "level4_repair")
        self.assertEqual(libfuzzer.technique_of("level4_repair"), "repair")
        self.assertEqual(libfuzzer.technique_of("level2"), "plain")
        self.assertEqual(libfuzzer.passes_counted("Done 9 runs\nTUMBLEWICK: level 4 passed 12 times\n"), 12)


class Afl(unittest.TestCase):
    def test_the_first_crash_is_the_win_found_when_its_name_says(self):
        r = Run(3, "afl")
        afl.read_out(r, AFL_OUT)
        self.assertEqual((r.beaten, r.executions, r.seconds, r.mutations), (True, 882, 0.02, "op:havoc,rep:8"))
        self.assertTrue(r.winner.endswith("crashes/id:000000,sig:06,src:000000,time:20,execs:882,op:havoc,rep:8"))

    def test_without_a_crash_the_stats_tell_the_executions(self):
        with tempfile.TemporaryDirectory() as folder:
            shutil.copy(AFL_OUT / "fuzzer_stats", folder)
            r = Run(3, "afl")
            afl.read_out(r, Path(folder))
            self.assertEqual((r.beaten, r.executions, r.status), (False, 7625, "ok"))
            (Path(folder) / "fuzzer_stats").unlink()
            afl.read_out(r, Path(folder))
            self.assertEqual(r.status, "failed")  # it never started

    def test_queue_names_tell_when_each_entry_was_found(self):
        names = [f.name for f in afl.queue(AFL_OUT)]
        self.assertEqual(len(names), 5)
        self.assertEqual(afl.found_at("id:000000,time:0,execs:0,orig:photo.bmp"), (0, 0.0))
        self.assertEqual(afl.found_at("id:000002,src:000000,time:17,execs:755,op:havoc,rep:16,+cov"), (755, 0.017))


class Zzuf(unittest.TestCase):
    def test_each_launch_is_an_input_with_its_checks_passed(self):
        text = log("zzuf-level3.log")
        points = zzuf.points(text, wall=0.4)
        self.assertEqual([(n, e) for n, e, _ in points], [(4, 1), (4, 2), (4, 3), (5, 4)])
        self.assertAlmostEqual(points[-1][2], 0.4)
        self.assertEqual(reach(points, 5), "1/0.10 1/0.10 1/0.10 1/0.10 4/0.40")
        self.assertEqual(zzuf.WON.search(text).group(1), "1000003")


class Gui(unittest.TestCase):
    def test_its_last_line_for_the_level(self):
        said = json.loads('{"level":2,"beaten":true,"submissions":41,"seconds":3.5,"coverage":7,'
                          '"stuck_at":"","winner":{"weight":"3","height":"2"}}')
        with tempfile.TemporaryDirectory() as folder:
            r = Run(2, "gui")
            gui.read_said(r, said, Path(folder))
            self.assertEqual((r.beaten, r.executions, r.seconds, r.note), (True, 41, 3.5, "7 distinct answers"))
            self.assertEqual(json.loads((Path(folder) / "winner.json").read_text()), said["winner"])

    def test_a_cmp_run_its_stage_reach_and_the_target(self):
        self.assertEqual([gui.feedback_of(t) for t in ("plain", "repair", "cmp", "coverage+repair")],
                         ["answers", "answers", "cmp", "coverage"])
        said = json.loads(log("guifuzz-level4-cmp.log"))
        with tempfile.TemporaryDirectory() as folder:
            (Path(folder) / "level4.bin").write_bytes(b"")
            r = Run(4, "gui", "cmp", bound=30)
            gui.read_said(r, said, Path(folder))
        # Each of the 7 checks falls at the first point that passed at least that many.
        self.assertEqual(r.stages, "1/0.02 16/0.11 16/0.11 16/0.11 16/0.11 16/0.11 207/1.38")
        self.assertEqual((r.beaten, r.executions), (True, 207))
        self.assertIn("5 of 197 operand inputs kept", r.note)
        late = Run(4, "gui", "cmp", bound=30, beaten=True, executions=tables.GUI_TARGET_SUBMISSIONS + 1)
        self.assertIn("| 4 | cmp | 2/2 | 1/2 |", tables.gui_feedback_table([r, late], "en")[-1])


if __name__ == "__main__":
    unittest.main()
