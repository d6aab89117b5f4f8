// What a fuzz target does when the level lets an input through. For the fuzzer that input is
// the goal, so by default it is reported as a crash: libFuzzer stops and saves it as the
// artifact. With TUMBLEWICK_FUZZ_KEEP_GOING=1 in the environment passes are only counted, so
// that a long run under the sanitizers can show that nothing else ever goes wrong.
#pragma once

namespace fuzzlab {

void levelPassed(int level);

// After every execution: how many of the level's checks the input passed. With
// TUMBLEWICK_STAGE_LOG naming a file, each new furthest count is appended to it as a line
// "CHECKS EXECUTIONS SECONDS", counted from the first execution: when each stage fell.
void checksPassed(int passed);

}  // namespace fuzzlab
