"""Where the lab keeps things, the levels' options, and the one way it tells the user of a
problem."""
import configparser
import os
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent.parent
FUZZ = REPO / "fuzz"
BUILD = Path(os.environ.get("TUMBLEWICK_BUILD_DIR", REPO / "build"))
LAB = Path(os.environ.get("TUMBLEWICK_LAB_DIR", BUILD / "lab"))
DATA = REPO / "docs" / "data"
GUIDES = {"zh": REPO / "docs" / "fuzzing.md", "en": REPO / "docs" / "fuzzing.en.md"}
LEVELS = (1, 2, 3, 4, 5, 6)
# Past the bound an engine gets this long to stop by itself before its group is killed.
GRACE = 5
# The ladder, from blind to guided, as tables and pictures name its engines.
ENGINE_LABELS = {"zzuf": "zzuf", "afl": "AFL++", "afl-cmplog": "AFL++ CmpLog", "libfuzzer": "libFuzzer",
                 "gui": "GUI (guifuzz)"}
# The GUI fuzzer's techniques, in the tables' order: its feedback ("plain" is "answers"), or the
# answers with the structure repair.
GUI_FEEDBACKS = ("answers", "coverage", "cmp")
GUI_TECHNIQUES = ("plain", "answers", "repair", "coverage", "cmp")


def say(text):
    print("== " + text, file=sys.stderr, flush=True)


class LabError(Exception):
    """One clear line for the user; the lab goes on where it can."""


def rel(path):
    path = Path(path)
    return str(path.relative_to(REPO)) if path.is_relative_to(REPO) else str(path)


def options(path, section):
    """The key = value lines of SECTION in an .options file, as OSS-Fuzz lays them out."""
    if not path.exists():
        return {}
    parser = configparser.ConfigParser(interpolation=None)
    parser.read(path)
    return dict(parser[section]) if parser.has_section(section) else {}


def lab_value(level, key):
    return options(FUZZ / f"level{level}.options", "lab").get(key, "")
