// How the file levels 3, 4 and 6 judge a file, free of any platform code: the size as the
// platform reports it, then the level's first bytes read into a zero-filled buffer, then the
// level's rule. The game, the fuzz targets, the judge and the tests all go through here.
#pragma once

#include <cstdint>
#include <cstring>

#include "stage_trail.h"

// A file level's limits and rule, as its row of the level table gives them.
struct FileCheck {
  std::int32_t minSize;
  std::int32_t maxSize;  // inclusive
  // The read buffer: the file's first min(size, bufferSize) bytes are read into it.
  std::uint32_t bufferSize;
  // One display text and an empty pattern (written "*.BMP\0"; the literal adds the second
  // NUL). The picker then lists every file under that text, as the game always has.
  const char* filter;
  // The rule over the accepted size and the buffer: kPassed, or the index of its rejection
  // text in the level's texts. It notes its checks in the trail, if any.
  int (*rule)(std::uint32_t size, const std::uint8_t* bytes, stages::Trail* trail);
};

constexpr int kPassed = -1;

// No level reads more than this (level 6 reads its whole file of at most 65535 bytes).
constexpr std::uint32_t kLargestRead = 65536;

namespace fileverdict {

// The file's first checks, in order, then the rule's: a failed check's Step is its stage.
enum class Step { Empty, TooSmall, TooLarge, Rule };

struct Verdict {
  Step step;
  int rule = kPassed;  // with Step::Rule: kPassed or the rejection index
  bool passed() const { return step == Step::Rule && rule == kPassed; }
};

// lowSize: the low 32 bits of the size. They are compared as a signed value, so a file whose
// low bits reach 2^31 counts as negative and is too small.
constexpr Step judgeSize(std::uint32_t lowSize, const FileCheck& check,
                         stages::Trail* trail = nullptr) {
  const auto size = static_cast<std::int32_t>(lowSize);  // two's complement wrap on every target
  const stages::Seen seen = {size, check.minSize, check.maxSize};
  if (!stages::check(trail, size != 0, seen)) return Step::Empty;
  if (!stages::check(trail, size >= check.minSize, seen)) return Step::TooSmall;
  if (!stages::check(trail, size <= check.maxSize, seen)) return Step::TooLarge;
  return Step::Rule;
}

// buffer holds check.bufferSize bytes. read(buffer, count) reads the first count bytes of
// the file into it; a short read leaves the rest zero. Nothing is read unless the size is
// accepted.
template <class Read>
Verdict judgeFile(const FileCheck& check, std::uint32_t lowSize, std::uint8_t* buffer, Read&& read,
                  stages::Trail* trail = nullptr) {
  const Step step = judgeSize(lowSize, check, trail);
  if (step != Step::Rule) return {step};
  std::memset(buffer, 0, check.bufferSize);
  read(buffer, lowSize < check.bufferSize ? lowSize : check.bufferSize);
  return {step, check.rule(lowSize, buffer, trail)};
}

}  // namespace fileverdict
