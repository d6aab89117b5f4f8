// The level table: for each level its template, how it is passed, its texts in both editions
// and, for the file levels, its limits and picker filter. Free of platform code, so the fuzz
// lab, the judge and the tests read the same rows as the game. The Chinese texts are in the
// code page that the including target compiles narrow literals to (936 in the game, UTF-8
// elsewhere); the English texts are plain ASCII, the same bytes in every code page.
#pragma once

#include <cstdint>

#include "file_verdict.h"

// What a level says. A level fills only what it uses.
struct LevelTexts {
  const char* pass = nullptr;  // the congratulation notice
  // The rule's rejection texts, indexed by its verdict (levels 3, 4, 6: by FileCheck::rule;
  // level 2: by exam::Outcome).
  const char* rejections[6] = {};
  // The file levels: notices for an open failure and an empty file, result-line texts for
  // a size out of bounds.
  const char* openFailed = nullptr;
  const char* empty = nullptr;
  const char* tooSmall = nullptr;
  const char* tooLarge = nullptr;
  const char* admissionNotice = nullptr;  // level 1
  const char* indexFormat = nullptr;      // level 2: one %d, the body-mass index
  const char* greeting = nullptr;         // level 5: pre-filled message
  const char* passReply = nullptr;        // level 5: the girl's answer before the congratulation
};

// The Chinese edition needs code page 936 to show its texts; every other code page gets the
// English one.
enum class Language { Chinese, English };
constexpr Language languageOf(unsigned codePage) {
  return codePage == 936 ? Language::Chinese : Language::English;
}

struct Level {
  int templateId;
  int passResult = 0;  // given to EndDialog on a pass
  // Whether the rule's rejections come as a notice (levels 1 and 2) rather than in the
  // result line.
  bool rejectsByNotice = false;
  const FileCheck* file = nullptr;
  LevelTexts chinese = {};  // code page 936
  LevelTexts english = {};  // ASCII
  const LevelTexts& texts(Language language) const {
    return language == Language::English ? english : chinese;
  }
};

struct NoticeCaptions {
  const char* error;
  const char* congrats;
  const char* admission;
};

constexpr int kLevelCount = 6;
constexpr int kFinish = kLevelCount + 1;

// level 1 .. 6, and kFinish, the finish dialog, which has only its template.
const Level& levelInfo(int level);
const NoticeCaptions& noticeCaptions(Language language);
