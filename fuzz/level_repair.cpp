// The custom mutator of the repair variants (levelN_repair): after every mutation it applies
// the level's structure fix-up (inputverdict::repair), as structure-aware fuzzers do: level
// 4's file grown or cut to the size its header asks for, level 6's checksum rewritten.
#include <cstddef>
#include <cstdint>

#include "input_verdict.h"

static_assert(inputverdict::repairOf(TUMBLEWICK_LEVEL) != inputverdict::Repair::None,
              "a repair variant of a level that has no repair");

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int /*seed*/) {
  return inputverdict::repair(TUMBLEWICK_LEVEL, data, LLVMFuzzerMutate(data, size, maxSize),
                              maxSize);
}
