"""Tables, in Markdown, for the console and for the guides (Chinese "zh" and English "en")."""
import csv
import statistics

from .config import DATA, ENGINE_LABELS
from .runs import read_runs
from .stages import furthest_mode
from .stats import cells, pairs, summary, won

WORDS = {
    "level": ("关卡", "Level"), "engine": ("引擎", "Engine"), "technique": ("技巧", "Technique"),
    "fuzzer": ("fuzzer", "Fuzzer"), "beaten": ("赢的次数", "Beaten"),
    "executions": ("赢时的执行次数：中位数（四分位距）", "Executions to win: median (IQR)"),
    "seconds": ("赢时的秒数：中位数（四分位距）", "Seconds to win: median (IQR)"),
    "unbeaten": ("没赢的运行停下时的执行次数（中位数）", "Executions of the runs not beaten (median)"),
    "a12": ("A12（A 更快赢的概率）", "A12 (A wins sooner)"), "p": ("p（Mann–Whitney U）", "p (Mann–Whitney U)"),
    "before": ("赢的次数（之前：3 个种子，60 秒）", "Beaten before (3 seeds, 60 s)"), "now": ("赢的次数（现在）", "Beaten now"),
    "p_won": ("p（赢的次数，Fisher 精确检验）", "p (beaten, Fisher's exact test)"),
    "execs_before": ("之前赢时执行次数的中位数", "Median executions to win before"),
    "execs_now": ("现在的中位数", "Median now"), "p_execs": ("p（执行次数，Mann–Whitney U）", "p (executions, Mann–Whitney U)"),
    "caption": ("每次运行最多 {bound} 秒，每格 {n} 次试验（随机种子 {first} 到 {last}）。",
                "Runs bounded at {bound} s, {n} trials a cell (random seeds {first} to {last})."),
    "won": ("全部通过", "passed all"),
    "stages_caption": ("每格：多数试验到达的最远一项检查（第几项和它的名字），以及这样的试验次数。",
                       "Each cell: the furthest check that most trials reached (its number and name), and in how many."),
    "plain_is_ladder": ("plain 一行就是阶梯表里 libFuzzer 那一格：同一批运行。",
                        "The plain rows are the ladder's libFuzzer cells: the same runs."),
    "load": ("运行开始时机器的平均负载为 {low:.1f} 到 {high:.1f}。",
             "The machine's load average when the runs started: {low:.1f} to {high:.1f}."),
    "judge.one-input": ("每个进程一个输入（次/秒）", "one input per process (/s)"),
    "judge.batch": ("批量（次/秒）", "batch (/s)"), "judge.in-process": ("进程内（次/秒）", "in process (/s)"),
    "gui.gui": ("GUI fuzzer 每秒提交次数", "GUI fuzzer: submissions/s"),
    "gui.libfuzzer": ("libFuzzer 每秒执行次数（运行 1 秒以上的）", "libFuzzer: executions/s (runs of 1 s or more)"),
    "gui.factor": ("慢多少倍", "Times slower"),
    "gui.within": ("{n} 次提交内赢的次数", "Beaten within {n} submissions"),
    "gui.rate": ("{} 每秒提交次数", "{}: submissions/s"),
    "gui.ratio": ("{} 对 answers 的速度", "{} against answers"),
    "gui.all": ("全部", "all"),
}
# The GUI fuzzer's target with comparison feedback: each level beaten within this many
# submissions (a benchmark, read from the runs, not a bound of them).
GUI_TARGET_SUBMISSIONS = 2000
JUDGE_MODES = ("one-input", "batch", "in-process")


def word(key, lang):
    return WORDS[key][lang == "en"]


def number(x, seconds=False):
    if x is None:
        return "-"
    return f"{x:.1f}" if seconds else str(round(x))


def spread(runs, by):
    median, low, high = summary(runs, by)
    s = by == "seconds"
    if median is None and low is None:
        return "-"
    return f"{number(median, s)} ({number(low, s)}–{number(high, s)})"


def named(name, key="engine"):
    """An engine as every table and picture names it; techniques by their option."""
    return ENGINE_LABELS.get(name, name) if key == "engine" else name


def markdown(head, rows):
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    return lines + ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]


def caption(runs, lang, key):
    seeds = sorted({r.seed for r in runs})
    n = max(len(v) for v in cells(runs, key).values())
    text = word("caption", lang).format(bound=max(r.bound for r in runs), n=n, first=seeds[0], last=seeds[-1])
    if key == "technique" and any(r.engine == "libfuzzer" and r.technique == "plain" for r in runs):
        text += (" " if lang == "en" else "") + word("plain_is_ladder", lang)
    if any(r.load for r in runs):
        text += (" " if lang == "en" else "") + word("load", lang).format(
            low=min(r.load for r in runs), high=max(r.load for r in runs))
    return [text, ""]


def runs_table(runs, lang, key="engine"):
    """k of N, and the medians with their interquartile ranges, a row per level and KEY."""
    head = [word("level", lang), word(key, lang), word("beaten", lang),
            word("executions", lang), word("seconds", lang), word("unbeaten", lang)]
    rows = [(level, named(name, key), f"{sum(won(r) for r in group)}/{len(group)}",
             spread(group, "executions"), spread(group, "seconds"),
             number(statistics.median([r.executions for r in group if not won(r)] or [None])))
            for (level, name), group in cells(runs, key).items()]
    return caption(runs, lang, key) + markdown(head, rows)


def probability(p):
    return "< 0.001" if p < 0.001 else f"{p:.2g}"


def tests_table(runs, lang, key="engine", focus=None):
    head = [word("level", lang), "A", "B", word("a12", lang), word("p", lang)]
    rows = [(level, named(a, key), named(b, key), f"{x:.2f}", probability(p))
            for level, a, b, x, p in pairs(runs, key, focus)]
    return markdown(head, rows)


def engines_in(runs):
    return [e for e in ENGINE_LABELS if any(r.engine == e for r in runs)]


def grid_table(runs, lang):
    names = engines_in(runs)
    groups = cells(runs, "engine")
    rows = [[level] + [f"{sum(won(r) for r in groups[level, e])}/{len(groups[level, e])}"
                       for e in names] for level in sorted({r.level for r in runs})]
    return markdown([word("level", lang)] + [ENGINE_LABELS[e] for e in names], rows)


def stages_table(runs, lang, judge, key="engine"):
    """Per level and engine (or KEY), the furthest check most trials reached: where each got
    stuck."""
    names = engines_in(runs) if key == "engine" else list(dict.fromkeys(getattr(r, key) for r in runs))
    label = ENGINE_LABELS if key == "engine" else {n: n for n in names}
    groups = cells(runs, key)
    rows = []
    for level in sorted({r.level for r in runs}):
        checks = judge.check_names(level, lang)
        row = [level]
        for e in names:
            n, k = furthest_mode(groups.get((level, e), []))
            total = sum(1 for r in groups.get((level, e), []) if r.stages)
            row.append("-" if n is None else
                       f"{word('won', lang)} ({k}/{total})" if n > len(checks) else
                       f"{n}. {checks[n - 1]} ({k}/{total})")
        rows.append(row)
    return [word("stages_caption", lang), ""] + markdown([word("level", lang)] + [label[e] for e in names], rows)


def change_table(runs, lang, before="ladder_3seeds_60s.csv"):
    """The ladder against an earlier measurement of it: k of N with Fisher's exact test, and the
    median executions to win with a Mann-Whitney U test where both won every trial."""
    from scipy.stats import fisher_exact, mannwhitneyu
    old, new = cells(read_runs(DATA / before), "engine"), cells(runs, "engine")
    rows = []
    for key in (k for k in old if k in new):
        o, n = old[key], new[key]
        ko, kn = sum(won(r) for r in o), sum(won(r) for r in n)
        p_won = fisher_exact([[ko, len(o) - ko], [kn, len(n) - kn]])[1]
        p_execs = "-"
        if ko == len(o) and kn == len(n) and len({r.executions for r in o + n}) > 1:
            p_execs = probability(mannwhitneyu([r.executions for r in o], [r.executions for r in n])[1])
        rows.append((key[0], named(key[1]), f"{ko}/{len(o)}", f"{kn}/{len(n)}", probability(p_won),
                     number(summary(o, "executions")[0]), number(summary(n, "executions")[0]), p_execs))
    head = [word(k, lang) for k in ("level", "engine", "before", "now", "p_won", "execs_before",
                                     "execs_now", "p_execs")]
    return markdown(head, rows)


def judge_speed_table(path, lang):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    speed = {(r["level"], r["mode"]): float(r["judgments_per_second"]) for r in rows}
    levels = sorted({r["level"] for r in rows}, key=int)
    modes = [m for m in JUDGE_MODES if any(k[1] == m for k in speed)]
    return markdown([word("level", lang)] + [word(f"judge.{m}", lang) for m in modes],
                    [[lv] + [number(speed.get((lv, m))) for m in modes] for lv in levels])


def gui_speed_table(path, lang, data=DATA):
    """The GUI fuzzer's submissions a second beside libFuzzer's executions a second (from the
    ladder's data), over the runs of a level: executions over seconds. libFuzzer's runs that won
    within a second are left out: their start-up, not their pace, makes their figure."""
    gui = read_runs(path) + (read_runs(data / "gui_files.csv") if (data / "gui_files.csv").exists() else [])
    ladder = next((data / f for f in ("ladder.csv", "ladder_3seeds_60s.csv") if (data / f).exists()), None)
    lib = [r for r in read_runs(ladder) if r.engine == "libfuzzer" and r.seconds >= 1] if ladder else []

    def rate(runs):
        seconds = sum(r.seconds for r in runs)
        return sum(r.executions for r in runs) / seconds if seconds else 0

    rows = []
    for level in sorted({r.level for r in gui}):
        g, f = rate([r for r in gui if r.level == level]), rate([r for r in lib if r.level == level])
        if g:
            rows.append((level, f"{g:.0f}", f"{f:.0f}" if f else "-", f"{f / g:.0f}" if f else "-"))
    head = [word("level", lang)] + [word(f"gui.{k}", lang) for k in ("gui", "libfuzzer", "factor")]
    return markdown(head, rows)


def gui_feedback_table(runs, lang):
    """The GUI fuzzer's kinds of feedback: runs_table with the trials won within the target's
    submissions beside the trials won at all."""
    lines = runs_table(runs, lang, "technique")
    head, rule, *rows = lines[2:]
    groups = list(cells(runs, "technique").values())
    within = word("gui.within", lang).format(n=GUI_TARGET_SUBMISSIONS)
    cols = head.split(" | ")
    out = [" | ".join(cols[:3] + [within] + cols[3:]), rule + "---|"]
    for row, group in zip(rows, groups):
        k = sum(r.beaten and r.executions <= GUI_TARGET_SUBMISSIONS for r in group)
        cells_ = row.split(" | ")
        out.append(" | ".join(cells_[:3] + [f"{k}/{len(group)}"] + cells_[3:]))
    return lines[:2] + out


def gui_feedback_speed(runs, lang):
    """Submissions a second of each kind of feedback over the same measurement's runs of a
    level (submissions over seconds), and against the answers alone."""
    names = list(dict.fromkeys(r.technique for r in runs))
    levels = sorted({r.level for r in runs})

    def rate(group):
        seconds = sum(r.seconds for r in group)
        return sum(r.executions for r in group) / seconds if seconds else None

    rows = []
    for level in levels + [None]:
        here = [r for r in runs if level is None or r.level == level]
        rates = {n: rate([r for r in here if r.technique == n]) for n in names}
        base = rates.get("answers")
        rows.append([level if level is not None else word("gui.all", lang)]
                    + [number(rates[n]) for n in names]
                    + [f"{rates[n] / base:.2f}" if base and rates[n] else "-" for n in names if n != "answers"])
    head = ([word("level", lang)] + [word("gui.rate", lang).format(n) for n in names]
            + [word("gui.ratio", lang).format(n) for n in names if n != "answers"])
    return markdown(head, rows)
