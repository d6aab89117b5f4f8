// Level 3 (photo authentication): a BMP whose header overstates its size gets through.
#pragma once

#include <cstdint>

#include "byte_order.h"

namespace photo {

constexpr std::uint32_t kHeaderBytes = 6;

enum class Verdict { NotBmp, Failed, Pass };

// size: the accepted file size; head: at least the first six bytes of the file (zero where
// the file is shorter).
constexpr Verdict judge(std::uint32_t size, const std::uint8_t* head) {
  if (head[0] != 0x42 || head[1] != 0x4D) return Verdict::NotBmp;
  return byteorder::littleEndian32(head + 2) > size + 256u ? Verdict::Pass : Verdict::Failed;
}

}  // namespace photo
