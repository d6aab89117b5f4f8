"""The arena's verdicts on honest and hostile fixture fuzzers (fixture.sh) under a 2-second bound,
contained by bubblewrap and by the subreaper it falls back to, each leaving no process and no
file behind; and the batch stream cut into frames wherever its pieces end."""
import hashlib
import os
import struct
import tempfile
import unittest
from pathlib import Path

from labtest import HERE, JUDGE_BINARY

from fuzzlab import arena_judge, contain, procs, schedule
from fuzzlab.engines import arena as lab_arena
from fuzzlab.judge import Judge

JUDGE = Judge(JUDGE_BINARY)

ESCAPED = HERE / "escaped.bin"  # where the "writing" fixture writes, outside its run folder


def arena(test, fuzzers, parallel, private_tmp=True):
    """Runs each fixture on level 1; {fixture: run}, after checking nothing outlived them."""
    folder = tempfile.TemporaryDirectory(prefix="tumblewick-arena-test-")
    test.addCleanup(folder.cleanup)
    test.addCleanup(ESCAPED.unlink, missing_ok=True)
    tools_before = set(Path(tempfile.gettempdir()).glob("tumblewick-arena-*"))
    jobs = [lab_arena.arena_jobs([HERE / "fixture.sh", f], [1], [1], 2, JUDGE, lab=Path(folder.name))[0]
            for f in fuzzers]
    for job, f in zip(jobs, fuzzers):
        job.dir = job.dir.with_name(f)
    done = {Path(r.dir).name: r for r in schedule.run_all(jobs, parallel)}
    # Nothing left: no process that knows the runs' folder (the escaping fixture's child has
    # it on its command line, not in its environment), no file outside the run folders.
    left = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if folder.name.encode() in Path(f"/proc/{pid}/cmdline").read_bytes():
                left.append(pid)
        except OSError:
            pass
    test.assertEqual(left, [])
    test.assertEqual(procs.kill_marked(procs.MARK + b"-"), 0)
    in_tmp = list(Path("/tmp").glob(f"{procs.MARK.decode().partition('=')[2]}-*-escaped"))
    for p in in_tmp:
        p.unlink()
    test.assertEqual(in_tmp if private_tmp else [], [])
    test.assertEqual(set(Path(tempfile.gettempdir()).glob("tumblewick-arena-*")) - tools_before, set())
    return done


def verdicts(done):
    return {f: r.verdict + (f" ({r.note})" if r.note else "") for f, r in done.items()}


class Contained(unittest.TestCase):
    maxDiff = None
    @unittest.skipUnless(contain.sandbox_works(), "bubblewrap cannot run here")
    def test_verdicts_in_the_sandbox(self):
        fuzzers = ("honest", "honest-batch", "tiny_fuzzer.py", "tiny_fuzzer_batch.py", "asking", "cheating", "copying", "linking", "piping", "crashing",
                   "traceback", "broken-frame", "hanging", "escaping", "writing", "flooding")
        done = arena(self, fuzzers, 4)
        self.assertEqual(verdicts(done), {
            "honest": "beaten",
            "honest-batch": "beaten",
            "tiny_fuzzer.py": "beaten",
            "tiny_fuzzer_batch.py": "beaten",
            "asking": "nothing",
            "cheating": "false-claim",
            "copying": "unjudged",
            "linking": "false-claim (the winner is a symbolic link, not a regular file)",
            "piping": "false-claim (the winner is a named pipe, not a regular file)",
            "crashing": "crashed (signal 11)",
            "traceback": "crashed (exit 1 after a Python traceback)",
            "broken-frame": "crashed (exit 2)",
            "hanging": "ignored-bound",
            "escaping": "nothing",
            "writing": "nothing",  # it could not: the repository and / are read-only
            "flooding": "nothing",
        })
        self.assertEqual([done[f].executions for f in ("honest", "honest-batch", "asking")], [2, 1, 1])
        said = Path(done["asking"].log).read_text()
        for line in ("checks passed: 0/", "explain: 1", "arena judges level 1 only", "other level: 2",
                     "cannot read /nonexistent", "unreadable: 2", "/ is a directory", "directory: 2",
                     "too many arguments", "too many: 2", "levels: 0"):
            self.assertIn(line, said)
        self.assertLess(done["honest"].seconds, 2)
        self.assertLess(done["hanging"].wall, 4)
        self.assertFalse(ESCAPED.exists())
        broken = Path(done["broken-frame"].log).read_text()
        self.assertIn("frame 1 is broken", broken)  # the real judge's words and exit status
        flood = Path(done["flooding"].log).read_bytes()
        self.assertLess(len(flood), 2 * contain.LOG_KEEP + 200)
        self.assertIn(b"bytes left out", flood)
        self.assertTrue(flood.startswith(b"x") and flood.endswith(b"x"))

    def test_verdicts_under_the_subreaper(self):
        self.addCleanup(setattr, contain, "_sandbox", contain._sandbox)
        contain._sandbox = False
        # One at a time: a write is told by when it was made. Only the repository is watched.
        done = arena(self, ("honest", "escaping", "hanging", "writing"), 1, private_tmp=False)
        self.assertEqual(verdicts(done), {
            "honest": "beaten",
            "escaping": "nothing",
            "hanging": "ignored-bound",
            "writing": f"escaped ({ESCAPED})",
        })


class Judge(unittest.TestCase):
    def test_the_real_judge_never_gets_a_path_of_the_fuzzers(self):
        cases = {  # the fuzzer's arguments: the real judge's, whether judged, whether refused
            ("1", "/etc/shadow"): (["1", "-"], True, False),
            ("--explain=tsv", "1", "x"): (["--explain=tsv", "1", "-"], True, False),
            ("1", "--", "--x"): (["--", "1", "-"], True, False),
            ("1", "--batch", "--stages"): (["--batch", "--stages", "1"], True, False),
            ("1", "a", "b"): (["1", "-", "-"], False, False),
            ("--bogus", "1", "x"): (["--bogus", "1", "-"], False, False),
            ("--levels",): (["--levels"], False, False),
            ("2", "x"): (["2", "-"], True, True),
            ("7", "x"): (["7", "-"], True, False),
        }
        for args, (argv, judged, refused) in cases.items():
            call = arena_judge.Call(args, 1)
            self.assertEqual((call.argv("J")[1:], call.judged, call.other_level), (argv, judged, refused), args)

    def test_batch_frames_cut_anywhere(self):
        inputs = [b"", b"a", b"\0" * 70000, b"xyz"]
        stream = b"".join(struct.pack("<I", len(d)) + d for d in inputs)
        for piece in (1, 3, 5, 65536):
            frames = arena_judge.Frames()
            seen = [d for at in range(0, len(stream), piece) for d in frames.feed(stream[at:at + piece])]
            self.assertEqual(seen, [hashlib.sha256(d).hexdigest() for d in inputs], piece)
        frames = arena_judge.Frames()  # a frame a piece, as a fuzzer sends them
        self.assertEqual([d for i in inputs for d in frames.feed(struct.pack("<I", len(i)) + i)],
                         [hashlib.sha256(d).hexdigest() for d in inputs])
        self.assertEqual(arena_judge.Frames().feed(stream[:-1]), [hashlib.sha256(d).hexdigest() for d in inputs[:-1]])
