// Level 4 (sesame weighing): the input is the picked file; its length is the file size.
//
// Built with TUMBLEWICK_SIZE_REPAIR it also brings a custom mutator that, after every
// mutation, grows or cuts the file to the size its header asks for: the length-field fix-up
// that structure-aware fuzzers do.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_size_rule.h"
#include "level4_sesame_rule.h"
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto fileSize = static_cast<std::uint32_t>(size);
  if (fileprobe::judgeSize(fileSize, sesame::kMinSize, sesame::kMaxSize) !=
      fileprobe::SizeVerdict::Accepted) {
    return 0;
  }
  // Like the probe: a zero-filled 4096-byte buffer, 4096 bytes asked for (an accepted file
  // always has them).
  std::uint8_t head[sesame::kReadBufferSize] = {};
  std::memcpy(head, data, size < sizeof head ? size : sizeof head);
  if (sesame::judge(fileSize, head) == sesame::Verdict::Pass) fuzzlab::levelPassed(4);
  return 0;
}

#ifdef TUMBLEWICK_SIZE_REPAIR
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int /*seed*/) {
  const std::size_t mutated = LLVMFuzzerMutate(data, size, maxSize);
  if (mutated < sesame::kHeaderBytes) return mutated;
  const std::uint32_t wanted = sesame::wantedSize(
      sesame::bigEndian32(data), sesame::bigEndian32(data + 4), sesame::bigEndian32(data + 8));
  if (wanted < sesame::kHeaderBytes || wanted > maxSize) return mutated;
  if (wanted > mutated) std::memset(data + mutated, 0, wanted - mutated);
  return wanted;
}
#endif
