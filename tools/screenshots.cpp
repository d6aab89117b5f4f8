// Takes the README's screenshots of every window of the game, in the language of the code page
// it runs under, as 24-bit BMP files in TUMBLEWICK_SHOTS (scripts/screenshots.sh runs it twice
// and turns them into PNG). It plays the game with the Wine test driver but checks nothing.
#include <cstdio>

#include "driver.h"
#include "resource.h"

namespace {

// The window with its frame, as it is on the screen now.
void shot(HWND window, const std::string& name) {
  Sleep(400);  // let it paint
  RECT r{};
  GetWindowRect(window, &r);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = r.right - r.left;
  info.biHeight = r.bottom - r.top;
  info.biPlanes = 1;
  info.biBitCount = 24;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD size = ((static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u) * info.biHeight;
  BITMAPFILEHEADER head{};
  head.bfType = 0x4D42;
  head.bfOffBits = sizeof head + sizeof info;
  head.bfSize = head.bfOffBits + size;
  const std::wstring path = env(L"TUMBLEWICK_SHOTS") + L"\\" + wide(name) + L".bmp";
  if (FILE* out = _wfopen(path.c_str(), L"wb")) {
    std::fwrite(&head, sizeof head, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(bits, size, 1, out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void submit(Game& g, HWND dialog, int id, const std::wstring& text, int field) {
  g.type(dialog, field, text);
  g.click(dialog, id);
  Sleep(300);
}

}  // namespace

int main() {
  Game g;
  shot(g.main(), "main_window");
  g.click(g.main(), CMD_ABOUT);
  shot(g.window("About"), "about_box");
  g.click(g.window("About"), IDOK);

  g.click(g.main(), CMD_START_GAME);
  HWND d = g.window("L1");
  shot(d, "level1_signup");
  g.keepNotices = true;
  g.click(d, CTL_NOTICE);
  HWND notice = nullptr;
  for (int i = 0; i < 200 && !notice; ++i, Sleep(20)) {
    notice = FindWindowW(L"#32770", wide(captions().admission).c_str());
  }
  shot(notice, "level1_admission_notice");
  g.keepNotices = false;
  submit(g, d, IDOK, std::wstring(300, L'x'), CTL_USER_NAME);

  d = g.window("L2");
  g.type(d, CTL_WEIGHT, L"60");
  submit(g, d, CTL_SUBMIT, L"170", CTL_HEIGHT);
  shot(d, "level2_exam_index");
  submit(g, d, CTL_SUBMIT, L"2", CTL_HEIGHT);

  const std::wstring winners = env(L"TUMBLEWICK_FUZZ_WINNERS") + L"\\level";
  const char* const names[] = {
      "", "", "", "level3_photo", "level4_sesame", "level5_chat", "level6_dinner"};
  for (int level = 3; level <= 6; ++level) {
    d = g.window("L" + std::to_string(level));
    if (level == 3) {
      g.click(d, CTL_BROWSE);
      shot(g.window(), "file_picker");
      g.click(g.window(), IDCANCEL);
    }
    // A rejection in the result line: the starter files are too small, the greeting too short.
    if (level == 5) {
      g.click(d, CTL_SUBMIT);
      Sleep(300);
    } else {
      submit(g, d, CTL_SUBMIT,
             env(L"TUMBLEWICK_STARTERS") + (level == 6 ? L"\\02.ZIP" : L"\\01.ZIP"), CTL_FILE_PATH);
    }
    shot(d, names[level]);
    const bool chat = level == 5;  // passed with a message, the others with a winning file
    submit(g, d, CTL_SUBMIT,
           chat ? L"," + std::wstring(256, L'x') : winners + std::to_wstring(level) + L".bin",
           chat ? CTL_MESSAGE : CTL_FILE_PATH);
  }
  shot(g.window("Fin"), "finish_dialog");
  return 0;
}
