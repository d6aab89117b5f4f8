"""Stage reach: how far through the level's checks a run's inputs got, and when. Each engine
yields points (checks passed, executions, seconds); libFuzzer counts in the target, AFL++'s
queue and crashes go through the judge's batch mode in one process, and zzuf's judge explains
every input it is handed as data."""


def reach(points, checks):
    """The Run.stages text: for each check, the first point that passed it."""
    fell = []
    for i in range(1, checks + 1):
        first = min(((e, s) for n, e, s in points if n >= i), default=None)
        fell.append(f"{first[0]}/{first[1]:.2f}" if first else "-")
    return " ".join(fell)


def fallen(run):
    """[(executions, seconds) or None] for each check of the run's level."""
    return [None if x == "-" else (int(x.split("/")[0]), float(x.split("/")[1]))
            for x in run.stages.split()]


def furthest(run):
    """The number of the furthest check a run's inputs reached (1-based), or None if unknown;
    one past the last check when it won."""
    marks = fallen(run)
    return next((i + 1 for i, x in enumerate(marks) if x is None), len(marks) + 1) if marks else None


def furthest_mode(group):
    """The furthest check that most of the trials reached, and in how many (ties: the further)."""
    reached = [furthest(r) for r in group if r.stages]
    if not reached:
        return None, 0
    best = max(set(reached), key=lambda n: (reached.count(n), n))
    return best, reached.count(best)


def stage_log_points(text):
    """The points of a target's stage log (TUMBLEWICK_STAGE_LOG): "CHECKS EXECUTIONS SECONDS"."""
    return [(int(n), int(e), float(t)) for n, e, t in (line.split() for line in text.splitlines() if line.strip())]
