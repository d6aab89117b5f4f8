"""The arena's side of the counting judge (fuzz/arena/counting_judge.c): it runs the real judge
on what a fuzzer hands it, on the run's level only and never on a path the fuzzer names, counts
the judgements and keeps the digest of every input judged a pass, batch frames included, with
when it was first judged so. A claimed winner counts only if its bytes are among them."""
import collections
import hashlib
import os
import selectors
import socket
import stat
import struct
import subprocess
import threading
import time

STDOUT, STDERR, EXIT = 1, 2, 3
NO_INPUT, STREAM, UNREADABLE, DIRECTORY = 0, 1, 2, 3
KNOWN = {"--explain", "--explain=text", "--explain=tsv", "--batch", "--stages", "--levels"}
CHUNK = 1 << 16


def digest(data):
    return hashlib.sha256(data).hexdigest()


class Call:
    """What one call asked for, read as the real judge reads its arguments."""

    def __init__(self, args, level):
        self.options, self.operands, self.after = [], [], False
        for a in args:
            if not self.after and a == "--":
                self.after = True
            elif not self.after and a.startswith("--"):
                self.options.append(a)
            else:
                self.operands.append(a)
        self.batch, self.stages = "--batch" in self.options, "--stages" in self.options
        self.levels = "--levels" in self.options
        wanted = 0 if self.levels else 1 if self.batch else 2
        self.judged = len(self.operands) == wanted and not self.levels and set(self.options) <= KNOWN
        first = self.operands[0] if self.operands else ""
        self.other_level = len(first) == 1 and first in "123456" and first != str(level)

    def argv(self, judge):
        """The real judge's arguments: the same options, and "-" (the bytes handed over) for
        every operand but the level."""
        operands = self.operands[:1] + ["-"] * (len(self.operands) - 1)
        return [str(judge), *self.options, *(["--"] if self.after else []), *operands]


class Frames:
    """Splits a batch stream into frames as it passes, hashing each."""

    def __init__(self):
        self.head, self.left, self.hash = b"", None, None

    def feed(self, data):
        whole = self.left is None and not self.head and len(data) >= 4
        if whole and struct.unpack_from("<I", data)[0] == len(data) - 4:
            return [hashlib.sha256(data[4:]).hexdigest()]  # the usual piece: one whole frame
        done, at = [], 0
        while at < len(data):
            if self.left is None:
                take = data[at:at + 4 - len(self.head)]
                self.head += take
                at += len(take)
                if len(self.head) == 4:
                    self.left, self.hash, self.head = struct.unpack("<I", self.head)[0], hashlib.sha256(), b""
            if self.left is not None:
                take = data[at:at + self.left]
                self.hash.update(take)
                self.left -= len(take)
                at += len(take)
                if self.left == 0:
                    done.append(self.hash.hexdigest())
                    self.left = None
        return done


class CountingJudge:
    """Serves one run's counting judge on a socket at SOCKET_PATH until close()."""

    def __init__(self, judge, level, socket_path):
        """JUDGE: the real judge (a Judge); a --stages answer of all its level's checks is a pass."""
        self.judge, self.level = judge.path, level
        self.runs, self.passes, self.lock = 0, {}, threading.Lock()
        self.checks = judge.levels()[level].checks
        self.start = time.monotonic()
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(str(socket_path))
        os.chmod(socket_path, 0o777)
        self.server.listen(64)
        self.calls = []
        self.accepting = threading.Thread(target=self.accept, daemon=True)
        self.accepting.start()

    def accept(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            t = threading.Thread(target=self.serve, args=(conn,), daemon=True)
            with self.lock:
                self.calls.append((t, conn))
            t.start()

    def close(self):
        """Stops serving; the calls still open end with their sockets."""
        try:
            self.server.shutdown(socket.SHUT_RDWR)  # wakes the accept() (a close alone would not)
        except OSError:
            pass
        self.accepting.join(timeout=5)
        self.server.close()
        with self.lock:
            calls = list(self.calls)
        for t, conn in calls:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            t.join(timeout=5)

    def passed(self, data):
        """When (seconds into the run) these bytes were first judged a pass, or None."""
        with self.lock:
            return self.passes.get(digest(data))

    def _judged(self, digests_passed):
        now = time.monotonic() - self.start
        with self.lock:
            self.runs += len(digests_passed)
            for d, ok in digests_passed:
                if ok:
                    self.passes.setdefault(d, now)

    def serve(self, conn):
        try:
            with conn:
                self._serve(conn)
        except (OSError, ValueError, struct.error):
            pass  # the fuzzer broke off or sent garbage: nothing judged

    def _serve(self, conn):
        got = bytearray()  # received, not yet taken: the header's, then the input's first bytes

        def exact(n):
            while len(got) < n:
                data = conn.recv(CHUNK)
                if not data:
                    raise ValueError("short")
                got.extend(data)
            taken = bytes(got[:n])
            del got[:n]
            return taken

        def text():
            (n,) = struct.unpack("<I", exact(4))
            return None if n == 0xFFFFFFFF else exact(n).decode("utf-8", "surrogateescape")

        def send(channel, data):
            conn.sendall(struct.pack("<BI", channel, len(data)) + data)

        def finish(code, error=""):
            if error:
                send(STDERR, f"tumblewick-judge: {error}\n".encode())
            send(EXIT, struct.pack("<i", code))

        if exact(4) != b"TWJ1":
            return
        (count,) = struct.unpack("<I", exact(4))
        args = [text() for _ in range(count)]
        env = {k: v for k in ("LC_ALL", "LC_MESSAGES", "LANG") if (v := text()) is not None}
        source = exact(1)[0]
        call = Call(args, self.level)
        if call.other_level:
            return finish(2, f"this run of the arena judges level {self.level} only")
        if source in (UNREADABLE, DIRECTORY):
            name = call.operands[1]
            return finish(2, f"{name} is a directory" if source == DIRECTORY else f"cannot read {name}")
        env["PATH"] = os.environ.get("PATH", "/usr/bin:/bin")
        judge = subprocess.Popen(call.argv(self.judge), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, env=env)
        try:
            code = self._pump(conn, judge, call, bytes(got) if source == STREAM else None, send)
        finally:
            judge.kill()
            judge.wait()
            for pipe in (judge.stdin, judge.stdout, judge.stderr):
                try:
                    pipe.close()
                except OSError:
                    pass
        finish(code)

    def _pump(self, conn, judge, call, first, send):
        """Input to the judge and its words back, as they come, in one loop; the exit status."""
        frames, whole = Frames(), hashlib.sha256()
        pending = collections.deque()  # batch frames sent, not yet answered
        all_checks = self.checks if call.stages else 0
        ways = selectors.DefaultSelector()
        outputs = {judge.stdout.fileno(): STDOUT, judge.stderr.fileno(): STDERR}
        for fd in outputs:
            ways.register(fd, selectors.EVENT_READ)
        feeding = first is not None
        if feeding:
            ways.register(conn, selectors.EVENT_READ)
        else:
            judge.stdin.close()

        def feed(data):
            nonlocal feeding
            if call.batch:
                pending.extend(frames.feed(data))  # before the judge can answer them
            else:
                whole.update(data)
            try:
                if data:
                    judge.stdin.write(data)
                    judge.stdin.flush()
                    return
            except (BrokenPipeError, ValueError):
                pass
            ways.unregister(conn)  # at the input's end, or when the judge stopped reading
            judge.stdin.close()
            feeding = False

        if first:
            feed(first)
        while outputs:
            for key, _ in ways.select():
                if key.fileobj is conn:
                    feed(conn.recv(CHUNK) if feeding else b"")
                    continue
                data = os.read(key.fd, CHUNK)
                if not data:
                    ways.unregister(key.fd)
                    del outputs[key.fd]
                elif outputs[key.fd] == STDOUT:
                    if call.batch and call.judged:
                        self._judged([(pending.popleft() if pending else "", b == all_checks) for b in data])
                    send(STDOUT, data)
                else:
                    send(STDERR, data)
        if feeding:
            ways.unregister(conn)
        code = judge.wait()
        if call.judged and not call.batch and code in (0, 1):
            self._judged([(whole.hexdigest(), code == 0)])
        return code


# A winner is read as the arena's own: never through a link, never from something that could
# block (a pipe, a device), with a size cap and a time bound.
WINNER_CAP = 64 << 20
WINNER_SECONDS = 5


def read_winner(path):
    """(bytes, None), or (None, why it is no winner)."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
    except FileNotFoundError:
        return None, "no winner"
    except OSError as e:
        if os.path.islink(path):
            return None, "the winner is a symbolic link, not a regular file"
        return None, f"cannot read the winner ({e.strerror})"
    try:
        mode = os.fstat(fd).st_mode
        if not stat.S_ISREG(mode):
            kind = "a named pipe" if stat.S_ISFIFO(mode) else "a directory" if stat.S_ISDIR(mode) else \
                "a socket" if stat.S_ISSOCK(mode) else "a device"
            return None, f"the winner is {kind}, not a regular file"
        chunks, size, deadline = [], 0, time.monotonic() + WINNER_SECONDS
        while chunk := os.read(fd, CHUNK):
            chunks.append(chunk)
            size += len(chunk)
            if size > WINNER_CAP:
                return None, f"the winner is over {WINNER_CAP >> 20} MiB"
            if time.monotonic() > deadline:
                return None, f"the winner took over {WINNER_SECONDS} s to read"
        return b"".join(chunks), None
    finally:
        os.close(fd)
