// The checksum framing of level 6's samples (02.ZIP and all that grows from it): bytes 0..3
// hold the CRC-32 of the rest, little-endian. Shared by the checksum-repairing fuzz mutator
// and the rule tests, so both frame a sample byte for byte alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "level6_dinner_rule.h"

namespace samples {

// Writes the CRC-32 of bytes 4.. into bytes 0..3: what a fuzzer must redo after every
// mutation to get past the checksum. Does nothing to inputs under 4 bytes.
inline void repairCrc(std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  const std::uint32_t crc = dinner::crc32(data + 4, size - 4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

}  // namespace samples
