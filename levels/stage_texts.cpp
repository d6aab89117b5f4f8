#include "stage_texts.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"
#include "level6_dinner_rule.h"

namespace stages {
namespace {

// A check's name and its failure text in one language. In names {min} and {max} stand for the
// file level's size limits; in failures {N} is seen[N] in decimal, {xN} in 8 hex digits and
// {bN} in 2.
struct Said {
  const char* name;
  const char* failure;
};
struct Text {
  Said chinese;
  Said english;
};

constexpr Text kFileStages[] = {
    {{"文件不为空", "大小 {0} 字节，至少要 1 字节"},
     {"not empty", "size {0} bytes, needs at least 1"}},
    {{"大小至少 {min} 字节", "大小 {0} 字节，要 {1} 到 {2} 字节"},
     {"size at least {min} bytes", "size {0} bytes, needs {1} to {2}"}},
    {{"大小至多 {max} 字节", "大小 {0} 字节，要 {1} 到 {2} 字节"},
     {"size at most {max} bytes", "size {0} bytes, needs {1} to {2}"}},
};
static_assert(std::size(kFileStages) == static_cast<int>(fileverdict::Step::Rule));

constexpr Text kSignup[] = {
    {{"名字长于 256 字节", "名字 {0} 字节，要 257 到 511 字节（输入框最多收 511 字节）"},
     {"name longer than 256 bytes",
      "name of {0} bytes, needs 257 to 511 (the field keeps at most 511)"}},
};
constexpr Text kExam[] = {
    {{"衣重是 3", "衣重 {0}，要 3"}, {"clothes weight 3", "clothes weight {0}, needs 3"}},
    {{"鞋厚是 2", "鞋厚 {0}，要 2"}, {"shoe thickness 2", "shoe thickness {0}, needs 2"}},
    {{"体重至少 3（衣重）", "体重 {0}，至少要 3（2147483648 及以上算负数）"},
     {"weight at least 3 (the clothes)",
      "weight {0}, needs at least 3 (2147483648 and up count as negative)"}},
    {{"身高至少 2（鞋厚）", "身高 {0}，至少要 2（2147483648 及以上算负数）"},
     {"height at least 2 (the shoes)",
      "height {0}, needs at least 2 (2147483648 and up count as negative)"}},
    {{"身高至多 200", "身高 {0}，至多 200"},
     {"height at most 200", "height {0}, needs at most 200"}},
    {{"体重至多 1000", "体重 {0}，至多 1000"},
     {"weight at most 1000", "weight {0}, needs at most 1000"}},
    {{"身高等于鞋厚（除数为零）", "身高 {0}，要正好 2（鞋厚），除数 身高 - 鞋厚 才是 0"},
     {"height equals the shoe thickness (a zero divisor)",
      "height {0}, needs exactly 2 (the shoe thickness), for a divisor height - shoes of 0"}},
};
constexpr Text kPhoto[] = {
    {{"以 \"BM\" 开头", "开头 0x{b0} 0x{b1}，要 0x42 0x4D（\"BM\"）"},
     {"starts with \"BM\"", "first bytes 0x{b0} 0x{b1}, needs 0x42 0x4D (\"BM\")"}},
    {{"字节 2-5（小端）记的大小超过文件大小 + 256", "记的大小 {0}，文件 {1} 字节，至少要 {2}"},
     {"bytes 2-5 (little-endian) state a size above the file's + 256",
      "stated size {0}, file size {1}: needs at least {2}"}},
};
constexpr Text kSesame[] = {
    {{"H（字节 0-3，大端）在 4 到 256 之间", "H = {0}，要 4 到 256"},
     {"H (bytes 0-3, big-endian) from 4 to 256", "H = {0}, needs 4 to 256"}},
    {{"A（字节 4-7）在 1 到文件大小之间", "A = {0}，要 1 到 {1}"},
     {"A (bytes 4-7) from 1 to the size", "A = {0}, needs 1 to {1}"}},
    {{"B（字节 8-11）在 1 到文件大小之间", "B = {0}，要 1 到 {1}"},
     {"B (bytes 8-11) from 1 to the size", "B = {0}, needs 1 to {1}"}},
    {{"H + 12·A·B 等于文件大小", "H + 12·A·B = {0} + 12·{1}·{2} = {3}（模 2^32），大小 {4}"},
     {"H + 12*A*B equals the size", "H + 12*A*B = {0} + 12*{1}*{2} = {3} (mod 2^32), size {4}"}},
};
constexpr Text kChat[] = {
    {{"有逗号开启计数段", "{0} 个逗号，至少要 1 个"},
     {"a comma opens a counted stretch", "{0} commas, needs at least 1"}},
    {{"计数段里有 256 字节", "第 1、3、5…个逗号之后计到 {0} 字节，要 256（逗号共 {1} 个）"},
     {"256 bytes inside counted stretches",
      "{0} bytes counted after the 1st, 3rd, 5th... comma, needs 256 ({1} commas in all)"}},
};
constexpr Text kDinner[] = {
    {{"字节 0-3 存着其余字节的 CRC-32", "存的 CRC 0x{x0}，其余字节的 CRC 是 0x{x1}"},
     {"bytes 0-3 hold the CRC-32 of the rest", "stored CRC 0x{x0}, the body's CRC is 0x{x1}"}},
};
static_assert(std::size(kSignup) == signup::kStageCount && std::size(kExam) == exam::kStageCount &&
              std::size(kPhoto) == photo::kStageCount &&
              std::size(kSesame) == sesame::kStageCount && std::size(kChat) == chat::kStageCount &&
              std::size(kDinner) == dinner::kStageCount);

struct Rule {
  const Text* texts;
  int count;
};
template <std::size_t N>
constexpr Rule rule(const Text (&texts)[N]) {
  return {texts, static_cast<int>(N)};
}
constexpr Rule kRules[kLevelCount] = {rule(kSignup), rule(kExam), rule(kPhoto),
                                      rule(kSesame), rule(kChat), rule(kDinner)};

int fileStages(int level) { return levelInfo(level).file != nullptr ? std::size(kFileStages) : 0; }

const Said& said(int level, int stage, Language language) {
  const int file = fileStages(level);
  const Text& text = stage < file ? kFileStages[stage] : kRules[level - 1].texts[stage - file];
  return language == Language::English ? text.english : text.chinese;
}

// The text with its {...} fields filled in by `field`.
template <class Field>
std::string fill(const char* text, Field&& field) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const char* end = *p == '{' ? std::strchr(p, '}') : nullptr;
    if (end == nullptr) {
      out += *p;
      continue;
    }
    out += field(std::string(p + 1, end));
    p = end;
  }
  return out;
}

}  // namespace

int count(int level) { return fileStages(level) + kRules[level - 1].count; }

std::string name(int level, int stage, Language language) {
  const FileCheck* file = levelInfo(level).file;
  return fill(said(level, stage, language).name, [file](const std::string& key) {
    return std::to_string(key == "min" ? file->minSize : file->maxSize);
  });
}

std::string failure(int level, int stage, Language language, const Seen& seen) {
  return fill(said(level, stage, language).failure, [&seen](const std::string& key) {
    const bool digits = key[0] == 'x' || key[0] == 'b';
    const std::int64_t value = seen[static_cast<std::size_t>(key.back() - '0')];
    if (!digits) return std::to_string(value);
    char hex[24];
    std::snprintf(hex, sizeof hex, key[0] == 'x' ? "%08llx" : "%02llx",
                  static_cast<unsigned long long>(value));
    return std::string(hex);
  });
}

}  // namespace stages
