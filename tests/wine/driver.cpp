#include "driver.h"

#include <commdlg.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "expected_texts.h"

namespace {

const Seq kJingles[] = {
    {"opening", "Beep 420/200", "Beep 550/300", "Beep 620/300", "Beep 750/500"},
    {"closing", "Beep 750/100", "Beep 620/150", "Beep 550/150", "Beep 420/250"},
    {"fanfare", "Beep 660/100", "Beep 660/100", "Beep 660/100", "Beep 520/50", "Beep 660/50",
     "Beep 880/150"},
};
// How each traced call reads. %N: the N-th argument's low 32 bits; xN: in hex; $N: the string
// beside it; @N: the window it names; #N: the file a handle was opened on; ~N: unsigned or
// signed; &N: a path's file name; !N: an argument that should be zero, shown if it is not.
const std::map<std::string, std::string> kBriefs = {
    // clang-format off
    {"Beep", "%0/%1"}, {"MessageBoxA", "@0 $2|$1!3"}, {"EndDialog", "@0 %1"},
    {"DialogBoxParamW", "%1 @2!4"}, {"SetDlgItemTextA", "%1|$2"}, {"GetDlgItemTextA", "%1/%3"},
    {"SetDlgItemInt", "%1=%2 ~3"}, {"GetDlgItemInt", "%1 ~3!2"},
    {"CreateFileA", "&0,x1,%2,x3,%4,x5,x6"}, {"GetFileSize", "#0!1"}, {"ReadFile", "#0 %2!4"},
    {"CloseHandle", "#0"}, {"GetOpenFileNameA", "*0"}, {"DestroyWindow", "@0"},
    {"PostQuitMessage", "%0"},
    // clang-format on
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

// The visible top-level windows of a process.
std::vector<HWND> windowsOf(DWORD pid) {
  std::pair<DWORD, std::vector<HWND>> search{pid, {}};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == s->first && IsWindowVisible(w)) s->second.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}
std::wstring caption(HWND w) {
  wchar_t text[256] = {};
  GetWindowTextW(w, text, 256);
  return text;
}

// "Call dll.Name(args) ret=...": the name, each argument, and the string the trace prints
// beside it (decoded; ending in "..." where the trace cut it short).
bool parse(const std::string& line, std::string& name, std::vector<std::uint64_t>& args,
           std::vector<std::string>& strings) {
  const size_t open = line.find('('), dot = line.find('.');
  if (line.compare(0, 5, "Call ") != 0 || dot > open || line.find(' ', 5) < open) return false;
  name = line.substr(dot + 1, open - dot - 1);
  for (size_t i = open + 1; i < line.size() && line[i] != ')';) {
    char* end = nullptr;
    args.push_back(std::strtoull(line.c_str() + i, &end, 16));
    i = static_cast<size_t>(end - line.c_str());
    std::string text;  // the game's strings are all narrow, in its code page
    if (line.compare(i, 2, " \"") == 0) {
      const size_t from = i;
      for (i += 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
          text += line[i];
        } else if (line[++i] == 'x') {
          text += static_cast<char>(std::strtoul(line.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        } else {
          text += line[i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i] == 't' ? '\t' : line[i];
        }
      }
      // Wine prints about 290 characters of a string and marks a cut by "...", but not always.
      const bool cut = line.compare(i + 1, 3, "...") == 0 || i - from > 285;
      size_t whole = 0;  // a cut may split a two-byte character: keep the whole ones
      while (whole < text.size()) whole += static_cast<unsigned char>(text[whole]) > 0x80 ? 2 : 1;
      if (whole > text.size()) text.pop_back();
      text = utf8(decode(text, 936)) + (cut ? "..." : "");
    }
    strings.push_back(text);
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
std::wstring beside(const std::wstring& name) {
  const std::wstring game = env(L"TUMBLEWICK_GAME");
  return game.substr(0, game.find_last_of(L'\\') + 1) + name;
}
std::string judge(int level, const std::wstring& path, const std::wstring& options) {
  const std::wstring command = L"\"\"" + beside(L"tumblewick-judge.exe") + L"\" " + options +
                               std::to_wstring(level) + L" \"" + path + L"\" 2>&1\"";
  std::string out;
  if (FILE* said = _wpopen(command.c_str(), L"rb")) {
    for (int c; (c = std::fgetc(said)) != EOF;) {
      if (c != '\r') out += static_cast<char>(c);
    }
    _pclose(said);
  }
  return out;
}
Language language() { return languageOf(GetACP()); }
const LevelTexts& texts(int level) { return levelInfo(level).texts(language()); }
const NoticeCaptions& captions() { return noticeCaptions(language()); }

Game::Game() {
  static int games = 0;
  dir_ = env(L"TUMBLEWICK_WORK") + L"\\game" + std::to_wstring(++games);
  CreateDirectoryW(dir_.c_str(), nullptr);
  trace_ = CreateFileW(env(L"TUMBLEWICK_TRACE").c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFilePointerEx(trace_, {}, nullptr, FILE_END);  // the games before this one wrote the rest
  std::wstring calls;  // the relay trace records the calls that kBriefs reads
  for (const auto& [call, brief] : kBriefs) calls += wide(call) + L";";
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", L"RelayInclude", REG_SZ,
                  calls.c_str(), static_cast<DWORD>((calls.size() + 1) * sizeof(wchar_t)));
  std::wstring command = L"\"" + env(L"TUMBLEWICK_GAME") + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  SetEnvironmentVariableW(L"WINEDEBUG", L"+relay");  // the game's standard error is the trace
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(),
                     &startup, &process_)) {
    // Shown, not only created: the tests read its style and press keys into it at once.
    waitFor(
        [&] { return (main_ = FindWindowW(L"VUDOREZE", L"Velk_Game")) && IsWindowVisible(main_); },
        30000);
  }
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
  names_[main_] = "Main";
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
  if (names_.count(window)) return names_[window];
  for (const ExpectedText& t : kExpectedTexts) {  // a window is named after its caption
    if (t.id == 0 &&
        utf8(caption(window)) == (language() == Language::Chinese ? t.chinese : t.english))
      return names_[window] = t.window;
  }
  return hex(value);
}

HWND Game::window(const std::string& wanted) {
  HWND found = nullptr;
  waitFor([&] {
    poll();  // the open-file record is read while its dialog is open
    for (HWND w : windowsOf(process_.dwProcessId)) {
      if (wanted.empty() ? GetDlgItem(w, 0x47C) != nullptr : name(std::uint64_t(w)) == wanted)
        found = w;  // 0x47C: the open-file dialog's file-name field
    }
    return found != nullptr;
  });
  return found;
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
  std::string f;
  std::vector<std::uint64_t> args;
  std::vector<std::string> strings;
  if (!parse(line, f, args, strings) || !kBriefs.count(f)) return {};
  args.resize(8), strings.resize(8);
  if (f == "GetFileSize") files_[args[0]] = opened_;  // a handle is named after its file
  std::string out = f + " ";
  for (const char* p = kBriefs.at(f).c_str(); *p; ++p) {
    if (!std::strchr("%x$@#~&!*", *p)) {
      out += *p;
      continue;
    }
    const size_t i = static_cast<size_t>(p[1] - '0');
    const std::uint64_t a = args[i];
    switch (*p++) {
      // clang-format off
      case '%': out += std::to_string(a & 0xFFFFFFFFu); break;
      case 'x': out += hex(a & 0xFFFFFFFFu); break;
      case '$': out += strings[i]; break;
      case '@': out += name(a); break;
      case '#': out += files_.count(a) ? files_[a] : hex(a); break;
      case '~': out += a ? "s" : "u"; break;
      case '&': out += opened_ = strings[i].substr(strings[i].find_last_of('\\') + 1); break;
      case '!': out += a ? " " + hex(a) : ""; break;
      // clang-format on
      case '*': {  // the open-file record, read from the game while its dialog is open
        OPENFILENAMEA r{};
        char filter[16] = {};
        ReadProcessMemory(process_.hProcess, reinterpret_cast<void*>(a), &r, sizeof r, nullptr);
        ReadProcessMemory(process_.hProcess, r.lpstrFilter, filter, sizeof filter - 1, nullptr);
        out += std::to_string(r.lStructSize) + "," + hex(std::uint64_t(r.hwndOwner)) + "," +
               std::to_string(r.nMaxFile) + "," + hex(r.Flags) + "," + filter + "|" +
               (filter + std::strlen(filter) + 1);
      }
    }
  }
  return out;
}

void Game::poll() {
  for (HWND w : windowsOf(process_.dwProcessId)) {
    const std::string c = utf8(caption(w));
    if (!keepNotices &&
        (c == captions().error || c == captions().congrats || c == captions().admission)) {
      PostMessageW(w, WM_COMMAND, IDOK, 0);  // a notice: the trace has its text already
      waitFor([&] { return !IsWindowVisible(w); });
    } else {
      name(std::uint64_t(w));  // while it is there to be named
    }
  }
  char buffer[65536];
  for (DWORD got; ReadFile(trace_, buffer, sizeof buffer, &got, nullptr) && got > 0;) {
    unparsed_.append(buffer, got);
  }
  char id[16];
  std::snprintf(id, sizeof id, "%04lx:", static_cast<unsigned long>(process_.dwThreadId));
  const std::string thread = id;
  for (size_t end; (end = unparsed_.find('\n')) != std::string::npos; unparsed_.erase(0, end + 1)) {
    if (unparsed_.compare(0, thread.size(), thread) != 0) continue;
    const std::string event = brief(unparsed_.substr(thread.size(), end - thread.size()));
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
        GetTickCount() - last > (expected.empty() ? 300u : 100u))
      break;
  }
  Seq out;
  for (size_t i = seen_; i < events_.size(); ++i) {
    out.push_back(events_[i]);
    for (const Seq& j : kJingles) {  // a whole jingle stands as its name
      if (events_.size() - i >= j.size() - 1 &&
          std::equal(j.begin() + 1, j.end(), events_.begin() + static_cast<long>(i))) {
        out.back() = j[0], i += j.size() - 2;
        break;
      }
    }
  }
  seen_ = events_.size();
  // The trace cuts long strings short: such an event stands for the expected one it begins.
  for (size_t i = 0; i < out.size() && i < expected.size(); ++i) {
    const std::string& a = out[i];
    if (a.size() > 3 && a.compare(a.size() - 3, 3, "...") == 0 &&
        expected[i].compare(0, a.size() - 3, a, 0, a.size() - 3) == 0)
      out[i] = expected[i];
  }
  return out;
}

DWORD Game::exitCode() {
  DWORD code = STILL_ACTIVE;
  WaitForSingleObject(process_.hProcess, 5000);
  GetExitCodeProcess(process_.hProcess, &code);  // STILL_ACTIVE if it has not ended
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
