// The file picker and the file probe that the file levels 3, 4 and 6 share: the path field
// with its "+" button, and the open-size-read-judge sequence behind each level's submit.
#pragma once

#include <windows.h>

#include <cstdint>

// Every path buffer of the file levels, in the picker and in the probe.
constexpr int kPathBufferSize = 256;

// CTL_BROWSE: lets the player pick a file and writes its path into CTL_FILE_PATH; a
// cancelled or failed pick empties the field. filter is one pattern followed by two NULs
// (write it as "*.BMP\0"; the literal adds the second). Ignored while a file dialog is open.
void pickFile(HWND dialog, const char* filter);

// What a file level hands to the probe.
struct FileProbe {
  const char* openFailedText;  // notice
  const char* emptyText;       // notice
  std::int32_t minSize;
  const char* tooSmallText;  // result line
  std::int32_t maxSize;      // inclusive
  const char* tooLargeText;  // result line
  std::uint8_t* buffer;      // zero-filled before the read
  DWORD bufferSize;
  DWORD (*bytesToRead)(DWORD size);  // given the accepted size
  // The level's rule over the accepted size and the bytes read: the rejection text for the
  // result line, or nullptr for a pass.
  const char* (*rule)(std::uint32_t size, const std::uint8_t* bytes);
  int level;  // row of the level table, for the pass
  const char* passText;
};

// CTL_SUBMIT: opens the file named in CTL_FILE_PATH, judges its size, reads its first bytes
// and applies the rule, showing every rejection. On a pass the level is passed and the file
// stays open until the rest of the chain has returned. The file is always closed on return.
void probeFile(HWND dialog, const FileProbe& probe);
