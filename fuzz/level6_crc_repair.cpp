// Level 6's custom mutator: it rewrites the checksum after every mutation, the usual way past
// a checksum wall.
#include <cstddef>
#include <cstdint>

#include "level6_dinner_rule.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int /*seed*/) {
  const std::size_t mutated = LLVMFuzzerMutate(data, size, maxSize);
  dinner::frame(data, mutated);
  return mutated;
}
