// LAB ONLY: a bug planted for teaching; never built into the game, the judge or the release.
// The bonus target of every level (TUMBLEWICK_LEVEL): the level's own rule judges the input
// through levels/input_verdict.h, exactly as in the normal target, and only an input that
// beats the level goes on to the step below, the careless code that the level's pass text
// warns of. Beating the level is therefore finding the bug, and every winner finds it: each
// step faults on every input the rule lets through, each with its own sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "input_verdict.h"
#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"

namespace {

using byteorder::littleEndian32;

// A text field as the level's dialog reads it (the same shared reading as the rule's).
template <std::size_t N>
std::size_t readField(char (&into)[N], const std::uint8_t* data, std::size_t size) {
  auto read = [&](std::uint8_t* to, std::uint32_t count) {
    if (count != 0) std::memcpy(to, data, count);
  };
  return inputverdict::detail::readText(into, N, size, read);
}

// Keeps the compiler from proving a faulty step dead or folding it away.
volatile std::uint32_t sink;

// Level 1: the name goes into a buffer sized for names the desk "expects"; the winner is
// longer than 256 bytes. stack-buffer-overflow (WRITE).
void signUp(const std::uint8_t* data, std::size_t size) {
  char name[signup::kNameBufferSize];
  readField(name, data, size);
  char badge[256];
  std::strcpy(badge, name);  // the overlong name runs past the badge
  sink = static_cast<std::uint8_t>(badge[0]);
}

// Level 2: the index (weight - clothes) / (height - shoes)^2, computed for real; the winner's
// height equals the shoes. UBSan: integer division by zero (without UBSan: SIGFPE).
void examine(const std::uint8_t* data, std::size_t size) {
  std::uint8_t form[16] = {};
  std::memcpy(form, data, size < sizeof form ? size : sizeof form);
  const std::int32_t weight = exam::asSigned(littleEndian32(form + 8));
  const std::int32_t height = exam::asSigned(littleEndian32(form + 12));
  volatile std::int32_t divisor =
      (height - exam::kStandardShoeThickness) * (height - exam::kStandardShoeThickness);
  sink = static_cast<std::uint32_t>((weight - exam::kStandardClothesWeight) / divisor);
}

// Level 3: the pixels are read as far as the header's size field says; the winner declares
// more than 256 bytes beyond the file. heap-buffer-overflow (READ).
void loadPhoto(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> photo(data, data + size);
  const std::uint32_t declared = littleEndian32(photo.data() + 2);
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < declared; ++i) sum += photo.data()[i];  // trusts `declared`
  sink = sum;
}

// Level 4: the grown sesame is allocated by the header's product A * B * 12, computed in 32
// bits like the rule's (a header whose product wraps gets a small allocation), and the whole
// sample, header included, is written into it. On every winner the product is exactly the
// size less H, so the last H bytes land past the end. heap-buffer-overflow (WRITE).
void growSesame(const std::uint8_t* data, std::size_t size) {
  const std::uint32_t a = byteorder::bigEndian32(data + 4);
  const std::uint32_t b = byteorder::bigEndian32(data + 8);
  const std::uint32_t records = sesame::wantedSize(0, a, b);  // A * B * 12, wrapped alike
  auto* grown = new std::uint8_t[records];
  std::memcpy(grown, data, size);
  sink = grown[0];
  delete[] grown;
}

// Level 5: the protocol's reply field, everything after the first comma, is copied into a
// fixed buffer of the size the girl "expects"; the winner stretched it to 256 bytes or more.
// global-buffer-overflow (WRITE).
char reply[chat::kNeededBytes];
void answer(const std::uint8_t* data, std::size_t size) {
  char message[chat::kMessageBufferSize];
  readField(message, data, size);
  const char* comma = std::strchr(message, ',');
  std::strcpy(reply, comma + 1);  // the winner always has a comma
  sink = static_cast<std::uint8_t>(reply[0]);
}

// Level 6: after the checksum the kitchen trusts the body's first two bytes, the length of
// the first course, and makes room for the whole course and a closing byte. The room moves,
// but the course is still read through the pointer taken before. heap-use-after-free (READ).
void serveDinner(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> menu(data + 4, data + size);
  const std::uint8_t* course = menu.data();
  const std::size_t length = std::size_t{course[0]} | std::size_t{course[1]} << 8;
  menu.resize((length > menu.size() ? length : menu.size()) + 1);
  std::uint32_t sum = 0;
  std::size_t i = 2;
  do sum += course[i];  // through the pointer into the room the resize freed
  while (++i < length);
  sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!inputverdict::judgeBytes(TUMBLEWICK_LEVEL, data, size).passed()) return 0;
  constexpr void (*steps[])(const std::uint8_t*, std::size_t) = {signUp,     examine, loadPhoto,
                                                                 growSesame, answer,  serveDinner};
  steps[TUMBLEWICK_LEVEL - 1](data, size);
  return 0;
}
