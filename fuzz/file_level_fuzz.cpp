// Levels 3, 4 and 6 (TUMBLEWICK_LEVEL, set by the build): the input is the picked file, its
// length the file's size, judged exactly as the game judges it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "level_pass.h"
#include "level_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::uint8_t buffer[65536];  // the largest read buffer of the level table
  const fileprobe::Verdict verdict =
      fileprobe::judgeFile(*levelInfo(TUMBLEWICK_LEVEL).file, static_cast<std::uint32_t>(size),
                           buffer, [&](std::uint8_t* into, std::uint32_t count) {
                             std::memcpy(into, data, count < size ? count : size);
                           });
  if (verdict.passed()) fuzzlab::levelPassed(TUMBLEWICK_LEVEL);
  return 0;
}
