"""Pictures, drawn the same to the byte from the same data (no time or version in the file)."""
import statistics

from .config import ENGINE_LABELS
from .runs import read_runs, technique_runs
from .stages import fallen
from .stats import cells, won
from .tables import named, word

PICTURE_WORDS = {
    "level": ("第 {} 关", "Level {}"), "x": ("执行次数（对数刻度）", "Executions (log scale)"),
    "x-gui": ("提交次数（对数刻度）", "Submissions (log scale)"),
    "y": ("已赢的试验比例", "Share of trials won"),
    "overview": ("阶梯：每格赢的试验次数", "The ladder: trials won per cell"),
    "engines": ("引擎", "Engine"), "levels": ("关卡", "Level"),
    "stage": ("到达的检查（试验平均）：线重合处一条画在另一条里面",
              "Check reached (mean of trials); where lines coincide, one is drawn inside the other"),
    "end": ("每条线末端的点：该格最长那次试验停下的地方（执行次数），以及到那时赢的试验比例",
            "The dot at the end of each line: where the cell's longest trial stopped (its executions) and the "
            "share won by then"),
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


# Lines of one panel drawn one inside another, widest first, so that where they coincide
# each stays visible at its true value.
WIDTHS = (6, 4.2, 2.8, 1.6, 1.1, 0.7)


def grid(plt, count, width=4, height=3.6):
    columns = min(3, count)
    rows = (count + columns - 1) // columns
    fig, axes = plt.subplots(rows, columns, figsize=(width * columns, height * rows), squeeze=False)
    for ax in list(axes.flat)[count:]:
        ax.set_visible(False)
    return fig, axes


def legend_below(ax):
    """The panel's legend under its axes, where it covers no curve."""
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.2), ncol=1, fontsize=8, frameon=False)


def label_panel(ax, level, lang, x="x"):
    """A level's panel: log-scale counts across, its title, grid and legend."""
    ax.set_xscale("log")
    ax.set_title(PICTURE_WORDS["level"][lang == "en"].format(level))
    ax.set_xlabel(PICTURE_WORDS[x][lang == "en"])
    ax.grid(alpha=0.3)
    legend_below(ax)


def curves(runs, lang, path, key="engine", most=2e8, x="x"):
    """Per level, the share of a cell's trials that have won by each number of executions (up
    to MOST); a dot where the cell's longest trial ended."""
    plt = pyplot(lang)
    groups = cells(runs, key)
    levels = sorted({lv for lv, _ in groups})
    names = list(dict.fromkeys(n for _, n in groups))
    fig, axes = grid(plt, len(levels), width=4.2, height=5.4)
    for ax, level in zip(axes.flat, levels):
        here = [n for n in names if (level, n) in groups]
        for colour, width, name in zip(plt.get_cmap("tab10").colors, WIDTHS, here):
            group = groups[level, name]
            wins = sorted(max(r.executions, 1) for r in group if won(r))
            end = max(max(r.executions for r in group), 1)
            xs = [1] + wins + [end]
            ys = [0] + [(i + 1) / len(group) for i in range(len(wins))] + [len(wins) / len(group)]
            ax.step(xs, ys, where="post", color=colour, lw=width, solid_capstyle="butt",
                    label=f"{named(name, key)} ({len(wins)}/{len(group)})")
            ax.plot(xs[-1:], ys[-1:], "o", color=colour, ms=5, mec="black", mew=0.5, zorder=5)
        ax.set_xlim(1, most)
        ax.set_ylim(-0.03, 1.03)
        ax.set_ylabel(PICTURE_WORDS["y"][lang == "en"])
        label_panel(ax, level, lang, x)
    fig.suptitle(PICTURE_WORDS["end"][lang == "en"], fontsize=10)
    fig.tight_layout()
    save(fig, path)


def wrapped(text, width=30):
    import textwrap
    return "\n".join(textwrap.wrap(text, width))


def stage_curves(runs, lang, path, judge):
    """Per level, for each engine, the mean over its trials of the furthest check reached by
    each number of executions, the checks named on the axis."""
    plt = pyplot(lang)
    groups = cells([r for r in runs if r.stages], "engine")
    levels = sorted({lv for lv, _ in groups})
    if not levels:
        return
    fig, axes = grid(plt, len(levels), width=6.2, height=5.2)
    for ax, level in zip(axes.flat, levels):
        here = [e for e in ENGINE_LABELS if (level, e) in groups]
        names = judge.check_names(level, lang)
        for colour, width, e in zip(plt.get_cmap("tab10").colors, WIDTHS, here):
            group = groups[level, e]
            marks = sorted({max(x[0], 1) for r in group for x in fallen(r) if x} | {1})
            end = max(max(r.executions for r in group), 1)
            xs = marks + [end]
            ys = [statistics.mean(1 + sum(1 for x in fallen(r) if x and max(x[0], 1) <= t) for r in group)
                  for t in xs]
            ax.step(xs, ys, where="post", color=colour, lw=width, solid_capstyle="butt",
                    label=ENGINE_LABELS[e])
        ax.set_xlim(1, 2e8)
        ax.set_ylim(0.7, len(names) + 1.3)
        ax.set_yticks(range(1, len(names) + 2),
                      [wrapped(f"{n}. {name}", 16 if lang == "zh" else 30) for n, name in enumerate(names, 1)]
                      + [word("won", lang)], fontsize=7)
        label_panel(ax, level, lang)
    fig.suptitle(PICTURE_WORDS["stage"][lang == "en"], fontsize=11)
    fig.tight_layout()
    save(fig, path)


def overview(runs, lang, path):
    """Levels by engines, each cell coloured by the share of its trials won."""
    plt = pyplot(lang)
    groups = cells(runs, "engine")
    levels = sorted({lv for lv, _ in groups})
    names = [e for e in ENGINE_LABELS if any(n == e for _, n in groups)]
    share = [[sum(won(r) for r in groups[lv, e]) / len(groups[lv, e]) for e in names] for lv in levels]
    fig, ax = plt.subplots(figsize=(6.4, 4.8))
    ax.imshow(share, cmap="Greens", vmin=0, vmax=1.3, aspect="auto")
    for i, lv in enumerate(levels):
        for j, e in enumerate(names):
            g = groups[lv, e]
            ax.text(j, i, f"{sum(won(r) for r in g)}/{len(g)}", ha="center", va="center", fontsize=13)
    ax.set_xticks(range(len(names)), [ENGINE_LABELS[e] for e in names])
    ax.set_yticks(range(len(levels)), [PICTURE_WORDS["level"][lang == "en"].format(lv) for lv in levels])
    ax.set_xlabel(PICTURE_WORDS["engines"][lang == "en"])
    ax.set_title(PICTURE_WORDS["overview"][lang == "en"])
    fig.tight_layout()
    save(fig, path)


PICTURES = (  # (name: docs/lab/NAME.LANG.png, data file, its runs, drawing (runs, lang, path, judge))
    ("ladder-curves", "ladder.csv", read_runs, lambda runs, lang, path, judge: curves(runs, lang, path)),
    ("ladder-overview", "ladder.csv", read_runs, lambda runs, lang, path, judge: overview(runs, lang, path)),
    ("ladder-stages", "ladder.csv", read_runs, stage_curves),
    ("techniques-curves", "techniques.csv", technique_runs,
     lambda runs, lang, path, judge: curves(runs, lang, path, "technique")),
    ("gui-feedback-curves", "gui_feedback.csv", read_runs,
     lambda runs, lang, path, judge: curves(runs, lang, path, "technique", 1e5, "x-gui")),
)
