// Level 3 (photo authentication): the input is the picked file; its length is the file size.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "file_size_rule.h"
#include "level3_photo_rule.h"
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto fileSize = static_cast<std::uint32_t>(size);
  if (fileprobe::judgeSize(fileSize, photo::kMinSize, photo::kMaxSize) !=
      fileprobe::SizeVerdict::Accepted) {
    return 0;
  }
  // Like the probe: a zero-filled 4096-byte buffer takes the first min(size, 4096) bytes.
  std::uint8_t head[photo::kReadBufferSize] = {};
  std::memcpy(head, data, size < sizeof head ? size : sizeof head);
  if (photo::judge(fileSize, head) == photo::Verdict::Pass) fuzzlab::levelPassed(3);
  return 0;
}
