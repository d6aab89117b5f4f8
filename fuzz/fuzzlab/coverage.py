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

COVERAGE = DATA / "coverage"
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
        won = {e: sum(r.beaten for r in group[e]) for e in have}
        worst = min(have, key=lambda e: won[e])
        best = max(reversed(have), key=lambda e: won[e])
        lines += ["**" + PICTURE_WORDS["level"][lang == "en"].format(level) + "**", ""]
        for e in (worst, best):
            excerpt_lines = (folder / f"level{level}-{e}.txt").read_text().rstrip("\n").splitlines()
            lines += [EXCERPT_WORDS[lang == "en"].format(engine=ENGINE_LABELS[e], k=won[e], n=len(group[e])),
                      "", "```text", *excerpt_lines, "```", ""]
    return lines[:-1]


def final_corpus(engine, folder, seeds):
    """Every input a run kept: its seeds, its corpus or queue, and its win."""
    folder = Path(folder)
    if engine in ("afl", "afl-cmplog"):
        return sorted(folder.glob("out/default/[qc][ur]*/id:*"))
    found = [p for d in ("corpus", "findings") for p in sorted((folder / d).glob("*"))]
    return sorted(Path(seeds).iterdir()) + found + ([folder / "winner"] if (folder / "winner").exists() else [])


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
    print(cut, end="")
    print(f"HTML report: {rel(out / 'html' / 'index.html')}")
    if data:
        Path(data).mkdir(parents=True, exist_ok=True)
        (Path(data) / f"level{level}-{engine}.txt").write_text(cut)
        say(f"excerpt: {rel(Path(data) / f'level{level}-{engine}.txt')}")
