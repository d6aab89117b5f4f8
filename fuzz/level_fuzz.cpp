// The fuzz target of every level (TUMBLEWICK_LEVEL, set by the build): the input is what the
// level's dialog reads, mapped by levels/input_verdict.h exactly as for the console judge.
#include <cstddef>
#include <cstdint>

#include "input_verdict.h"
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  stages::Trail trail;
  const bool passed = inputverdict::judgeBytes(TUMBLEWICK_LEVEL, data, size, &trail).passed();
  fuzzlab::checksPassed(trail.passed);
  if (passed) fuzzlab::levelPassed(TUMBLEWICK_LEVEL);
  return 0;
}
