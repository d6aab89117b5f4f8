// Level 4 (sesame weighing): the file size must match an equation over its big-endian header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_order.h"
#include "stage_trail.h"

namespace sesame {

constexpr std::uint32_t kHeaderBytes = 12;

enum class Verdict { BadHeader, SizeMismatch, Pass };

// The size the header H, A, B asks for: H + A * B * 12, wrapping modulo 2^32 like the
// game always has.
constexpr std::uint32_t wantedSize(std::uint32_t h, std::uint32_t a, std::uint32_t b) {
  return a * b * 3u * 4u + h;
}

// The size that a file's first 12 bytes ask for.
constexpr std::uint32_t wantedSize(const std::uint8_t* head) {
  using byteorder::bigEndian32;
  return wantedSize(bigEndian32(head), bigEndian32(head + 4), bigEndian32(head + 8));
}

// Grows (with zeros) or cuts a file of `size` bytes in `data` to the size its header asks for,
// the length-field fix-up of a structure-aware fuzzer; returns the new size. data holds
// maxSize bytes. A file without a whole header, or whose header asks for less than the header
// or more than maxSize, keeps its size.
constexpr std::size_t fit(std::uint8_t* data, std::size_t size, std::size_t maxSize) {
  if (size < kHeaderBytes) return size;
  const std::uint32_t wanted = wantedSize(data);
  if (wanted < kHeaderBytes || wanted > maxSize) return size;
  for (std::size_t i = size; i < wanted; ++i) data[i] = 0;
  return wanted;
}

// The checks after the file verdict's, in order (stage_texts.cpp names them). The first three
// all reject as a bad header.
enum Stage { kHeaderLength, kCountA, kCountB, kEquation, kStageCount };

// size: the accepted file size; head: the first 12 bytes of the file.
constexpr Verdict judge(std::uint32_t size, const std::uint8_t* head,
                        stages::Trail* trail = nullptr) {
  using stages::check;
  const std::uint32_t h = byteorder::bigEndian32(head);
  const std::uint32_t a = byteorder::bigEndian32(head + 4);
  const std::uint32_t b = byteorder::bigEndian32(head + 8);
  if (!check(trail, h - 4u <= 252u, {h})) return Verdict::BadHeader;
  if (!check(trail, a != 0 && a <= size, {a, size})) return Verdict::BadHeader;
  if (!check(trail, b != 0 && b <= size, {b, size})) return Verdict::BadHeader;
  return check(trail, wantedSize(h, a, b) == size, {h, a, b, wantedSize(h, a, b), size})
             ? Verdict::Pass
             : Verdict::SizeMismatch;
}

}  // namespace sesame
