// Every boundary of the level rules, natively, and the order of their checks; judge_test holds
// each verdict of every level, level 1's bound and the file levels' size bounds, through the
// judge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "level2_exam_rule.h"
#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"
#include "level6_dinner_rule.h"
#include "input_verdict.h"
#include "level_table.h"
#include "stage_texts.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
Bytes word(std::uint32_t v, bool bigEndian) {
  Bytes b(4);
  for (int i = 0; i < 4; ++i)
    b[static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (bigEndian ? 24 - 8 * i : 8 * i));
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Rules, ExamChecksInOrderAndOnlyAZeroDivisorPasses) {
  using O = exam::Outcome;
  const struct {
    std::int32_t clothes, shoes, weight, height;
    O outcome;
    std::int32_t index;
  } rows[] = {
      // clang-format off
      {4, 1, 0, 0, O::WrongClothes, 0},           {3, 1, 0, 0, O::WrongShoes, 0},
      {3, 2, 2, 1, O::LighterThanClothes, 0},     {3, 2, -1, 170, O::LighterThanClothes, 0},
      {3, 2, 3, 1, O::ShorterThanShoes, 0},       {3, 2, 1001, INT32_MIN, O::ShorterThanShoes, 0},
      {3, 2, 1001, 201, O::TallerThanTwoMetres, 0}, {3, 2, 1001, 200, O::HeavierThanATonne, 0},
      {3, 2, 3, 2, O::Pass, 0},        {3, 2, 1000, 2, O::Pass, 0},    {3, 2, 50, 101, O::Index, 0},
      {3, 2, 50, 102, O::Index, 47},   {3, 2, 60, 170, O::Index, 28},
      {3, 2, 1000, 143, O::Index, 997}, {3, 2, 1000, 144, O::Index, 498},
      {3, 2, 1000, 175, O::Index, 498}, {3, 2, 1000, 176, O::Index, 332},
      {3, 2, 1000, 200, O::Index, 332},
  };  // clang-format on
  for (const auto& r : rows) {
    const exam::Verdict v = exam::judge({r.clothes, r.shoes, r.weight, r.height});
    EXPECT_EQ(v.outcome, r.outcome)
        << r.clothes << " " << r.shoes << " " << r.weight << " " << r.height;
    EXPECT_EQ(v.index, r.index) << r.weight << " " << r.height;
  }
}

TEST(Rules, PhotoHeaderMustOverstateTheRealSizeByMoreThan256) {
  using V = photo::Verdict;
  auto judge = [](std::uint32_t size, const std::string& magic, const Bytes& declared) {
    return photo::judge(size, (Bytes(magic.begin(), magic.end()) + declared).data());
  };
  EXPECT_EQ(judge(1024, "BM", word(1280, false)), V::Failed);
  EXPECT_EQ(judge(262144, "BM", word(0xFFFFFFFFu, false)), V::Pass);  // unsigned
  EXPECT_EQ(judge(1024, "BM", {0, 0, 0, 1}), V::Pass);                // little-endian
  EXPECT_EQ(judge(1024, "bm", word(1281, false)), V::NotBmp);
  EXPECT_EQ(judge(1024, "MB", word(1281, false)), V::NotBmp);
}

TEST(Rules, SesameSizeIsHPlusTwelveABWrappingModulo2Pow32) {
  using V = sesame::Verdict;
  auto weigh = [](std::uint32_t size, std::uint32_t h, std::uint32_t a, std::uint32_t b,
                  bool big = true) {
    return sesame::judge(size, (word(h, big) + word(a, big) + word(b, big)).data());
  };
  EXPECT_EQ(weigh(4096, 16, 1, 340, false), V::BadHeader);
  EXPECT_EQ(weigh(4096, 4, 1, 341), V::Pass);
  EXPECT_EQ(weigh(4096, 256, 1, 320), V::Pass);
  EXPECT_EQ(weigh(4096, 257, 1, 320), V::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 0, 340), V::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 1, 4097), V::BadHeader);
  EXPECT_EQ(weigh(4096, 16, 4096, 4096), V::SizeMismatch);
  // 12 * 1696 * 633154 = 3 * 2^32 + 1048320: the product wraps.
  EXPECT_EQ(weigh(1048576, 256, 1696, 633154), V::Pass);
}

TEST(Rules, ChatCountsBytesAfterOddCommasUpTo256) {
  auto passes = [](const std::string& m) { return chat::passes(m.data(), m.size()); };
  const std::string a128(128, 'a'), a127(127, 'a');
  EXPECT_FALSE(passes("," + a128 + a127));
  EXPECT_TRUE(passes("," + a128 + ",," + a128));                      // the stretches add up
  EXPECT_FALSE(passes("," + a128 + "," + a128 + a128 + "," + a127));  // the 2nd does not count
}

TEST(Rules, DinnerNeedsTheCrc32OfTheBodyLittleEndianInFront) {
  const std::string check = "123456789";
  EXPECT_EQ(dinner::crc32(reinterpret_cast<const std::uint8_t*>(check.data()), 9), 0xCBF43926u);
  const Bytes body(1020, 0);
  const std::uint32_t crc = dinner::crc32(body.data(), body.size());
  EXPECT_EQ(dinner::judge((word(crc, false) + body).data(), 1024), dinner::Verdict::Pass);
  EXPECT_EQ(dinner::judge((word(crc, true) + body).data(), 1024), dinner::Verdict::Rejected);
}

// Each level's checks in their order: an input just past each boundary passes every check
// before it and fails its own; only one that passes them all passes the level.
TEST(Stages, EachBoundaryFailsItsOwnCheck) {
  auto le = [](std::uint32_t v) { return word(v, false); };
  auto be = [](std::uint32_t v) { return word(v, true); };
  auto sized = [](std::size_t size, Bytes head = {}) { return head.resize(size), head; };
  auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
  Bytes framed = sized(1024);
  dinner::frame(framed.data(), framed.size());
  const std::string x256(256, 'x');
  // clang-format off
  const struct { int level; Bytes input; int passed; } rows[] = {
      {1, text(x256), 0}, {1, text(x256 + "x"), 1},
      {2, le(4) + le(2) + le(3) + le(2), 0}, {2, le(3) + le(1) + le(3) + le(2), 1},
      {2, le(3) + le(2) + le(2) + le(2), 2}, {2, le(3) + le(2) + le(3) + le(1), 3},
      {2, le(3) + le(2) + le(3) + le(201), 4}, {2, le(3) + le(2) + le(1001) + le(200), 5},
      {2, le(3) + le(2) + le(1000) + le(3), 6}, {2, le(3) + le(2) + le(1000) + le(2), 7},
      {3, {}, 0}, {3, sized(1023), 1}, {3, sized(262145), 2}, {3, sized(1024, text("Bm")), 3},
      {3, sized(1024, text("BM") + le(1280)), 4}, {3, sized(1024, text("BM") + le(1281)), 5},
      {4, sized(4095), 1}, {4, sized(1048577), 2}, {4, sized(4096, be(3)), 3},
      {4, sized(4096, be(256) + be(4097)), 4}, {4, sized(4096, be(4) + be(1) + be(0)), 5},
      {4, sized(4096, be(16) + be(1) + be(339)), 6}, {4, sized(4096, be(16) + be(1) + be(340)), 7},
      {5, text(x256 + x256), 0}, {5, text(",,," + x256.substr(1)), 1}, {5, text(",," + x256), 1},
      {5, text("," + x256), 2}, {6, sized(65536), 2}, {6, sized(1024), 3}, {6, framed, 4},
  };  // clang-format on
  for (const auto& r : rows) {
    stages::Trail trail;
    const bool passed =
        inputverdict::judgeBytes(r.level, r.input.data(), r.input.size(), &trail).passed();
    EXPECT_EQ(trail.passed, r.passed) << "level " << r.level << ", " << r.input.size() << " bytes";
    EXPECT_EQ(passed, r.passed == stages::count(r.level)) << "level " << r.level;
  }
}

}  // namespace
