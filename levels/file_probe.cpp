#include "file_probe.h"

#include <commdlg.h>

#include <cstring>

#include "file_size_rule.h"
#include "level_framework.h"
#include "resource.h"

namespace {

// One record for every file dialog of the game. It must not be refilled while a dialog
// still uses it, and the level stays usable while its file dialog is open (the dialog has
// no owner), so a second "+" from any level is ignored until the first dialog has returned.
OPENFILENAMEA g_openFile;
static_assert(sizeof(void*) != 8 || sizeof(OPENFILENAMEA) == 152, "the x64 record size");
bool g_fileDialogOpen = false;

}  // namespace

void pickFile(HWND dialog, const char* filter) {
  if (g_fileDialogOpen) return;
  char path[kPathBufferSize] = {};
  std::memset(&g_openFile, 0, sizeof g_openFile);
  g_openFile.lStructSize = sizeof g_openFile;
  g_openFile.lpstrFilter = filter;
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

void probeFile(HWND dialog, const FileProbe& probe) {
  char path[kPathBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_FILE_PATH, path, sizeof path);
  // Write access is asked for on purpose: a read-only file, or one that an earlier level of
  // the chain still holds, is turned away.
  const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    showNotice(dialog, probe.openFailedText, kCaptionError);
    playJingle(Jingle::Closing);
    return;
  }

  const DWORD size = GetFileSize(file, nullptr);
  const fileprobe::SizeVerdict verdict = fileprobe::judgeSize(size, probe.minSize, probe.maxSize);
  if (verdict != fileprobe::SizeVerdict::Accepted) {
    if (verdict == fileprobe::SizeVerdict::Empty) {
      showNotice(dialog, probe.emptyText, kCaptionError);
    } else {
      SetDlgItemTextA(
          dialog, CTL_RESULT,
          verdict == fileprobe::SizeVerdict::TooSmall ? probe.tooSmallText : probe.tooLargeText);
    }
    playJingle(Jingle::Closing);
    CloseHandle(file);
    return;
  }

  // A short read leaves the rest of the buffer zero; the count read is not needed.
  std::memset(probe.buffer, 0, probe.bufferSize);
  const DWORD wanted = probe.bytesToRead(size);
  DWORD bytesRead = 0;
  ReadFile(file, probe.buffer, wanted < probe.bufferSize ? wanted : probe.bufferSize, &bytesRead,
           nullptr);

  const char* rejection = probe.rule(size, probe.buffer);
  if (rejection != nullptr) {
    SetDlgItemTextA(dialog, CTL_RESULT, rejection);
    playJingle(Jingle::Closing);
  } else {
    // The file stays open, and so unavailable to later file levels, until the chain unwinds.
    passLevel(dialog, probe.level, probe.passText);
  }
  CloseHandle(file);
}
