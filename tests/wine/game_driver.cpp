#include "game_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

std::wstring convertToWide(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int n =
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

std::string convertFromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::uint64_t fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::string readFrom(const std::wstring& path, std::uint64_t offset) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(f);
  return out;
}

// Reads the image size from the PE header, to know which return addresses are the game's.
std::uint64_t imageSize(const std::wstring& exe) {
  std::string head = readFrom(exe, 0).substr(0, 4096);
  if (head.size() < 0x100) return 0;
  std::uint32_t peAt;
  std::memcpy(&peAt, head.data() + 0x3C, 4);
  std::uint32_t size;
  std::memcpy(&size, head.data() + peAt + 24 + 56, 4);  // OptionalHeader.SizeOfImage (PE32+)
  return size;
}

// Decodes one quoted string of the trace: \xNN, \\, \", \n, \r, \t; stops at the quote.
std::string unquote(const std::string& s, size_t& i) {
  std::string out;
  ++i;  // opening quote
  while (i < s.size() && s[i] != '"') {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[i + 1];
      if (c == 'x' && i + 3 < s.size()) {
        out.push_back(static_cast<char>(std::strtoul(s.substr(i + 2, 2).c_str(), nullptr, 16)));
        i += 4;
        continue;
      }
      out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
      i += 2;
      continue;
    }
    out.push_back(s[i++]);
  }
  ++i;  // closing quote
  return out;
}

// Parses "Call dll.Name(args) ret=addr" (the part after "tid:").
bool parseCall(const std::string& line, Call& call, std::uint64_t& ret) {
  if (line.compare(0, 5, "Call ") != 0) return false;
  const size_t dot = line.find('.', 5);
  const size_t open = line.find('(', 5);
  if (dot == std::string::npos || open == std::string::npos || dot > open) return false;
  call.name = line.substr(dot + 1, open - dot - 1);
  size_t i = open + 1;
  while (i < line.size() && line[i] != ')') {
    const size_t start = i;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) ++i;
    call.args.push_back(std::strtoull(line.substr(start, i - start).c_str(), nullptr, 16));
    std::string text;
    if (i < line.size() && line[i] == ' ') ++i;
    if (i < line.size() && (line[i] == '"' || (line[i] == 'L' && line[i + 1] == '"'))) {
      const bool isWide = line[i] == 'L';
      if (isWide) ++i;
      text = unquote(line, i);
      if (line.compare(i, 3, "...") == 0) {
        text += "...";
        i += 3;
      }
      if (!isWide) text = utf8(convertToWide(text, 936));
    }
    call.strings.push_back(text);
    while (i < line.size() && line[i] != ',' && line[i] != ')') ++i;
    if (i < line.size() && line[i] == ',') ++i;
  }
  const size_t retAt = line.find(" ret=", i);
  if (retAt == std::string::npos) return false;
  ret = std::strtoull(line.c_str() + retAt + 5, nullptr, 16);
  return true;
}

std::string number(std::uint64_t v) { return std::to_string(static_cast<long long>(v)); }

struct Search {
  DWORD pid;
  const wchar_t* className;
  const std::wstring* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != s->pid || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (std::wcscmp(cls, s->className) != 0) return TRUE;
  if (s->caption) {
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    if (*s->caption != title) return TRUE;
  }
  s->found.push_back(window);
  return TRUE;
}

std::vector<HWND> findWindows(DWORD pid, const wchar_t* className, const std::wstring* caption) {
  Search s{pid, className, caption, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&s));
  // EnumWindows lists the topmost first; the newest dialog is on top.
  return std::vector<HWND>(s.found.rbegin(), s.found.rend());
}

std::wstring makeTempDir() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  wchar_t name[MAX_PATH] = {};
  GetTempFileNameW(base, L"tw", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  return name;
}

// Removes a folder the driver made, with everything the test wrote into it.
void removeTree(const std::wstring& dir) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace

std::string utf8(const std::wstring& text) { return convertFromWide(text, CP_UTF8); }
std::wstring wide(const std::string& utf8Text) { return convertToWide(utf8Text, CP_UTF8); }
std::string gbk(const std::wstring& text) { return convertFromWide(text, 936); }

std::string Call::brief() const {
  auto arg = [&](size_t i) { return i < args.size() ? args[i] : 0; };
  // An int or DWORD argument owns only the low half of the 64-bit slot the trace shows.
  auto low = [&](size_t i) { return number(arg(i) & 0xFFFFFFFFu); };
  auto str = [&](size_t i) { return i < strings.size() ? strings[i] : std::string(); };
  if (name == "Beep") return "Beep " + low(0) + "/" + low(1);
  if (name == "MessageBoxA") return "MessageBoxA " + str(2) + "|" + str(1);
  if (name == "EndDialog") return "EndDialog " + number(arg(1));
  if (name == "DialogBoxParamW") return "DialogBoxParamW " + number(arg(1));
  if (name == "SetDlgItemTextA") return "SetDlgItemTextA " + low(1) + "|" + str(2);
  if (name == "GetDlgItemTextA") return "GetDlgItemTextA " + low(1) + "/" + low(3);
  if (name == "SetDlgItemInt") return "SetDlgItemInt " + low(1) + "=" + low(2);
  if (name == "GetDlgItemInt") return "GetDlgItemInt " + low(1);
  if (name == "CreateFileA") return "CreateFileA " + str(0);
  if (name == "GetOpenFileNameA") return "GetOpenFileNameA";
  if (name == "GetFileSize") return "GetFileSize";
  if (name == "ReadFile") return "ReadFile " + low(2);
  if (name == "CloseHandle") return "CloseHandle";
  return name;
}

bool sameEvent(const std::string& actual, const std::string& expected) {
  if (actual == expected) return true;
  // The trace cuts long strings short and ends them with "...".
  return actual.size() > 3 && actual.compare(actual.size() - 3, 3, "...") == 0 &&
         expected.compare(0, actual.size() - 3, actual, 0, actual.size() - 3) == 0;
}

std::vector<::testing::Matcher<std::string>> eventsLike(const std::vector<std::string>& expected) {
  std::vector<::testing::Matcher<std::string>> out;
  for (const std::string& e : expected) {
    out.push_back(::testing::Truly([e](const std::string& a) { return sameEvent(a, e); }));
  }
  return out;
}

std::vector<std::string> openingJingle() {
  return {"Beep 420/200", "Beep 550/300", "Beep 620/300", "Beep 750/500"};
}
std::vector<std::string> closingJingle() {
  return {"Beep 750/100", "Beep 620/150", "Beep 550/150", "Beep 420/250"};
}
std::vector<std::string> fanfare() {
  return {"Beep 660/100", "Beep 660/100", "Beep 660/100",
          "Beep 520/50",  "Beep 660/50",  "Beep 880/150"};
}
std::vector<std::string> seq(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
    Sleep(15);
  }
}

Game::Game(const std::wstring& workDir)
    : workDir_(workDir.empty() ? makeTempDir() : workDir), ownsWorkDir_(workDir.empty()) {
  const std::wstring exe = gameExePath();
  const std::wstring trace = tracePath();
  if (exe.empty() || trace.empty()) {
    ADD_FAILURE() << "TUMBLEWICK_GAME and TUMBLEWICK_TRACE must be set (run through the wrapper)";
    return;
  }
  traceStart_ = fileSize(trace);
  moduleEnd_ = imageSize(exe);
  SetEnvironmentVariableW(L"WINEDEBUG", L"+relay");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workDir_.c_str(), &startup, &process_)) {
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    ADD_FAILURE() << "cannot start the game: error " << GetLastError();
    return;
  }
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
  const std::wstring title = L"Velk_Game";
  waitUntil(
      [&] {
        auto found = findWindows(process_.dwProcessId, L"VUDOREZE", &title);
        if (!found.empty()) main_ = found.front();
        return main_ != nullptr;
      },
      30000);
  if (!main_) {
    ADD_FAILURE() << "the main window did not appear";
    return;
  }
  moduleBase_ = static_cast<std::uint64_t>(GetWindowLongPtrW(main_, GWLP_HINSTANCE));
  moduleEnd_ += moduleBase_;
}

Game::~Game() {
  if (!process_.hProcess) {
    if (ownsWorkDir_) removeTree(workDir_);
    return;
  }
  if (running()) {
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 10000);
  } else if (!exited_) {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    ADD_FAILURE() << "the game ended on its own during the test, exit code " << code;
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
  if (ownsWorkDir_) removeTree(workDir_);
}

void Game::command(HWND window, int id) const {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void Game::type(HWND dialog, int id, const std::wstring& text) const {
  // Wine's narrow edits take seconds to swallow 100 000 characters; wait for all of them.
  DWORD_PTR result;
  SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 60000, &result);
}

void Game::press(HWND window, UINT key) const {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

std::wstring Game::text(HWND dialog, int id) const {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR length = 0;
  SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length);
  std::wstring out(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&out[0]),
                      SMTO_ABORTIFHUNG, 10000, &copied);
  out.resize(copied);
  return out;
}

std::wstring Game::caption(HWND window) const {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  return title;
}

std::vector<HWND> Game::dialogs(const std::wstring& caption) const {
  return findWindows(process_.dwProcessId, L"#32770", &caption);
}

HWND Game::waitDialog(const std::wstring& caption, const std::vector<HWND>& known,
                      int timeoutMs) const {
  HWND found = nullptr;
  waitUntil(
      [&] {
        for (HWND w : dialogs(caption)) {
          bool isKnown = false;
          for (HWND k : known) isKnown = isKnown || k == w;
          if (!isKnown) found = w;
        }
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

bool Game::waitHidden(HWND window, int timeoutMs) const {
  return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

Notice Game::waitNotice(const std::wstring& caption, int timeoutMs) const {
  Notice n;
  n.window = waitDialog(caption, {}, timeoutMs);
  n.caption = caption;
  if (n.window) {
    // The box's static text has id 0xFFFF.
    waitUntil(
        [&] {
          n.text = text(n.window, 0xFFFF);
          return !n.text.empty();
        },
        2000);
  }
  return n;
}

void Game::dismiss(const Notice& notice) const {
  if (!notice.window) return;
  PostMessageW(notice.window, WM_COMMAND, IDOK, 0);
  waitHidden(notice.window);
}

HWND Game::focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(process_.dwThreadId, &info);
  return info.hwndFocus;
}

std::vector<Call> Game::readCalls() const {
  // The trace only grows; parse what was added since the last look.
  const std::string added = readFrom(tracePath(), traceStart_ + parsedUpTo_);
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%04lx:", static_cast<unsigned long>(process_.dwThreadId));
  const size_t prefixLength = std::strlen(prefix);
  size_t at = 0;
  while (at < added.size()) {
    const size_t end = added.find('\n', at);
    if (end == std::string::npos) break;  // a line still being written
    if (added.compare(at, prefixLength, prefix) == 0) {
      Call call;
      std::uint64_t ret = 0;
      const std::string line = added.substr(at + prefixLength, end - at - prefixLength);
      // Calls that system DLLs make on the game's behalf are not the game's.
      if (parseCall(line, call, ret) && ret >= moduleBase_ && ret < moduleEnd_) {
        parsed_.push_back(call);
      }
    }
    at = end + 1;
  }
  parsedUpTo_ += at;
  return parsed_;
}

std::vector<Call> Game::calls() const {
  std::vector<Call> all = readCalls();
  if (markAt_ >= all.size()) return {};
  return std::vector<Call>(all.begin() + static_cast<std::ptrdiff_t>(markAt_), all.end());
}

std::vector<std::string> Game::events() const {
  std::vector<std::string> out;
  for (const Call& c : calls()) out.push_back(c.brief());
  return out;
}

void Game::mark() { markAt_ = readCalls().size(); }

bool Game::waitEvents(const std::vector<std::string>& tail, int timeoutMs) const {
  return waitUntil(
      [&] {
        const std::vector<std::string> now = events();
        return now.size() >= tail.size() &&
               std::equal(tail.begin(), tail.end(),
                          now.end() - static_cast<std::ptrdiff_t>(tail.size()));
      },
      timeoutMs);
}

void Game::settle(int quietMs) const {
  // Window messages keep the trace growing (a caret blinks); count the game's own calls.
  size_t last = readCalls().size();
  DWORD since = GetTickCount();
  waitUntil(
      [&] {
        const size_t now = readCalls().size();
        if (now != last) {
          last = now;
          since = GetTickCount();
        }
        return GetTickCount() - since >= static_cast<DWORD>(quietMs);
      },
      10000);
}

bool Game::running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Game::waitExit(int timeoutMs) {
  if (!process_.hProcess) return STILL_ACTIVE;
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
    return STILL_ACTIVE;
  exited_ = true;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void Game::screenshot(HWND window, const std::string& name) const {
  const std::wstring dir = screenshotDir();
  if (dir.empty() || !window) return;
  settle(400);
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
  FILE* out = _wfopen((dir + L"\\" + wide(name) + L".bmp").c_str(), L"wb");
  if (out) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, stride, static_cast<size_t>(h), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}
