// Level 1 (sign-up desk): the input is what the player types as the user name.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "level1_signup_rule.h"
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Like the dialog: a zero-filled 512-byte buffer takes at most 511 bytes, and the length
  // is counted up to the first NUL.
  char name[signup::kNameBufferSize] = {};
  const std::size_t taken = size < sizeof name - 1 ? size : sizeof name - 1;
  std::memcpy(name, data, taken);
  const auto length = static_cast<int>(std::strlen(name));
  if (signup::judge(length) == signup::Verdict::Pass) fuzzlab::levelPassed(1);
  return 0;
}
