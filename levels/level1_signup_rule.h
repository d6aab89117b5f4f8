// Level 1 (sign-up desk): an overlong user name gets through.
#pragma once

#include "stage_trail.h"

namespace signup {

// The name field is read into this many bytes, so at most 511 bytes of text arrive.
constexpr int kNameBufferSize = 512;

enum class Verdict { Reject, Pass };

// The checks, in order (stage_texts.cpp names them).
enum Stage { kLongName, kStageCount };

// nameBytes: length of the name in bytes of code page 936 text.
constexpr Verdict judge(int nameBytes, stages::Trail* trail = nullptr) {
  return stages::check(trail, nameBytes > 256, {nameBytes}) ? Verdict::Pass : Verdict::Reject;
}

}  // namespace signup
