#include "chain.h"

#include <gtest/gtest.h>

#include "resource.h"

const std::wstring& levelCaption(int level) {
  static const std::wstring captions[] = {
      L"",
      L"Tumblewick 第1关(报名站)",
      L"Tumblewick 第二关[体检中心]",
      L"Tumblewick 第三关[照片认证]",
      L"Tumblewick 第4关[餐厅]",
      L"Tumblewick 第5关[入学：漂亮女孩]",
      L"Tumblewick 第6关[烛光晚餐：兼得之道]",
      L"闯关成功",
  };
  return captions[level];
}

namespace {
void putLittle(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putBig(Bytes& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
}  // namespace

Bytes bmpSample(std::uint32_t size, std::uint32_t declared) {
  Bytes b(size, 0);
  if (size >= 2) b[0] = 'B', b[1] = 'M';
  if (size >= 6) putLittle(b, 2, declared);
  return b;
}

Bytes sesameSample(std::uint32_t size, std::uint32_t h, std::uint32_t a, std::uint32_t b) {
  Bytes out(size, 0x5A);
  if (size >= 12) {
    putBig(out, 0, h);
    putBig(out, 4, a);
    putBig(out, 8, b);
  }
  return out;
}

std::uint32_t crc32(const std::uint8_t* data, size_t length) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

Bytes dinnerSample(std::uint32_t size, std::uint8_t fill) {
  Bytes b(size, fill);
  if (size >= 4) putLittle(b, 0, crc32(b.data() + 4, size - 4));
  return b;
}

std::wstring writeSample(const Game& game, const std::wstring& name, const Bytes& bytes) {
  const std::wstring path = game.workDir() + L"\\" + name;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(f, INVALID_HANDLE_VALUE) << "cannot write " << utf8(path);
  DWORD written = 0;
  if (!bytes.empty())
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return path;
}

void submitPath(const Game& game, HWND dialog, const std::wstring& path) {
  game.type(dialog, CTL_FILE_PATH, path);
  game.command(dialog, CTL_SUBMIT);
}

HWND playTo(Game& game, int level) {
  game.command(game.mainWindow(), CMD_START_GAME);
  HWND dialog = game.waitDialog(levelCaption(1));
  for (int passing = 1; dialog && passing < level; ++passing) {
    switch (passing) {
      case 1:
        game.type(dialog, CTL_USER_NAME, std::wstring(257, L'a'));
        game.command(dialog, IDOK);
        break;
      case 2:
        game.type(dialog, CTL_WEIGHT, L"60");
        game.type(dialog, CTL_HEIGHT, L"2");
        game.command(dialog, CTL_SUBMIT);
        break;
      case 3:
        submitPath(game, dialog, writeSample(game, L"chain3.bmp", bmpSample(1024, 0xFFFFFFFFu)));
        break;
      case 4:
        submitPath(game, dialog, writeSample(game, L"chain4.zip", sesameSample(4096, 16, 1, 340)));
        break;
      case 5:
        game.type(dialog, CTL_MESSAGE, L"," + std::wstring(256, L'a'));
        game.command(dialog, CTL_SUBMIT);
        break;
      case 6:
        submitPath(game, dialog, writeSample(game, L"chain6.bin", dinnerSample(1024)));
        break;
    }
    game.dismiss(game.waitNotice(L"恭喜"));
    dialog = game.waitDialog(levelCaption(passing + 1));
  }
  EXPECT_TRUE(dialog) << "could not reach level " << level;
  if (dialog && level <= 6) {
    EXPECT_TRUE(game.waitEvents(openingJingle()));
  }
  game.settle(100);
  game.mark();
  return dialog;
}
