// Level 5 (message to the girl): the dialog. Its rule is level5_chat_rule.h, its texts are in
// level_table.cpp.
#include "level5_chat_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

// A rejection is only the girl's reply: no jingle, no notice.
void sendMessage(HWND dialog) {
  const LevelTexts& texts = levelTexts(5);
  char message[chat::kMessageBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_MESSAGE, message, sizeof message);
  const int length = lstrlenA(message);
  if (length == 0 || !chat::passes(message, static_cast<std::size_t>(length))) {
    SetDlgItemTextA(dialog, CTL_RESULT, texts.rejections[0]);
    return;
  }
  SetDlgItemTextA(dialog, CTL_RESULT, texts.passReply);
  passLevel(dialog, 5);
}

void writeGreeting(HWND dialog) { SetDlgItemTextA(dialog, CTL_MESSAGE, levelTexts(5).greeting); }

}  // namespace

INT_PTR CALLBACK ChatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {5, writeGreeting, sendMessage});
}
