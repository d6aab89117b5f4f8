#include "level4_sesame_rule.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using sesame::judge;
using sesame::Verdict;

void put(std::uint8_t* p, std::uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    p[i] = static_cast<std::uint8_t>(v >> shift);
  }
}

Verdict weigh(std::uint32_t size, std::uint32_t h, std::uint32_t a, std::uint32_t b,
              bool bigEndian = true) {
  std::uint8_t head[12];
  put(head, h, bigEndian);
  put(head + 4, a, bigEndian);
  put(head + 8, b, bigEndian);
  return judge(size, head);
}

TEST(SesameRule, SizeMustEqualHPlusTwelveAB) {
  const std::uint8_t sample[12] = {0, 0, 0, 0x10, 0, 0, 0, 0x01, 0, 0, 0x01, 0x54};
  EXPECT_EQ(judge(4096, sample), Verdict::Pass);  // 16 + 1 * 340 * 12
  EXPECT_EQ(weigh(4096, 16, 340, 1), Verdict::Pass);
  EXPECT_EQ(weigh(4096, 17, 1, 340), Verdict::SizeMismatch);
  EXPECT_EQ(weigh(4097, 16, 1, 340), Verdict::SizeMismatch);
  EXPECT_EQ(weigh(1048576, 256, 87360, 1), Verdict::Pass);  // 256 + 87360 * 12
}

TEST(SesameRule, HeaderBounds) {
  // H from 4 to 256 (4 + 12 * 341 = 4096; 256 + 12 * 320 = 4096).
  EXPECT_EQ(weigh(4096, 3, 1, 341), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 4, 1, 341), Verdict::Pass);
  EXPECT_EQ(weigh(4096, 256, 1, 320), Verdict::Pass);
  EXPECT_EQ(weigh(4096, 257, 1, 320), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 0, 1, 341), Verdict::BadHeader);  // H - 4 wraps to a huge value
  // A and B from 1 to the size.
  EXPECT_EQ(weigh(4096, 16, 0, 340), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 340, 0), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 4097, 1), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 1, 4097), Verdict::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 4096, 4096), Verdict::SizeMismatch);
}

TEST(SesameRule, WordsAreBigEndian) {
  EXPECT_EQ(weigh(4096, 16, 1, 340, false), Verdict::BadHeader);
  const std::uint8_t word[4] = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(sesame::bigEndian32(word), 0x12345678u);
}

TEST(SesameRule, ProductWrapsModulo2Pow32) {
  // 12 * 1696 * 633154 = 3 * 2^32 + 1048320, so H = 256 brings it to 1 MiB.
  EXPECT_EQ(sesame::wantedSize(256, 1696, 633154), 1048576u);
  EXPECT_EQ(weigh(1048576, 256, 1696, 633154), Verdict::Pass);
  EXPECT_EQ(weigh(1048576, 256, 633154, 1696), Verdict::Pass);
  EXPECT_EQ(sesame::wantedSize(16, 65536, 65536), 16u);  // 12 * 2^32 wraps to nothing
}

}  // namespace
