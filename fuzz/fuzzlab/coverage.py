"""Source coverage of a level's rule over a run's final corpus: an HTML report, and the rule's
checks with their line counts, as the guides show them."""
import os
import re
import shutil
import subprocess
from pathlib import Path

from .builds import BUILDS, build, ensure_packages
from .config import DATA, ENGINE_LABELS, LAB, REPO, rel, say
from .plots import PICTURE_WORDS
from .stats import won

COVERAGE = DATA / "coverage"
BRANCH_WORDS = {"check": ("检查通过 {passed}，未通过 {failed}", "check passed {passed}, failed {failed}"),
                "leaf": ("{cond} 为真 {true}，为假 {false}", "{cond} true {true}, false {false}"),
                "plain": ("为真 {true}，为假 {false}", "true {true}, false {false}")}
EXCERPT_WORDS = ("{engine}（赢了 {k}/{n}），种子 1 那次运行的最终语料：",
                 "{engine} (won {k}/{n}), the final corpus of its run with seed 1:")


def coverage_excerpts(runs, lang, folder=COVERAGE):
    """Per level, the excerpt (docs/data/coverage/levelN-ENGINE.txt) of the engine that won least
    beside the one that won most (ties: the lower rung, then the higher)."""
    lines = []
    for level in sorted({r.level for r in runs}):
        have = [e for e in ENGINE_LABELS if (folder / f"level{level}-{e}.txt").exists()]
        if len(have) < 2:
            continue
        group = {e: [r for r in runs if r.level == level and r.engine == e] for e in have}
        wins = {e: sum(won(r) for r in group[e]) for e in have}
        worst = min(have, key=lambda e: wins[e])
        best = max(reversed(have), key=lambda e: wins[e])
        lines += ["**" + PICTURE_WORDS["level"][lang == "en"].format(level) + "**", ""]
        for e in (worst, best):
            excerpt_lines = (folder / f"level{level}-{e}.txt").read_text().rstrip("\n").splitlines()
            lines += [EXCERPT_WORDS[lang == "en"].format(engine=ENGINE_LABELS[e], k=wins[e], n=len(group[e])),
                      "", "```text", *readable(excerpt_lines, lang), "```", ""]
    return lines[:-1]


def final_corpus(engine, folder, seeds):
    """Every input a run kept: its seeds, its corpus or queue, and its win."""
    folder = Path(folder)
    if engine in ("afl", "afl-cmplog"):
        return sorted(folder.glob("out/default/[qc][ur]*/id:*"))
    found = [p for d in ("corpus", "findings") for p in sorted((folder / d).glob("*"))]
    return sorted(Path(seeds).iterdir()) + found + ([folder / "winner"] if (folder / "winner").exists() else [])


BRANCH = re.compile(r"^(\s*\|\s*)-> true (\d+), false (\d+)$")


def leaves(source):
    """The conditions joined by && or || in the check on SOURCE's line, as written."""
    m = re.search(r"check\(trail, (.*?), \{", source)
    return [c.strip() for c in re.split(r"&&|\|\|", m.group(1))] if m else []


def readable(lines, lang="en"):
    """The excerpt's branch counts told the way round the source reads: llvm-cov counts the
    branch of `if (!check(...))` as the negation, so its "true" is the check failing; the
    conditions inside a check follow, in their order."""
    out, source, left = [], "", []
    for line in lines:
        m = BRANCH.match(line)
        if not m:
            out.append(line)
            source = line.split("|", 1)[1] if "|" in line else ""
            left = None
            continue
        lead, true, false = m.group(1), int(m.group(2)), int(m.group(3))
        if left is None:  # the line's first branch: its own condition
            left = leaves(source)
            if re.search(r"if \(!\s*(stages::)?check\(", source):
                text = BRANCH_WORDS["check"][lang == "en"].format(passed=false, failed=true)
            elif "check(" in source:
                text = BRANCH_WORDS["check"][lang == "en"].format(passed=true, failed=false)
                left = []  # a lone condition: the check's own branch is the condition's
            else:
                text = BRANCH_WORDS["plain"][lang == "en"].format(true=true, false=false)
        else:  # the conditions inside the check, as written
            cond = left.pop(0) if left else "?"
            text = BRANCH_WORDS["leaf"][lang == "en"].format(cond=f"`{cond}`", true=true, false=false)
        out.append(f"{lead}-> {text}")
    return out


RULE_START = re.compile(r"^constexpr (?:Verdict|bool|Step) (?:judge|passes|judgeSize)\(")


SHOWN = ("check(", "for (", "if (", "++")


def excerpt(text):
    """The checks of the rule's function (and the file verdict's size checks) from llvm-cov's
    text, each line as "COUNT | source": how many inputs got to each one; under a branching
    line, how many went each way."""
    out, inside, shown = [], False, False
    for line in text.splitlines():
        branch = re.match(r"^\s*\|\s*Branch \(\d+:\d+\): \[True: (\d+), False: (\d+)\]", line)
        if branch and shown:  # where a check's outcome splits the inputs
            out.append(f"{'':>9} |     -> true {branch.group(1)}, false {branch.group(2)}")
            continue
        parts = line.split("|", 2)
        if len(parts) < 3 or not parts[0].strip().isdigit():
            continue
        source = parts[2]
        start = bool(RULE_START.match(source))
        inside = inside or start
        shown = inside and (start or any(s in source for s in SHOWN))
        if shown:
            out.append(f"{parts[1].strip():>9} | {source.rstrip()}")
        if source.startswith("}"):
            inside = False
    return "\n".join(out) + "\n"


def coverage(level, engine, folder, seeds, judge, data=None):
    """Replays a run's final corpus through the coverage build of the level's target; writes an
    HTML report and the rule's excerpt with its line counts."""
    ensure_packages("coverage")
    build("coverage")
    binary = BUILDS["coverage"].dir / f"level{level}"
    out = LAB / "coverage" / f"level{level}-{engine}"
    shutil.rmtree(out, ignore_errors=True)
    (out / "raw").mkdir(parents=True)
    inputs = final_corpus(engine, folder, seeds)
    env = dict(os.environ, TUMBLEWICK_FUZZ_KEEP_GOING="1", LLVM_PROFILE_FILE=str(out / "raw" / "%p.profraw"))
    for i in range(0, len(inputs), 200):
        subprocess.run([binary, *inputs[i:i + 200]], env=env, capture_output=True, check=False)
    profile = out / "merged.profdata"
    subprocess.run(["llvm-profdata-14", "merge", "-sparse", *(out / "raw").glob("*.profraw"), "-o", profile], check=True)
    rule = next((REPO / "levels").glob(f"level{level}_*_rule.h"))
    file_level = judge.levels()[level].input == "file"
    sources = ([REPO / "levels" / "file_verdict.h"] if file_level else []) + [rule]
    show = ["llvm-cov-14", "show", binary, f"-instr-profile={profile}", "-show-instantiations=false",
            "-show-branches=count"]
    subprocess.run([*show, "-format=html", f"-output-dir={out / 'html'}", *sources], check=True,
                   capture_output=True)
    text = subprocess.run([*show, *sources], check=True, capture_output=True, text=True).stdout
    cut = excerpt(text)
    (out / "excerpt.txt").write_text(cut)
    print(f"coverage of level {level}'s rule over the {len(inputs)} inputs of {rel(folder)} ({engine}):")
    print("\n".join(readable(cut.splitlines())))
    print(f"HTML report: {rel(out / 'html' / 'index.html')}")
    if data:
        Path(data).mkdir(parents=True, exist_ok=True)
        (Path(data) / f"level{level}-{engine}.txt").write_text(cut)
        say(f"excerpt: {rel(Path(data) / f'level{level}-{engine}.txt')}")
