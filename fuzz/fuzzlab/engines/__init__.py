"""The engines, each behind one function that takes a Job and fills in its Run."""
import dataclasses

from . import afl, gui, libfuzzer, zzuf


@dataclasses.dataclass(frozen=True)
class Engine:
    run: object
    packages: tuple  # groups in scripts/common.sh
    builds: tuple


ENGINES = {  # the ladder, from blind to guided, then the real game's
    "zzuf": Engine(zzuf.run, ("fuzz", "zzuf"), ("judge",)),
    "afl": Engine(afl.run, ("fuzz", "afl"), ("afl", "judge")),
    "afl-cmplog": Engine(afl.run_cmplog, ("fuzz", "afl"), ("afl", "afl-cmplog", "judge")),
    "libfuzzer": Engine(libfuzzer.run, ("fuzz",), ("fuzz", "judge")),
    "gui": Engine(gui.run, ("game", "gui"), ("win",)),
}
