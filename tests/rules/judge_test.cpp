// The console judge as a player runs it: for an input of every verdict of every level, in both
// languages, it prints what verdict_display.h shows; batch mode answers alike; exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

std::string word(std::uint32_t v) {  // little-endian
  return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)};
}
std::string zeros(std::size_t size, const std::string& head = {}) {
  return head + std::string(size - head.size(), '\0');
}
std::string form(std::uint32_t weight, std::uint32_t height, std::uint32_t shoes = 2) {
  return word(3) + word(shoes) + word(weight) + word(height);
}
// Level 4's big-endian header H, A = 1, B = 340: the size H + 4080 passes.
std::string sesame(char h) { return std::string(3, '\0') + h + std::string("\0\0\0\1\0\0\1T", 8); }

std::vector<Case> cases() {
  const std::string x256(256, 'x');
  std::string framed = zeros(1024);
  dinner::frame(reinterpret_cast<std::uint8_t*>(framed.data()), framed.size());
  std::vector<Case> all = {
      // clang-format off
      {1, "", {Text::Rejection}}, {1, x256, {Text::Rejection}}, {1, x256 + "x", {Text::Pass}},
      {1, x256 + '\0' + x256, {Text::Rejection}}, {2, "", {Text::Rejection, 0}},
      {2, form(60, 170, 1), {Text::Rejection, 1}}, {2, form(2, 170), {Text::Rejection, 2}},
      {2, form(60, 0x80000000u), {Text::Rejection, 3}}, {2, form(60, 201), {Text::Rejection, 4}},
      {2, form(1001, 170), {Text::Rejection, 5}}, {2, form(60, 170), {Text::Index, 0, 28}},
      {2, form(60, 2) + "more", {Text::Pass}}, {5, x256 + x256, {Text::Rejection}},
      {5, "," + x256, {Text::Pass}}, {3, zeros(1024, "BM" + word(1281)), {Text::Pass}},
      {3, zeros(8192, "BM" + word(4353)), {Text::Rejection, 1}}, {4, zeros(4096, sesame(16)), {Text::Pass}},
      {4, zeros(4096, sesame(17)), {Text::Rejection, 1}}, {6, framed, {Text::Pass}},
  };
  for (const auto& [level, min, max] : {std::tuple{3, 1024u, 262144u}, {4, 4096u, 1048576u}, {6, 1024u, 65535u}}) {
    all.insert(all.end(), {{level, "", {Text::Empty}}, {level, zeros(min - 1), {Text::TooSmall}},
                           {level, zeros(min), {Text::Rejection, 0}}, {level, zeros(max), {Text::Rejection, 0}},
                           {level, zeros(max + 1), {Text::TooLarge}},  // then the low 32 bits, signed:
                           {level, "", {Text::TooSmall}, 0x80000000u + min},
                           {level, "", {Text::Rejection, 0}, 0x100000000u + min}});
  }  // clang-format on
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
// The judge's standard output, then "exit" and its exit code; its standard error: judge.err.
std::string judge(const std::string& args, const std::string& input = "/dev/null",
                  const std::string& locale = "LC_ALL=C ") {
  const std::string out = testing::TempDir() + "judge.";
  const int status = std::system(
      (locale + TUMBLEWICK_JUDGE " " + args + " <" + input + " >" + out + "out 2>" + out + "err")
          .c_str());
  return contents(out + "out") + "exit " + std::to_string(WEXITSTATUS(status));
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
      const char* locale = language == Language::Chinese ? "LC_ALL=zh_CN.UTF-8 " : "LC_ALL=C ";
      EXPECT_EQ(judge(args, "/dev/null", locale),
                want + (c.verdict.passed() ? "exit 0" : "exit 1"));
    }
  }
  for (const char* bad :
       {"7 /dev/null", "3 /", "3 no-such-file", "3", "1 - -", "--explain 3 --batch"}) {
    EXPECT_EQ(judge(bad), "exit 2") << bad;
  }
}

// --explain: each check marked, the first failed one with what the input had and needed, in
// both languages; then the verdict and exit code as without it.
TEST(Judge, ExplainsTheFirstFailedCheck) {
  const struct {
    int level;
    std::string input, english, chinese;
  } rows[] = {
      {4, std::string(28, 'x'),
       "  passed       1. not empty\n  FAILED       2. size at least 4096 bytes: size 28 bytes, "
       "needs 4096 to 1048576\n  not reached  3. size at most 1048576 bytes\n",
       "  未通过  2. 大小至少 4096 字节：大小 28 字节，要 4096 到 1048576 字节\n  未到达  3."},
      {1, "cc", "FAILED       1. name longer than 256 bytes: name of 2 bytes, needs 257 to 511",
       "未通过  1. 名字长于 256 字节：名字 2 字节，要 257 到 511 字节"},
      {2, form(60, 170),
       "7. height equals the shoe thickness (a zero divisor): height 170, needs exactly 2",
       "7. 身高等于鞋厚（除数为零）：身高 170，要正好 2"},
      {3, zeros(1024, "BM" + word(1000)),
       "5. bytes 2-5 (little-endian) state a size above the file's + 256: stated size 1000, file "
       "size 1024: needs at least 1281\n",
       "记的大小 1000，文件 1024 字节，至少要 1281\n"},
      {4, zeros(4096, sesame(17)), "H + 12*A*B = 17 + 12*1*340 = 4097 (mod 2^32), size 4096\n",
       "H + 12·A·B = 17 + 12·1·340 = 4097（模 2^32），大小 4096\n"},
      {5, ",abc", "FAILED       2. 256 bytes inside counted stretches: 3 bytes counted",
       "计到 3 字节"},
      {6, zeros(1024), "stored CRC 0x00000000, the body's CRC is 0x67bbaf86\nchecks passed: 3/4\n",
       "存的 CRC 0x00000000，其余字节的 CRC 是 0x67bbaf86\n通过的检查：3/4\n"},
      {6, zeros(1024, word(0x67bbaf86)),
       "  passed       4. bytes 0-3 hold the CRC-32 of the rest\nchecks passed: 4/4\nnotice: ",
       "  通过    4. 字节 0-3 存着其余字节的 CRC-32\n通过的检查：4/4\nnotice: "},
  };
  for (const auto& r : rows) {
    const std::string args =
        "--explain " + std::to_string(r.level) + " " + saved("explain", r.input);
    const std::string english = judge(args),
                      chinese = judge(args, "/dev/null", "LC_ALL=zh_CN.UTF-8 ");
    EXPECT_NE(english.find(r.english), std::string::npos) << english;
    EXPECT_NE(chinese.find(r.chinese), std::string::npos) << chinese;
    const std::string verdict = judge(std::to_string(r.level) + " " + saved("explain", r.input));
    EXPECT_TRUE(english.ends_with(verdict)) << english;  // the same verdict and exit code
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
    for (const std::string& broken : {std::string(), word(5).substr(0, 3), word(5) + "abcd"}) {
      EXPECT_EQ(judge(std::to_string(level) + " --batch", saved("frames", frames + broken)),
                want + (broken.empty() ? "exit 0" : "exit 2"));
      const std::string said = contents(testing::TempDir() + "judge.err");
      EXPECT_EQ(said.find("is broken") != std::string::npos, !broken.empty()) << said;
    }
  }
}

}  // namespace
