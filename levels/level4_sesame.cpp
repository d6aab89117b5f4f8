// Level 4 (sesame weighing): the dialog. The rule is in level4_sesame_rule.h.
#include "level4_sesame_rule.h"

#include "file_probe.h"
#include "level_framework.h"
#include "resource.h"

namespace {

// The same filter as level 3, although the sesame is no picture.
const char kFilter[] = "*.BMP\0";

DWORD bytesToRead(DWORD) { return sesame::kReadBufferSize; }

const char* rule(std::uint32_t size, const std::uint8_t* bytes) {
  switch (sesame::judge(size, bytes)) {
    case sesame::Verdict::BadHeader:
      return "错误:小芝麻不合格。";
    case sesame::Verdict::SizeMismatch:
      return "错误:小芝麻已经坏掉了。";
    default:
      return nullptr;
  }
}

void submitSesame(HWND dialog) {
  std::uint8_t head[sesame::kReadBufferSize];
  const FileProbe probe = {
      "没有发现小芝麻验证失败。",
      "小芝麻重量为0？",
      sesame::kMinSize,
      "错误:小芝麻小于4KB，不合格哦",
      sesame::kMaxSize,
      "错误:小芝麻不应该大于1MB",
      head,
      sizeof head,
      bytesToRead,
      rule,
      4,
      "您培养出合格的大芝麻。第4关闯关成功。本关主要考察对文件格式的中级Fuzz能力。",
  };
  probeFile(dialog, probe);
}

void browse(HWND dialog) { pickFile(dialog, kFilter); }

}  // namespace

INT_PTR CALLBACK SesameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {nullptr, submitSesame, CTL_BROWSE, browse});
}
