// Level 3 (photo authentication): the input is the picked file.
#include "level_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzlab::judgeFileInput(3, data, size);
  return 0;
}
