"""Every bad value the lab's command line can be handed gets one line and a non-zero exit, before
anything is built or run: no process may start in these cases."""
import contextlib
import io
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "fuzz"))
import fuzzlab.__main__ as lab  # noqa: E402

NOT_UTF8 = b"\xffcorpus".decode("utf-8", "surrogateescape")  # as Python hands over such an argument
COMMANDS = (["1"], ["table"], ["soak"], ["arena"], ["bench"], ["1", "--bonus"], ["bonus", "measure"])
NUMBERS = ("--seconds", "--seed", "--trials", "--jobs")
CASES = [  # (argv, a word the line must hold)
    *[(cmd + [opt, v], opt) for cmd in COMMANDS for opt in NUMBERS for v in ("0", "-1", "x", "")],
    *[(cmd + [opt], opt) for cmd in COMMANDS for opt in NUMBERS],  # the value missing
    *[(["soak", "--runs", v], "--runs") for v in ("0", "-1", "x")],
    *[(["1", opt, NOT_UTF8], opt) for opt in ("--corpus", "--from", "--judge", "--data", "--reproduce", "--minimize",
                                               "--out")],
    (["1", "--corpus", "/nonexistent"], "no such folder"),
    (["1", "--corpus", "/etc/hostname"], "not a folder"),
    (["1", "--coverage", "--from", "/nonexistent"], "no such folder"),
    (["1", "--judge", "/nonexistent"], "no such file"),
    (["1", "--judge", "/"], "a folder, not a file"),
    (["1", "--engine", "honggfuzz"], "invalid choice"),
    (["report", "--check", "extra"], "unrecognized arguments"),
    (["1", "--reproduce", "/nonexistent"], "no such file"),
    (["1", "--reproduce", "/"], "a folder, not a file"),
    (["1", "--minimize", "/nonexistent"], "no such file"),
    (["1", "--merge", "/nonexistent"], "no such folder"),
    (["1", "--merge"], "which folders"),
    (["dedup", "/nonexistent"], "no such folder"),
    (["dedup"], "which folders"),
    (["find-winner", NOT_UTF8], "UTF-8"),
    (["find-winner"], "required"),
    (["7"], "invalid choice"),
    (["table", "--levels", "0"], "--levels"),
    (["table", "--levels", "x"], "--levels"),
    (["bonus", "measure", "--levels", "1,9"], "--levels"),
    (["bonus", "measure", "--engines", "zzuf"], "--engines"),
    (["arena", "--trials", "-1", "--", "true"], "--trials"),
    (["arena"], "COMMAND"),
]


def started(*args, **kwargs):
    raise AssertionError(f"a bad value must be told before anything runs: {args[0] if args else kwargs}")


def fuzz_sh(argv):
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err), \
            mock.patch.object(subprocess, "Popen", started), mock.patch.object(subprocess, "run", started):
        code = lab.main(argv)
    return code, out.getvalue(), err.getvalue()


class BadInput(unittest.TestCase):
    def test_every_bad_value_gets_one_line_and_a_non_zero_exit(self):
        for argv, word in CASES:
            with self.subTest(argv=argv):
                code, out, err = fuzz_sh(argv)
                self.assertNotEqual(code, 0)
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertIn(word, err)
                self.assertEqual(out, "")

    def test_help_and_an_unexpected_error(self):
        code, out, err = fuzz_sh(["--help"])
        self.assertEqual((code, err), (0, ""))
        self.assertIn("fuzz.sh LEVEL", out)
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        with mock.patch.object(lab, "parse", side_effect=KeyError("boom")), mock.patch.object(lab, "LAB", Path(folder.name)):
            code, out, err = fuzz_sh(["1"])
        self.assertEqual(code, 70)
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertIn("KeyError", err)
        self.assertIn("Traceback", (Path(folder.name) / "error.log").read_text())
