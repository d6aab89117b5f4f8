// The structure of the file levels' samples that a structure-aware fuzzer keeps right: level
// 6's checksum framing (02.ZIP and all that grows from it: bytes 0..3 hold the CRC-32 of the
// rest, little-endian) and the size level 4's header asks for. Shared by the repairing fuzz
// mutators, the GUI fuzzer and the rule tests, so all of them frame a sample alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "level4_sesame_rule.h"
#include "level6_dinner_rule.h"

namespace samples {

// Writes the CRC-32 of bytes 4.. into bytes 0..3: what a fuzzer must redo after every
// mutation to get past the checksum. Does nothing to inputs under 4 bytes.
inline void repairCrc(std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  const std::uint32_t crc = dinner::crc32(data + 4, size - 4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

// The size that level 4's header (its first 12 bytes) asks for, when that size is at least the
// header and at most maxSize; else 0. What the size repair grows or cuts a sesame to.
inline std::size_t sesameSize(const std::uint8_t* data, std::size_t size, std::size_t maxSize) {
  if (size < sesame::kHeaderBytes) return 0;
  const std::uint32_t wanted = sesame::wantedSize(
      sesame::bigEndian32(data), sesame::bigEndian32(data + 4), sesame::bigEndian32(data + 8));
  return wanted < sesame::kHeaderBytes || wanted > maxSize ? 0 : wanted;
}

}  // namespace samples
