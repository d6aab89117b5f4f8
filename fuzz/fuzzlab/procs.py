"""Processes: each run in a session (process group) of its own, pinned to one core, killed with
the whole group at the bound; Ctrl+C kills every group still running."""
import os
import shutil
import signal
import subprocess
import threading
import time

_live = {}
MARK = f"TUMBLEWICK_LAB_RUN={os.getpid()}".encode()
_count = iter(range(1, 1 << 62))
_live_lock = threading.Lock()
_stopping = threading.Event()


def kill_group(pid, sig=signal.SIGKILL):
    try:
        os.killpg(pid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def kill_marked(mark):
    """Kills every process whose environment holds MARK: those of a run that left its group,
    as AFL++ does when it puts the target in a session of its own. Returns how many."""
    killed = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if any(v == mark or mark.endswith(b"-") and v.startswith(mark)
                       for v in f.read().split(b"\0")):
                    os.kill(int(pid), signal.SIGKILL)
                    killed += 1
        except OSError:
            pass
    return killed


def kill_all():
    _stopping.set()
    with _live_lock:
        for pid in list(_live):
            kill_group(pid)
    kill_marked(MARK + b"-")


def sweep(pid, mark, rounds=5):
    """Kills whatever a run left behind, in its group or out of it, until a look finds nothing:
    a process caught forking or in exec when the group was killed shows only a moment later."""
    for _ in range(rounds):
        kill_group(pid)
        if not kill_marked(mark):
            time.sleep(0.05)
            if not kill_marked(mark):
                return


def _stop(p, term_first):
    """Ends a run past its bound: "killed", or "stopped" when TERM alone ended it."""
    ended = "killed"
    if term_first:
        kill_group(p.pid, signal.SIGTERM)
        try:
            p.wait(timeout=1)
            ended = "stopped"
        except subprocess.TimeoutExpired:
            pass
    kill_group(p.pid)
    p.wait()
    return ended


def run_bounded(cmd, bound, log, core=None, env=None, cwd=None, term_first=False):
    """Runs CMD until it exits or BOUND seconds passed; then kills its group (with TERM and a
    second's grace first when TERM_FIRST). Returns (exit status, seconds, how it ended:
    "exited", "stopped" (ended by TERM) or "killed")."""
    if _stopping.is_set():
        raise KeyboardInterrupt
    if core is not None and shutil.which("taskset"):
        cmd = ["taskset", "-c", str(core), *cmd]
    mark = MARK + f"-{next(_count)}".encode()
    env = dict(env or os.environ, TUMBLEWICK_LAB_RUN=mark.decode().partition("=")[2])
    start = time.monotonic()
    with open(log, "ab") as out:
        p = subprocess.Popen([str(c) for c in cmd], stdout=out, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, env=env, cwd=cwd, start_new_session=True)
    with _live_lock:
        _live[p.pid] = p
    ended = "exited"
    try:
        try:
            p.wait(timeout=bound)
        except subprocess.TimeoutExpired:
            ended = _stop(p, term_first)
    finally:
        seconds = time.monotonic() - start
        sweep(p.pid, mark)
        with _live_lock:
            _live.pop(p.pid, None)
    return p.returncode, seconds, ended
