// Level 5 (message to the girl): the dialog. The rule is in level5_chat_rule.h.
#include "level5_chat_rule.h"

#include "level_framework.h"
#include "resource.h"

namespace {

const char kGreeting[] =
    "您好小姑娘,我今年18岁了。\r\n我的名字叫\"cc\".\r\n很高兴认识你，我们做朋友吧。";
const char kRejectionReply[] = "女孩回复：你是个好人，我们不合适。";
const char kPassReply[] = "女孩回复：你好坏啊!!";
const char kPass[] =
    "你已经成功拿下女孩\r\n"
    "有时候漏洞挖掘就像吹女孩一样简单，一眼看到字符串，直接拉长就搞定。\r\n"
    " 尤其在网络协议fuzz中，该方法效果远好于文件格式哦。\r\n"
    "本题涉及了网络协议初级fuzz的能力";

// A rejection is only the girl's reply: no jingle, no notice.
void sendMessage(HWND dialog) {
  char message[chat::kMessageBufferSize] = {};
  GetDlgItemTextA(dialog, CTL_MESSAGE, message, sizeof message);
  const int length = lstrlenA(message);
  if (length == 0 || !chat::passes(message, static_cast<std::size_t>(length))) {
    SetDlgItemTextA(dialog, CTL_RESULT, kRejectionReply);
    return;
  }
  SetDlgItemTextA(dialog, CTL_RESULT, kPassReply);
  passLevel(dialog, 5, kPass);
}

void writeGreeting(HWND dialog) { SetDlgItemTextA(dialog, CTL_MESSAGE, kGreeting); }

}  // namespace

INT_PTR CALLBACK ChatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {writeGreeting, sendMessage, 0, nullptr});
}
