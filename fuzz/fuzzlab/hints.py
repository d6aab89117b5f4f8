"""The players' hints (docs/hints.ini): HINTS.txt for the release, and the guides' learner's
path with what the ladder measured on each level."""
import configparser
import re

from .config import ENGINE_LABELS, REPO
from .stages import furthest_mode
from .stats import cells, won

HINTS = REPO / "docs" / "hints.ini"
HINTS_TXT = REPO / "docs" / "HINTS.txt"
WORDS = {
    "hint": ("提示", "Hint"), "technique": ("技巧", "Technique"), "measured": ("实测", "Measured"),
    "next": ("下一步", "Try next"), "answer": ("在游戏里", "In the game"), "explain": ("卡住时", "When stuck"),
    "ladder": ("阶梯，每格 {n} 次、每次 {bound} 秒", "the ladder, {n} trials of {bound} s"),
    "cell": ("{engine} {k}/{n}，最远到第 {stage} 项检查：{name}（{m}/{n}）",
             "{engine} {k}/{n}, furthest check {stage}: {name} ({m}/{n})"),
    "cell_won": ("{engine} {k}/{n}，{m}/{n} 次全部通过", "{engine} {k}/{n}, all checks passed in {m}/{n}"),
}
TITLE = "Tumblewick 1.0 —— 提示 / Hints"
TEXT_WORDS = {
    "zh": ("【中文】", "卡住了？先问裁判程序：tumblewick-judge.exe --explain 关卡 文件 按顺序列出这一关的每一项检查，"
                     "标出通过、未通过、未到达，并对第一项没通过的检查说出你的输入有什么、它需要什么。"
                     "下面每关三级提示，一级比一级说得多，每一级前面都有一行剧透警告：读到你需要的那一级就停下。",
           "用裁判程序：", ("第一级：轻推", "第二级：技巧", "第三级：答案"), "↓↓↓ 剧透在下面（{}）↓↓↓"),
    "en": ("[English]", "Stuck? Ask the judge first: tumblewick-judge.exe --explain LEVEL FILE lists the "
                        "level's checks in order, marks each passed, failed or not reached, and for the "
                        "first failed one says what your input had against what it needed. Below, three "
                        "rungs of hints per level, each saying more than the one before, each behind a "
                        "spoiler line: stop at the rung you need.",
           "With the judge: ", ("rung 1: a nudge", "rung 2: the technique", "rung 3: the answer"),
           "vvv SPOILER BELOW ({}) vvv"),
}


def hints(path=HINTS):
    parser = configparser.ConfigParser(interpolation=None)
    parser.read(path, encoding="utf-8")
    return {int(level): parser[level] for level in parser.sections()}


def hint(section, key, lang):
    return section[f"{key}.{lang}"]


def measured_line(runs, level, lang, judge):
    """What the ladder measured on the level: each engine's wins and where most trials stopped."""
    groups = cells(runs, "engine")
    parts = []
    for e in (e for e in ENGINE_LABELS if (level, e) in groups):
        group = groups[level, e]
        stage, m = furthest_mode(group)
        names = judge.check_names(level, lang)
        fields = dict(engine=ENGINE_LABELS[e], k=sum(won(r) for r in group), n=len(group), m=m, stage=stage)
        if stage is not None:
            key = "cell_won" if stage > len(names) else "cell"
            parts.append(WORDS[key][lang == "en"].format(name=names[min(stage, len(names)) - 1], **fields))
    head = WORDS["ladder"][lang == "en"].format(n=max(len(g) for g in groups.values()),
                                               bound=max(r.bound for r in runs))
    return f"（{head}）：" + "；".join(parts) + "。" if lang == "zh" else f"({head}): " + "; ".join(parts) + "."


def learners_path(runs, lang, judge):
    """The guides' learner's path, level by level, from docs/hints.ini and the ladder's data."""
    colon = "：" if lang == "zh" else ": "
    lines = []
    for level, section in sorted(hints().items()):
        lines += [f"### {hint(section, 'title', lang)}", ""]
        for key, label in (("nudge", "hint"), ("technique", "technique"), (None, "measured"),
                           ("next", "next"), ("answer", "answer"), ("explain", "explain")):
            text = measured_line(runs, level, lang, judge) if key is None else hint(section, key, lang)
            lines.append(f"- **{WORDS[label][lang == 'en']}**{colon if key else ' ' * (lang == 'en')}{text}")
        lines.append("")
    return lines[:-1]


def width(text):
    return sum(1 if ord(c) < 0x1100 else 2 for c in text)


def wrap(text, columns=76, indent="  "):
    """Lines of about COLUMNS display columns (a CJK character takes two), broken between words
    or CJK characters, never before a closing CJK mark."""
    lines, line = [], ""
    for token in re.findall(r"[!-~]+|\s|.", text):
        if width(indent + line + token) > columns and line.strip() and token not in "，。；：、）”！？":
            lines.append(indent + line.rstrip())
            line = ""
        line += "" if token.isspace() and not line else token
    return lines + [indent + line.rstrip()]


def hints_text(path=HINTS):
    """docs/HINTS.txt, as the release ships it (with Windows line ends): Chinese, then English."""
    out = [TITLE, "=" * width(TITLE), ""]
    for lang, (heading, intro, judge_words, rungs, spoiler) in TEXT_WORDS.items():
        out += [heading, "", *wrap(intro, indent=""), ""]
        for level, section in sorted(hints(path).items()):
            title = hint(section, "title", lang)
            out += [title, "-" * width(title), *wrap(judge_words + hint(section, "explain", lang)), ""]
            for rung, key in zip(rungs, ("nudge", "technique", "answer")):
                out += ["  " + spoiler.format(rung), "", "", "", *wrap(hint(section, key, lang)), ""]
        out.append("")
    return "\n".join(out).rstrip("\n") + "\n"
