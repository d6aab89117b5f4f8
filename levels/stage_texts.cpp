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
// {bN} in 2, and {|} marks where what the input had ends and what it needed begins.
struct Said {
  const char* name;
  const char* failure;
};
struct Text {
  const char* key;  // the check's name in the judge's data form, the same in every language
  Said chinese;
  Said english;
};

constexpr Text kFileStages[] = {
    {"not-empty",
     {"文件不为空", "大小 {0} 字节，{|}至少要 1 字节"},
     {"not empty", "size {0} bytes, {|}needs at least 1"}},
    {"size-at-least",
     {"大小至少 {min} 字节", "大小 {0} 字节，{|}要 {1} 到 {2} 字节"},
     {"size at least {min} bytes", "size {0} bytes, {|}needs {1} to {2}"}},
    {"size-at-most",
     {"大小至多 {max} 字节", "大小 {0} 字节，{|}要 {1} 到 {2} 字节"},
     {"size at most {max} bytes", "size {0} bytes, {|}needs {1} to {2}"}},
};
static_assert(std::size(kFileStages) == static_cast<int>(fileverdict::Step::Rule));

constexpr Text kSignup[] = {
    {"name-length",
     {"名字长于 256 字节", "名字 {0} 字节，{|}要 257 到 511 字节（输入框最多收 511 字节）"},
     {"name longer than 256 bytes",
      "name of {0} bytes, {|}needs 257 to 511 (the field keeps at most 511)"}},
};
constexpr Text kExam[] = {
    {"clothes",
     {"衣重是 3", "衣重 {0}，{|}要 3"},
     {"clothes weight 3", "clothes weight {0}, {|}needs 3"}},
    {"shoes",
     {"鞋厚是 2", "鞋厚 {0}，{|}要 2"},
     {"shoe thickness 2", "shoe thickness {0}, {|}needs 2"}},
    {"weight-min",
     {"体重至少 3（衣重）", "体重 {0}，{|}至少要 3（2147483648 及以上算负数）"},
     {"weight at least 3 (the clothes)",
      "weight {0}, {|}needs at least 3 (2147483648 and up count as negative)"}},
    {"height-min",
     {"身高至少 2（鞋厚）", "身高 {0}，{|}至少要 2（2147483648 及以上算负数）"},
     {"height at least 2 (the shoes)",
      "height {0}, {|}needs at least 2 (2147483648 and up count as negative)"}},
    {"height-max",
     {"身高至多 200", "身高 {0}，{|}至多 200"},
     {"height at most 200", "height {0}, {|}needs at most 200"}},
    {"weight-max",
     {"体重至多 1000", "体重 {0}，{|}至多 1000"},
     {"weight at most 1000", "weight {0}, {|}needs at most 1000"}},
    {"zero-divisor",
     {"身高等于鞋厚（除数为零）", "身高 {0}，{|}要正好 2（鞋厚），除数 身高 - 鞋厚 才是 0"},
     {"height equals the shoe thickness (a zero divisor)",
      "height {0}, {|}needs exactly 2 (the shoe thickness), for a divisor height - shoes of 0"}},
};
constexpr Text kPhoto[] = {
    {"magic",
     {"以 \"BM\" 开头", "开头 0x{b0} 0x{b1}，{|}要 0x42 0x4D（\"BM\"）"},
     {"starts with \"BM\"", "first bytes 0x{b0} 0x{b1}, {|}needs 0x42 0x4D (\"BM\")"}},
    {"stated-size",
     {"字节 2-5（小端）记的大小超过文件大小 + 256", "记的大小 {0}，文件 {1} 字节，{|}至少要 {2}"},
     {"bytes 2-5 (little-endian) state a size above the file's + 256",
      "stated size {0}, file size {1}: {|}needs at least {2}"}},
};
constexpr Text kSesame[] = {
    {"header-length",
     {"H（字节 0-3，大端）在 4 到 256 之间", "H = {0}，{|}要 4 到 256"},
     {"H (bytes 0-3, big-endian) from 4 to 256", "H = {0}, {|}needs 4 to 256"}},
    {"count-a",
     {"A（字节 4-7）在 1 到文件大小之间", "A = {0}，{|}要 1 到 {1}"},
     {"A (bytes 4-7) from 1 to the size", "A = {0}, {|}needs 1 to {1}"}},
    {"count-b",
     {"B（字节 8-11）在 1 到文件大小之间", "B = {0}，{|}要 1 到 {1}"},
     {"B (bytes 8-11) from 1 to the size", "B = {0}, {|}needs 1 to {1}"}},
    {"equation",
     {"H + 12·A·B 等于文件大小", "H + 12·A·B = {0} + 12·{1}·{2} = {3}（模 2^32），{|}大小 {4}"},
     {"H + 12*A*B equals the size", "H + 12*A*B = {0} + 12*{1}*{2} = {3} (mod 2^32), {|}size {4}"}},
};
constexpr Text kChat[] = {
    {"comma",
     {"有逗号开启计数段", "{0} 个逗号，{|}至少要 1 个"},
     {"a comma opens a counted stretch", "{0} commas, {|}needs at least 1"}},
    {"counted-bytes",
     {"计数段里有 256 字节", "第 1、3、5…个逗号之后计到 {0} 字节，{|}要 256（逗号共 {1} 个）"},
     {"256 bytes inside counted stretches",
      "{0} bytes counted after the 1st, 3rd, 5th... comma, {|}needs 256 ({1} commas in all)"}},
};
constexpr Text kDinner[] = {
    {"checksum",
     {"字节 0-3 存着其余字节的 CRC-32", "存的 CRC 0x{x0}，{|}其余字节的 CRC 是 0x{x1}"},
     {"bytes 0-3 hold the CRC-32 of the rest", "stored CRC 0x{x0}, {|}the body's CRC is 0x{x1}"}},
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

const Text& textOf(int level, int stage) {
  const int file = fileStages(level);
  return stage < file ? kFileStages[stage] : kRules[level - 1].texts[stage - file];
}

const Said& said(int level, int stage, Language language) {
  const Text& text = textOf(level, stage);
  return language == Language::English ? text.english : text.chinese;
}

// Where {|} stood in a filled failure text.
constexpr char kSplit = '\x1f';

// The text with its {...} fields filled in by `field`, and {|} as kSplit.
template <class Field>
std::string fill(const char* text, Field&& field) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const char* end = *p == '{' ? std::strchr(p, '}') : nullptr;
    if (end == nullptr) {
      out += *p;
      continue;
    }
    const std::string slot(p + 1, end);
    out += slot == "|" ? std::string(1, kSplit) : field(slot);
    p = end;
  }
  return out;
}

std::string filledFailure(int level, int stage, Language language, const Seen& seen) {
  return fill(said(level, stage, language).failure, [&seen](const std::string& field) {
    const bool digits = field[0] == 'x' || field[0] == 'b';
    const std::int64_t value = seen[static_cast<std::size_t>(field.back() - '0')];
    if (!digits) return std::to_string(value);
    char hex[24];
    std::snprintf(hex, sizeof hex, field[0] == 'x' ? "%08llx" : "%02llx",
                  static_cast<unsigned long long>(value));
    return std::string(hex);
  });
}

// What the input had, without the comma or colon (ASCII or full-width UTF-8) that led on to
// what it needed.
std::string withoutSeparator(std::string text) {
  for (const char* tail : {" ", ",", ":", "\xef\xbc\x8c", "\xef\xbc\x9a"}) {
    if (text.ends_with(tail)) text.erase(text.size() - std::strlen(tail));
  }
  return text;
}

}  // namespace

int count(int level) { return fileStages(level) + kRules[level - 1].count; }

std::string key(int level, int stage) { return textOf(level, stage).key; }

std::string name(int level, int stage, Language language) {
  const FileCheck* file = levelInfo(level).file;
  return fill(said(level, stage, language).name, [file](const std::string& field) {
    return std::to_string(field == "min" ? file->minSize : file->maxSize);
  });
}

std::string failure(int level, int stage, Language language, const Seen& seen) {
  std::string text = filledFailure(level, stage, language, seen);
  std::erase(text, kSplit);
  return text;
}

Failure failureParts(int level, int stage, Language language, const Seen& seen) {
  const std::string text = filledFailure(level, stage, language, seen);
  const std::size_t split = text.find(kSplit);
  return {withoutSeparator(text.substr(0, split)), text.substr(split + 1)};
}

}  // namespace stages
