// Level 2 (physical examination): only a zero divisor gets through.
#pragma once

#include <cstdint>

#include "stage_trail.h"

namespace exam {

constexpr std::int32_t kStandardClothesWeight = 3;
constexpr std::int32_t kStandardShoeThickness = 2;

enum class Outcome {
  WrongClothes,         // clothes weight is not the standard one
  WrongShoes,           // shoe thickness is not the standard one
  LighterThanClothes,   // weight below 3
  ShorterThanShoes,     // height below 2
  TallerThanTwoMetres,  // height above 200
  HeavierThanATonne,    // weight above 1000
  Pass,                 // height equals the shoe thickness
  Index,                // a body-mass index for the result line
};

struct Verdict {
  Outcome outcome;
  std::int32_t index;  // meaningful for Outcome::Index only
};

// The fields are read as unsigned numbers and then held as signed 32-bit values, so anything
// from 2147483648 up counts as negative.
constexpr std::int32_t asSigned(std::uint32_t fieldValue) {
  return static_cast<std::int32_t>(fieldValue);  // two's complement wrap on every target
}

// The form's four numbers, in the order the dialog reads its fields; the order is part of the
// game. An input of the judge or a fuzz target holds them in this order too, as 32-bit
// little-endian numbers.
struct Form {
  std::int32_t clothesWeight;
  std::int32_t shoeThickness;
  std::int32_t weight;
  std::int32_t height;
};

// The checks, in order (stage_texts.cpp names them); each failing one is the Outcome of the
// same position.
enum Stage {
  kClothes,
  kShoes,
  kWeightLow,
  kHeightLow,
  kHeightHigh,
  kWeightHigh,
  kZeroDivisor,
  kStageCount
};

// The first check that fails decides; the order is part of the game.
constexpr Verdict judge(const Form& form, stages::Trail* trail = nullptr) {
  using stages::check;
  const auto [clothesWeight, shoeThickness, weight, height] = form;
  if (!check(trail, clothesWeight == kStandardClothesWeight, {clothesWeight})) {
    return {Outcome::WrongClothes, 0};
  }
  if (!check(trail, shoeThickness == kStandardShoeThickness, {shoeThickness})) {
    return {Outcome::WrongShoes, 0};
  }
  if (!check(trail, weight >= 3, {weight})) return {Outcome::LighterThanClothes, 0};
  if (!check(trail, height >= 2, {height})) return {Outcome::ShorterThanShoes, 0};
  if (!check(trail, height <= 200, {height})) return {Outcome::TallerThanTwoMetres, 0};
  if (!check(trail, weight <= 1000, {weight})) return {Outcome::HeavierThanATonne, 0};
  if (check(trail, height == 2, {height, ((height - 2) * (height - 2)) / 10000})) {
    return {Outcome::Pass, 0};
  }
  // Here 3 <= height <= 200 and 3 <= weight <= 1000, so nothing overflows. The integer
  // division by 10000 makes the divisor 0 for every height up to 101: the index is then 0.
  const std::int32_t divisor = ((height - 2) * (height - 2)) / 10000;
  return {Outcome::Index, divisor == 0 ? 0 : (weight - 3) / divisor};
}

}  // namespace exam
