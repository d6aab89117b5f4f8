"""Bounded runs: at the bound the run's whole process group is killed, and a process that left
the group but carries the run's mark with it."""
import os
import tempfile
import time
import unittest
from pathlib import Path

import labtest  # puts the lab on the path

from fuzzlab import procs

del labtest


def gone(pid):
    """Whether PID has ended (a zombie waiting for its parent counts as ended)."""
    for _ in range(50):
        try:
            with open(f"/proc/{pid}/stat") as f:
                if f.read().split(") ")[1].startswith("Z"):
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.1)
    return False


class BoundedRuns(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.dir = Path(folder.name)

    def run_shell(self, script, bound, **kw):
        return procs.run_bounded(["sh", "-c", script], bound, self.dir / "log", cwd=self.dir, **kw)

    def test_a_run_that_exits_is_left_its_status(self):
        status, seconds, ended = self.run_shell("echo hello; exit 3", 10)
        self.assertEqual((status, ended), (3, "exited"))
        self.assertEqual((self.dir / "log").read_text(), "hello\n")

    def test_the_bound_kills_the_group_and_what_left_it(self):
        # One child stays in the group, without the mark; one leaves the group with the mark.
        script = "env -i sleep 60 & echo $! > child; setsid sleep 60 & echo $! > escaped; wait"
        status, seconds, ended = self.run_shell(script, 1)
        self.assertEqual(ended, "killed")
        self.assertLess(seconds, 30)
        for name in ("child", "escaped"):
            self.assertTrue(gone(int((self.dir / name).read_text())), name)

    def test_term_first_lets_a_run_stop_itself(self):
        status, seconds, ended = self.run_shell("trap 'exit 0' TERM; while :; do sleep 0.1; done", 1, term_first=True)
        self.assertEqual(ended, "stopped")
        status, seconds, ended = self.run_shell("trap '' TERM; while :; do sleep 0.1; done", 1, term_first=True)
        self.assertEqual(ended, "killed")
        self.assertEqual(procs.kill_marked(procs.MARK + b"-"), 0)  # nothing of any run is left

    def test_the_mark_names_each_run(self):
        self.run_shell('echo "$TUMBLEWICK_LAB_RUN" > mark', 10)
        self.assertTrue((self.dir / "mark").read_text().startswith(f"{os.getpid()}-"))


if __name__ == "__main__":
    unittest.main()
