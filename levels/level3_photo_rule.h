// Level 3 (photo authentication): a BMP whose header overstates its size gets through.
#pragma once

#include <cstdint>

namespace photo {

constexpr std::uint32_t kHeaderBytes = 6;

enum class Verdict { NotBmp, Failed, Pass };

// size: the accepted file size; head: at least the first six bytes of the file (zero where
// the file is shorter).
constexpr Verdict judge(std::uint32_t size, const std::uint8_t* head) {
  if (head[0] != 0x42 || head[1] != 0x4D) return Verdict::NotBmp;
  const std::uint32_t declared = std::uint32_t{head[2]} | std::uint32_t{head[3]} << 8 |
                                 std::uint32_t{head[4]} << 16 | std::uint32_t{head[5]} << 24;
  return declared > size + 256u ? Verdict::Pass : Verdict::Failed;
}

}  // namespace photo
