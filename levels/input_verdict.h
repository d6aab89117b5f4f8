// One input of a level as the level's dialog reads it, judged by the level's rule, free of
// any platform code. What the input's bytes stand for:
//   level 1: the typed name, cut like the dialog's 512-byte buffer and at the first NUL;
//   level 2: the form's four numbers (exam::Form, in its order), unsigned 32-bit
//            little-endian; missing bytes read as 0, as an empty field does, and bytes after
//            the 16th are not looked at;
//   level 5: the message, cut like the dialog's 4096-byte buffer and at the first NUL;
//   levels 3, 4, 6: the picked file, judged by fileverdict::judgeFile with its size.
// The fuzz targets and the console judge both go through here, so they feed each level alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_order.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"
#include "level6_dinner_rule.h"
#include "verdict_display.h"

namespace inputverdict {

// What a level's input is: the dialog's field it fills, or the picked file.
enum class Input { Name, Form, Message, File };

inline Input inputOf(int level) {
  if (levelInfo(level).file != nullptr) return Input::File;
  if (level == 1) return Input::Name;
  return level == 2 ? Input::Form : Input::Message;
}

// How many of an input's first bytes the level looks at; of the rest only the count matters.
inline std::uint32_t bytesRead(int level) {
  switch (inputOf(level)) {
    case Input::File:
      return levelInfo(level).file->bufferSize;
    case Input::Name:
      return signup::kNameBufferSize - 1;
    case Input::Form:
      return sizeof(exam::Form);
    case Input::Message:
      break;
  }
  return chat::kMessageBufferSize - 1;
}

// The structure fix-up that a structure-aware fuzzer applies after each mutation, where the
// level's format has one: level 4's size fitted to its header, level 6's checksum rewritten.
enum class Repair { None, Size, Checksum };

constexpr Repair repairOf(int level) {
  if (level == 4) return Repair::Size;
  return level == 6 ? Repair::Checksum : Repair::None;
}

// Applies the level's repair to the `size` bytes in `data`, which holds maxSize bytes;
// returns the new size.
constexpr std::size_t repair(int level, std::uint8_t* data, std::size_t size, std::size_t maxSize) {
  switch (repairOf(level)) {
    case Repair::Size:
      return sesame::fit(data, size, maxSize);
    case Repair::Checksum:
      dinner::frame(data, size);
      break;
    case Repair::None:
      break;
  }
  return size;
}

namespace detail {

// A text field: at most capacity - 1 bytes, up to the first NUL.
template <class Read>
std::size_t readText(char* into, std::size_t capacity, std::uint64_t size, Read& read) {
  std::memset(into, 0, capacity);
  read(reinterpret_cast<std::uint8_t*>(into),
       static_cast<std::uint32_t>(size < capacity - 1 ? size : capacity - 1));
  return std::strlen(into);
}

// Level 2's form from its 16 bytes, the fields in exam::Form's order.
inline exam::Form formOf(const std::uint8_t (&bytes)[sizeof(exam::Form)]) {
  auto field = [&](std::size_t i) {
    return exam::asSigned(byteorder::littleEndian32(bytes + 4 * i));
  };
  return {field(0), field(1), field(2), field(3)};
}

}  // namespace detail

// size: the input's length (a file's real size; only its low 32 bits count, as the platform
// reports them to the game). read(into, count) copies the input's first count bytes into
// `into` (count <= size and count <= bytesRead(level)); a short read leaves the rest zero.
// trail: where the level's checks are noted (stage_trail.h), if anywhere.
template <class Read>
display::Verdict judge(int level, std::uint64_t size, Read&& read, stages::Trail* trail = nullptr) {
  switch (inputOf(level)) {
    case Input::File: {
      static std::uint8_t buffer[kLargestRead];
      return display::of(fileverdict::judgeFile(
          *levelInfo(level).file, static_cast<std::uint32_t>(size), buffer, read, trail));
    }
    case Input::Name: {
      char name[signup::kNameBufferSize];
      return display::of(
          signup::judge(static_cast<int>(detail::readText(name, sizeof name, size, read)), trail));
    }
    case Input::Form: {
      std::uint8_t bytes[sizeof(exam::Form)] = {};
      read(bytes, static_cast<std::uint32_t>(size < sizeof bytes ? size : sizeof bytes));
      return display::of(exam::judge(detail::formOf(bytes), trail));
    }
    case Input::Message:
      break;
  }
  char message[chat::kMessageBufferSize];
  const std::size_t length = detail::readText(message, sizeof message, size, read);
  return display::ofChat(chat::passes(message, length, trail));
}

// The same for an input held in memory.
inline display::Verdict judgeBytes(int level, const std::uint8_t* data, std::size_t size,
                                   stages::Trail* trail = nullptr) {
  return judge(
      level, size,
      [&](std::uint8_t* into, std::uint32_t count) {
        if (count != 0) std::memcpy(into, data, count);
      },
      trail);
}

}  // namespace inputverdict
