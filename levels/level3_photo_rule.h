// Level 3 (photo authentication): a BMP whose header overstates its size gets through.
#pragma once

#include <cstdint>

#include "byte_order.h"
#include "stage_trail.h"

namespace photo {

constexpr std::uint32_t kHeaderBytes = 6;

enum class Verdict { NotBmp, Failed, Pass };

// The checks after the file verdict's, in order (stage_texts.cpp names them).
enum Stage { kMagic, kOverstated, kStageCount };

// size: the accepted file size; head: at least the first six bytes of the file (zero where
// the file is shorter).
constexpr Verdict judge(std::uint32_t size, const std::uint8_t* head,
                        stages::Trail* trail = nullptr) {
  using stages::check;
  if (!check(trail, head[0] == 0x42 && head[1] == 0x4D, {head[0], head[1]})) {
    return Verdict::NotBmp;
  }
  const std::uint32_t stated = byteorder::littleEndian32(head + 2);
  return check(trail, stated > size + 256u, {stated, size, std::int64_t{size} + 257})
             ? Verdict::Pass
             : Verdict::Failed;
}

}  // namespace photo
