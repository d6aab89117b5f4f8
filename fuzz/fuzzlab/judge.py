"""The only caller of tumblewick-judge: its verdicts, its checks as data (--explain=tsv), the
checks passed by many inputs from one process (--batch --stages) and each level's facts
(--levels). The lab reads no wording meant for people."""
import dataclasses
import os
import subprocess
from pathlib import Path

from .config import LabError

TSV_HEAD = ["check", "key", "state", "name", "had", "needed"]
LEVELS_HEAD = ["level", "input", "read", "min_size", "max_size", "checks", "repair"]


@dataclasses.dataclass(frozen=True)
class Facts:
    """A level as the level table has it: its input (name, form, message or file), the bytes
    it reads, a file level's size limits, its number of checks and its format's repair."""
    level: int
    input: str
    read: int
    min_size: int
    max_size: int
    checks: int
    repair: str


def parse_levels(text):
    lines = text.splitlines()
    if not lines or lines[0].split("\t") != LEVELS_HEAD:
        raise LabError("the judge's --levels does not give the table the lab reads")
    facts = {}
    for line in lines[1:]:
        f = line.split("\t")
        facts[int(f[0])] = Facts(int(f[0]), f[1], int(f[2]), int(f[3] or 0), int(f[4] or 0), int(f[5]), f[6])
    return facts


def parse_explain(text):
    """The rows of --explain=tsv, each a dict of the header's columns; other lines around them
    (an engine's own, in its log) are left out."""
    lines = text.splitlines()
    head = "\t".join(TSV_HEAD)
    if head not in lines:
        return []
    rows = (line.split("\t") for line in lines[lines.index(head) + 1:])
    return [dict(zip(TSV_HEAD, f)) for f in rows if len(f) == len(TSV_HEAD) and f[0].isdigit()]


def passed_of(rows):
    return sum(r["state"] == "passed" for r in rows)


def frames(paths):
    """The --batch standard input for PATHS: each a 4-byte little-endian length, then its bytes."""
    out = bytearray()
    for p in paths:
        data = Path(p).read_bytes()
        out += len(data).to_bytes(4, "little") + data
    return bytes(out)


def locale(lang):
    return "zh_CN.UTF-8" if lang == "zh" else "C"


class Judge:
    def __init__(self, path):
        self.path = Path(path)
        self._levels = None
        self._checks = {}
        self._keys = {}

    def _run(self, args, lang="en", data=None, timeout=None):
        try:
            return subprocess.run([str(self.path), *map(str, args)], capture_output=True, input=data,
                                  stdin=None if data is not None else subprocess.DEVNULL,
                                  env=dict(os.environ, LC_ALL=locale(lang)), timeout=timeout)
        except OSError as err:
            raise LabError(f"cannot run the judge {self.path}: {err.strerror}") from err

    def levels(self):
        """Each level's Facts, asked once per judge."""
        if self._levels is None:
            self._levels = parse_levels(self._run(["--levels"]).stdout.decode())
        return self._levels

    def with_input(self, kind):
        return tuple(n for n, f in self.levels().items() if f.input == kind)

    def with_repair(self):
        return tuple(n for n, f in self.levels().items() if f.repair != "none")

    def explain(self, level, path, lang="en"):
        return parse_explain(self._run(["--explain=tsv", level, path], lang).stdout.decode())

    def check_names(self, level, lang="en"):
        """The names of the level's checks, in order."""
        if (level, lang) not in self._checks:
            self._checks[level, lang] = [r["name"] for r in self.explain(level, os.devnull, lang)]
        return self._checks[level, lang]

    def check_keys(self, level):
        """The keys of the level's checks, in order: what the lab's records name them by."""
        if level not in self._keys:
            self._keys[level] = [r["key"] for r in self.explain(level, os.devnull)]
        return self._keys[level]

    def stages(self, level, paths):
        """The number of checks each of PATHS passed, all from one process."""
        if not paths:
            return []
        said = self._run([level, "--batch", "--stages"], data=frames(paths))
        if said.returncode != 0 or len(said.stdout) != len(paths):
            raise LabError(f"the judge's batch mode answered {len(said.stdout)} of {len(paths)} inputs")
        return list(said.stdout)

    def passes(self, level, path):
        return self._run([level, path]).returncode == 0

    def passes_bytes(self, level, data, seconds):
        """Whether DATA passes, judged from standard input within SECONDS (None: it took longer)."""
        try:
            return self._run([level, "-"], data=data, timeout=seconds).returncode == 0
        except subprocess.TimeoutExpired:
            return None

    def shown(self, level, path, lang="en"):
        """What the judge shows for the input, line by line, each after its channel."""
        return self._run([level, path], lang).stdout.decode(errors="replace").rstrip("\n").splitlines()

    def verdict(self, level, path):
        """The last line the judge shows for the input, without its channel."""
        said = self.shown(level, path)
        return said[-1].partition(": ")[2] if said else ""
