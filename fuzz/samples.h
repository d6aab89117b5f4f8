// The starter files that ship beside the game (01.ZIP for level 4, 02.ZIP for level 6), the
// ways to grow them into winners, and the seeds that the fuzz targets start from. Shared by
// make_samples, the rule tests and the checksum-repairing fuzz target, so all three agree
// byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "level4_sesame_rule.h"
#include "level6_dinner_rule.h"

namespace samples {

using Bytes = std::vector<std::uint8_t>;

inline void putBig32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

inline void putLittle32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// --- Level 4: the little sesame -------------------------------------------------------------

constexpr std::uint32_t kSesameH = 16;
constexpr std::uint32_t kSesameA = 1;
constexpr std::uint32_t kStarterSesameB = 1;
// The smallest B for which H + A * B * 12 reaches the level's 4 KiB minimum (16 + 340 * 12
// is exactly 4096).
constexpr std::uint32_t kGrownSesameB = 340;

// The 12-byte big-endian header H, A, B, then `body` up to the size the header asks for.
inline Bytes sesame(std::uint32_t h, std::uint32_t a, std::uint32_t b, const std::string& body) {
  Bytes out(sesame::wantedSize(h, a, b), 0);
  putBig32(out.data(), h);
  putBig32(out.data() + 4, a);
  putBig32(out.data() + 8, b);
  for (std::size_t i = 12; i < out.size(); ++i) {
    out[i] = body.empty() ? 0 : static_cast<std::uint8_t>(body[(i - 12) % body.size()]);
  }
  return out;
}

// 01.ZIP: 28 bytes whose header already fits its own size; it is only too small.
inline Bytes starterSesame() {
  return sesame(kSesameH, kSesameA, kStarterSesameB, "a little sesame.");
}

// 01.ZIP grown the documented way: B raised to 340 and the file padded to 4096 bytes.
inline Bytes grownSesame() { return sesame(kSesameH, kSesameA, kGrownSesameB, "a little sesame."); }

// --- Level 6: the dish framed by its CRC-32 -------------------------------------------------

// Writes the CRC-32 of bytes 4.. into bytes 0..3, little-endian: what a fuzzer must redo
// after every mutation to get past the checksum. Does nothing to inputs under 4 bytes.
inline void repairCrc(std::uint8_t* data, std::size_t size) {
  if (size < 4) return;
  putLittle32(data, dinner::crc32(data + 4, size - 4));
}

inline Bytes framedByCrc(const std::string& body) {
  Bytes out(4 + body.size(), 0);
  for (std::size_t i = 0; i < body.size(); ++i) out[4 + i] = static_cast<std::uint8_t>(body[i]);
  repairCrc(out.data(), out.size());
  return out;
}

// 02.ZIP: a few dozen bytes with the right checksum; it is only too small.
inline Bytes starterDinner() {
  return framedByCrc("Two candles, one bowl of rice, a spoon of sesame. Too little!\n");
}

// 02.ZIP grown the documented way: `fill` appended up to `size` bytes, checksum recomputed.
inline Bytes grownDinner(std::size_t size, std::uint8_t fill = ' ') {
  Bytes out = starterDinner();
  if (out.size() < size) out.resize(size, fill);
  repairCrc(out.data(), out.size());
  return out;
}

// --- Seeds of the fuzz targets: typical inputs that each level rejects ----------------------

// Level 1: a short user name.
inline Bytes nameSeed() { return {'c', 'c'}; }

// Level 2: the form as a player first fills it: clothes 3, shoes 2, weight 60, height 170,
// each a little-endian 32-bit number in the order the dialog reads them.
inline Bytes formSeed() {
  Bytes out(16, 0);
  putLittle32(out.data(), 3);
  putLittle32(out.data() + 4, 2);
  putLittle32(out.data() + 8, 60);
  putLittle32(out.data() + 12, 170);
  return out;
}

// Level 3: a real 16 x 16 32-bit BMP (1078 bytes, inside the accepted sizes) whose header
// tells its true size, as a genuine photo does.
inline Bytes photoSeed() {
  constexpr std::uint32_t kSide = 16;
  constexpr std::uint32_t kPixelOffset = 54;
  constexpr std::uint32_t kPixelBytes = kSide * kSide * 4;
  Bytes out(kPixelOffset + kPixelBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  putLittle32(out.data() + 2, kPixelOffset + kPixelBytes);  // file size
  putLittle32(out.data() + 10, kPixelOffset);               // where the pixels start
  putLittle32(out.data() + 14, 40);                         // info header size
  putLittle32(out.data() + 18, kSide);                      // width
  putLittle32(out.data() + 22, kSide);                      // height
  out[26] = 1;                                              // planes
  out[28] = 32;                                             // bits per pixel
  putLittle32(out.data() + 34, kPixelBytes);
  for (std::size_t i = kPixelOffset; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 0xFF : 0x80 + i % 64);  // a soft gradient
  }
  return out;
}

// Level 5: the greeting that the dialog pre-fills, in code page 936 (72 bytes, one ASCII
// comma with 61 bytes after it).
inline Bytes greetingSeed() {
  const std::string greeting =
      "\xC4\xFA\xBA\xC3\xD0\xA1\xB9\xC3\xC4\xEF,\xCE\xD2\xBD\xF1\xC4\xEA"
      "18\xCB\xEA\xC1\xCB\xA1\xA3\r\n\xCE\xD2\xB5\xC4\xC3\xFB\xD7\xD6\xBD\xD0\"cc\".\r\n"
      "\xBA\xDC\xB8\xDF\xD0\xCB\xC8\xCF\xCA\xB6\xC4\xE3\xA3\xAC\xCE\xD2\xC3\xC7\xD7\xF6\xC5\xF3"
      "\xD3\xD1\xB0\xC9\xA1\xA3";
  return Bytes(greeting.begin(), greeting.end());
}

}  // namespace samples
