"""The command line's values, checked as they are parsed: a bad one is told in one line before
anything is built or run."""
import argparse
from pathlib import Path

from .config import LabError

HELP_HINT = "./fuzz.sh --help tells the commands"


class Usage(argparse.ArgumentParser):
    """argparse, with its complaints as one line for the lab to tell."""

    def error(self, message):
        raise LabError(f"{message}; {HELP_HINT}")


def shown(text):
    """TEXT as it can be printed, whatever bytes it came from."""
    return text.encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def whole(low):
    def check(text):
        try:
            n = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"{shown(text)!r} is not a whole number") from None
        if n < low:
            raise argparse.ArgumentTypeError(f"{n} is less than {low}")
        return n

    check.__name__ = f"whole number of {low} or more"
    return check


positive = whole(1)


def path(text):
    """A path the lab will write to or name in its records: those are UTF-8."""
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        raise argparse.ArgumentTypeError(f"{shown(text)!r} is not a UTF-8 path") from None
    if not text:
        raise argparse.ArgumentTypeError("an empty path")
    return Path(text).resolve()


def folder(text):
    p = path(text)
    if not p.is_dir():
        raise argparse.ArgumentTypeError(f"{shown(text)}: {'not a folder' if p.exists() else 'no such folder'}")
    return p


def file(text):
    p = path(text)
    if not p.is_file():
        why = "a folder, not a file" if p.is_dir() else "not a regular file" if p.exists() else "no such file"
        raise argparse.ArgumentTypeError(f"{shown(text)}: {why}")
    return p
