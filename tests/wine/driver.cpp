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

// Patience with the game. A busy machine can hold the game back for many seconds, so a wait
// may last long; an idle one holds nothing back, so once the processors have been idle a while
// since anything came, what has not come is not coming: only a failing wait takes its time.
class Patience {
 public:
  explicit Patience(DWORD limitMs) : limit_(limitMs) { progress(); }
  void progress() { since_ = GetTickCount(), idleSince_ = idle(); }
  bool over() const {
    const DWORD waited = GetTickCount() - since_;
    return waited > limit_ || (waited > kMinimumMs && idle() - idleSince_ > kIdleMs);
  }

 private:
  static constexpr DWORD kMinimumMs = 1000;       // wall time, whatever the processors did
  static constexpr std::uint64_t kIdleMs = 2000;  // idle time, summed over the processors
  static std::uint64_t idle() {
    FILETIME idle{}, kernel{}, user{};
    GetSystemTimes(&idle, &kernel, &user);
    return ((std::uint64_t(idle.dwHighDateTime) << 32) | idle.dwLowDateTime) / 10000;
  }
  DWORD limit_, since_ = 0;
  std::uint64_t idleSince_ = 0;
};

bool waitFor(const std::function<bool()>& done, DWORD limitMs,
             const std::function<size_t()>& progress = {}) {
  size_t last = progress ? progress() : 0;
  for (Patience p(limitMs); !done(); Sleep(10)) {
    if (progress && progress() != last) last = progress(), p.progress();
    if (p.over()) return false;
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

// Starts a program. On a busy machine Wine now and then fails a start with an internal error,
// which says nothing of the program: that is tried again.
bool start(std::wstring command, bool inherit, const wchar_t* dir, STARTUPINFOW& startup,
           PROCESS_INFORMATION& process) {
  for (int attempt = 0; attempt < 5; ++attempt, Sleep(200)) {
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, inherit, 0, nullptr, dir, &startup,
                       &process))
      return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR) break;
  }
  return false;
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
  // Started itself, not through a shell: one Wine process for each verdict instead of two. Its
  // standard error goes where its standard output goes, as a shell's 2>&1 would have it.
  const std::wstring command = L"\"" + beside(L"tumblewick-judge.exe") + L"\" " + options +
                               std::to_wstring(level) + L" \"" + path + L"\"";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE said = nullptr, told = nullptr;
  if (!CreatePipe(&said, &told, &inherited, 0)) return {};
  SetHandleInformation(said, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = told;
  PROCESS_INFORMATION judged{};
  const bool started = start(command, true, nullptr, startup, judged);
  const DWORD error = GetLastError();
  CloseHandle(told);  // the pipe ends when the judge's copy of it closes
  if (!started) {
    CloseHandle(said);
    return "the judge did not start: error " + std::to_string(error);
  }
  std::string out;
  char buffer[4096];
  for (DWORD got; ReadFile(said, buffer, sizeof buffer, &got, nullptr) && got > 0;) {
    for (DWORD i = 0; i < got; ++i) {
      if (buffer[i] != '\r') out += buffer[i];
    }
  }
  CloseHandle(said);
  DWORD code = 0;
  WaitForSingleObject(judged.hProcess, INFINITE);
  GetExitCodeProcess(judged.hProcess, &code);
  CloseHandle(judged.hThread);
  CloseHandle(judged.hProcess);
  if (out.empty()) out = "the judge said nothing; exit code " + std::to_string(code);
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
  if (start(command, false, dir_.c_str(), startup, process_)) {
    // Shown, not only created: the tests read its style and press keys into it at once. Wine
    // may start its own services first, which wait on each other: the clock alone decides.
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kLimitMs; Sleep(10)) {
      if ((main_ = FindWindowW(L"VUDOREZE", L"Velk_Game")) && IsWindowVisible(main_)) break;
    }
  }
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
  names_[main_] = "Main";
  if (!main_) ADD_FAILURE() << "the game's main window did not appear";
}

Game::~Game() {
  // The last step ended as its last event came: whatever the game did after it is checked here.
  settle();
  poll();
  if (events_.size() > seen_) {
    std::string late;
    for (size_t i = seen_; i < events_.size(); ++i) late += "\n  " + events_[i];
    ADD_FAILURE() << "events after the last step:" << late;
  }
  if (!env(L"TUMBLEWICK_STEP_TIMES").empty()) {  // for the load check
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::printf("slowest step: %lu ms, %s.%s, up to \"%s\"\n", slowest_,
                test ? test->test_suite_name() : "", test ? test->name() : "",
                slowestStep_.c_str());
  }
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

bool Game::wait(const std::function<bool()>& done, const std::function<size_t()>& progress) {
  if (waitFor(done, failed_ ? kAfterFailureMs : kLimitMs, progress)) return true;
  failed_ = true;
  return false;
}

bool Game::settle() const {
  DWORD_PTR ignored;
  return SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL,
                             failed_ ? kAfterFailureMs : kLimitMs, &ignored) != 0;
}

HWND Game::window(const std::string& wanted) {
  HWND found = nullptr;
  wait([&] {
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
                      SMTO_ABORTIFHUNG, kLimitMs, &ignored);
}

void Game::key(HWND w, UINT vk) const {
  PostMessageW(w, WM_KEYDOWN, vk, 1);
  PostMessageW(w, WM_KEYUP, vk, 0xC0000001);
}

std::wstring Game::text(HWND w, int id) const {
  wchar_t buffer[8192] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(GetDlgItem(w, id), WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, kLimitMs, &copied);
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
      if (wait([&] { return !IsWindowVisible(w); })) ++dismissed_;
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
    if (event.starts_with("MessageBoxA ")) ++notices_;
  }
}

// The events since the last step, a whole jingle standing as its name, a cut string as the
// expected event it begins. `pending`: how many of the last ones may be the start of a jingle.
Seq Game::events(const Seq& expected, size_t& pending) const {
  Seq out;
  pending = 0;
  for (size_t i = seen_; i < events_.size() && pending == 0; ++i) {
    out.push_back(events_[i]);
    const size_t left = events_.size() - i;
    for (const Seq& j : kJingles) {
      const size_t n = std::min(left, j.size() - 1);
      if (!std::equal(j.begin() + 1, j.begin() + 1 + static_cast<long>(n),
                      events_.begin() + static_cast<long>(i)))
        continue;
      if (n == j.size() - 1) {
        out.back() = j[0], i += j.size() - 2;
      } else {  // the rest may be a jingle still sounding
        out.insert(out.end(), events_.begin() + static_cast<long>(i) + 1, events_.end());
        pending = n;
      }
      break;
    }
  }
  // The trace cuts long strings short: such an event stands for the expected one it begins.
  for (size_t i = 0; i < out.size() && i < expected.size(); ++i) {
    const std::string& a = out[i];
    if (a.size() > 3 && a.compare(a.size() - 3, 3, "...") == 0 &&
        expected[i].compare(0, a.size() - 3, a, 0, a.size() - 3) == 0)
      out[i] = expected[i];
  }
  return out;
}

// A step ends as soon as its events are known to differ from the expected ones, or once all of
// them have come and the game has finished handling them. Only a step still missing an event
// waits: as long as the game might still be working.
Seq Game::run(const std::function<void()>& action, const Seq& expected) {
  const DWORD began = GetTickCount();
  action();
  Patience patience(failed_ ? kAfterFailureMs : kLimitMs);
  const DWORD start = GetTickCount();
  size_t count = events_.size();
  DWORD last = start;  // when the last event came
  Seq out;
  for (bool settled = false;; Sleep(10)) {
    poll();
    if (events_.size() != count) count = events_.size(), last = GetTickCount(), patience.progress();
    size_t pending = 0;
    out = events(expected, pending);
    const size_t whole = out.size() - pending, n = std::min(whole, expected.size());
    if (whole > expected.size() ||
        !std::equal(out.begin(), out.begin() + static_cast<long>(n), expected.begin()))
      break;  // an event that should not have come
    // Nothing to wait for when nothing should happen: give the game a moment to misbehave.
    const bool complete = out.size() == expected.size() && pending == 0 &&
                          (keepNotices || dismissed_ >= notices_) &&
                          (n > 0 || GetTickCount() - start > 300);
    if (complete && settled) break;
    if (complete) {
      settle();  // the game has gone back to its messages: what it did is in the trace
      settled = true;
      continue;
    }
    settled = false;
    // The game has shown that it took the action, has been silent a while and answers: it waits
    // for the player, so what has not come is not coming, however busy the machine.
    if (!out.empty() && (keepNotices || dismissed_ >= notices_) &&
        GetTickCount() - last > kSilentMs && settle()) {
      poll();
      if (events_.size() == count) break;
    }
    if (patience.over()) break;
  }
  if (out != expected) {
    failed_ = true;
    // Even a failed step closes its notices, so that the next one finds the game usable.
    wait([&] { return poll(), keepNotices || dismissed_ >= notices_; });
    size_t pending = 0;
    out = events(expected, pending);
  }
  seen_ = events_.size();
  if (GetTickCount() - began >= slowest_) {
    slowest_ = GetTickCount() - began;
    slowestStep_ = expected.empty() ? "(nothing)" : expected.back();
  }
  return out;
}

DWORD Game::exitCode() {
  DWORD code = STILL_ACTIVE;
  WaitForSingleObject(process_.hProcess, kLimitMs);
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
