// How far an input got through its level's checks. Each rule is written as its checks in the
// order it makes them (the levels' stage enums); stage_texts.cpp names each one in both
// languages. Handed a trail, a rule counts the checks passed and keeps what the first failed
// one saw; without one (the game) it only judges.
#pragma once

#include <array>
#include <cstdint>

namespace stages {

// What a check saw, as numbers for its "had against needed" text (stage_texts.cpp).
using Seen = std::array<std::int64_t, 5>;

struct Trail {
  int passed = 0;  // checks passed, in order; the next one is the first that failed
  Seen seen = {};  // what the first failed check saw
};

// One check of a rule: returns ok, and notes it in the trail, if any.
constexpr bool check(Trail* trail, bool ok, const Seen& seen = {}) {
  if (trail != nullptr) {
    if (ok) {
      ++trail->passed;
    } else {
      trail->seen = seen;
    }
  }
  return ok;
}

}  // namespace stages
