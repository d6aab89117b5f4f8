// Level 1 (sign-up desk): the dialog. Its rule is level1_signup_rule.h, its texts are in
// level_table.cpp.
#include "level1_signup_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

void submitName(HWND dialog) {
  char name[signup::kNameBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_USER_NAME, name, sizeof name);
  const display::Verdict verdict = display::of(signup::judge(lstrlenA(name)));
  if (verdict.passed()) {
    passLevel(dialog, 1);
  } else {
    // Unlike the later levels, level 1 plays the closing jingle before its notice.
    playJingle(Jingle::Closing);
    showVerdict(dialog, 1, verdict);
  }
}

}  // namespace

// Level 1 has its own procedure: it has a quit button and an admission notice, and its
// submit is its default button IDOK rather than CTL_SUBMIT.
DIALOG_PROCEDURE INT_PTR CALLBACK SignupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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
      showNotice(dialog, levelTexts(1).admissionNotice, captions().admission);
      return TRUE;
    case IDCANCEL:
    case CTL_QUIT:
      leaveLevel(dialog, commandId(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}
