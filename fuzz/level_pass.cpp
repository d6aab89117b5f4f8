#include "level_pass.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool keepGoing = false;

struct PassCounter {
  int level = 0;
  unsigned long long passes = 0;
  // libFuzzer ends a bounded run with exit(), so this prints once at the end.
  ~PassCounter() {
    if (level != 0) std::fprintf(stderr, "TUMBLEWICK: level %d passed %llu times\n", level, passes);
  }
};
PassCounter passCounter;

}  // namespace

// libFuzzer calls this once, before the first input: the mode is chosen per run, not per build.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  const char* mode = std::getenv("TUMBLEWICK_FUZZ_KEEP_GOING");
  keepGoing = mode != nullptr && std::strcmp(mode, "1") == 0;
  return 0;
}

void fuzzlab::levelPassed(int level) {
  if (!keepGoing) {
    std::fprintf(stderr, "TUMBLEWICK: level %d passed\n", level);
    std::abort();
  }
  passCounter.level = level;
  ++passCounter.passes;
}
