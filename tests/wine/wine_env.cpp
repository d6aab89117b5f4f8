#include "wine_env.h"

#include <windows.h>

namespace {
std::wstring variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}
}  // namespace

std::wstring gameExePath() { return variable(L"TUMBLEWICK_GAME"); }
std::wstring tracePath() { return variable(L"TUMBLEWICK_TRACE"); }
std::wstring screenshotDir() { return variable(L"TUMBLEWICK_SHOTS"); }
