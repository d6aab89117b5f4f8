// Takes the README's screenshots of every window of the game, in the language of the code page
// it runs under, as 24-bit BMP files in TUMBLEWICK_SHOTS (scripts/screenshots.sh runs it twice
// and turns them into PNG). It plays the game as a player would, finding each window by a
// control that only it has, and checks nothing: the Wine tests do that.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "level_table.h"
#include "resource.h"

namespace {

DWORD g_game = 0;  // the game's process

std::wstring env(const wchar_t* name) {
  wchar_t value[1024] = {};
  GetEnvironmentVariableW(name, value, 1024);
  return value;
}

// The notice captions are UTF-8 here, in the edition the game plays.
std::wstring caption(bool admission) {
  const NoticeCaptions& c = noticeCaptions(languageOf(GetACP()));
  wchar_t text[64] = {};
  MultiByteToWideChar(CP_UTF8, 0, admission ? c.admission : c.congrats, -1, text, 64);
  return text;
}

// Waits for a visible top-level window of the game for which `is` holds.
HWND await(const std::function<bool(HWND)>& is) {
  for (int tries = 0; tries < 1000; ++tries, Sleep(20)) {
    for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, nullptr, nullptr)) {
      DWORD process = 0;
      GetWindowThreadProcessId(w, &process);
      if (process == g_game && IsWindowVisible(w) && is(w)) return w;
    }
  }
  std::fprintf(stderr, "screenshots: a window of the game did not appear\n");
  ExitProcess(1);
}
HWND with(int control) {
  return await([control](HWND w) { return GetDlgItem(w, control) != nullptr; });
}
HWND notice(bool admission) {
  const std::wstring wanted = caption(admission);
  return await([&](HWND w) {
    wchar_t text[64] = {};
    GetWindowTextW(w, text, 64);
    return wanted == text;
  });
}

void click(HWND window, int id) { PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(id), 0); }
void type(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
// Submits, then lets the verdict show.
void submit(HWND dialog, int field, const std::wstring& text, int button = CTL_SUBMIT) {
  type(dialog, field, text);
  click(dialog, button);
  Sleep(300);
}
// The congratulation that ends a level, answered.
void congratulated() {
  HWND box = notice(false);
  click(box, IDOK);
  while (IsWindowVisible(box)) Sleep(20);
}

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
  const std::wstring path =
      env(L"TUMBLEWICK_SHOTS") + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
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

}  // namespace

int main() {
  std::wstring command = L"\"" + env(L"TUMBLEWICK_GAME") + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION game{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &game)) {
    return 1;
  }
  g_game = game.dwProcessId;
  HWND main = await([](HWND w) { return FindWindowW(L"VUDOREZE", nullptr) == w; });
  shot(main, "main_window");
  click(main, CMD_ABOUT);
  HWND about = with(IDOK);  // the only window with an OK button now
  shot(about, "about_box");
  click(about, IDOK);

  click(main, CMD_START_GAME);
  HWND d = with(CTL_USER_NAME);
  shot(d, "level1_signup");
  click(d, CTL_NOTICE);
  HWND admission = notice(true);
  shot(admission, "level1_admission_notice");
  click(admission, IDOK);
  submit(d, CTL_USER_NAME, std::wstring(300, L'x'), IDOK);
  congratulated();

  d = with(CTL_HEIGHT);
  type(d, CTL_WEIGHT, L"60");
  submit(d, CTL_HEIGHT, L"170");
  shot(d, "level2_exam_index");
  submit(d, CTL_HEIGHT, L"2");
  congratulated();

  const std::wstring winners = env(L"TUMBLEWICK_FUZZ_WINNERS") + L"\\level";
  const char* const names[] = {"level3_photo", "level4_sesame", "level5_chat", "level6_dinner"};
  for (int level = 3; level <= 6; ++level) {
    // Each level's dialog: the only visible one with a file path or a message field.
    d = with(level == 5 ? CTL_MESSAGE : CTL_FILE_PATH);
    if (level == 3) {
      click(d, CTL_BROWSE);
      HWND picker = with(0x47C);  // the open-file dialog's file-name field
      shot(picker, "file_picker");
      click(picker, IDCANCEL);
    }
    // A rejection in the result line: the starter files are too small, the greeting too short.
    if (level == 5) {
      click(d, CTL_SUBMIT);
      Sleep(300);
      shot(d, names[level - 3]);
      submit(d, CTL_MESSAGE, L"," + std::wstring(256, L'x'));
    } else {
      submit(d, CTL_FILE_PATH,
             env(L"TUMBLEWICK_STARTERS") + (level == 6 ? L"\\02.ZIP" : L"\\01.ZIP"));
      shot(d, names[level - 3]);
      submit(d, CTL_FILE_PATH, winners + std::to_wstring(level) + L".bin");
    }
    congratulated();
    while (IsWindowVisible(d)) Sleep(20);
  }
  shot(with(IDOK), "finish_dialog");
  TerminateProcess(game.hProcess, 0);
  return 0;
}
