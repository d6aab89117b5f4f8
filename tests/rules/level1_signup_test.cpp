#include "level1_signup_rule.h"

#include <gtest/gtest.h>

namespace {

using signup::judge;
using signup::Verdict;

TEST(SignupRule, NeedsMoreThan256Bytes) {
  EXPECT_EQ(judge(0), Verdict::Reject);
  EXPECT_EQ(judge(256), Verdict::Reject);
  EXPECT_EQ(judge(257), Verdict::Pass);
  // The field is read into 512 bytes, so the longest name that can arrive is 511 bytes.
  EXPECT_EQ(judge(signup::kNameBufferSize - 1), Verdict::Pass);
}

TEST(SignupRule, CountsBytesOfTheGbkText) {
  // Each Chinese character is two bytes in code page 936.
  EXPECT_EQ(judge(128 * 2), Verdict::Reject);
  EXPECT_EQ(judge(129 * 2), Verdict::Pass);
}

}  // namespace
