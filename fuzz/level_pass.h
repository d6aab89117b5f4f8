// What a fuzz target does when the level lets an input through. For the fuzzer that input is
// the goal, so by default it is reported as a crash: libFuzzer stops and saves it as the
// artifact. With TUMBLEWICK_FUZZ_KEEP_GOING=1 in the environment passes are only counted, so
// that a long run under the sanitizers can show that nothing else ever goes wrong.
#pragma once

namespace fuzzlab {

void levelPassed(int level);

}  // namespace fuzzlab
