// Level 5 (message to the girl): the dialog. Its rule is level5_chat_rule.h, its texts are in
// level_table.cpp.
#include "level5_chat_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

// A rejection is only the girl's reply: no jingle, no notice.
void sendMessage(HWND dialog, int level) {
  char message[chat::kMessageBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_MESSAGE, message, sizeof message);
  const auto length = static_cast<std::size_t>(lstrlenA(message));
  const display::Verdict verdict = display::ofChat(chat::passes(message, length));
  if (verdict.passed()) {
    passLevel(dialog, level);
  } else {
    showVerdict(dialog, level, verdict);
  }
}

void writeGreeting(HWND dialog) { SetDlgItemTextA(dialog, CTL_MESSAGE, levelTexts(5).greeting); }

}  // namespace

DIALOG_PROCEDURE INT_PTR CALLBACK ChatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {5, writeGreeting, sendMessage});
}
