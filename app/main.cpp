// Entry point and main window: an empty window whose menu starts the level chain.
#include <windows.h>

#include "level_framework.h"
#include "resource.h"

namespace {

WCHAR g_title[100];
WCHAR g_windowClass[100];

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case CMD_ABOUT:
          DialogBoxParamW(g_instance, MAKEINTRESOURCEW(DLG_ABOUT), window, AboutProc, 0);
          return 0;
        case CMD_EXIT:
          DestroyWindow(window);
          return 0;
        case CMD_START_GAME:
          runLevel(window, 1);  // the whole chain; returns once it has unwound
          return 0;
        default:
          return DefWindowProcW(window, message, wParam, lParam);
      }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void registerMainClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ICON_MAIN));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The platform's way of naming a system colour brush is a small integer in a handle.
  wc.hbrBackground =
      reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);  // NOLINT(performance-no-int-to-ptr)
  wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN);
  wc.lpszClassName = g_windowClass;
  wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(ICON_SMALL));
  RegisterClassExW(&wc);
}

// The texts go through the ANSI functions, and only code page 936 shows the Chinese ones;
// every other code page gets the English edition. The resource loader picks the menu, the
// dialog templates and the strings by the thread's UI language, and older Windows and Wine by
// the thread's locale, so both are told the same.
void chooseLanguage() {
  g_language = languageOf(GetACP());
  const LANGID language = g_language == Language::Chinese
                              ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                              : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  SetThreadUILanguage(language);
  SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  chooseLanguage();
  LoadStringW(instance, STR_APP_TITLE, g_title, 100);
  LoadStringW(instance, STR_WINDOW_CLASS, g_windowClass, 100);
  registerMainClass(instance);
  g_instance = instance;

  HWND window = CreateWindowExW(0, g_windowClass, g_title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (!window) return 0;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN));
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {  // -1 (an error) must not spin
    if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
