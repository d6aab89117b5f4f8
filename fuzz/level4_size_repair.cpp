// Level 4's custom mutator: after every mutation it grows or cuts the file to the size its
// header asks for, the length-field fix-up that structure-aware fuzzers do.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "samples.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int /*seed*/) {
  const std::size_t mutated = LLVMFuzzerMutate(data, size, maxSize);
  const std::size_t wanted = samples::sesameSize(data, mutated, maxSize);
  if (wanted == 0) return mutated;
  if (wanted > mutated) std::memset(data + mutated, 0, wanted - mutated);
  return wanted;
}
