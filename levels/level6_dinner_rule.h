// Level 6 (candlelit dinner): a sample whose first four bytes hold the CRC-32 of the rest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

// file: the whole accepted sample, size bytes (at least 4).
constexpr Verdict judge(const std::uint8_t* file, std::size_t size) {
  const std::uint32_t stored = std::uint32_t{file[0]} | std::uint32_t{file[1]} << 8 |
                               std::uint32_t{file[2]} << 16 | std::uint32_t{file[3]} << 24;
  return crc32(file + 4, size - 4) == stored ? Verdict::Pass : Verdict::Rejected;
}

}  // namespace dinner
