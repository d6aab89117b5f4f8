// Level 6 (candlelit dinner): a sample whose first four bytes hold the CRC-32 of the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "byte_order.h"
#include "stage_trail.h"

namespace dinner {

enum class Verdict { Rejected, Pass };

// The standard 256-entry table of the reflected polynomial 0xEDB88320.
constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
inline constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

// CRC-32 as in ZIP and PNG: register starts at all ones, final value inverted.
constexpr std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) c = kCrcTable[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// The check after the file verdict's (stage_texts.cpp names it).
enum Stage { kChecksum, kStageCount };

// A sample's framing (02.ZIP's and that of all that grows from it): bytes 0..3 hold the CRC-32
// of the rest, little-endian. file: the whole accepted sample, size bytes (at least 4).
constexpr Verdict judge(const std::uint8_t* file, std::size_t size,
                        stages::Trail* trail = nullptr) {
  const std::uint32_t stored = byteorder::littleEndian32(file);
  const std::uint32_t body = crc32(file + 4, size - 4);
  return stages::check(trail, body == stored, {stored, body}) ? Verdict::Pass : Verdict::Rejected;
}

// Writes the CRC-32 of bytes 4.. into bytes 0..3, so that any body passes: what a fuzzer must
// redo after every mutation to get past the checksum. Does nothing to inputs under 4 bytes.
constexpr void frame(std::uint8_t* data, std::size_t size) {
  if (size >= 4) byteorder::putLittleEndian32(data, crc32(data + 4, size - 4));
}

}  // namespace dinner
