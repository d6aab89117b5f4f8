#include "driver.h"

#include <commdlg.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

// The windows' captions, as the templates and the main window give them.
struct Named {
  const char* name;
  const wchar_t* chinese;
  const wchar_t* english;
};
const Named kWindows[] = {
    {"L1", L"Tumblewick 第1关(报名站)", L"Tumblewick Level 1 (Sign-up Desk)"},
    {"L2", L"Tumblewick 第二关[体检中心]", L"Tumblewick Level 2 [Physical Exam Centre]"},
    {"L3", L"Tumblewick 第三关[照片认证]", L"Tumblewick Level 3 [Photo Authentication]"},
    {"L4", L"Tumblewick 第4关[餐厅]", L"Tumblewick Level 4 [Restaurant]"},
    {"L5", L"Tumblewick 第5关[入学：漂亮女孩]", L"Tumblewick Level 5 [Enrolment: A Pretty Girl]"},
    {"L6", L"Tumblewick 第6关[烛光晚餐：兼得之道]",
     L"Tumblewick Level 6 [Candlelit Dinner: Have Your Cake and Eat It]"},
    {"Fin", L"闯关成功", L"All Levels Passed"},
    {"About", L"关于 Velk_Game", L"About Velk_Game"},
};
const char* const kJingles[][8] = {
    {"opening", "Beep 420/200", "Beep 550/300", "Beep 620/300", "Beep 750/500"},
    {"closing", "Beep 750/100", "Beep 620/150", "Beep 550/150", "Beep 420/250"},
    {"fanfare", "Beep 660/100", "Beep 660/100", "Beep 660/100", "Beep 520/50", "Beep 660/50",
     "Beep 880/150"},
};

std::wstring decode(const std::string& bytes, UINT codePage) {
  std::wstring out(bytes.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data(),
                                                     static_cast<int>(bytes.size()), &out[0],
                                                     static_cast<int>(out.size()))));
  return out;
}

bool waitFor(const std::function<bool()>& done, DWORD ms = 4000) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(10)) {
    if (GetTickCount() - start > ms) return false;
  }
  return true;
}

}  // namespace

// A visible top-level window of the game, with its class name and caption.
struct Top {
  HWND window;
  std::wstring cls, caption;
};

namespace {

std::vector<Top> windowsOf(DWORD pid) {
  std::pair<DWORD, std::vector<Top>> search{pid, {}};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, std::vector<Top>>*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        wchar_t cls[64] = {}, caption[256] = {};
        if (owner != s->first || !IsWindowVisible(w)) return TRUE;
        GetClassNameW(w, cls, 64);
        GetWindowTextW(w, caption, 256);
        s->second.push_back({w, cls, caption});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// "Call dll.Name(args) ret=..." into the name and its arguments: numbers, each with the narrow
// or wide string that the trace prints beside it (decoded; "..." where it was cut short).
struct Call {
  std::string name;
  std::vector<std::uint64_t> args;
  std::vector<std::string> strings;
};
bool parse(const std::string& line, Call& call) {
  const size_t open = line.find('(');
  const size_t dot = line.find('.');
  if (line.compare(0, 5, "Call ") != 0 || dot > open || open == std::string::npos ||
      line.find(' ', 5) < open) {
    return false;
  }
  call.name = line.substr(dot + 1, open - dot - 1);
  for (size_t i = open + 1; i < line.size() && line[i] != ')';) {
    char* end = nullptr;
    call.args.push_back(std::strtoull(line.c_str() + i, &end, 16));
    i = static_cast<size_t>(end - line.c_str());
    std::string text;
    const bool isWide = line.compare(i, 3, " L\"") == 0;
    if (isWide || line.compare(i, 2, " \"") == 0) {
      for (i += isWide ? 3 : 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
          text += line[i];
        } else if (line[++i] == 'x') {
          text += static_cast<char>(std::strtoul(line.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        } else {
          text += line[i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i] == 't' ? '\t' : line[i];
        }
      }
      text =
          utf8(decode(text, isWide ? CP_UTF8 : 936)) + (line.compare(i + 1, 3, "...") ? "" : "...");
    }
    call.strings.push_back(text);
    i = line.find_first_of(",)", i);
    if (i != std::string::npos && line[i] == ',') ++i;
  }
  return true;
}

std::string hex(std::uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(v));
  return b;
}

}  // namespace

std::wstring env(const wchar_t* name) {
  wchar_t value[2048] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 2048);
  return n < 2048 ? std::wstring(value, n) : std::wstring();
}
std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                          static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}
std::wstring wide(const std::string& text) { return decode(text, CP_UTF8); }
Language language() { return GetACP() == 936 ? Language::Chinese : Language::English; }
const LevelTexts& texts(int level) { return levelInfo(level).texts(language()); }
const NoticeCaptions& captions() { return noticeCaptions(language()); }

Game::Game() {
  static int games = 0;
  dir_ = env(L"TUMBLEWICK_WORK") + L"\\game" + std::to_wstring(++games);
  CreateDirectoryW(dir_.c_str(), nullptr);
  trace_ = CreateFileW(env(L"TUMBLEWICK_TRACE").c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFilePointerEx(trace_, {}, nullptr, FILE_END);  // the games before this one wrote the rest
  std::wstring command = L"\"" + env(L"TUMBLEWICK_GAME") + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  SetEnvironmentVariableW(L"WINEDEBUG", L"+relay");  // the game's standard error is the trace
  const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      dir_.c_str(), &startup, &process_);
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
  names_.emplace_back(
      main_ = started ? find([](const Top& t) { return t.cls == L"VUDOREZE"; }, 30000) : nullptr,
      "Main");
  if (!main_) ADD_FAILURE() << "the game's main window did not appear";
}

Game::~Game() {
  TerminateProcess(process_.hProcess, 0);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
  CloseHandle(trace_);
}

std::string Game::name(std::uint64_t value) {
  const auto window = reinterpret_cast<HWND>(value);
  for (const auto& [w, n] : names_) {
    if (w == window) return n;
  }
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  for (const Named& n : kWindows) {
    if (caption == std::wstring(language() == Language::Chinese ? n.chinese : n.english)) {
      names_.emplace_back(window, n.name);
      return n.name;
    }
  }
  return hex(value);
}

HWND Game::find(const std::function<bool(const Top&)>& wanted, DWORD ms) {
  HWND found = nullptr;
  waitFor(
      [&] {
        for (const Top& t : windowsOf(process_.dwProcessId)) {
          if (wanted(t)) found = t.window;
        }
        return found != nullptr;
      },
      ms);
  return found;
}

HWND Game::window(const std::string& wanted) {
  return find([&](const Top& t) {
    return t.cls == L"#32770" && name(reinterpret_cast<std::uint64_t>(t.window)) == wanted;
  });
}

HWND Game::picker() {
  poll();  // its record is read while it is open
  return find(
      [](const Top& t) { return GetDlgItem(t.window, 0x47C) != nullptr; });  // file-name field
}

void Game::click(HWND w, int id) const { PostMessageW(w, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void Game::type(HWND w, int id, const std::wstring& text) const {
  DWORD_PTR ignored;
  SendMessageTimeoutW(GetDlgItem(w, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 10000, &ignored);
}

void Game::key(HWND w, UINT vk) const {
  PostMessageW(w, WM_KEYDOWN, vk, 1);
  PostMessageW(w, WM_KEYUP, vk, 0xC0000001);
}

std::wstring Game::text(HWND w, int id) const {
  wchar_t buffer[8192] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(GetDlgItem(w, id), WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 4000, &copied);
  return buffer;
}

HWND Game::focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(process_.dwThreadId, &info);
  return info.hwndFocus;
}

std::string Game::brief(const std::string& line) {
  Call c;
  if (!parse(line, c)) return {};
  c.args.resize(8);
  c.strings.resize(8);
  auto n = [&](size_t i) { return std::to_string(c.args[i] & 0xFFFFFFFFu); };
  auto sign = [&](size_t i) { return c.args[i] ? " s" : " u"; };
  auto file = [&](std::uint64_t h) {
    for (const auto& [value, f] : files_) {
      if (value == h) return f;
    }
    return hex(h);
  };
  const std::string& f = c.name;
  if (f == "Beep") return "Beep " + n(0) + "/" + n(1);
  if (f == "MessageBoxA") {
    boxes_.push_back(events_.size());
    return f + " " + name(c.args[0]) + " " + c.strings[2] + "|" + c.strings[1] +
           (c.args[3] ? " type " + n(3) : "");
  }
  if (f == "EndDialog") return f + " " + name(c.args[0]) + " " + n(1);
  if (f == "DialogBoxParamW")
    return f + " " + n(1) + " " + name(c.args[2]) + (c.args[4] ? " param" : "");
  if (f == "SetDlgItemTextA") return f + " " + n(1) + "|" + c.strings[2];
  if (f == "GetDlgItemTextA") return f + " " + n(1) + "/" + n(3);
  if (f == "SetDlgItemInt") return f + " " + n(1) + "=" + n(2) + sign(3);
  if (f == "GetDlgItemInt") return f + " " + n(1) + sign(3) + (c.args[2] ? " flag" : "");
  if (f == "CreateFileA") {
    opened_ = c.strings[0].substr(c.strings[0].find_last_of('\\') + 1);
    return f + " " + opened_ + "," + hex(c.args[1] & 0xFFFFFFFFu) + "," + n(2) + "," +
           hex(c.args[3]) + "," + n(4) + "," + hex(c.args[5] & 0xFFFFFFFFu) + "," + hex(c.args[6]);
  }
  if (f == "GetFileSize") {
    files_.emplace(files_.begin(), c.args[0], opened_);
    return f + " " + opened_ + (c.args[1] ? " high" : "");
  }
  if (f == "ReadFile")
    return f + " " + file(c.args[0]) + " " + n(2) + (c.args[4] ? " overlapped" : "");
  if (f == "CloseHandle") return f + " " + file(c.args[0]);
  if (f == "GetOpenFileNameA") {
    // The record is the game's, read while its dialog is still open.
    OPENFILENAMEA r{};
    char filter[16] = {};
    ReadProcessMemory(process_.hProcess, reinterpret_cast<void*>(c.args[0]), &r, sizeof r, nullptr);
    ReadProcessMemory(process_.hProcess, r.lpstrFilter, filter, sizeof filter - 1, nullptr);
    const size_t end = std::strlen(filter);
    const std::string rest = filter + end + 1;
    return f + " " + std::to_string(r.lStructSize) + "," +
           hex(reinterpret_cast<std::uint64_t>(r.hwndOwner)) + "," + std::to_string(r.nMaxFile) +
           "," + hex(r.Flags) + "," + filter + "|" + rest;
  }
  return f + " " + name(c.args[0]);  // DestroyWindow, PostQuitMessage
}

void Game::poll() {
  for (const Top& t : windowsOf(process_.dwProcessId)) {
    const std::string caption = utf8(t.caption);
    if (t.cls != L"#32770" || (caption != captions().error && caption != captions().congrats &&
                               caption != captions().admission)) {
      name(reinterpret_cast<std::uint64_t>(t.window));
      continue;
    }
    shown_.push_back(caption + "|" + utf8(text(t.window, 0xFFFF)));
    PostMessageW(t.window, WM_COMMAND, IDOK, 0);
    waitFor([&] { return !IsWindowVisible(t.window); });
  }
  char buffer[65536];
  for (DWORD got; ReadFile(trace_, buffer, sizeof buffer, &got, nullptr) && got > 0;) {
    unparsed_.append(buffer, got);
  }
  char thread[16];
  std::snprintf(thread, sizeof thread, "%04lx:", static_cast<unsigned long>(process_.dwThreadId));
  for (size_t end; (end = unparsed_.find('\n')) != std::string::npos; unparsed_.erase(0, end + 1)) {
    if (unparsed_.compare(0, std::strlen(thread), thread) != 0) continue;
    const std::string event =
        brief(unparsed_.substr(std::strlen(thread), end - std::strlen(thread)));
    if (!event.empty()) events_.push_back(event);
  }
}

Seq Game::run(const std::function<void()>& action, const Seq& expected) {
  action();
  size_t count = events_.size();
  DWORD last = GetTickCount();
  for (const DWORD start = last; GetTickCount() - start < 5000; Sleep(10)) {
    poll();
    if (events_.size() != count) count = events_.size(), last = GetTickCount();
    if (count - seen_ >= expected.size() &&
        GetTickCount() - last > (expected.empty() ? 400u : 150u))
      break;
  }
  for (size_t i = 0; i < boxes_.size() && i < shown_.size(); ++i) {
    std::string& box = events_[boxes_[i]];
    box = box.substr(0, box.find(' ', box.find(' ') + 1) + 1) + shown_[i];
  }
  Seq out;
  for (size_t i = seen_; i < events_.size();) {
    bool jingle = false;
    for (const auto& j : kJingles) {
      size_t k = 1;
      while (j[k] && i + k - 1 < events_.size() && events_[i + k - 1] == j[k]) ++k;
      if (!j[k]) {
        out.push_back(j[0]), i += k - 1, jingle = true;
        break;
      }
    }
    if (!jingle) out.push_back(events_[i++]);
  }
  seen_ = events_.size();
  // The trace cuts long strings short: such an event stands for the expected one it begins.
  for (size_t i = 0; i < out.size() && i < expected.size(); ++i) {
    const std::string& a = out[i];
    if (a.size() > 3 && a.compare(a.size() - 3, 3, "...") == 0 &&
        expected[i].compare(0, a.size() - 3, a, 0, a.size() - 3) == 0) {
      out[i] = expected[i];
    }
  }
  return out;
}

DWORD Game::exitCode() {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process_.hProcess, 5000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

std::wstring Game::file(const std::wstring& name, const std::string& bytes,
                        long long length) const {
  const std::wstring path = dir_ + L"\\" + name;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  if (length > 0) {  // a sparse file: nothing written up to that length
    SetFilePointerEx(f, LARGE_INTEGER{.QuadPart = length}, nullptr, FILE_BEGIN);
    SetEndOfFile(f);
  }
  CloseHandle(f);
  return path;
}
