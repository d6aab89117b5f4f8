"""Pictures, drawn the same to the byte from the same data (no time or version in the file)."""
import statistics

from .config import ENGINE_LABELS
from .stages import fallen
from .stats import cells
from .tables import word

PICTURE_WORDS = {
    "level": ("第 {} 关", "Level {}"), "x": ("执行次数（对数刻度）", "Executions (log scale)"),
    "y": ("已赢的试验比例", "Share of trials won"),
    "overview": ("阶梯：每格赢的试验次数", "The ladder: trials won per cell"),
    "engines": ("引擎", "Engine"), "levels": ("关卡", "Level"),
    "stage": ("到达的检查（试验平均）", "Check reached (mean of trials)"),
}


def pyplot(lang):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    plt.rcdefaults()
    plt.rcParams.update({"font.family": "WenQuanYi Micro Hei" if lang == "zh" else "DejaVu Sans",
                         "axes.unicode_minus": False, "svg.hashsalt": "tumblewick"})
    return plt


def save(fig, path):
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=100, metadata={"Software": None})
    import matplotlib.pyplot as plt
    plt.close(fig)


def curves(runs, lang, path, key="engine", most=2e8):
    """Per level, the share of a cell's trials that have won by each number of executions (up
    to MOST)."""
    plt = pyplot(lang)
    groups = cells(runs, key)
    levels = sorted({lv for lv, _ in groups})
    names = list(dict.fromkeys(n for _, n in groups))
    rows = (len(levels) + 2) // 3
    fig, axes = plt.subplots(rows, 3, figsize=(12, 3.6 * rows), squeeze=False, sharey=True)
    for ax, level in zip(axes.flat, levels):
        here = [n for n in names if (level, n) in groups]
        for colour, name in zip(plt.get_cmap("tab10").colors, here):
            group = groups[level, name]
            wins = sorted(max(r.executions, 1) for r in group if r.beaten)
            end = max(max(r.executions for r in group), 1)
            xs = [1] + wins + [end]
            ys = [0] + [(i + 1) / len(group) for i in range(len(wins))] + [len(wins) / len(group)]
            ax.step(xs, ys, where="post", color=colour, lw=2,
                    label=f"{name} ({len(wins)}/{len(group)})")
            ax.plot(xs[-1:], ys[-1:], "o", color=colour, ms=5)  # where the runs got to
        ax.set_xscale("log")
        ax.set_xlim(1, most)
        ax.set_ylim(-0.03, 1.03)
        ax.set_title(PICTURE_WORDS["level"][lang == "en"].format(level))
        ax.set_xlabel(PICTURE_WORDS["x"][lang == "en"])
        ax.grid(alpha=0.3)
        ax.legend(loc="best", fontsize=8)
    for ax in axes[:, 0]:
        ax.set_ylabel(PICTURE_WORDS["y"][lang == "en"])
    for ax in list(axes.flat)[len(levels):]:
        ax.set_visible(False)
    fig.tight_layout()
    save(fig, path)


def stage_curves(runs, lang, path):
    """Per level, for each engine, the mean over its trials of the furthest check reached by
    each number of executions: the stages' reach."""
    plt = pyplot(lang)
    groups = cells([r for r in runs if r.stages], "engine")
    levels = sorted({lv for lv, _ in groups})
    if not levels:
        return
    rows = (len(levels) + 2) // 3
    fig, axes = plt.subplots(rows, 3, figsize=(12, 3.6 * rows), squeeze=False)
    for ax, level in zip(axes.flat, levels):
        here = [e for e in ENGINE_LABELS if (level, e) in groups]
        checks = len(fallen(groups[level, here[0]][0]))
        for i, (colour, e) in enumerate(zip(plt.get_cmap("tab10").colors, here)):
            group = groups[level, e]
            marks = sorted({max(x[0], 1) for r in group for x in fallen(r) if x} | {1})
            end = max(max(r.executions for r in group), 1)
            xs = marks + [end]
            lift = (i - (len(here) - 1) / 2) * 0.06  # engines that stop alike stay apart
            ys = [lift + statistics.mean(1 + sum(1 for x in fallen(r) if x and max(x[0], 1) <= t) for r in group)
                  for t in xs]
            ax.step(xs, ys, where="post", color=colour, lw=2, label=ENGINE_LABELS[e])
        ax.set_xscale("log")
        ax.set_xlim(1, 2e8)
        ax.set_ylim(0.8, checks + 1.2)
        ax.set_yticks(range(1, checks + 2), [str(n) for n in range(1, checks + 1)] + [word("won", lang)])
        ax.set_title(PICTURE_WORDS["level"][lang == "en"].format(level))
        ax.set_xlabel(PICTURE_WORDS["x"][lang == "en"])
        ax.set_ylabel(PICTURE_WORDS["stage"][lang == "en"])
        ax.grid(alpha=0.3)
        ax.legend(loc="best", fontsize=8)
    for ax in list(axes.flat)[len(levels):]:
        ax.set_visible(False)
    fig.tight_layout()
    save(fig, path)


def overview(runs, lang, path):
    """Levels by engines, each cell coloured by the share of its trials won."""
    plt = pyplot(lang)
    groups = cells(runs, "engine")
    levels = sorted({lv for lv, _ in groups})
    names = [e for e in ENGINE_LABELS if any(n == e for _, n in groups)]
    share = [[sum(r.beaten for r in groups[lv, e]) / len(groups[lv, e]) for e in names] for lv in levels]
    fig, ax = plt.subplots(figsize=(6.4, 4.8))
    ax.imshow(share, cmap="Greens", vmin=0, vmax=1.3, aspect="auto")
    for i, lv in enumerate(levels):
        for j, e in enumerate(names):
            g = groups[lv, e]
            ax.text(j, i, f"{sum(r.beaten for r in g)}/{len(g)}", ha="center", va="center", fontsize=13)
    ax.set_xticks(range(len(names)), [ENGINE_LABELS[e] for e in names])
    ax.set_yticks(range(len(levels)), [PICTURE_WORDS["level"][lang == "en"].format(lv) for lv in levels])
    ax.set_xlabel(PICTURE_WORDS["engines"][lang == "en"])
    ax.set_title(PICTURE_WORDS["overview"][lang == "en"])
    fig.tight_layout()
    save(fig, path)


PICTURES = (  # (name: docs/lab/NAME.LANG.png, data file, drawing)
    ("ladder-curves", "ladder.csv", curves),
    ("ladder-overview", "ladder.csv", overview),
    ("ladder-stages", "ladder.csv", stage_curves),
    ("techniques-curves", "techniques.csv", lambda runs, lang, path: curves(runs, lang, path, "technique")),
    ("gui-feedback-curves", "gui_feedback.csv",
     lambda runs, lang, path: curves(runs, lang, path, "technique", 1e5)),
)
