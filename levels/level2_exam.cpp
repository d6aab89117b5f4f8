// Level 2 (physical examination): the dialog. The rule is in level2_exam_rule.h.
#include "level2_exam_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

const char kPass[] = "第2关闯关成功。本关主要考察除以0导致的拒绝服务技巧。";
const char kIndexFormat[] = "您的BMI=%d,体检不合格。\r\n BMI = (体重 - 衣重) / ((身高 - 鞋厚) ^ 2)";

const char* noticeText(exam::Outcome outcome) {
  switch (outcome) {
    case exam::Outcome::WrongClothes:
      return "请穿标准衣服进行体检";
    case exam::Outcome::WrongShoes:
      return "请穿标准鞋子进行体检";
    case exam::Outcome::LighterThanClothes:
      return "为什么你比一件衣服还轻？";
    case exam::Outcome::ShorterThanShoes:
      return "为什么你比一双鞋还矮？";
    case exam::Outcome::TallerThanTwoMetres:
      return "你有2米高吗？";
    case exam::Outcome::HeavierThanATonne:
      return "你有一吨重吗？";
    default:
      return nullptr;
  }
}

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

  if (verdict.outcome == exam::Outcome::Pass) {
    passLevel(dialog, 2, kPass);
  } else if (verdict.outcome == exam::Outcome::Index) {
    char text[256] = {};
    wsprintfA(text, kIndexFormat, verdict.index);
    SetDlgItemTextA(dialog, CTL_RESULT, text);
    playJingle(Jingle::Closing);
  } else {
    showNotice(dialog, noticeText(verdict.outcome), kCaptionError);
    playJingle(Jingle::Closing);
  }
}

void fillStandardValues(HWND dialog) {
  SetDlgItemInt(dialog, CTL_CLOTHES_WEIGHT, exam::kStandardClothesWeight, FALSE);
  SetDlgItemInt(dialog, CTL_SHOE_THICKNESS, exam::kStandardShoeThickness, FALSE);
}

}  // namespace

INT_PTR CALLBACK ExamProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {fillStandardValues, submitForm, 0, nullptr});
}
