// Level 6 (candlelit dinner): the input is the picked file.
//
// Built with TUMBLEWICK_CRC_REPAIR it also brings a custom mutator that rewrites the
// checksum after every mutation, the usual way past a checksum wall.
#include "level_pass.h"
#ifdef TUMBLEWICK_CRC_REPAIR
#include "samples.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzlab::judgeFileInput(6, data, size);
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
