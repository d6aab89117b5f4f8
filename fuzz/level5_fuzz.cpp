// Level 5 (message to the girl): the input is the message text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "level5_chat_rule.h"
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Like the dialog: a zero-filled 4096-byte buffer takes at most 4095 bytes, and the
  // message ends at the first NUL; an empty one is rejected before the scan.
  char message[chat::kMessageBufferSize] = {};
  const std::size_t taken = size < sizeof message - 1 ? size : sizeof message - 1;
  std::memcpy(message, data, taken);
  const std::size_t length = std::strlen(message);
  if (length != 0 && chat::passes(message, length)) fuzzlab::levelPassed(5);
  return 0;
}
