// Level 5 (message to the girl): enough bytes inside comma-delimited stretches get through.
#pragma once

#include <cstddef>

#include "stage_trail.h"

namespace chat {

// The message is read into this many bytes, so at most 4095 bytes of text arrive.
constexpr int kMessageBufferSize = 4096;
constexpr int kNeededBytes = 256;

// The checks, in order (stage_texts.cpp names them).
enum Stage { kComma, kCounted, kStageCount };

// The stretches after the 1st, 3rd, 5th... ASCII comma count, each up to the next comma;
// the count runs on across stretches. No byte of a two-byte GBK character is 0x2C. The scan
// stops where the count is reached.
constexpr bool passes(const char* text, std::size_t length, stages::Trail* trail = nullptr) {
  bool inside = false;
  int commas = 0;
  int counted = 0;
  for (std::size_t i = 0; i < length && counted < kNeededBytes; ++i) {
    if (text[i] == ',') {
      inside = !inside;
      ++commas;
    } else if (inside) {
      ++counted;
    }
  }
  return stages::check(trail, commas > 0, {commas}) &&
         stages::check(trail, counted >= kNeededBytes, {counted, commas});
}

}  // namespace chat
