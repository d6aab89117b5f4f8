// Level 1 (sign-up desk): the dialog. The rule is in level1_signup_rule.h.
#include "level1_signup_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

const char kAdmissionNotice[] =
    "该游戏用各种能想到的方式，输入足够畸形的数据，即可通关。\r\n"
    "通过该游戏，锻炼游戏者的思维，有利于更好的了解和使用Fuzzing技术。\r\n"
    "目前共计6关，建议游戏时间为15-30分钟\r\n"
    "本游戏不涉及软件逆向知识,面向初学者。";
const char kRejection[] = "不太对哦。";
const char kPass[] =
    "第一关闯关成功。超长字符串覆盖是Fuzzing世界中最简单的。也是比较容易被利用的（一般都为栈溢出）";

void submitName(HWND dialog) {
  char name[signup::kNameBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_USER_NAME, name, sizeof name);
  if (signup::judge(lstrlenA(name)) == signup::Verdict::Pass) {
    passLevel(dialog, 1, kPass);
  } else {
    playJingle(Jingle::Closing);
    showNotice(dialog, kRejection, kCaptionError);
  }
}

}  // namespace

INT_PTR CALLBACK SignupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    playJingle(Jingle::Opening);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (commandId(wParam)) {
    case IDOK:
      submitName(dialog);
      return TRUE;
    case CTL_NOTICE:
      playJingle(Jingle::Fanfare);
      showNotice(dialog, kAdmissionNotice, kCaptionAdmission);
      return TRUE;
    case IDCANCEL:
    case CTL_QUIT:
      leaveLevel(dialog, commandId(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}
