"""The packages the lab installs and the builds it makes, each configured in one place."""
import dataclasses
import os
import re
import shutil
import subprocess
from pathlib import Path

from .config import BUILD, FUZZ, LAB, LEVELS, REPO, LabError, options, rel


def ensure_packages(*groups):
    """Installs the missing Debian packages of the named groups of scripts/common.sh, through
    its own helper (sudo when not root)."""
    script = '. "$0"; p=(); for g; do eval "p+=(\\"\\${${g}_packages[@]}\\")"; done; ensure_packages "${p[@]}"'
    subprocess.run(["bash", "-c", script, str(REPO / "scripts" / "common.sh"), *groups], check=True)


def compiler():
    return shutil.which("clang++") or shutil.which("clang++-14")


@dataclasses.dataclass(frozen=True)
class Build:
    source: Path
    dir: Path
    options: tuple = ()  # beside the compiler, which is clang++ unless given here
    env: tuple = ()  # (name, value) for configuring and building
    targets: tuple = ()  # none: all


LEVEL_TARGETS = tuple(f"level{n}" for n in LEVELS)
AFL_OPTIONS = ("-DCMAKE_CXX_COMPILER=afl-clang-fast++", "-DTUMBLEWICK_FUZZ_SANITIZERS=OFF")
BUILDS = {
    "fuzz": Build(FUZZ, BUILD / "fuzz"),
    "afl": Build(FUZZ, BUILD / "fuzz-afl", AFL_OPTIONS, targets=LEVEL_TARGETS),
    "afl-cmplog": Build(FUZZ, BUILD / "fuzz-afl-cmplog", AFL_OPTIONS, (("AFL_LLVM_CMPLOG", "1"),),
                        LEVEL_TARGETS),
    "judge": Build(REPO, BUILD / "judge", ("-DBUILD_TESTING=OFF", "-DTUMBLEWICK_WERROR=ON"),
                   targets=("tumblewick-judge",)),
    # Source coverage (./fuzz.sh LEVEL --coverage): the level targets, counting every line.
    "coverage": Build(FUZZ, BUILD / "fuzz-coverage", (
        "-DTUMBLEWICK_FUZZ_SANITIZERS=OFF", "-DCMAKE_CXX_FLAGS=-fprofile-instr-generate -fcoverage-mapping"),
        targets=LEVEL_TARGETS),
    # The GUI fuzzer and the game it plays, cross-compiled; also the game's coverage build.
    "win": Build(REPO, BUILD / "win", (
        f"-DCMAKE_TOOLCHAIN_FILE={REPO / 'cmake' / 'mingw-w64-x86_64.cmake'}",
        "-DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix", "-DTUMBLEWICK_WERROR=ON",
        "-DTUMBLEWICK_GUI_COVERAGE=ON"),
        targets=("Velk_Game", "Velk_Game-cov", "tumblewick-guifuzz", "starter_samples")),
}
_built = set()


def configured(b):
    """Whether the build folder is configured, with every -DNAME=VALUE option of the build (a
    folder configured by the test command or by hand may lack one)."""
    cache = b.dir / "CMakeCache.txt"
    if not cache.exists():
        return False
    text = cache.read_text(errors="replace")
    wanted = [o[2:].split("=", 1) for o in b.options if o.startswith("-D") and "COMPILER" not in o]
    return all(re.search(rf"^{re.escape(k)}:\w+={re.escape(v)}$", text, re.M) for k, v in wanted)


def build(name, targets=None):
    """Configures (once) and builds the build's targets, or TARGETS of it; the build's output is
    shown only when it fails."""
    targets = tuple(targets) if targets is not None else BUILDS[name].targets
    if (name, targets) in _built:
        return
    b = BUILDS[name]
    env = dict(os.environ, AFL_QUIET="1", **dict(b.env))
    steps = []
    if not configured(b):
        fresh = not (b.dir / "CMakeCache.txt").exists()
        cxx = [] if any("COMPILER" in o for o in b.options) else [f"-DCMAKE_CXX_COMPILER={compiler()}"]
        options = b.options if fresh else tuple(o for o in b.options if "COMPILER" not in o)
        steps.append(["cmake", "-S", str(b.source), "-B", str(b.dir), *(cxx if fresh else []), *options])
    steps.append(["cmake", "--build", str(b.dir), f"-j{os.cpu_count()}"]
                 + (["--target", *targets] if targets else []))
    log = LAB / f"build-{name}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    with log.open("w") as out:
        for step in steps:
            if subprocess.run(step, env=env, stdout=out, stderr=subprocess.STDOUT).returncode != 0:
                raise LabError(f"the {name} build failed; see {rel(log)}")
    _built.add((name, targets))


def fuzz_targets():
    return (BUILDS["fuzz"].dir / "targets.txt").read_text().split()


def libfuzzer_flags(target):
    """[libfuzzer] of the level's .options, then of the variant's own where it has one."""
    flags = options(FUZZ / f"{target.split('_')[0]}.options", "libfuzzer")
    if "_" in target:
        flags.update(options(FUZZ / f"{target}.options", "libfuzzer"))
    return [f"-{k}={v}" for k, v in flags.items()]
