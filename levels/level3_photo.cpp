// Level 3 (photo authentication): the dialog, all skeleton and file probe. Its rule is
// level3_photo_rule.h, its limits and texts are in level_table.cpp.
#include "file_probe.h"
#include "level_framework.h"

DIALOG_PROCEDURE INT_PTR CALLBACK PhotoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {3, nullptr, probeFile, pickFile});
}
