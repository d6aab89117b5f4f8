"""The fuzz lab: lets fuzzers try to beat the levels through the levels' own rules, records
every run, and tells, over many trials, how often and how soon each one won. See
docs/fuzzing.md (Chinese) and docs/fuzzing.en.md (English).

Run as python3 -m fuzzlab with fuzz/ on the path, as fuzz.sh does."""
import argparse
import os
import signal
import sys
import traceback

from . import bonus, commands
from .builds import BUILDS, build, compiler, ensure_packages
from .arguments import Usage, file, folder, path, positive
from .config import GUI_FEEDBACKS, LAB, LEVELS, LabError, rel, say
from .engines import ENGINES
from .engines.arena import cmd_arena
from .engines.libfuzzer import TECHNIQUES
from .judge import Judge
from .schedule import prepare
from .procs import kill_all
from .report import report

USAGE = """  fuzz.sh LEVEL [--engine E] [--seconds N] [--seed N] [--corpus DIR] [TECHNIQUE...] [--trials N]
      LEVEL 1-6; E: libfuzzer (default), afl, afl-cmplog, zzuf or gui (the real game under
      Wine); DIR: seeds of your own instead of fuzz/corpus/levelN; TECHNIQUE (libFuzzer):
      --plain (default), --dict, --value-profile, --no-cmp (level 6), --repair (levels 4 and 6;
      also gui's), --no-seeds; gui: --feedback answers|coverage|cmp (default answers; the
      others play the game's coverage build Velk_Game-cov.exe)
      --explain: then the level's checks, with when each first fell; --coverage: then source
      coverage of the level's rule over the run's final corpus (HTML and an excerpt; --from
      RUNDIR: of a run already made, --data DIR: the excerpt also there)
  fuzz.sh LEVEL --compare [--seconds N] [--trials K]   every libFuzzer technique for LEVEL
  fuzz.sh table [--techniques] [--engine E] [--levels L...] [--seconds N] [--trials K]  the
      ladder (every engine on every level; with --engine or --levels only those cells anew, the
      others kept) or every libFuzzer technique but plain (plain is the ladder's libFuzzer cell);
      K trials a cell (random seeds 1..K, default 3); the runs' data go to docs/data/ladder.csv
      or techniques.csv (--data FILE elsewhere)
  fuzz.sh table --engine gui [--levels L...] [--seconds N] [--trials K] [--repair]  the GUI
      fuzzer alone: each feedback (answers, coverage, cmp) without the repair; with --repair
      plain and with its repair (levels 4, 6) instead; data: docs/data/gui_feedback.csv (with
      --repair gui.csv; --data FILE elsewhere)
  fuzz.sh soak [--runs N]            each target for N executions, passes only counted
  fuzz.sh report [--check]           the guides' measured tables and pictures from docs/data;
                                     --check: fail where a guide differs from them
  fuzz.sh arena [--trials N] [--seconds S] [--levels L...] -- COMMAND ARGS...
                                     grades a fuzzer of your own on each level
  fuzz.sh bench [--trials N] [--seconds S] [--levels L...]  the lab's overhead, --jobs 1 vs 2
  fuzz.sh smoke | find-winner OUTDIR [LEVEL...]           what the test command runs
  fuzz.sh LEVEL --bonus | --reproduce FILE | --minimize FILE | --merge DIR...; fuzz.sh dedup
      DIR...; fuzz.sh bonus regress | measure | table   the bonus bugs (lab only)
Common: --jobs J (parallel runs, default the number of cores), --seed S (first random seed).
Every run appends one JSON line to build/lab/runs.jsonl."""


def numbers(text):
    """Levels as "1 2" or "1,2"."""
    return [int(n) for n in text.split(",") if n]


def common():
    """The options every command takes, as it always has."""
    p = argparse.ArgumentParser(add_help=False)
    p.add_argument("--engine", choices=list(ENGINES))
    p.add_argument("--seconds", type=positive)
    p.add_argument("--seed", type=positive, default=1)
    p.add_argument("--trials", "--seeds", type=positive)
    p.add_argument("--jobs", type=positive)
    p.add_argument("--runs", type=positive, default=1000000)
    p.add_argument("--compare", "--techniques", action="store_true")
    p.add_argument("--corpus", type=folder)
    p.add_argument("--data", type=path)
    p.add_argument("--levels", type=numbers, nargs="+")
    p.add_argument("--check", action="store_true")
    p.add_argument("--explain", action="store_true")
    p.add_argument("--coverage", action="store_true")
    p.add_argument("--from", dest="source", type=folder)
    p.add_argument("--judge", type=file)
    p.add_argument("--feedback", choices=GUI_FEEDBACKS, default="answers")
    p.add_argument("--plain", action="store_const", const=None, dest="unused")
    for t in TECHNIQUES:
        if t != "plain":
            p.add_argument(f"--{t}", action="append_const", const=t, dest="techniques", default=[])
    # The bonus bugs'
    p.add_argument("--bonus", action="store_true")
    p.add_argument("--reproduce", metavar="FILE", type=file)
    p.add_argument("--minimize", metavar="FILE", type=file)
    p.add_argument("--merge", action="store_true")
    p.add_argument("--out", type=path)
    p.add_argument("--engines", default=",".join(bonus.ENGINE_NAMES))
    p.add_argument("--lang", default="en", choices=["en", "zh"])
    return p


def cmd_level(a, judge):
    a.engine = a.engine or "libfuzzer"
    if a.bonus and not prepare([a.engine]):  # the judge tells where a run that found nothing stopped
        return 1
    if a.bonus or a.reproduce or a.minimize or a.merge:
        return bonus.cmd_bonus(a, judge)
    return commands.cmd_level(a, judge)


def cmd_dedup(a, judge):
    build("fuzz", [f"level{n}_bonus" for n in LEVELS])
    bonus.dedup(a.folders)
    return 0


def cmd_bonus(a, judge):
    """bonus regress | measure | table"""
    if a.task == "regress":
        if not compiler():
            print("clang++ not found: bonus regressions skipped")
            return 77  # CTest: skipped; the test command installs clang
        return bonus.regress()
    if a.task == "measure":
        engines = a.engines.split(",")
        if set(engines) - set(bonus.ENGINE_NAMES):
            raise LabError(f"--engines: of {', '.join(bonus.ENGINE_NAMES)}")
        prepare(["afl" if "afl" in engines else "libfuzzer"])
        bonus.measure(a.levels or LEVELS, engines, a.trials, a.seconds, a.jobs, judge, a.out or bonus.CSV)
        return 0
    print(bonus.table(a.out or bonus.CSV, a.lang, judge))
    return 0


def cmd_report(a, judge):
    ensure_packages("lab")
    if not a.judge and "TUMBLEWICK_JUDGE_BINARY" not in os.environ:
        build("judge")  # the names of the levels' checks
    return report(a.check, judge)


HANDLERS = {
    **{str(n): cmd_level for n in LEVELS},
    "table": commands.cmd_table, "soak": commands.cmd_soak, "report": cmd_report,
    "arena": cmd_arena, "bench": commands.cmd_bench, "smoke": commands.cmd_smoke,
    "find-winner": commands.cmd_find_winner, "dedup": cmd_dedup, "bonus": cmd_bonus,
}


def parse(argv):
    argv = list(argv)
    command = argv[argv.index("--") + 1:] if "--" in argv else []
    argv = argv[:argv.index("--")] if "--" in argv else argv
    p = Usage(prog="fuzz.sh", add_help=False)
    sub = p.add_subparsers(dest="what", metavar="COMMAND", required=True)
    for name in HANDLERS:
        s = sub.add_parser(name, parents=[common()], add_help=False)
        if name == "find-winner":
            s.add_argument("winner_dir", metavar="OUTDIR", type=path)
            s.add_argument("winner_levels", metavar="LEVEL", type=int, nargs="*")
        elif name == "bonus":
            s.add_argument("task", choices=["regress", "measure", "table"])
        elif name.isdigit() or name == "dedup":
            s.add_argument("folders", metavar="DIR", type=folder, nargs="*")
    a = p.parse_args(argv)
    a.command = command
    if a.what == "find-winner":
        a.out, a.levels = a.winner_dir, a.winner_levels
    a.levels = [n for group in a.levels for n in group] if a.levels and isinstance(a.levels[0], list) else a.levels
    if set(a.levels or []) - set(LEVELS):
        p.error(f"--levels: levels are {LEVELS[0]} to {LEVELS[-1]}")
    if (a.what == "dedup" or a.merge) and not getattr(a, "folders", None):
        p.error(f"{'dedup' if a.what == 'dedup' else '--merge'}: which folders?")
    many = a.what in ("table", "arena", "bench") or a.compare
    a.trials = a.trials or (10 if a.what == "bonus" else 3 if many else 1)
    a.seconds = a.seconds or (30 if a.what in ("arena", "bench") else 60)
    a.jobs = a.jobs or (1 if a.what == "bonus" else len(os.sched_getaffinity(0)))
    return a


def main(argv):
    if argv and argv[0] in ("-h", "--help", "help"):
        print(USAGE)
        return 0
    if not argv:
        say(f"which command?\n{USAGE}")
        return 2
    try:
        return run(argv)
    except Exception as err:  # one line for the user; the whole story for whoever fixes it
        log = LAB / "error.log"
        try:
            log.parent.mkdir(parents=True, exist_ok=True)
            log.write_text(traceback.format_exc())
            where = f"; details in {rel(log)}"
        except OSError:
            where = ""
        say(f"the lab stopped on an unexpected error ({type(err).__name__}: {err}){where}")
        return 70


def run(argv):
    try:
        a = parse(argv)
    except LabError as err:
        say(str(err))
        return 2
    signal.signal(signal.SIGINT, signal.default_int_handler)  # also when started in the background
    signal.signal(signal.SIGTERM, lambda *_: (kill_all(), sys.exit(143)))
    judge = Judge(a.judge or os.environ.get("TUMBLEWICK_JUDGE_BINARY")
                  or BUILDS["judge"].dir / "tumblewick-judge")
    try:
        return HANDLERS[a.what](a, judge)
    except LabError as err:
        say(str(err))
        return 2
    except KeyboardInterrupt:
        kill_all()
        say("interrupted; every run stopped")
        return 130


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
