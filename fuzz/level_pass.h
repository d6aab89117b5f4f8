// What a fuzz target does when the level lets an input through. For the fuzzer that input is
// the goal, so by default it is reported as a crash: libFuzzer stops and saves it as the
// artifact. Built with TUMBLEWICK_FUZZ_KEEP_GOING, passes are only counted, so that a long
// run under the sanitizers can show that nothing else ever goes wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "level_table.h"

namespace fuzzlab {

#ifdef TUMBLEWICK_FUZZ_KEEP_GOING
struct PassCounter {
  int level = 0;
  unsigned long long passes = 0;
  // libFuzzer ends a bounded run with exit(), so this prints once at the end.
  ~PassCounter() {
    if (level != 0) std::fprintf(stderr, "TUMBLEWICK: level %d passed %llu times\n", level, passes);
  }
};
inline PassCounter passCounter;

inline void levelPassed(int level) {
  passCounter.level = level;
  ++passCounter.passes;
}
#else
[[noreturn]] inline void levelPassed(int level) {
  std::fprintf(stderr, "TUMBLEWICK: level %d passed\n", level);
  std::abort();
}
#endif

// The file levels: the input is the picked file, its length the file's size. Judged exactly
// as the game judges it.
inline void judgeFileInput(int level, const std::uint8_t* data, std::size_t size) {
  static std::uint8_t buffer[65536];  // the largest read buffer of the level table
  const fileprobe::Verdict verdict =
      fileprobe::judgeFile(*levelInfo(level).file, static_cast<std::uint32_t>(size), buffer,
                           [&](std::uint8_t* into, std::uint32_t count) {
                             std::memcpy(into, data, count < size ? count : size);
                           });
  if (verdict.passed()) levelPassed(level);
}

}  // namespace fuzzlab
