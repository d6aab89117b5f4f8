// One input of a level as the level's dialog reads it, judged by the level's rule, free of
// any platform code. What the input's bytes stand for:
//   level 1: the typed name, cut like the dialog's 512-byte buffer and at the first NUL;
//   level 2: the form's four numbers, unsigned 32-bit little-endian in the dialog's read order
//            (clothes weight, shoe thickness, weight, height); missing bytes read as 0, as an
//            empty field does, and bytes after the 16th are not looked at;
//   level 5: the message, cut like the dialog's 4096-byte buffer and at the first NUL;
//   levels 3, 4, 6: the picked file, judged by fileprobe::judgeFile with its size.
// The fuzz targets and the console judge both go through here, so they feed each level alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level5_chat_rule.h"
#include "level_table.h"

namespace inputverdict {

// Where the game shows a text: a notice (a message box) or the dialog's result line.
enum class Channel { Notice, ResultLine };

// Which of the level's texts the game shows.
enum class Text { Pass, Rejection, Index, Empty, TooSmall, TooLarge };

struct Verdict {
  Text text;
  Channel channel;
  int rejection = 0;       // Text::Rejection: the index into LevelTexts::rejections
  std::int32_t index = 0;  // Text::Index: level 2's body-mass index
  bool passed() const { return text == Text::Pass; }
};

namespace detail {

inline std::uint32_t littleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// A text field: at most capacity - 1 bytes, up to the first NUL.
template <class Read>
std::size_t readText(char* into, std::size_t capacity, std::uint64_t size, Read& read) {
  std::memset(into, 0, capacity);
  read(reinterpret_cast<std::uint8_t*>(into),
       static_cast<std::uint32_t>(size < capacity - 1 ? size : capacity - 1));
  return std::strlen(into);
}

}  // namespace detail

// size: the input's length (a file's real size; only its low 32 bits count, as the platform
// reports them to the game). read(into, count) copies the input's first count bytes into
// `into` (count <= size); a short read leaves the rest zero.
template <class Read>
Verdict judge(int level, std::uint64_t size, Read&& read) {
  if (const FileCheck* check = levelInfo(level).file) {
    static std::uint8_t buffer[kLargestRead];
    const fileprobe::Verdict verdict =
        fileprobe::judgeFile(*check, static_cast<std::uint32_t>(size), buffer, read);
    switch (verdict.step) {
      case fileprobe::Step::Empty:
        return {Text::Empty, Channel::Notice};
      case fileprobe::Step::TooSmall:
        return {Text::TooSmall, Channel::ResultLine};
      case fileprobe::Step::TooLarge:
        return {Text::TooLarge, Channel::ResultLine};
      case fileprobe::Step::Rule:
        break;
    }
    if (verdict.passed()) return {Text::Pass, Channel::Notice};
    return {Text::Rejection, Channel::ResultLine, verdict.rule};
  }
  if (level == 1) {
    char name[signup::kNameBufferSize];
    const auto length = static_cast<int>(detail::readText(name, sizeof name, size, read));
    if (signup::judge(length) == signup::Verdict::Pass) return {Text::Pass, Channel::Notice};
    return {Text::Rejection, Channel::Notice};
  }
  if (level == 2) {
    std::uint8_t form[16] = {};
    read(form, static_cast<std::uint32_t>(size < sizeof form ? size : sizeof form));
    const exam::Verdict verdict = exam::judge(exam::asSigned(detail::littleEndian32(form)),
                                              exam::asSigned(detail::littleEndian32(form + 4)),
                                              exam::asSigned(detail::littleEndian32(form + 8)),
                                              exam::asSigned(detail::littleEndian32(form + 12)));
    if (verdict.outcome == exam::Outcome::Pass) return {Text::Pass, Channel::Notice};
    if (verdict.outcome == exam::Outcome::Index) {
      return {Text::Index, Channel::ResultLine, 0, verdict.index};
    }
    return {Text::Rejection, Channel::Notice, static_cast<int>(verdict.outcome)};
  }
  char message[chat::kMessageBufferSize];
  const std::size_t length = detail::readText(message, sizeof message, size, read);
  if (length != 0 && chat::passes(message, length)) return {Text::Pass, Channel::Notice};
  return {Text::Rejection, Channel::ResultLine};
}

// The same for an input held in memory.
inline Verdict judgeBytes(int level, const std::uint8_t* data, std::size_t size) {
  return judge(level, size, [&](std::uint8_t* into, std::uint32_t count) {
    if (count != 0) std::memcpy(into, data, count);
  });
}

// The text the game shows for a verdict, in the given texts of the level; level 2's index
// is formatted into `formatted`, as the dialog does into its 256-byte buffer.
inline const char* verdictText(const LevelTexts& texts, const Verdict& verdict,
                               char (&formatted)[256]) {
  switch (verdict.text) {
    case Text::Pass:
      return texts.pass;
    case Text::Rejection:
      return texts.rejections[verdict.rejection];
    case Text::Index:
      std::snprintf(formatted, sizeof formatted, texts.indexFormat, verdict.index);
      return formatted;
    case Text::Empty:
      return texts.empty;
    case Text::TooSmall:
      return texts.tooSmall;
    case Text::TooLarge:
      return texts.tooLarge;
  }
  return "";
}

}  // namespace inputverdict
