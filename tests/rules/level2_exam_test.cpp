#include "level2_exam_rule.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using exam::judge;
using exam::Outcome;

Outcome outcome(std::int32_t clothes, std::int32_t shoes, std::int32_t weight,
                std::int32_t height) {
  return judge(clothes, shoes, weight, height).outcome;
}

std::int32_t index(std::int32_t weight, std::int32_t height) {
  const exam::Verdict v = judge(3, 2, weight, height);
  EXPECT_EQ(v.outcome, Outcome::Index) << "weight " << weight << " height " << height;
  return v.index;
}

TEST(ExamRule, FirstFailingCaseDecidesInTheGameOrder) {
  EXPECT_EQ(outcome(0, 0, 0, 0), Outcome::WrongClothes);  // wrong shoes too, clothes first
  EXPECT_EQ(outcome(3, 0, 0, 0), Outcome::WrongShoes);
  EXPECT_EQ(outcome(3, 2, 0, 0), Outcome::LighterThanClothes);  // an empty weight reads 0
  EXPECT_EQ(outcome(3, 2, 3, 1), Outcome::ShorterThanShoes);
  EXPECT_EQ(outcome(3, 2, 2000, 201), Outcome::TallerThanTwoMetres);  // height before weight
  EXPECT_EQ(outcome(3, 2, 1001, 170), Outcome::HeavierThanATonne);
}

TEST(ExamRule, BoundariesOfTheAcceptedRanges) {
  EXPECT_EQ(outcome(3, 2, 2, 170), Outcome::LighterThanClothes);
  EXPECT_EQ(outcome(3, 2, 3, 170), Outcome::Index);
  EXPECT_EQ(outcome(3, 2, 1000, 170), Outcome::Index);
  EXPECT_EQ(outcome(3, 2, 1001, 170), Outcome::HeavierThanATonne);
  EXPECT_EQ(outcome(3, 2, 60, 200), Outcome::Index);
  EXPECT_EQ(outcome(3, 2, 60, 201), Outcome::TallerThanTwoMetres);
  EXPECT_EQ(outcome(3, 2, 60, 3), Outcome::Index);
}

TEST(ExamRule, OnlyHeightEqualToTheShoesPasses) {
  EXPECT_EQ(outcome(3, 2, 3, 2), Outcome::Pass);
  EXPECT_EQ(outcome(3, 2, 1000, 2), Outcome::Pass);
  EXPECT_EQ(outcome(3, 2, 1001, 2), Outcome::HeavierThanATonne);
  EXPECT_EQ(outcome(4, 2, 60, 2), Outcome::WrongClothes);
}

TEST(ExamRule, IndexUsesTruncatingIntegerArithmetic) {
  EXPECT_EQ(index(60, 170), 28);  // divisor 28224 / 10000 = 2
  EXPECT_EQ(index(50, 101), 0);   // divisor 0: reported as index 0, never a pass
  EXPECT_EQ(index(50, 102), 47);  // divisor 1
  // Divisor bands: 0 up to 101, 1 for 102..143, 2 for 144..175, 3 for 176..200.
  EXPECT_EQ(index(1000, 3), 0);
  EXPECT_EQ(index(1000, 143), 997);
  EXPECT_EQ(index(1000, 144), 498);
  EXPECT_EQ(index(1000, 175), 498);
  EXPECT_EQ(index(1000, 176), 332);
  EXPECT_EQ(index(1000, 200), 332);
}

TEST(ExamRule, FieldValuesAbove2147483647ReadAsNegative) {
  EXPECT_EQ(exam::asSigned(2147483647u), 2147483647);
  EXPECT_EQ(exam::asSigned(2147483648u), INT32_MIN);
  EXPECT_EQ(exam::asSigned(4294967295u), -1);
  EXPECT_EQ(outcome(3, 2, 60, exam::asSigned(4294967295u)), Outcome::ShorterThanShoes);
  EXPECT_EQ(outcome(3, 2, exam::asSigned(2147483648u), 170), Outcome::LighterThanClothes);
  // A clothes weight of 2^32 + 3 cannot be typed: the field reads numbers up to 4294967295.
  EXPECT_EQ(outcome(exam::asSigned(4294967295u), 2, 60, 2), Outcome::WrongClothes);
}

}  // namespace
