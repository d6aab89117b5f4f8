#include "level3_photo_rule.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using photo::judge;
using photo::Verdict;

Verdict bmp(std::uint32_t size, std::uint32_t declared, std::uint8_t b = 'B',
            std::uint8_t m = 'M') {
  const std::uint8_t head[6] = {b,
                                m,
                                static_cast<std::uint8_t>(declared),
                                static_cast<std::uint8_t>(declared >> 8),
                                static_cast<std::uint8_t>(declared >> 16),
                                static_cast<std::uint8_t>(declared >> 24)};
  return judge(size, head);
}

TEST(PhotoRule, DeclaredSizeMustExceedTheRealOneByMoreThan256) {
  EXPECT_EQ(bmp(1024, 1281), Verdict::Pass);
  EXPECT_EQ(bmp(1024, 1280), Verdict::Failed);
  EXPECT_EQ(bmp(1024, 1024), Verdict::Failed);  // an honest picture
  EXPECT_EQ(bmp(262144, 262401), Verdict::Pass);
  EXPECT_EQ(bmp(262144, 262400), Verdict::Failed);
}

TEST(PhotoRule, DeclaredSizeIsUnsignedLittleEndian) {
  EXPECT_EQ(bmp(1024, 0xFFFFFFFFu), Verdict::Pass);
  EXPECT_EQ(bmp(262144, 0xFFFFFFFFu), Verdict::Pass);
  const std::uint8_t le1280[6] = {'B', 'M', 0x00, 0x05, 0x00, 0x00};  // big-endian: 327680
  EXPECT_EQ(judge(1024, le1280), Verdict::Failed);
  const std::uint8_t le1281[6] = {'B', 'M', 0x01, 0x05, 0x00, 0x00};
  EXPECT_EQ(judge(1024, le1281), Verdict::Pass);
}

TEST(PhotoRule, OnlyUpperCaseBmIsAPicture) {
  EXPECT_EQ(bmp(1024, 0xFFFFFFFFu, 'b', 'm'), Verdict::NotBmp);
  EXPECT_EQ(bmp(1024, 0xFFFFFFFFu, 'B', 'm'), Verdict::NotBmp);
  EXPECT_EQ(bmp(1024, 0xFFFFFFFFu, 'M', 'B'), Verdict::NotBmp);
  EXPECT_EQ(bmp(1024, 1024, 0, 0), Verdict::NotBmp);
}

}  // namespace
