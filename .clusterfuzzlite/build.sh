#!/bin/bash -eu
# The OSS-Fuzz / ClusterFuzzLite build contract: builds every fuzz target of fuzz/CMakeLists.txt
# (never the lab-only bonus targets) with the engine's $CC, $CXX, $CFLAGS, $CXXFLAGS and
# $LIB_FUZZING_ENGINE into $OUT, each with its .options (the [libfuzzer] settings of its
# level and of its own file), its level's .dict where there is one, and its level's seeds as
# NAME_seed_corpus.zip. Runs in the source folder (the Dockerfile's WORKDIR); $WORK holds the
# objects. .clusterfuzzlite/check.sh runs it here for libFuzzer and AFL++.
src=$PWD
work=${WORK:-$(mktemp -d)}
flags=(-std=c++20 -I"$src/levels" -I"$src/resources" -I"$src/fuzz")

jobs=()
compile() { # compile OBJECT SOURCE FLAG...: one object, in the background
  local object=$work/$1 source=$2
  shift 2
  $CXX $CXXFLAGS "${flags[@]}" "$@" -c "$source" -o "$object" &
  jobs+=($!)
}
finish() { # waits for every background job; the first that failed fails the build
  for job in "${jobs[@]}"; do wait "$job"; done
  jobs=()
}
compile level_table.o "$src/levels/level_table.cpp"
compile level_pass.o "$src/fuzz/level_pass.cpp"
for level in 1 2 3 4 5 6; do
  compile "level$level.o" "$src/fuzz/level_fuzz.cpp" -DTUMBLEWICK_LEVEL=$level
done
compile level6_nocmp.o "$src/fuzz/level_fuzz.cpp" -DTUMBLEWICK_LEVEL=6 -fno-sanitize-coverage=trace-cmp
for level in 4 6; do
  compile "level${level}_mutator.o" "$src/fuzz/level_repair.cpp" -DTUMBLEWICK_LEVEL=$level
done
finish

# The targets: NAME and its own objects beside the shared ones.
targets=(level1 level2 level3 level4 level5 level6 "level4_repair level4 level4_mutator"
  "level6_repair level6 level6_mutator" level6_nocmp)
options() { # the [libfuzzer] lines of .options files
  awk '/^\[/ { on = $0 == "[libfuzzer]"; next } on && /=/' "$@"
}
for entry in "${targets[@]}"; do
  read -r name objects <<<"$entry"
  level=${name%%_*}
  objects=${objects:-$name}
  $CXX $CXXFLAGS $(printf "$work/%s.o " $objects) "$work/level_table.o" "$work/level_pass.o" \
    $LIB_FUZZING_ENGINE -o "$OUT/$name" &
  jobs+=($!)
  own=()
  [ "$name" = "$level" ] || [ ! -f "$src/fuzz/$name.options" ] || own=("$src/fuzz/$name.options")
  { echo "[libfuzzer]"; options "$src/fuzz/$level.options" "${own[@]}"; } >"$OUT/$name.options"
  [ ! -f "$src/fuzz/$level.dict" ] || cp "$src/fuzz/$level.dict" "$OUT/$name.dict"
  rm -f "$OUT/${name}_seed_corpus.zip"
  zip -q -j "$OUT/${name}_seed_corpus.zip" "$src/fuzz/corpus/$level"/*
done
finish
