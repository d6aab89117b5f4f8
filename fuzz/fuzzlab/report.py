"""The report: the guides' measured tables and pictures, and docs/HINTS.txt, from the committed
data."""
import dataclasses
import re
import tempfile
from pathlib import Path

from . import bonus
from .config import DATA, GUIDES, REPO, LabError, rel, say
from .coverage import coverage_excerpts
from .hints import HINTS, HINTS_TXT, hints_text, learners_path
from .plots import PICTURES
from .runs import read_runs, technique_runs
from .tables import (change_table, grid_table, gui_feedback_speed, gui_feedback_table, gui_speed_table,
                     judge_speed_table, runs_table, stages_table, tests_table)


@dataclasses.dataclass(frozen=True)
class Table:
    """A measured table of the guides: <!-- lab:NAME --> ... <!-- /lab:NAME --> in both,
    rendered from docs/data/CSV; left alone when either is missing."""
    name: str
    csv: str
    render: object  # (path of the CSV, language, judge) -> Markdown lines


def from_runs(render, read=read_runs, **kw):
    return lambda path, lang, judge: render(read(path), lang, **kw)


def with_checks(render):
    """A table that names the levels' checks, as the judge gives them."""
    return lambda path, lang, judge: render(read_runs(path), lang, judge)


def crc_wall(path, lang, judge):
    runs = read_runs(path)
    return runs_table(runs, lang) + [""] + stages_table(runs, lang, judge)


TABLES = (
    Table("ladder", "ladder.csv", from_runs(runs_table)),
    Table("ladder-grid", "ladder.csv", from_runs(grid_table)),
    Table("ladder-tests", "ladder.csv", from_runs(tests_table)),
    Table("ladder-change", "ladder.csv", from_runs(change_table)),
    Table("ladder-stages", "ladder.csv", with_checks(stages_table)),
    Table("learners-path", "ladder.csv", with_checks(learners_path)),
    Table("coverage", "ladder.csv", from_runs(coverage_excerpts)),
    Table("crc-wall", "crc_wall.csv", crc_wall),
    Table("techniques", "techniques.csv", from_runs(runs_table, technique_runs, key="technique")),
    Table("techniques-tests", "techniques.csv", from_runs(tests_table, technique_runs, key="technique")),
    Table("tiny-fuzzer", "tiny_fuzzer.csv", from_runs(runs_table)),
    Table("judge-speed", "judge_speed.csv", lambda path, lang, judge: judge_speed_table(path, lang)),
    Table("bonus", "bonus.csv", lambda path, lang, judge: bonus.table(path, lang, judge).splitlines()),
    Table("gui-typed", "gui_typed.csv", from_runs(runs_table, key="technique")),
    Table("gui-files", "gui_files.csv", from_runs(runs_table, key="technique")),
    Table("gui-speed", "gui_typed.csv", lambda path, lang, judge: gui_speed_table(path, lang)),
    Table("gui-feedback", "gui_feedback.csv", from_runs(gui_feedback_table)),
    Table("gui-feedback-stages", "gui_feedback.csv",
          lambda path, lang, judge: stages_table(read_runs(path), lang, judge, "technique")),
    Table("gui-feedback-speed", "gui_feedback.csv", from_runs(gui_feedback_speed)),
)


def block(name):
    return re.compile(rf"(<!-- lab:{re.escape(name)} -->\n)(.*?)(<!-- /lab:{re.escape(name)} -->)", re.S)


# What the judge says, quoted in a guide: <!-- said:LEVEL:CHECK:INPUT -->TEXT<!-- /said -->,
# TEXT being what the judge shows for INPUT, which must fail at the check keyed CHECK (or
# "pass"). INPUT is a file of the repository, or bytes:HEX:SIZE, those bytes padded with zeros.
SAID = re.compile(r"(<!-- said:(\d):([\w-]+):(\S+) -->)(.*?)(<!-- /said -->)", re.S)
# The judge's examples: each line "$ COMMAND" with its input, then what the judge says.
EXAMPLES = {"zh": "$ export LANG=zh_CN.UTF-8      # 中文；其他语言环境下裁判程序说英文", "en": ""}
EXAMPLE_RUNS = ((6, "resources/02.ZIP", True), (2, "fuzz/corpus/level2/form.bin", False))


def probe(given, folder):
    if not given.startswith("bytes:"):
        return REPO / given
    _, hexes, size = given.split(":")
    data = bytes.fromhex(hexes)
    path = Path(folder) / given.replace(":", "-")
    path.write_bytes(data + bytes(int(size) - len(data)))
    return path


def said(judge, level, key, given, lang, folder):
    path = probe(given, folder)
    failed = [r["key"] for r in judge.explain(level, path) if r["state"] == "failed"] or ["pass"]
    if failed != [key]:
        raise LabError(f"a guide quotes level {level}'s {key} for {given}, which the judge finds {failed[0]}")
    return judge.shown(level, path, lang)[-1].partition(": ")[2]


def example(judge, lang):
    lines = ["```"] + ([EXAMPLES[lang]] if EXAMPLES[lang] else [])
    for level, given, status in EXAMPLE_RUNS:
        lines.append(f"$ build/judge/tumblewick-judge {level} {given}" + ("; echo $?" if status else ""))
        lines += judge.shown(level, REPO / given, lang)
        if status:
            lines.append(str(0 if judge.passes(level, REPO / given) else 1))
    return lines + ["```"]


def quotes(text, lang, judge):
    """TEXT with what it quotes of the judge said anew, as the level table has it."""
    with tempfile.TemporaryDirectory() as folder:
        text = SAID.sub(lambda m: m.group(1) + said(judge, int(m.group(2)), m.group(3), m.group(4), lang, folder)
                        + m.group(6), text)
    if block("judge-examples").search(text):
        body = "\n".join(example(judge, lang)) + "\n"
        text = block("judge-examples").sub(lambda m: m.group(1) + body + m.group(3), text)
    return text


def rendered(text, lang, judge, data=DATA, tables=TABLES):
    """TEXT with every measured table that has data and markers rendered anew."""
    for t in tables:
        path = data / t.csv
        if path.exists() and block(t.name).search(text):
            body = "\n".join(t.render(path, lang, judge)) + "\n"
            text = block(t.name).sub(lambda m: m.group(1) + body + m.group(3), text)
    return quotes(text, lang, judge)


def mismatches(texts):
    """Where the two guides' texts disagree: a table in one only, or other numbers in it."""
    problems = []
    for t in TABLES:
        found = [block(t.name).search(texts[lang]) for lang in texts]
        if any(found) and not all(found):
            problems.append(f"table {t.name} is in one guide only")
        elif all(found) and len({tuple(re.findall(r"\d+(?:\.\d+)?", m.group(2))) for m in found}) > 1:
            problems.append(f"table {t.name}: the guides' numbers differ")
    return problems


def report(check, judge, guides=GUIDES, data=DATA):
    """Renders the guides anew (or with CHECK, tells where they differ); returns the exit status."""
    texts = {lang: path.read_text() for lang, path in guides.items()}
    problems = []
    for lang, path in guides.items():
        new = rendered(texts[lang], lang, judge, data)
        if new != texts[lang]:
            if check:
                problems.append(f"{rel(path)}: a measured table differs from ./fuzz.sh report's")
            else:
                path.write_text(new)
                say(f"updated {rel(path)}")
    problems += mismatches(texts)
    if HINTS_TXT.read_text() != hints_text() if HINTS_TXT.exists() else True:
        if check:
            problems.append(f"{rel(HINTS_TXT)} differs from {rel(HINTS)}; run ./fuzz.sh report")
        else:
            HINTS_TXT.write_text(hints_text())
            say(f"wrote {rel(HINTS_TXT)}")
    if check:
        print("\n".join(problems) or "the guides' measured tables match docs/data")
        return 1 if problems else 0
    for name, csv_name, read, draw in PICTURES:
        if (data / csv_name).exists():
            for lang in guides:
                draw(read(data / csv_name), lang, REPO / "docs" / "lab" / f"{name}.{lang}.png", judge)
            say(f"drew docs/lab/{name}.*.png")
    return 0
