#include "file_probe.h"

#include <commdlg.h>

#include <cstring>

#include "level_framework.h"
#include "resource.h"

namespace {

// Every path buffer of the file levels, in the picker and in the probe.
constexpr int kPathBufferSize = 256;

// One record for every file dialog of the game. It must not be refilled while a dialog
// still uses it, and the level stays usable while its file dialog is open (the dialog has
// no owner), so a second "+" from any level is ignored until the first dialog has returned.
OPENFILENAMEA g_openFile;
static_assert(sizeof(void*) != 8 || sizeof(OPENFILENAMEA) == 152, "the x64 record size");
bool g_fileDialogOpen = false;

// Read buffers up to this size live on the stack; a larger one (level 6's 64 KiB) is static.
// A level 6 of a second chain may refill it later: it is judged before any message is
// dispatched.
constexpr DWORD kStackBufferSize = 4096;
std::uint8_t g_largeBuffer[kLargestRead];

}  // namespace

void pickFile(HWND dialog, int level) {
  if (g_fileDialogOpen) return;
  char path[kPathBufferSize] = {};
  std::memset(&g_openFile, 0, sizeof g_openFile);
  g_openFile.lStructSize = sizeof g_openFile;
  g_openFile.lpstrFilter = levelInfo(level).file->filter;
  g_openFile.lpstrFile = path;
  g_openFile.nMaxFile = sizeof path;
  g_fileDialogOpen = true;
  const BOOL picked = GetOpenFileNameA(&g_openFile);
  g_fileDialogOpen = false;
  // A failed call may leave bytes behind (a path too long for the buffer gets the size it
  // needs written into the first bytes); show an empty field instead, as for a cancel.
  if (!picked) std::memset(path, 0, sizeof path);
  SetDlgItemTextA(dialog, CTL_FILE_PATH, path);
}

void probeFile(HWND dialog, int level) {
  const FileCheck& check = *levelInfo(level).file;
  char path[kPathBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_FILE_PATH, path, sizeof path);
  // Write access is asked for on purpose: a read-only file, or one that an earlier level of
  // the chain still holds, is turned away.
  const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    showVerdict(dialog, level, {display::Text::OpenFailed});
    playJingle(Jingle::Closing);
    return;
  }

  std::uint8_t stackBuffer[kStackBufferSize];
  std::uint8_t* buffer = check.bufferSize <= sizeof stackBuffer ? stackBuffer : g_largeBuffer;
  const display::Verdict verdict = display::of(fileverdict::judgeFile(
      check, GetFileSize(file, nullptr), buffer, [file](std::uint8_t* into, std::uint32_t count) {
        DWORD bytesRead = 0;  // never looked at: the buffer was zeroed
        ReadFile(file, into, count, &bytesRead, nullptr);
      }));
  if (verdict.passed()) {
    // The file stays open, and so unavailable to later file levels, until the chain unwinds.
    passLevel(dialog, level);
  } else {
    showVerdict(dialog, level, verdict);
    playJingle(Jingle::Closing);
  }
  CloseHandle(file);
}
