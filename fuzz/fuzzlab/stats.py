"""Statistics, as FuzzBench and Magma report them. A run not beaten is censored: it tells only
that the win would have come later than where the run stopped."""
from fractions import Fraction


def won(r):
    """Whether a run won within its bound: a win at or past the bound is no win in the bound
    but a run censored there."""
    return r.beaten and r.seconds < r.bound


def observed(r, by):
    """(t, won) of a run for BY: a run's seconds end at its bound however long it went on."""
    t = getattr(r, by)
    return (min(t, r.bound) if by == "seconds" else t), won(r)


def kaplan_meier(runs, by):
    """Steps (t, S) of the Kaplan-Meier estimate of S(t), the share of runs not yet beaten
    after t of BY (a Run field: executions or seconds); a run not beaten leaves the count at
    its end."""
    data = sorted(observed(r, by) for r in runs)
    at_risk, s, steps, i = len(data), Fraction(1), [], 0
    while i < len(data):
        t, won, left = data[i][0], 0, 0
        while i < len(data) and data[i][0] == t:
            won, left, i = won + data[i][1], left + 1, i + 1
        if won:
            s *= 1 - Fraction(won, at_risk)
            steps.append((t, s))
        at_risk -= left
    return steps


def quantile(steps, q):
    """The first t by which a share Q of the runs has won, or None when it never did."""
    return next((t for t, s in steps if s <= 1 - Fraction(q)), None)


def summary(runs, by):
    """(median, first quartile, third quartile) of BY to the win."""
    steps = kaplan_meier(runs, by)
    return tuple(quantile(steps, q) for q in ("1/2", "1/4", "3/4"))


def time_to_win(runs):
    return [r.seconds if won(r) else r.bound for r in runs]


def a12(a, b):
    """Vargha-Delaney A12: the chance that a run of A wins sooner than one of B (ties half)."""
    wins = sum((x < y) + (x == y) / 2 for x in a for y in b)
    return wins / (len(a) * len(b))


def mann_whitney(a, b):
    """Two-sided Mann-Whitney U test: (U of A, p)."""
    if len(set(a) | set(b)) == 1:
        return len(a) * len(b) / 2, 1.0  # all tied: nothing tells the two apart
    from scipy.stats import mannwhitneyu
    u, p = mannwhitneyu(a, b, alternative="two-sided")
    return float(u), float(p)


def cells(runs, key):
    """Runs grouped by (level, KEY), in order of first appearance."""
    out = {}
    for r in runs:
        out.setdefault((r.level, getattr(r, key)), []).append(r)
    return out


def pairs(runs, key, focus=None):
    """Per level, every two cells (with FOCUS, if given) of which at least one ever won:
    (level, A, B, A12, p)."""
    groups = cells(runs, key)
    out = []
    for level in sorted({lv for lv, _ in groups}):
        names = [n for lv, n in groups if lv == level]
        for i, a in enumerate(names):
            for b in names[i + 1:]:
                first, second = (b, a) if b == focus else (a, b)
                ra, rb = groups[level, first], groups[level, second]
                if any(won(r) for r in ra + rb) and focus in (None, first):
                    x, y = time_to_win(ra), time_to_win(rb)
                    out.append((level, first, second, a12(x, y), mann_whitney(x, y)[1]))
    return out
