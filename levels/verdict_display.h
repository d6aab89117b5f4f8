// What the player sees of a level's verdict: which of the level's texts (level_table) the
// game shows, and where, in a notice or in the dialog's result line. Free of platform code:
// the dialogs and the file probe show it through the platform, the console judge prints it
// and the fuzz targets ask only whether it is a pass.
#pragma once

#include <cstdint>

#include "file_verdict.h"
#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level_table.h"

namespace display {

enum class Channel { Notice, ResultLine };

// Which of the level's texts the game shows.
enum class Text { Pass, Rejection, Index, OpenFailed, Empty, TooSmall, TooLarge };

struct Verdict {
  Text text;
  int rejection = 0;       // Text::Rejection: the index into LevelTexts::rejections
  std::int32_t index = 0;  // Text::Index: level 2's body-mass index
  bool passed() const { return text == Text::Pass; }
};

// Each rule's verdict as the player's: levels 1, 2, 5 (chat::passes), and the file levels.
constexpr Verdict of(signup::Verdict verdict) {
  return {verdict == signup::Verdict::Pass ? Text::Pass : Text::Rejection};
}
constexpr Verdict of(const exam::Verdict& verdict) {
  if (verdict.outcome == exam::Outcome::Pass) return {Text::Pass};
  if (verdict.outcome == exam::Outcome::Index) return {Text::Index, 0, verdict.index};
  return {Text::Rejection, static_cast<int>(verdict.outcome)};
}
constexpr Verdict ofChat(bool passes) { return {passes ? Text::Pass : Text::Rejection}; }
constexpr Verdict of(const fileverdict::Verdict& verdict) {
  switch (verdict.step) {
    case fileverdict::Step::Empty:
      return {Text::Empty};
    case fileverdict::Step::TooSmall:
      return {Text::TooSmall};
    case fileverdict::Step::TooLarge:
      return {Text::TooLarge};
    case fileverdict::Step::Rule:
      break;
  }
  return verdict.passed() ? Verdict{Text::Pass} : Verdict{Text::Rejection, verdict.rule};
}

// Notices: the congratulation, the rejections of the levels that reject by notice, and a file
// that cannot be opened or is empty. Everything else goes to the result line.
inline Channel channelOf(int level, Text text) {
  switch (text) {
    case Text::Pass:
    case Text::OpenFailed:
    case Text::Empty:
      return Channel::Notice;
    case Text::Rejection:
      return levelInfo(level).rejectsByNotice ? Channel::Notice : Channel::ResultLine;
    case Text::Index:
    case Text::TooSmall:
    case Text::TooLarge:
      break;
  }
  return Channel::ResultLine;
}

// One shown text. Text::Index shows a format with one %d, the index; the game formats it with
// wsprintfA into 256 bytes.
struct Line {
  Channel channel;
  const char* text;
};

// What the game shows for a verdict, in order, in the given texts of the level: one line;
// on a pass of a level that replies (level 5), the reply in the result line first.
struct Shown {
  Line lines[2];
  int count = 0;
};

inline const char* textOf(const LevelTexts& texts, const Verdict& verdict) {
  switch (verdict.text) {
    case Text::Pass:
      return texts.pass;
    case Text::Rejection:
      return texts.rejections[verdict.rejection];
    case Text::Index:
      return texts.indexFormat;
    case Text::OpenFailed:
      return texts.openFailed;
    case Text::Empty:
      return texts.empty;
    case Text::TooSmall:
      return texts.tooSmall;
    case Text::TooLarge:
      return texts.tooLarge;
  }
  return "";
}

inline Shown shown(int level, const LevelTexts& texts, const Verdict& verdict) {
  Shown out;
  if (verdict.passed() && texts.passReply != nullptr) {
    out.lines[out.count++] = {Channel::ResultLine, texts.passReply};
  }
  out.lines[out.count++] = {channelOf(level, verdict.text), textOf(texts, verdict)};
  return out;
}

}  // namespace display
