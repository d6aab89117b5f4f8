#include "file_size_rule.h"

#include <gtest/gtest.h>

#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level6_dinner_rule.h"

namespace {

using fileprobe::judgeSize;
using fileprobe::SizeVerdict;

// Each file level's limits: one byte outside either end is refused, the ends themselves not.
void expectLimits(std::int32_t minimum, std::int32_t maximum) {
  const auto lo = static_cast<std::uint32_t>(minimum);
  const auto hi = static_cast<std::uint32_t>(maximum);
  EXPECT_EQ(judgeSize(lo - 1, minimum, maximum), SizeVerdict::TooSmall);
  EXPECT_EQ(judgeSize(lo, minimum, maximum), SizeVerdict::Accepted);
  EXPECT_EQ(judgeSize(hi, minimum, maximum), SizeVerdict::Accepted);
  EXPECT_EQ(judgeSize(hi + 1, minimum, maximum), SizeVerdict::TooLarge);
}

TEST(FileSizeRule, EachLevelsLimitsAreInclusive) {
  expectLimits(photo::kMinSize, photo::kMaxSize);    // 1024 .. 262144
  expectLimits(sesame::kMinSize, sesame::kMaxSize);  // 4096 .. 1048576
  expectLimits(dinner::kMinSize, dinner::kMaxSize);  // 1024 .. 65535
  EXPECT_EQ(photo::kMaxSize, 262144);
  EXPECT_EQ(sesame::kMinSize, 4096);
  EXPECT_EQ(sesame::kMaxSize, 1048576);
  EXPECT_EQ(dinner::kMaxSize, 65535);
  EXPECT_EQ(judgeSize(65536, dinner::kMinSize, dinner::kMaxSize), SizeVerdict::TooLarge);
}

TEST(FileSizeRule, EmptyIsNeverTooSmall) {
  EXPECT_EQ(judgeSize(0, 1024, 65535), SizeVerdict::Empty);
  EXPECT_EQ(judgeSize(1, 1024, 65535), SizeVerdict::TooSmall);
}

TEST(FileSizeRule, LowBitsFrom2Pow31CountAsNegative) {
  EXPECT_EQ(judgeSize(0x7FFFFFFFu, 1024, 65535), SizeVerdict::TooLarge);
  EXPECT_EQ(judgeSize(0x80000000u, 1024, 65535), SizeVerdict::TooSmall);
  EXPECT_EQ(judgeSize(0xFFFFFFFFu, 1024, 65535), SizeVerdict::TooSmall);  // also a failed size
}

}  // namespace
