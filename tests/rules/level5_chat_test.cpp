#include "level5_chat_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool passes(const std::string& text) { return chat::passes(text.data(), text.size()); }

// The pre-filled greeting as the game holds it, in code page 936 (this test is compiled as
// UTF-8): one ASCII comma after its first five characters, 61 bytes after it.
const unsigned char kGreeting[] = {
    0xc4, 0xfa, 0xba, 0xc3, 0xd0, 0xa1, 0xb9, 0xc3, 0xc4, 0xef, 0x2c, 0xce, 0xd2, 0xbd, 0xf1,
    0xc4, 0xea, 0x31, 0x38, 0xcb, 0xea, 0xc1, 0xcb, 0xa1, 0xa3, 0x0d, 0x0a, 0xce, 0xd2, 0xb5,
    0xc4, 0xc3, 0xfb, 0xd7, 0xd6, 0xbd, 0xd0, 0x22, 0x63, 0x63, 0x22, 0x2e, 0x0d, 0x0a, 0xba,
    0xdc, 0xb8, 0xdf, 0xd0, 0xcb, 0xc8, 0xcf, 0xca, 0xb6, 0xc4, 0xe3, 0xa3, 0xac, 0xce, 0xd2,
    0xc3, 0xc7, 0xd7, 0xf6, 0xc5, 0xf3, 0xd3, 0xd1, 0xb0, 0xc9, 0xa1, 0xa3};

const std::string greeting(reinterpret_cast<const char*>(kGreeting), sizeof kGreeting);

TEST(ChatRule, GreetingNeeds195MoreBytes) {
  ASSERT_EQ(greeting.size(), 72u);
  ASSERT_EQ(greeting.find(','), 10u);
  ASSERT_EQ(greeting.rfind(','), 10u);  // the full-width comma holds no 0x2C byte
  EXPECT_FALSE(passes(greeting));
  EXPECT_FALSE(passes(greeting + std::string(194, 'a')));
  EXPECT_TRUE(passes(greeting + std::string(195, 'a')));
  EXPECT_TRUE(passes(greeting + std::string(4095 - 72, 'a')));  // the most the field yields
}

TEST(ChatRule, OnlyBytesAfterAnOddCommaCount) {
  const std::string letters(256, 'x');
  EXPECT_FALSE(passes(letters));
  EXPECT_TRUE(passes("," + letters));
  EXPECT_FALSE(passes("," + std::string(255, 'x')));
  EXPECT_FALSE(passes(",," + letters));
  EXPECT_TRUE(passes(",," + letters.substr(0, 10) + "," + letters));
  EXPECT_FALSE(passes(""));
}

TEST(ChatRule, CountRunsOnAcrossStretches) {
  const std::string half(128, 'x');
  EXPECT_TRUE(passes("," + half + ",," + half));
  EXPECT_FALSE(passes("," + half + ",," + half.substr(1)));
  // Of ",abc,abc,abc" the first and last group count, 6 bytes; the text ends inside.
  EXPECT_FALSE(passes(",abc,abc,abc" + std::string(249, 'x')));
  EXPECT_TRUE(passes(",abc,abc,abc" + std::string(250, 'x')));
}

TEST(ChatRule, LineBreaksCountTwoBytes) {
  std::string text = "," + std::string(254, 'x');
  EXPECT_FALSE(passes(text));
  EXPECT_TRUE(passes(text + "\r\n"));
  EXPECT_FALSE(passes(text + "\r,\n"));
}

TEST(ChatRule, StopsAtTheGivenLength) {
  const std::string text = "," + std::string(300, 'x');
  EXPECT_TRUE(chat::passes(text.data(), 257));
  EXPECT_FALSE(chat::passes(text.data(), 256));
}

}  // namespace
