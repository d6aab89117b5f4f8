// Level 6 (candlelit dinner): the input is the picked file; its length is the file size.
//
// Built with TUMBLEWICK_CRC_REPAIR it also brings a custom mutator that rewrites the
// checksum after every mutation, the usual way past a checksum wall.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_size_rule.h"
#include "level6_dinner_rule.h"
#include "level_pass.h"
#ifdef TUMBLEWICK_CRC_REPAIR
#include "samples.h"
#endif

namespace {
// Like the game's: static, because 64 KiB is too much for the stack.
std::uint8_t g_sample[dinner::kReadBufferSize];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto fileSize = static_cast<std::uint32_t>(size);
  if (fileprobe::judgeSize(fileSize, dinner::kMinSize, dinner::kMaxSize) !=
      fileprobe::SizeVerdict::Accepted) {
    return 0;
  }
  // Like the probe: the buffer is zero-filled, then the whole file is read into it.
  std::memset(g_sample, 0, sizeof g_sample);
  std::memcpy(g_sample, data, size);
  if (dinner::judge(g_sample, size) == dinner::Verdict::Pass) fuzzlab::levelPassed(6);
  return 0;
}

#ifdef TUMBLEWICK_CRC_REPAIR
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int /*seed*/) {
  const std::size_t mutated = LLVMFuzzerMutate(data, size, maxSize);
  samples::repairCrc(data, mutated);
  return mutated;
}
#endif
