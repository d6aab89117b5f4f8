// Level 4 (sesame weighing): the dialog, all skeleton and file probe. Its rule is
// level4_sesame_rule.h, its limits and texts are in level_table.cpp.
#include "file_probe.h"
#include "level_framework.h"

DIALOG_PROCEDURE INT_PTR CALLBACK SesameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {4, nullptr, probeFile, pickFile});
}
