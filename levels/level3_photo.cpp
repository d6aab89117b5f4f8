// Level 3 (photo authentication): the dialog. The rule is in level3_photo_rule.h.
#include "level3_photo_rule.h"

#include "file_probe.h"
#include "level_framework.h"
#include "resource.h"

namespace {

const char kFilter[] = "*.BMP\0";

DWORD bytesToRead(DWORD size) {
  return size < photo::kReadBufferSize ? size : photo::kReadBufferSize;
}

const char* rule(std::uint32_t size, const std::uint8_t* bytes) {
  switch (photo::judge(size, bytes)) {
    case photo::Verdict::NotBmp:
      return "错误:这看上去并不是BMP图片";
    case photo::Verdict::Failed:
      return "图片是有效，但是认证失败了。";
    default:
      return nullptr;
  }
}

void submitPhoto(HWND dialog) {
  std::uint8_t head[photo::kReadBufferSize];
  const FileProbe probe = {
      "文件打开失败.图像验证失败。",
      "图片为空。",
      photo::kMinSize,
      "错误:图片不得小于1KB",
      photo::kMaxSize,
      "错误:图片不得大于256KB",
      head,
      sizeof head,
      bytesToRead,
      rule,
      3,
      "第3关闯关成功。本关主要考察对文件格式的初级Fuzz能力。",
  };
  probeFile(dialog, probe);
}

void browse(HWND dialog) { pickFile(dialog, kFilter); }

}  // namespace

INT_PTR CALLBACK PhotoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  return runLevelDialog(dialog, message, wParam, {nullptr, submitPhoto, CTL_BROWSE, browse});
}
