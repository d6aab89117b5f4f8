#include "level_pass.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool keepGoing = false;

struct StageLog {
  std::FILE* file = nullptr;
  int furthest = -1;
  unsigned long long executions = 0;
  std::chrono::steady_clock::time_point start;
};
StageLog stageLog;

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
  if (const char* path = std::getenv("TUMBLEWICK_STAGE_LOG")) stageLog.file = std::fopen(path, "w");
  stageLog.start = std::chrono::steady_clock::now();
  return 0;
}

void fuzzlab::checksPassed(int passed) {
  if (stageLog.file == nullptr) return;
  ++stageLog.executions;
  if (passed <= stageLog.furthest) return;
  stageLog.furthest = passed;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - stageLog.start;
  std::fprintf(stageLog.file, "%d %llu %.3f\n", passed, stageLog.executions, elapsed.count());
  std::fflush(stageLog.file);
}

void fuzzlab::levelPassed(int level) {
  if (!keepGoing) {
    std::fprintf(stderr, "TUMBLEWICK: level %d passed\n", level);
    std::abort();
  }
  passCounter.level = level;
  ++passCounter.passes;
}
