// Level 2 (physical examination): the dialog. Its rule is level2_exam_rule.h, its texts are
// in level_table.cpp.
#include "level2_exam_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

std::int32_t readField(HWND dialog, int id) {
  return exam::asSigned(GetDlgItemInt(dialog, id, nullptr, FALSE));
}

void submitForm(HWND dialog) {
  // The read order is part of the game: clothes, shoes, weight, height.
  const std::int32_t clothes = readField(dialog, CTL_CLOTHES_WEIGHT);
  const std::int32_t shoes = readField(dialog, CTL_SHOE_THICKNESS);
  const std::int32_t weight = readField(dialog, CTL_WEIGHT);
  const std::int32_t height = readField(dialog, CTL_HEIGHT);
  const exam::Verdict verdict = exam::judge(clothes, shoes, weight, height);
  const LevelTexts& texts = levelTexts(2);

  if (verdict.outcome == exam::Outcome::Pass) {
    passLevel(dialog, 2);
  } else if (verdict.outcome == exam::Outcome::Index) {
    char text[256] = {};
    wsprintfA(text, texts.indexFormat, verdict.index);
    SetDlgItemTextA(dialog, CTL_RESULT, text);
    playJingle(Jingle::Closing);
  } else {
    showNotice(dialog, texts.rejections[static_cast<int>(verdict.outcome)], captions().error);
    playJingle(Jingle::Closing);
  }
}

void fillStandardValues(HWND dialog) {
  SetDlgItemInt(dialog, CTL_CLOTHES_WEIGHT, exam::kStandardClothesWeight, FALSE);
  SetDlgItemInt(dialog, CTL_SHOE_THICKNESS, exam::kStandardShoeThickness, FALSE);
}

}  // namespace

INT_PTR CALLBACK ExamProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {2, fillStandardValues, submitForm});
}
