// Level 4 (sesame weighing): the file size must match an equation over its big-endian header.
#pragma once

#include <cstdint>

namespace sesame {

constexpr std::uint32_t kHeaderBytes = 12;

enum class Verdict { BadHeader, SizeMismatch, Pass };

constexpr std::uint32_t bigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

// The size the header H, A, B asks for: H + A * B * 12, wrapping modulo 2^32 like the
// game always has.
constexpr std::uint32_t wantedSize(std::uint32_t h, std::uint32_t a, std::uint32_t b) {
  return a * b * 3u * 4u + h;
}

// size: the accepted file size; head: the first 12 bytes of the file.
constexpr Verdict judge(std::uint32_t size, const std::uint8_t* head) {
  const std::uint32_t h = bigEndian32(head);
  const std::uint32_t a = bigEndian32(head + 4);
  const std::uint32_t b = bigEndian32(head + 8);
  if (h - 4u > 252u || a == 0 || b == 0 || a > size || b > size) return Verdict::BadHeader;
  return wantedSize(h, a, b) == size ? Verdict::Pass : Verdict::SizeMismatch;
}

}  // namespace sesame
