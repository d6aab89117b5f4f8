// Prints start-up and response figures of the game under Wine. Not a test: it only measures.
//   bench.exe GAME.exe MINIMAL.exe [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

struct Find {
  DWORD pid;
  const wchar_t* cls;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK match(HWND w, LPARAM p) {
  auto* f = reinterpret_cast<Find*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  wchar_t cls[64] = {}, title[128] = {};
  GetClassNameW(w, cls, 64);
  GetWindowTextW(w, title, 128);
  if (pid == f->pid && IsWindowVisible(w) && lstrcmpW(cls, f->cls) == 0 &&
      (!f->title || lstrcmpW(title, f->title) == 0)) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND waitWindow(DWORD pid, const wchar_t* cls, const wchar_t* title, double timeoutMs = 20000) {
  const double start = now();
  while (now() - start < timeoutMs) {
    Find f{pid, cls, title, nullptr};
    EnumWindows(match, reinterpret_cast<LPARAM>(&f));
    if (f.found) return f.found;
    Sleep(1);
  }
  return nullptr;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from CreateProcess to the first visible window of the given class.
double startUp(const std::wstring& exe, const wchar_t* cls, const wchar_t* title,
               PROCESS_INFORMATION& pi, HWND& window) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  std::wstring cmd = L"\"" + exe + L"\"";
  const double t0 = now();
  if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "cannot start %ls\n", exe.c_str());
    std::exit(1);
  }
  window = waitWindow(pi.dwProcessId, cls, title);
  return now() - t0;
}

void stop(PROCESS_INFORMATION& pi) {
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench GAME.exe MINIMAL.exe [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? _wtoi(argv[3]) : 15;
  std::vector<double> game, minimal, verdict;
  for (int i = 0; i < runs + 1; ++i) {  // the first round only warms Wine up
    PROCESS_INFORMATION pi;
    HWND w;
    const double g = startUp(argv[1], L"VUDOREZE", L"Velk_Game", pi, w);
    // From pressing the sign-up button with an empty name to the rejection notice.
    PostMessageW(w, WM_COMMAND, 32772, 0);
    HWND signup = waitWindow(pi.dwProcessId, L"#32770", L"Tumblewick 第1关(报名站)");
    const double t0 = now();
    PostMessageW(signup, WM_COMMAND, IDOK, 0);
    waitWindow(pi.dwProcessId, L"#32770", L"错误");
    const double v = now() - t0;
    stop(pi);
    const double m = startUp(argv[2], L"#32770", L"Minimal", pi, w);
    stop(pi);
    if (i == 0) continue;
    game.push_back(g);
    minimal.push_back(m);
    verdict.push_back(v);
  }
  const double mg = median(game), mm = median(minimal);
  std::printf(
      "start-up to visible main window: game %.1f ms, minimal dialog program %.1f ms "
      "(ratio %.2f), median of %d\n",
      mg, mm, mm > 0 ? mg / mm : 0.0, runs);
  std::printf("sign-up button to verdict notice: %.1f ms, median of %d\n", median(verdict), runs);
  return 0;
}
