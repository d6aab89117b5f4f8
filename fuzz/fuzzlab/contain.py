"""Contained runs for the arena: a fuzzer of the user's own runs in a sandbox (bubblewrap) with a
PID namespace of its own, so that every process it starts, those in new sessions too, ends with
it, and a read-only view of the machine but for its run folder and a private /tmp, so that it
cannot write anywhere else. Its first process is fuzz/arena/contained_run.c, which passes the
arena's SIGTERM on and tells an exit from a signal. Where bubblewrap cannot run, that process
is a child subreaper instead, and writes outside the run folder are looked for and reported.
The log keeps its head and its tail."""
import dataclasses
import json
import os
import shutil
import signal
import subprocess
import threading
import time
from pathlib import Path

from .procs import kill_group

SOURCES = Path(__file__).resolve().parent.parent / "arena"
INSIDE = Path("/run/tumblewick")  # the tools' folder, as the sandbox sees it
LOG_KEEP = 64 << 10  # bytes of the log's head, and again of its tail
GRACE = 1  # seconds between SIGTERM and the kill


def build_tools(folder):
    """Compiles the runner and the counting judge into FOLDER when their sources are newer."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for name in ("contained_run", "counting_judge"):
        source, out = SOURCES / f"{name}.c", folder / name.replace("_", "-")
        if not out.exists() or out.stat().st_mtime < source.stat().st_mtime:
            cc = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
            if cc is None:
                raise OSError("no C compiler (cc) for the arena's tools")
            subprocess.run([cc, "-O2", "-Wall", "-Wextra", "-Werror", "-o", f"{out}.new", str(source)], check=True)
            os.replace(f"{out}.new", out)
    return folder


_sandbox = None


def sandbox_works():
    """Whether bubblewrap can make this machine's sandbox (once a process)."""
    global _sandbox
    if _sandbox is None:
        bwrap = shutil.which("bwrap")
        _sandbox = bwrap is not None and subprocess.run(
            [bwrap, *SANDBOX, "--ro-bind", "/", "/", "--proc", "/proc", "--", "true"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    return _sandbox


SANDBOX = ("--die-with-parent", "--unshare-pid", "--unshare-net", "--unshare-ipc", "--as-pid-1")


@dataclasses.dataclass
class Outcome:
    ended: str = "exited"  # exited | stopped (by SIGTERM at the bound) | killed (a second later)
    exit: int = None  # the fuzzer's exit status, or
    signal: int = None  # the signal that ended it
    wall: float = 0.0
    contained: str = "bubblewrap"  # or "subreaper"
    escaped: tuple = ()  # paths written outside the run folder (subreaper only: else impossible)
    log_dropped: int = 0  # bytes left out of the middle of the log


class Log:
    """Keeps the first and the last LOG_KEEP bytes of a stream."""

    def __init__(self):
        self.head, self.tail, self.dropped = bytearray(), bytearray(), 0

    def add(self, data):
        room = LOG_KEEP - len(self.head)
        self.head += data[:room]
        self.tail += data[room:] if room > 0 else data
        if len(self.tail) > LOG_KEEP:
            self.dropped += len(self.tail) - LOG_KEEP
            del self.tail[:len(self.tail) - LOG_KEEP]

    def text(self):
        cut = (f"\n[... {self.dropped} bytes left out: the log keeps its first and last "
               f"{LOG_KEEP >> 10} KiB ...]\n".encode() if self.dropped else b"")
        return bytes(self.head) + cut + bytes(self.tail)


def written_since(roots, since, skip):
    """Files under ROOTS changed since SINCE, but for those under SKIP (at most five)."""
    found = []
    for root in roots:
        for folder, dirs, files in os.walk(root):
            dirs[:] = [d for d in dirs if d != ".git" and not any(
                Path(folder, d).is_relative_to(s) for s in skip)]
            for f in files:
                p = Path(folder, f)
                try:
                    if p.lstat().st_mtime >= since and not any(p.is_relative_to(s) for s in skip):
                        found.append(str(p))
                except OSError:
                    pass
                if len(found) >= 5:
                    return tuple(found)
    return tuple(found)


def run(cmd, *, bound, log, cwd, tools, env, hide=(), show=(), mask=(), watch=(), core=None,
        on_start=None, on_end=None):
    """Runs CMD in the run folder CWD, contained, for BOUND seconds at most; TOOLS is the run's
    own folder of the tools and the judge's socket (INSIDE in the sandbox), HIDE folders the
    fuzzer must not see, SHOW folders it needs all the same (read-only: its own, its seeds'),
    MASK files it is to see empty, WATCH where writes are looked for without a sandbox. Writes
    the log to LOG. Returns an Outcome."""
    cwd, tools, boxed = Path(cwd), Path(tools), sandbox_works()
    status_r, status_w = os.pipe()
    info_r, info_w = os.pipe()
    runner = [str((INSIDE if boxed else tools) / "contained-run"), str(status_w)]
    if boxed:
        layout = ["--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", "/tmp", "--tmpfs", "/run"]
        # The folders to show go over the private /tmp (where the repository itself may be),
        # the folders to hide over them, and what to show inside those last.
        hide = [Path(h) for h in hide if Path(h).is_dir()]
        inside = [Path(f) for f in show if any(Path(f).is_relative_to(h) for h in hide)]
        for f in sorted(set(map(Path, show)) - set(inside)) + [None] + sorted(inside):
            layout += [a for h in hide for a in ("--tmpfs", str(h))] if f is None else ["--ro-bind", str(f), str(f)]
        for m in mask:
            if Path(m).is_file() and not any(Path(m).is_relative_to(h) for h in hide):
                layout += ["--ro-bind", "/dev/null", str(m)]
        layout += ["--bind", str(cwd), str(cwd), "--ro-bind", str(tools), str(INSIDE), "--chdir", str(cwd)]
        full = [shutil.which("bwrap"), *SANDBOX, "--info-fd", str(info_w), *layout, "--", *runner, *cmd]
    else:
        full = [*runner, *cmd]
    if core is not None and shutil.which("taskset"):
        full = ["taskset", "-c", str(core), *full]
    out = Outcome(contained="bubblewrap" if boxed else "subreaper")
    kept = Log()
    start, since = time.monotonic(), time.time() - 1
    try:
        p = subprocess.Popen([str(c) for c in full], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, env=env, cwd=cwd, start_new_session=True,
                             pass_fds=(status_w, info_w) if boxed else (status_w,))
    finally:
        os.close(status_w)
        os.close(info_w)
    if on_start:
        on_start(p)

    def pump():
        while data := p.stdout.read1(1 << 16):
            kept.add(data)

    reader = threading.Thread(target=pump, daemon=True)
    reader.start()
    try:
        try:
            p.wait(timeout=bound)
        except subprocess.TimeoutExpired:
            first = first_process(p.pid, info_r, boxed)
            signal_to(first, signal.SIGTERM)
            try:
                p.wait(timeout=GRACE)
                out.ended = "stopped"
            except subprocess.TimeoutExpired:
                out.ended = "killed"
                signal_to(first, signal.SIGUSR1)  # the runner kills every process of the run
                try:
                    p.wait(timeout=2)
                except subprocess.TimeoutExpired:
                    pass
    finally:
        kill_group(p.pid)  # the runner itself, should it not have ended
        p.wait()
        reader.join(timeout=5)
        p.stdout.close()
        out.wall = time.monotonic() - start
        os.set_blocking(status_r, False)
        try:
            said = os.read(status_r, 64)
        except BlockingIOError:
            said = b""
        said = said.decode(errors="replace").split()
        os.close(status_r)
        os.close(info_r)
        if on_end:
            on_end(p)
    if len(said) == 2 and said[1].isdigit():
        setattr(out, "signal" if said[0] == "signal" else "exit", int(said[1]))
    else:  # the runner never started the fuzzer, or was killed
        out.exit = p.returncode if p.returncode >= 0 else None
        out.signal = -p.returncode if p.returncode < 0 else None
    if out.signal in (signal.SIGTERM, signal.SIGKILL) and out.ended != "exited":
        out.signal = None  # the arena's own
    out.log_dropped = kept.dropped
    Path(log).write_bytes(kept.text())
    if not boxed:
        out.escaped = written_since(watch, since, [cwd, Path(log), *hide])
    return out


def first_process(pid, info_r, boxed):
    """The runner's process ID as this side sees it: bubblewrap's child, which it tells."""
    if not boxed:
        return pid
    os.set_blocking(info_r, False)
    try:
        return int(json.loads(os.read(info_r, 4096).decode())["child-pid"])
    except (OSError, ValueError, KeyError):
        return None


def signal_to(pid, sig):
    try:
        if pid:
            os.kill(pid, sig)
    except (ProcessLookupError, PermissionError):
        pass
