// Level 2 (physical examination): the input is the four numbers of the form.
//
// The dialog reads each field as an unsigned 32-bit number, so the fuzzer hands it four
// such numbers directly (16 bytes, little-endian, in the dialog's read order: clothes
// weight, shoe thickness, weight, height) rather than digit text. Every input is then a
// form the level really judges, and the fuzzer spends nothing on the platform's number
// parsing, which is not the level's. Missing bytes read as 0, as an empty field does.
#include <cstddef>
#include <cstdint>

#include "level2_exam_rule.h"
#include "level_pass.h"

namespace {
std::uint32_t field(const std::uint8_t* data, std::size_t size, std::size_t index) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t at = index * 4 + i;
    if (at < size) value |= std::uint32_t{data[at]} << (8 * i);
  }
  return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const exam::Verdict verdict =
      exam::judge(exam::asSigned(field(data, size, 0)), exam::asSigned(field(data, size, 1)),
                  exam::asSigned(field(data, size, 2)), exam::asSigned(field(data, size, 3)));
  if (verdict.outcome == exam::Outcome::Pass) fuzzlab::levelPassed(2);
  return 0;
}
