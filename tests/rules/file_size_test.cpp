#include "level_table.h"

#include <gtest/gtest.h>

namespace {

using SizeVerdict = fileprobe::Step;

SizeVerdict judgeSize(std::uint32_t size, std::int32_t minimum, std::int32_t maximum) {
  const FileCheck check = {minimum, maximum, 0, nullptr, nullptr};
  return fileprobe::judgeSize(size, check);
}
const FileCheck& photoCheck = *levelInfo(3).file;
const FileCheck& sesameCheck = *levelInfo(4).file;
const FileCheck& dinnerCheck = *levelInfo(6).file;

// Each file level's limits: one byte outside either end is refused, the ends themselves not.
void expectLimits(std::int32_t minimum, std::int32_t maximum) {
  const auto lo = static_cast<std::uint32_t>(minimum);
  const auto hi = static_cast<std::uint32_t>(maximum);
  EXPECT_EQ(judgeSize(lo - 1, minimum, maximum), SizeVerdict::TooSmall);
  EXPECT_EQ(judgeSize(lo, minimum, maximum), SizeVerdict::Rule);
  EXPECT_EQ(judgeSize(hi, minimum, maximum), SizeVerdict::Rule);
  EXPECT_EQ(judgeSize(hi + 1, minimum, maximum), SizeVerdict::TooLarge);
}

TEST(FileSizeRule, EachLevelsLimitsAreInclusive) {
  expectLimits(photoCheck.minSize, photoCheck.maxSize);    // 1024 .. 262144
  expectLimits(sesameCheck.minSize, sesameCheck.maxSize);  // 4096 .. 1048576
  expectLimits(dinnerCheck.minSize, dinnerCheck.maxSize);  // 1024 .. 65535
  EXPECT_EQ(photoCheck.maxSize, 262144);
  EXPECT_EQ(sesameCheck.minSize, 4096);
  EXPECT_EQ(sesameCheck.maxSize, 1048576);
  EXPECT_EQ(dinnerCheck.maxSize, 65535);
  EXPECT_EQ(judgeSize(65536, dinnerCheck.minSize, dinnerCheck.maxSize), SizeVerdict::TooLarge);
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
