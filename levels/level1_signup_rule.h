// Level 1 (sign-up desk): an overlong user name gets through.
#pragma once

namespace signup {

// The name field is read into this many bytes, so at most 511 bytes of text arrive.
constexpr int kNameBufferSize = 512;

enum class Verdict { Reject, Pass };

// nameBytes: length of the name in bytes of code page 936 text.
constexpr Verdict judge(int nameBytes) { return nameBytes > 256 ? Verdict::Pass : Verdict::Reject; }

}  // namespace signup
