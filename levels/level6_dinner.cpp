// Level 6 (candlelit dinner): the dialog, all skeleton and file probe; its pass runs the
// finish dialog. Its rule is level6_dinner_rule.h, its limits and texts are in
// level_table.cpp.
#include "file_probe.h"
#include "level_framework.h"

DIALOG_PROCEDURE INT_PTR CALLBACK DinnerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {6, nullptr, probeFile, pickFile});
}
