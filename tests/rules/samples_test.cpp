// The starter files beside the game and the fuzz seeds, as committed: each is turned away for
// the intended reason, and the documented way to grow a starter wins its level.
#include "samples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "level_table.h"
#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"
#include "level6_dinner_rule.h"

namespace {

using SizeVerdict = fileprobe::Step;
using Bytes = std::vector<std::uint8_t>;

// path: relative to the source tree.
Bytes committed(const std::string& path) {
  std::ifstream in(std::string(TUMBLEWICK_SOURCE_DIR) + "/" + path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t sizeOf(const Bytes& file) { return static_cast<std::uint32_t>(file.size()); }

SizeVerdict sesameSize(const Bytes& file) {
  return fileprobe::judgeSize(sizeOf(file), *levelInfo(4).file);
}
sesame::Verdict sesameRule(const Bytes& file) { return sesame::judge(sizeOf(file), file.data()); }

SizeVerdict dinnerSize(const Bytes& file) {
  return fileprobe::judgeSize(sizeOf(file), *levelInfo(6).file);
}
dinner::Verdict dinnerRule(const Bytes& file) { return dinner::judge(file.data(), file.size()); }

// 01.ZIP with B (bytes 8..11, big-endian) set to b and zeros appended or cut to size bytes.
Bytes sesameWith(std::uint16_t b, std::size_t size) {
  Bytes file = committed("resources/01.ZIP");
  file[10] = static_cast<std::uint8_t>(b >> 8);
  file[11] = static_cast<std::uint8_t>(b);
  file.resize(size, 0);
  return file;
}

TEST(StarterSesame, IsTurnedAwayOnlyForBeingTooSmall) {
  const Bytes small = committed("resources/01.ZIP");
  ASSERT_EQ(small.size(), 28u);
  const Bytes header = {0, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(Bytes(small.begin(), small.begin() + 12), header);
  EXPECT_EQ(sesameSize(small), SizeVerdict::TooSmall);
  EXPECT_EQ(sesameRule(small), sesame::Verdict::Pass) << "the header already fits 28 bytes";
}

TEST(StarterSesame, RaisingBTo340AndPaddingTo4096Passes) {
  const Bytes grown = sesameWith(340, 4096);
  EXPECT_EQ(sesameSize(grown), SizeVerdict::Rule);
  EXPECT_EQ(sesameRule(grown), sesame::Verdict::Pass);
}

TEST(StarterSesame, EitherStepAloneFails) {
  const Bytes padded = sesameWith(1, 4096);
  EXPECT_EQ(sesameSize(padded), SizeVerdict::Rule);
  EXPECT_EQ(sesameRule(padded), sesame::Verdict::SizeMismatch);

  EXPECT_EQ(sesameRule(sesameWith(340, 28)), sesame::Verdict::BadHeader)
      << "B may not exceed the size";

  const Bytes justShort = sesameWith(339, 4084);
  EXPECT_EQ(sesameSize(justShort), SizeVerdict::TooSmall) << "340 is the smallest B that grows";
}

TEST(StarterDinner, IsTurnedAwayOnlyForBeingTooSmall) {
  const Bytes dish = committed("resources/02.ZIP");
  EXPECT_LT(dish.size(), 1024u);
  EXPECT_EQ(dinnerSize(dish), SizeVerdict::TooSmall);
  EXPECT_EQ(dinnerRule(dish), dinner::Verdict::Pass);
  // The stored checksum, as an independent CRC-32 (zlib's) computes it over bytes 4 on.
  EXPECT_EQ(Bytes(dish.begin(), dish.begin() + 4), (Bytes{0xB3, 0x61, 0x76, 0x6F}));
}

TEST(StarterDinner, AppendingTo1024AndRecomputingTheChecksumPasses) {
  Bytes meal = committed("resources/02.ZIP");
  meal.resize(1024, ' ');
  samples::repairCrc(meal.data(), meal.size());
  EXPECT_EQ(dinnerSize(meal), SizeVerdict::Rule);
  EXPECT_EQ(dinnerRule(meal), dinner::Verdict::Pass);
}

TEST(StarterDinner, AppendingWithoutRecomputingFails) {
  Bytes meal = committed("resources/02.ZIP");
  meal.resize(1024, ' ');
  EXPECT_EQ(dinnerSize(meal), SizeVerdict::Rule);
  EXPECT_EQ(dinnerRule(meal), dinner::Verdict::Rejected);
}

// The checksum repair of the fuzz lab's custom mutator: whatever a mutation did, the
// sample passes level 6 afterwards.
TEST(CrcRepair, ReframesAnyMutatedSample) {
  for (const std::size_t size : {4u, 5u, 1024u, 4099u, 65535u}) {
    Bytes sample(size);
    for (std::size_t i = 0; i < size; ++i) sample[i] = static_cast<std::uint8_t>(i * 131 + 7);
    samples::repairCrc(sample.data(), sample.size());
    EXPECT_EQ(dinnerRule(sample), dinner::Verdict::Pass) << size << " bytes";
    sample[size - 1] ^= 0x01;
    EXPECT_EQ(dinnerRule(sample), dinner::Verdict::Rejected) << size << " bytes";
  }
  Bytes tiny = {1, 2, 3};
  samples::repairCrc(tiny.data(), tiny.size());
  EXPECT_EQ(tiny, (Bytes{1, 2, 3})) << "too short to hold a checksum: left alone";
}

// A seed that already passed would make every measured fuzz run meaningless.
TEST(FuzzSeeds, EachLevelTurnsItsSeedAway) {
  EXPECT_EQ(signup::judge(static_cast<int>(committed("fuzz/corpus/level1/name.txt").size())),
            signup::Verdict::Reject);

  const Bytes form = committed("fuzz/corpus/level2/form.bin");
  auto field = [&form](std::size_t i) {
    return exam::asSigned(std::uint32_t{form[i * 4]} | std::uint32_t{form[i * 4 + 1]} << 8 |
                          std::uint32_t{form[i * 4 + 2]} << 16 |
                          std::uint32_t{form[i * 4 + 3]} << 24);
  };
  const exam::Verdict exam = exam::judge(field(0), field(1), field(2), field(3));
  EXPECT_EQ(exam.outcome, exam::Outcome::Index);
  EXPECT_EQ(exam.index, 28) << "height 170, weight 60";

  const Bytes picture = committed("fuzz/corpus/level3/photo.bmp");
  EXPECT_EQ(fileprobe::judgeSize(sizeOf(picture), *levelInfo(3).file), SizeVerdict::Rule);
  EXPECT_EQ(photo::judge(sizeOf(picture), picture.data()), photo::Verdict::Failed)
      << "an honest BMP: its header tells its true size";

  EXPECT_EQ(sesameSize(committed("fuzz/corpus/level4/01.ZIP")), SizeVerdict::TooSmall);
  EXPECT_EQ(dinnerSize(committed("fuzz/corpus/level6/02.ZIP")), SizeVerdict::TooSmall);
}

TEST(FuzzSeeds, GreetingIsTheDialogsInCodePage936) {
  const Bytes greeting = committed("fuzz/corpus/level5/greeting.txt");
  const std::string text(greeting.begin(), greeting.end());
  ASSERT_EQ(text.size(), 72u);
  EXPECT_EQ(text.find(','), 10u);
  EXPECT_EQ(text.find(',', 11), std::string::npos);
  EXPECT_EQ(text.substr(0, 4), "\xC4\xFA\xBA\xC3") << "您好";
  EXPECT_NE(text.find("\"cc\".\r\n"), std::string::npos);
  EXPECT_FALSE(chat::passes(text.data(), text.size()));
  EXPECT_TRUE(chat::passes((text + std::string(195, 'a')).c_str(), text.size() + 195))
      << "61 counted bytes plus 195";
}

}  // namespace
