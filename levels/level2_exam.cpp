// Level 2 (physical examination): the dialog. Its rule is level2_exam_rule.h, its texts are
// in level_table.cpp.
#include "level2_exam_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

std::int32_t readField(HWND dialog, int id) {
  return exam::asSigned(GetDlgItemInt(dialog, id, nullptr, FALSE));
}

void submitForm(HWND dialog, int level) {
  // The fields are read in the order of exam::Form, which the designators must follow.
  const exam::Form form = {
      .clothesWeight = readField(dialog, CTL_CLOTHES_WEIGHT),
      .shoeThickness = readField(dialog, CTL_SHOE_THICKNESS),
      .weight = readField(dialog, CTL_WEIGHT),
      .height = readField(dialog, CTL_HEIGHT),
  };
  const display::Verdict verdict = display::of(exam::judge(form));
  if (verdict.passed()) {
    passLevel(dialog, level);
  } else {
    showVerdict(dialog, level, verdict);
    playJingle(Jingle::Closing);
  }
}

void fillStandardValues(HWND dialog) {
  SetDlgItemInt(dialog, CTL_CLOTHES_WEIGHT, exam::kStandardClothesWeight, FALSE);
  SetDlgItemInt(dialog, CTL_SHOE_THICKNESS, exam::kStandardShoeThickness, FALSE);
}

}  // namespace

DIALOG_PROCEDURE INT_PTR CALLBACK ExamProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {2, fillStandardValues, submitForm});
}
