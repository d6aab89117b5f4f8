// Level 5 (message to the girl): enough bytes inside comma-delimited stretches get through.
#pragma once

#include <cstddef>

namespace chat {

// The message is read into this many bytes, so at most 4095 bytes of text arrive.
constexpr int kMessageBufferSize = 4096;
constexpr int kNeededBytes = 256;

// The stretches after the 1st, 3rd, 5th... ASCII comma count, each up to the next comma;
// the count runs on across stretches. No byte of a two-byte GBK character is 0x2C.
constexpr bool passes(const char* text, std::size_t length) {
  bool inside = false;
  int counted = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == ',') {
      inside = !inside;
    } else if (inside && ++counted >= kNeededBytes) {
      return true;
    }
  }
  return false;
}

}  // namespace chat
