// The console judge against the verdict mapping: for an input of every verdict of every level,
// each file level's size bounds among them, it prints in both languages exactly the lines
// that verdict_display.h gives and exits 0 on a pass, 1 otherwise; its batch mode answers
// the same inputs alike, and a broken frame ends it with 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "byte_order.h"
#include "level6_dinner_rule.h"
#include "verdict_display.h"

namespace {

using display::Text;
struct Case {
  int level;
  std::string bytes;
  display::Verdict verdict;
  std::uint64_t size = 0;  // beyond the bytes, a hole in the file
};

std::string word(std::uint32_t v) {
  std::string b(4, '\0');
  byteorder::putLittleEndian32(reinterpret_cast<std::uint8_t*>(b.data()), v);
  return b;
}
std::string zeros(std::size_t size, const std::string& head = {}) {
  return head + std::string(size - head.size(), '\0');
}
std::string form(std::uint32_t clothes, std::uint32_t shoes, std::uint32_t weight,
                 std::uint32_t height) {
  return word(clothes) + word(shoes) + word(weight) + word(height);
}

// Level 4's big-endian header H, A = 1, B = 340: the size H + 4080 passes.
std::string sesame(char h) {
  return std::string("\0\0\0", 3) + h + std::string("\0\0\0\x01\0\0\x01\x54", 8);
}

std::vector<Case> cases() {
  const std::string x256(256, 'x');
  std::string framed = zeros(1024);
  dinner::frame(reinterpret_cast<std::uint8_t*>(framed.data()), framed.size());
  std::vector<Case> all = {
      // clang-format off
      {1, "", {Text::Rejection}}, {1, x256, {Text::Rejection}}, {1, x256 + "x", {Text::Pass}},
      {1, x256 + '\0' + x256, {Text::Rejection}},
      {2, "", {Text::Rejection, 0}}, {2, form(3, 1, 60, 170), {Text::Rejection, 1}},
      {2, form(3, 2, 2, 170), {Text::Rejection, 2}}, {2, form(3, 2, 60, 0x80000000u), {Text::Rejection, 3}},
      {2, form(3, 2, 60, 201), {Text::Rejection, 4}}, {2, form(3, 2, 1001, 170), {Text::Rejection, 5}},
      {2, form(3, 2, 60, 170), {Text::Index, 0, 28}}, {2, form(3, 2, 60, 2) + "more", {Text::Pass}},
      {5, x256 + x256, {Text::Rejection}}, {5, "," + x256, {Text::Pass}},
      {3, zeros(1024, "BM" + word(1281)), {Text::Pass}}, {3, zeros(8192, "BM" + word(4353)), {Text::Rejection, 1}},
      {4, zeros(4096, sesame(16)), {Text::Pass}}, {4, zeros(4096, sesame(17)), {Text::Rejection, 1}},
      {6, framed, {Text::Pass}},
  };  // clang-format on
  const struct {
    int level;
    std::uint32_t min, max;
  } files[] = {{3, 1024, 262144}, {4, 4096, 1048576}, {6, 1024, 65535}};
  for (const auto& f : files) {
    all.insert(all.end(), {{f.level, "", {Text::Empty}},
                           {f.level, zeros(f.min - 1), {Text::TooSmall}},
                           {f.level, zeros(f.min), {Text::Rejection, 0}},
                           {f.level, zeros(f.max), {Text::Rejection, 0}},
                           {f.level, zeros(f.max + 1), {Text::TooLarge}},
                           // the size's low 32 bits, read as a signed number
                           {f.level, "", {Text::TooSmall}, 0x80000000u + f.min},
                           {f.level, "", {Text::Rejection, 0}, 0x100000000u + f.min}});
  }
  return all;
}

std::string saved(const std::string& name, const std::string& bytes, std::uint64_t size = 0) {
  std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << bytes;
  if (size != 0) std::filesystem::resize_file(path, size);
  return path;
}
std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
// The judge's standard output; its exit code goes to `status`, its standard error to judge.err.
std::string judge(const std::string& args, const std::string& input, int& status,
                  const std::string& locale = {}) {
  const std::string out = testing::TempDir() + "judge.";
  status = WEXITSTATUS(std::system(
      (locale + TUMBLEWICK_JUDGE " " + args + " <" + input + " >" + out + "out 2>" + out + "err")
          .c_str()));
  return contents(out + "out");
}

TEST(Judge, SaysWhatTheMappingShowsInBothLanguages) {
  for (const Case& c : cases()) {
    std::string args = std::to_string(c.level);
    args += " " + saved("input.bin", c.bytes, c.size);
    for (const Language language : {Language::Chinese, Language::English}) {
      const display::Shown shown =
          display::shown(c.level, levelInfo(c.level).texts(language), c.verdict);
      std::string want;
      for (int i = 0; i < shown.count; ++i) {
        std::string text = shown.lines[i].text;
        if (c.verdict.text == Text::Index)
          text.replace(text.find("%d"), 2, std::to_string(c.verdict.index));
        std::erase(text, '\r');
        want += (shown.lines[i].channel == display::Channel::Notice ? "notice: " : "result: ") +
                text + "\n";
      }
      const std::string locale =
          language == Language::Chinese ? "LC_ALL=zh_CN.UTF-8 " : "LC_ALL=C ";
      int status = 0;
      EXPECT_EQ(judge(args, "/dev/null", status, locale), want) << args;
      EXPECT_EQ(status, c.verdict.passed() ? 0 : 1) << args;
    }
  }
}

// All inputs of a level in one stream, then one that breaks off in its length or its body.
TEST(Judge, BatchAnswersAsOneInputModeUntilABrokenFrame) {
  for (int level = 1; level <= kLevelCount; ++level) {
    std::string frames, want;
    for (const Case& c : cases()) {
      if (c.level != level || c.size != 0) continue;
      frames += word(static_cast<std::uint32_t>(c.bytes.size())) + c.bytes;
      want += c.verdict.passed() ? '\0' : '\1';
    }
    int status = 0;
    EXPECT_EQ(judge(std::to_string(level) + " --batch", saved("frames", frames), status), want)
        << level;
    EXPECT_EQ(status, 0) << level;
    for (const std::string& broken : {word(5).substr(0, 3), word(5) + "abcd"}) {
      EXPECT_EQ(judge(std::to_string(level) + " --batch", saved("frames", frames + broken), status),
                want);
      EXPECT_EQ(status, 2) << level;
      EXPECT_NE(contents(testing::TempDir() + "judge.err").find("is broken"), std::string::npos);
    }
  }
}

}  // namespace
