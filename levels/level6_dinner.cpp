// Level 6 (candlelit dinner): the dialog. The rule is in level6_dinner_rule.h. Its pass runs
// the finish dialog.
#include "level6_dinner_rule.h"

#include "file_probe.h"
#include "level_framework.h"
#include "resource.h"

namespace {

const char kFilter[] = "*.*\0";

// Too big for the stack. A level 6 of a second chain may reuse it later: it is filled and
// judged before any message is dispatched.
std::uint8_t g_sample[dinner::kReadBufferSize];

DWORD bytesToRead(DWORD size) { return size; }

const char* rule(std::uint32_t size, const std::uint8_t* bytes) {
  return dinner::judge(bytes, size) == dinner::Verdict::Pass ? nullptr : "错误:样本不合格哦";
}

void submitSample(HWND dialog) {
  const FileProbe probe = {
      "读取失败。",
      "大小为0？",
      dinner::kMinSize,
      "错误:小于1KB，不合格哦",
      dinner::kMaxSize,
      "错误:不应该大于64KB",
      g_sample,
      sizeof g_sample,
      bytesToRead,
      rule,
      6,
      "样本合格，全部通关！你真棒！！\r\n本题涉及了文件格式高级fuzz的能力",
  };
  probeFile(dialog, probe);
}

void browse(HWND dialog) { pickFile(dialog, kFilter); }

}  // namespace

INT_PTR CALLBACK DinnerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {nullptr, submitSample, CTL_BROWSE, browse});
}
