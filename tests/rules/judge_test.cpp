// The console judge as a player and a fuzzer run it: for an input of every verdict of every
// level, in both languages, which text of the level table it prints on which channel (pinned
// here, not taken from verdict_display.h, so that a fault there fails); the data forms; batch
// mode answered frame by frame, as a fuzzer waits for each answer; exit codes.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "level6_dinner_rule.h"
#include "level_table.h"

namespace {

// A text of the level table, and the channel the game shows it on.
using Field = const char* (*)(const LevelTexts&);
struct Said {
  const char* channel;
  Field text;
};
const char* pass(const LevelTexts& t) { return t.pass; }
const char* reply(const LevelTexts& t) { return t.passReply; }
const char* indexLine(const LevelTexts& t) { return t.indexFormat; }
const char* empty(const LevelTexts& t) { return t.empty; }
const char* tooSmall(const LevelTexts& t) { return t.tooSmall; }
const char* tooLarge(const LevelTexts& t) { return t.tooLarge; }
template <int N>
const char* rejection(const LevelTexts& t) {
  return t.rejections[N];
}
constexpr const char* kNotice = "notice: ";
constexpr const char* kResult = "result: ";

struct Case {
  int level;
  std::string bytes;
  std::vector<Said> said;
  std::uint64_t size = 0;  // beyond the bytes, a hole in the file
  bool passes() const { return said.back().text == &pass; }
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
  const Said won = {kNotice, pass}, refused = {kNotice, rejection<0>};
  std::vector<Case> all = {
      // clang-format off
      {1, "", {refused}}, {1, x256, {refused}}, {1, x256 + "x", {won}}, {1, x256 + '\0' + x256, {refused}},
      {2, "", {refused}}, {2, form(60, 170, 1), {{kNotice, rejection<1>}}},
      {2, form(2, 170), {{kNotice, rejection<2>}}}, {2, form(60, 0x80000000u), {{kNotice, rejection<3>}}},
      {2, form(60, 201), {{kNotice, rejection<4>}}}, {2, form(1001, 170), {{kNotice, rejection<5>}}},
      {2, form(60, 170), {{kResult, indexLine}}}, {2, form(60, 2) + "more", {won}},
      {5, x256 + x256, {{kResult, rejection<0>}}}, {5, "," + x256, {{kResult, reply}, won}},
      {3, zeros(1024, "BM" + word(1281)), {won}}, {3, zeros(8192, "BM" + word(4353)), {{kResult, rejection<1>}}},
      {4, zeros(4096, sesame(16)), {won}}, {4, zeros(4096, sesame(17)), {{kResult, rejection<1>}}},
      {6, framed, {won}},
  };
  for (const auto& [level, min, max] : {std::tuple{3, 1024u, 262144u}, {4, 4096u, 1048576u}, {6, 1024u, 65535u}}) {
    const Said first = {kResult, rejection<0>};
    all.insert(all.end(), {{level, "", {{kNotice, empty}}}, {level, zeros(min - 1), {{kResult, tooSmall}}},
                           {level, zeros(min), {first}}, {level, zeros(max), {first}},
                           {level, zeros(max + 1), {{kResult, tooLarge}}},  // then the low 32 bits, signed:
                           {level, "", {{kResult, tooSmall}}, 0x80000000u + min},
                           {level, "", {first}, 0x100000000u + min}});
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

TEST(Judge, SaysTheLevelsTextOnItsChannelInBothLanguages) {
  for (const Case& c : cases()) {
    const std::string args = std::to_string(c.level) + " " + saved("input.bin", c.bytes, c.size);
    for (const Language language : {Language::Chinese, Language::English}) {
      std::string want;
      for (const Said& said : c.said) {
        std::string text = said.text(levelInfo(c.level).texts(language));
        if (said.text == &indexLine) text.replace(text.find("%d"), 2, "28");
        std::erase(text, '\r');
        want += said.channel + text + "\n";
      }
      const char* locale = language == Language::Chinese ? "LC_ALL=zh_CN.UTF-8 " : "LC_ALL=C ";
      EXPECT_EQ(judge(args, "/dev/null", locale), want + (c.passes() ? "exit 0" : "exit 1"))
          << args;
    }
  }
  for (const char* bad :
       {"7 /dev/null", "3 /", "3 no-such-file", "3", "1 - -", "--explain 3 --batch",
        "3 --stages /dev/null", "--levels 3", "--bogus 3 /dev/null"}) {
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
    const std::string args = std::to_string(r.level) + " " + saved("explain", r.input);
    const std::string english = judge("--explain " + args),
                      chinese = judge(args + " --explain", "/dev/null", "LC_ALL=zh_CN.UTF-8 ");
    EXPECT_NE(english.find(r.english), std::string::npos) << english;
    EXPECT_NE(chinese.find(r.chinese), std::string::npos) << chinese;
    const std::string verdict = judge(args);
    EXPECT_TRUE(english.ends_with(verdict)) << english;  // the same verdict and exit code
  }
}

// The data forms, which programs read: the checks of one input, and the levels' facts.
TEST(Judge, GivesChecksAndLevelsAsData) {
  EXPECT_EQ(judge("--explain=tsv 4 " + saved("tsv", std::string(28, 'x'))),
            "check\tkey\tstate\tname\thad\tneeded\n"
            "1\tnot-empty\tpassed\tnot empty\t\t\n"
            "2\tsize-at-least\tfailed\tsize at least 4096 bytes\tsize 28 bytes\tneeds 4096 to "
            "1048576\n"
            "3\tsize-at-most\tnot-reached\tsize at most 1048576 bytes\t\t\n"
            "4\theader-length\tnot-reached\tH (bytes 0-3, big-endian) from 4 to 256\t\t\n"
            "5\tcount-a\tnot-reached\tA (bytes 4-7) from 1 to the size\t\t\n"
            "6\tcount-b\tnot-reached\tB (bytes 8-11) from 1 to the size\t\t\n"
            "7\tequation\tnot-reached\tH + 12*A*B equals the size\t\t\nexit 1");
  EXPECT_EQ(judge("5 - --explain=tsv", saved("tsv", ",abc"), "LC_ALL=zh_CN.UTF-8 "),
            "check\tkey\tstate\tname\thad\tneeded\n1\tcomma\tpassed\t有逗号开启计数段\t\t\n"
            "2\tcounted-bytes\tfailed\t计数段里有 256 字节\t第 1、3、5…个逗号之后计到 3 "
            "字节\t要 256（逗号共 1 个）\nexit 1");
  EXPECT_EQ(judge("--levels"),
            "level\tinput\tread\tmin_size\tmax_size\tchecks\trepair\n"
            "1\tname\t511\t\t\t1\tnone\n2\tform\t16\t\t\t7\tnone\n"
            "3\tfile\t4096\t1024\t262144\t5\tnone\n4\tfile\t4096\t4096\t1048576\t7\tsize\n"
            "5\tmessage\t4095\t\t\t2\tnone\n6\tfile\t65536\t1024\t65535\t4\tchecksum\nexit 0");
}

// A judge in batch mode, fed as a fuzzer feeds it: one frame, then wait for its answer.
class Batch {
 public:
  explicit Batch(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      std::vector<char*> argv = {const_cast<char*>(TUMBLEWICK_JUDGE)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TUMBLEWICK_JUDGE, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Batch() {
    if (to_ >= 0) close(to_);
    close(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  // The answer to one frame, or -1 where none came within 5 s (and from then on at once).
  int answer(const std::string& bytes) {
    const std::string frame = word(static_cast<std::uint32_t>(bytes.size())) + bytes;
    pollfd ready = {from_, POLLIN, 0};
    unsigned char byte = 0;
    silent_ = silent_ ||
              write(to_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()) ||
              poll(&ready, 1, 5000) != 1 || read(from_, &byte, 1) != 1;
    return silent_ ? -1 : byte;
  }
  // Ends the input with `rest`; the exit code.
  int finish(const std::string& rest) {
    if (!rest.empty() && write(to_, rest.data(), rest.size()) < 0) return -1;
    close(to_);
    to_ = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = 0;
  int to_ = -1, from_ = -1;
  bool silent_ = false;
};

TEST(Judge, BatchAnswersEachFrameAtOnceUntilABrokenOne) {
  std::signal(SIGPIPE, SIG_IGN);
  for (const std::string& broken : {std::string(), word(5).substr(0, 3), word(5) + "abcd"}) {
    for (int level = 1; level <= kLevelCount; ++level) {
      Batch batch({std::to_string(level), "--batch"});
      for (const Case& c : cases()) {
        if (c.level == level && c.size == 0) {
          EXPECT_EQ(batch.answer(c.bytes), c.passes() ? 0 : 1) << level << ": " << c.bytes.size();
        }
      }
      EXPECT_EQ(batch.finish(broken), broken.empty() ? 0 : 2);
    }
  }
  // With --stages, the number of checks each input passed.
  Batch four({"--stages", "4", "--batch"});
  for (const auto& [bytes, passed] : {std::pair{std::string(), 0},
                                      {zeros(4095), 1},
                                      {zeros(4096), 3},
                                      {zeros(4096, sesame(17)), 6},
                                      {zeros(4096, sesame(16)), 7}}) {
    EXPECT_EQ(four.answer(bytes), passed) << bytes.size();
  }
  EXPECT_EQ(four.finish(""), 0);
  EXPECT_EQ(judge("6 --batch", saved("frames", word(9) + "abc")), "exit 2");
  EXPECT_NE(contents(testing::TempDir() + "judge.err")
                .find("frame 1 is broken: the input ends "
                      "after 3 of its 9 bytes"),
            std::string::npos);
}

}  // namespace
