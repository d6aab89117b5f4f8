// The size checks that the file levels 3, 4 and 6 share.
#pragma once

#include <cstdint>

namespace fileprobe {

enum class SizeVerdict { Empty, TooSmall, TooLarge, Accepted };

// lowSize: the low 32 bits of the file size. They are compared as a signed value, so a
// file whose low bits reach 2^31 counts as negative and is too small.
constexpr SizeVerdict judgeSize(std::uint32_t lowSize, std::int32_t minimum, std::int32_t maximum) {
  const auto size = static_cast<std::int32_t>(lowSize);  // two's complement wrap on every target
  if (size == 0) return SizeVerdict::Empty;
  if (size < minimum) return SizeVerdict::TooSmall;
  if (size > maximum) return SizeVerdict::TooLarge;
  return SizeVerdict::Accepted;
}

}  // namespace fileprobe
