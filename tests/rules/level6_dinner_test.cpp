#include "level6_dinner_rule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using dinner::Verdict;

Verdict judge(const std::vector<std::uint8_t>& file) {
  return dinner::judge(file.data(), file.size());
}

// A sample of the given size with a patterned body and its CRC stored little-endian.
std::vector<std::uint8_t> sample(std::size_t size) {
  std::vector<std::uint8_t> file(size);
  for (std::size_t i = 4; i < size; ++i) file[i] = static_cast<std::uint8_t>(i * 7);
  const std::uint32_t crc = dinner::crc32(file.data() + 4, size - 4);
  for (int i = 0; i < 4; ++i)
    file[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
  return file;
}

TEST(DinnerRule, StandardCrc32) {
  const char check[] = "123456789";
  EXPECT_EQ(dinner::crc32(reinterpret_cast<const std::uint8_t*>(check), 9), 0xCBF43926u);
  EXPECT_EQ(dinner::crc32(nullptr, 0), 0u);
  EXPECT_EQ(dinner::kCrcTable[1], 0x77073096u);
  EXPECT_EQ(dinner::kCrcTable[255], 0x2D02EF8Du);
}

TEST(DinnerRule, ZeroBodyWithLittleEndianChecksumPasses) {
  std::vector<std::uint8_t> file(1024);
  const std::uint32_t crc = dinner::crc32(file.data() + 4, 1020);
  for (int i = 0; i < 4; ++i)
    file[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
  ASSERT_EQ(file[4], 0);
  EXPECT_EQ(judge(file), Verdict::Pass);
  std::swap(file[0], file[3]);
  std::swap(file[1], file[2]);
  EXPECT_EQ(judge(file), Verdict::Rejected);  // the same value stored big-endian
}

TEST(DinnerRule, EveryBodyByteIsCovered) {
  for (std::size_t at : {std::size_t{4}, std::size_t{500}, std::size_t{1023}}) {
    std::vector<std::uint8_t> file = sample(1024);
    ASSERT_EQ(judge(file), Verdict::Pass);
    file[at] ^= 0x01;
    EXPECT_EQ(judge(file), Verdict::Rejected) << "byte " << at;
  }
}

TEST(DinnerRule, LargestSample) {
  std::vector<std::uint8_t> file = sample(65535);
  EXPECT_EQ(judge(file), Verdict::Pass);
  file[65534] ^= 0x80;
  EXPECT_EQ(judge(file), Verdict::Rejected);
}

}  // namespace
