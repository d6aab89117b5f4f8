// tumblewick-guifuzz: a fuzzer that plays the game itself through its windows, as a player at
// the keyboard could: it types into a level's fields (or writes a file and types its path),
// presses the level's button, reads what the game answers, and keeps every input to which the
// game gave an answer it had not given before. That answer is all the feedback it gets.
//   tumblewick-guifuzz [--level N] [--submissions N] [--seconds S] [--plain] [--seeds DIR]
//                      [--replay DIR] [--save DIR] [--seed N] [--json] [GAME.exe]
// It never writes into the game's memory or hooks it: it sends only window messages to the
// game's controls and buttons. Exit code: 0 every level fuzzed was beaten, 1 one was not
// within the bound, 2 bad usage, 3 the game was closed, did not answer or could not start,
// 4 stopped by Ctrl+C.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "input_verdict.h"
#include "level_table.h"
#include "resource.h"

namespace {

constexpr int kBeaten = 0;
constexpr int kNotBeaten = 1;
constexpr int kBadUsage = 2;
constexpr int kGameTrouble = 3;
constexpr int kInterrupted = 4;

constexpr DWORD kAnswerMs = 5000;  // a game that takes longer to answer is reported
constexpr DWORD kStartMs = 30000;  // for the game's window to appear after its start
constexpr std::size_t kMaxText = 8192;
constexpr std::size_t kMaxFile = 65536;
constexpr int kMessageTextId = 0xFFFF;  // the text of a message box

volatile LONG g_stop = 0;      // set by Ctrl+C, Ctrl+Break or closing the console
HANDLE g_cleanedUp = nullptr;  // set once the game is ended and the scratch folder removed

// Ends the run where it stands: the levels so far are reported and everything cleaned up.
struct Stop {
  int code;
  std::string why;
};

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                                               nullptr, 0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), static_cast<int>(out.size()),
                      nullptr, nullptr);
  return out;
}

std::wstring decode(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  std::wstring out(
      static_cast<std::size_t>(MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, out.data(), static_cast<int>(out.size()));
  return out;
}

// UTF-8 text out: UTF-16 to a console, the bytes themselves to a file or pipe.
void write(std::FILE* stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) != 0) {
    std::wstring wide;
    for (const wchar_t c : decode(text, CP_UTF8)) {
      if (c == L'\n') wide += L'\r';
      wide += c;
    }
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// An answer as one line: the game's line breaks shown as spaces.
std::string oneLine(const std::wstring& text) {
  std::wstring out;
  for (const wchar_t c : text) {
    if (c == L'\r') continue;
    out += c == L'\n' ? L' ' : c;
  }
  return utf8(out);
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The game speaks Chinese under code page 936 and English elsewhere; it runs on this system.
const NoticeCaptions& gameCaptions() {
  return noticeCaptions(GetACP() == 936 ? Language::Chinese : Language::English);
}

void checkStop() {
  if (g_stop != 0) throw Stop{kInterrupted, "stopped"};
}

// ---------------------------------------------------------------------------------------------
// The game's windows, as another program on the same desktop sees them.

// What the fuzzer does with each level's dialog: the fields it types into (the first one also
// marks when the game has dealt with a submission) and the button it presses.
struct LevelControls {
  std::vector<int> fields;
  int submit;
};

const LevelControls& controlsOf(int level) {
  static const LevelControls kControls[kLevelCount] = {
      {{CTL_USER_NAME}, IDOK},  // level 1 is submitted with its default button
      {{CTL_HEIGHT, CTL_WEIGHT, CTL_CLOTHES_WEIGHT, CTL_SHOE_THICKNESS}, CTL_SUBMIT},
      {{CTL_FILE_PATH}, CTL_SUBMIT},
      {{CTL_FILE_PATH}, CTL_SUBMIT},
      {{CTL_MESSAGE}, CTL_SUBMIT},
      {{CTL_FILE_PATH}, CTL_SUBMIT},
  };
  return kControls[level - 1];
}

std::wstring className(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

class Game {
 public:
  explicit Game(const std::wstring& exe) {
    // The main window's class and title, from the game's own string table.
    const HMODULE image = LoadLibraryExW(exe.c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) throw Stop{kGameTrouble, "cannot read the game " + utf8(exe)};
    wchar_t windowClass[100] = {};
    wchar_t title[100] = {};
    LoadStringW(image, STR_WINDOW_CLASS, windowClass, 100);
    LoadStringW(image, STR_APP_TITLE, title, 100);
    FreeLibrary(image);
    main_ = FindWindowW(windowClass, title);
    if (main_ == nullptr) start(exe, windowClass, title);
    DWORD pid = 0;
    thread_ = GetWindowThreadProcessId(main_, &pid);
    if (process_ == nullptr) {
      process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    if (process_ == nullptr) throw Stop{kGameTrouble, "cannot watch the running game"};
  }
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // A game it started ends with it (also through the job, should this program be killed).
  ~Game() {
    if (started_) {
      TerminateProcess(process_, 0);
      WaitForSingleObject(process_, kAnswerMs);
    }
    if (process_ != nullptr) CloseHandle(process_);
    if (job_ != nullptr) CloseHandle(job_);
  }

  bool started() const { return started_; }
  HWND main() const { return main_; }

  void check() const {
    checkStop();
    if (WaitForSingleObject(process_, 0) != WAIT_TIMEOUT)
      throw Stop{kGameTrouble, "the game was closed"};
  }

  // Polls until done() holds; false after `ms` milliseconds.
  template <class Done>
  bool waitUntil(Done&& done, DWORD ms) const {
    for (const ULONGLONG since = GetTickCount64(); !done(); Sleep(1)) {
      check();
      if (GetTickCount64() - since > ms) return false;
    }
    return true;
  }

  [[noreturn]] void notAnswering() const {
    check();
    throw Stop{kGameTrouble,
               "the game did not answer within " + std::to_string(kAnswerMs / 1000) + " s"};
  }

  LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs,
                            &result) == 0) {
      notAnswering();
    }
    return static_cast<LRESULT>(result);
  }
  void post(HWND window, UINT message, WPARAM wParam) const {
    PostMessageW(window, message, wParam, 0);
  }
  std::wstring text(HWND window) const {
    std::vector<wchar_t> buffer(kMaxText + 1, L'\0');
    send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
  }
  void type(HWND window, const std::wstring& text) const {
    send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  // Every top-level window of the game's thread, shown or not.
  std::vector<HWND> windows() const {
    std::vector<HWND> found;
    EnumThreadWindows(
        thread_,
        [](HWND window, LPARAM list) -> BOOL {
          // The platform hands the pointer back as an integer.
          reinterpret_cast<std::vector<HWND>*>(list)  // NOLINT(performance-no-int-to-ptr)
              ->push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static bool isNotice(HWND window) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    const std::string said = utf8(caption);
    const NoticeCaptions& captions = gameCaptions();
    return said == captions.error || said == captions.congrats || said == captions.admission;
  }

  // A level's dialog sits as deep in the chain of owners below the main window as its number
  // (each level is owned by the one before it); the finish dialog one deeper. 0: neither.
  int levelOf(HWND window) const {
    if (className(window) != L"#32770" || isNotice(window)) return 0;
    int depth = 0;
    HWND owner = window;
    for (; owner != nullptr && owner != main_ && depth <= kFinish;
         owner = GetWindow(owner, GW_OWNER)) {
      ++depth;
    }
    if (owner != main_) return 0;
    if (depth == kFinish) return kFinish;
    if (depth < 1 || depth > kLevelCount) return 0;
    return GetDlgItem(window, controlsOf(depth).fields[0]) != nullptr ? depth : 0;
  }

  // The level (or the finish) that the player sees now, 0 for none, and its dialog.
  int current(HWND& dialog) const {
    int deepest = 0;
    for (HWND window : windows()) {
      const int level = IsWindowVisible(window) ? levelOf(window) : 0;
      if (level > deepest) deepest = level, dialog = window;
    }
    return deepest;
  }

  // The notice that a level's dialog shows, shown yet or not.
  HWND noticeOf(HWND dialog) const {
    for (HWND window : windows()) {
      if (GetWindow(window, GW_OWNER) == dialog && className(window) == L"#32770" &&
          isNotice(window)) {
        return window;
      }
    }
    return nullptr;
  }

 private:
  void start(const std::wstring& exe, const wchar_t* windowClass, const wchar_t* title) {
    // Whatever ends this program, the job ends the game with it.
    job_ = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job_ != nullptr) {
      SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    std::wstring command = L"\"" + exe + L"\"";
    const std::wstring folder = std::filesystem::path(exe).parent_path().wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                       nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info) == 0) {
      throw Stop{kGameTrouble, "cannot start the game " + utf8(exe)};
    }
    started_ = true;
    process_ = info.hProcess;
    if (job_ != nullptr) AssignProcessToJobObject(job_, process_);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    // Its own game's window, whatever other games run beside it.
    struct Search {
      const wchar_t* windowClass;
      const wchar_t* title;
      DWORD pid;
      HWND found;
    } search = {windowClass, title, info.dwProcessId, nullptr};
    const bool shown = waitUntil(
        [&] {
          EnumWindows(
              [](HWND window, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);  // NOLINT(performance-no-int-to-ptr)
                wchar_t text[100] = {};
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                GetWindowTextW(window, text, 100);
                if (pid == s->pid && className(window) == s->windowClass &&
                    std::wstring(text) == s->title) {
                  s->found = window;
                }
                return TRUE;
              },
              reinterpret_cast<LPARAM>(&search));
          main_ = search.found;
          return main_ != nullptr;
        },
        kStartMs);
    if (!shown) throw Stop{kGameTrouble, "the game's window did not appear"};
  }

  HWND main_ = nullptr;
  DWORD thread_ = 0;
  HANDLE process_ = nullptr;
  HANDLE job_ = nullptr;
  bool started_ = false;
};

// ---------------------------------------------------------------------------------------------
// The scratch folder: the only place it writes, created fresh, emptied and removed at the end.

class Scratch {
 public:
  Scratch() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    for (int n = 0; n < 100 && dir_.empty(); ++n) {
      const std::wstring name = std::wstring(temp) + L"tumblewick-guifuzz-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n);
      if (CreateDirectoryW(name.c_str(), nullptr) != 0) dir_ = name;
    }
    if (dir_.empty()) throw Stop{kGameTrouble, "cannot create a scratch folder in " + utf8(temp)};
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::wstring& dir() const { return dir_; }

  // A new file of its own with these bytes; its path.
  std::wstring write(const std::string& bytes) {
    std::wstring path = dir_ + L"\\c" + std::to_wstring(++count_) + L".bin";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw Stop{kGameTrouble, "cannot write " + utf8(path)};
    files_.push_back(path);
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (ok == 0 || written != bytes.size()) throw Stop{kGameTrouble, "cannot write " + utf8(path)};
    return path;
  }

  // Removes the files it wrote that nothing holds open any more.
  void tidy() {
    std::erase_if(files_, [](const std::wstring& path) {
      return DeleteFileW(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
    });
  }

  // Removes every file it wrote and then the folder; false, with what is left in `left`, where
  // the game still holds a file open (a passed level's file, until the game's chain ends).
  bool remove(std::string& left) {
    tidy();
    for (const std::wstring& path : files_) left += " " + utf8(path);
    return RemoveDirectoryW(dir_.c_str()) != 0;
  }

 private:
  std::wstring dir_;
  std::vector<std::wstring> files_;
  long long count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Inputs and their mutations.

// One submission: the typed fields of a level (levels 1, 2, 5), or a file's bytes (3, 4, 6).
struct Input {
  std::vector<std::wstring> fields;
  std::string bytes;
};

bool isFileLevel(int level) { return levelInfo(level).file != nullptr; }

class Mutator {
 public:
  Mutator(unsigned seed, int level, bool repair) : rng_(seed), level_(level), repair_(repair) {}

  // Words of the game's answers (such as a file type it names) join the inputs' material.
  void learn(const std::wstring& answer) {
    std::string word;
    for (const wchar_t c : answer + L" ") {
      if (c < 0x80 && std::isalnum(static_cast<int>(c)) != 0) {
        word += static_cast<char>(c);
      } else {
        if (word.size() >= 2 && std::find(words_.begin(), words_.end(), word) == words_.end()) {
          words_.push_back(word);
        }
        word.clear();
      }
    }
  }

  Input mutate(const std::vector<Input>& queue) {
    // Half the time the newest input, which gave the latest new answer.
    const Input& parent = below(2) == 0 ? queue.back() : queue[below(queue.size())];
    Input child = parent;
    const std::size_t rounds = std::size_t{1} << below(4);
    for (std::size_t i = 0; i < rounds; ++i) {
      if (isFileLevel(level_)) {
        mutateBytes(child.bytes, queue[below(queue.size())].bytes);
      } else {
        const std::size_t field = below(child.fields.size());
        mutateText(child, field, queue[below(queue.size())].fields[field]);
      }
    }
    if (repair_) this->repair(child.bytes);
    return child;
  }

  // The structure-aware repair of the level's format, as the lab's repairing mutators do.
  void repair(std::string& bytes) const {
    if (inputverdict::repairOf(level_) == inputverdict::Repair::None) return;
    const std::size_t size = bytes.size();
    bytes.resize(std::max(size, kMaxFile));
    bytes.resize(inputverdict::repair(level_, reinterpret_cast<std::uint8_t*>(bytes.data()), size,
                                      kMaxFile));
  }

 private:
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n); }

  // Mostly short, sometimes long: the length of a block to insert, copy or delete.
  std::size_t blockLength(std::size_t large) {
    const std::size_t r = below(20);
    if (r < 10) return 1 + below(16);
    if (r < 17) return 16 + below(112);
    return 128 + below(large - 128);
  }

  // A place to change: in a file, half the time among the first bytes, where headers are.
  std::size_t where(std::size_t size) {
    return isFileLevel(level_) && below(2) == 0 ? below(std::min<std::size_t>(size, 16))
                                                : below(size + 1);
  }

  // AFL's interesting values.
  long long interesting() {
    static const long long kValues[] = {
        -128,       -1,         0,          1,         16,
        32,         64,         100,        127,       -32768,
        -129,       128,        255,        256,       512,
        1000,       1024,       4096,       32767,     -2147483648LL,
        -100663046, -32769,     32768,      65535,     65536,
        100663045,  2147483647, 4294967295, 4294967296};
    return kValues[below(std::size(kValues))];
  }

  wchar_t character() {
    static const wchar_t kSeparators[] = L",;:| \t-_./\\\"'()[]{}<>=&%#@!?*+\x3001\x3002\xFF0C";
    switch (below(4)) {
      case 0:
        return kSeparators[below(std::size(kSeparators) - 1)];
      case 1:
        return static_cast<wchar_t>(L'0' + below(10));
      case 2:
        return static_cast<wchar_t>(0x4E00 + below(0x51A6));  // a Chinese character
      default:
        return static_cast<wchar_t>(0x21 + below(94));
    }
  }

  void mutateText(Input& input, std::size_t field, const std::wstring& other) {
    std::wstring& text = input.fields[field];
    const std::size_t at = below(text.size() + 1);
    switch (below(input.fields.size() > 1 ? 12 : 11)) {
      case 0:  // grow: a run of one character at the end
      case 1:
        text.append(blockLength(1024), character());
        break;
      case 2:  // a run of one character inside
        text.insert(at, blockLength(1024), character());
        break;
      case 3: {  // a separator, or a line break
        static const wchar_t* const kBreaks[] = {L",", L";", L" ", L"\r\n", L"\t", L"|"};
        text.insert(at, kBreaks[below(std::size(kBreaks))]);
        break;
      }
      case 4:
        text.erase(at, blockLength(256));
        break;
      case 5:
        if (at < text.size()) text[at] = character();
        break;
      case 6: {  // a piece of itself, repeated
        const std::wstring piece = text.substr(at, blockLength(64));
        for (std::size_t n = 1 + below(16); n > 0; --n) text.insert(below(text.size() + 1), piece);
        break;
      }
      case 7: {  // a piece of another input
        const std::size_t from = below(other.size() + 1);
        text.insert(at, other.substr(from, blockLength(256)));
        break;
      }
      case 8:
        if (!words_.empty()) {
          const std::string& word = words_[below(words_.size())];
          text.insert(at, std::wstring(word.begin(), word.end()));
        }
        break;
      case 9:  // a number
        text = std::to_wstring(interesting());
        break;
      case 10: {  // a number nudged
        long long value = 0;
        try {
          value = std::stoll(text);
        } catch (const std::exception&) {
          value = 0;
        }
        const auto delta = static_cast<long long>(1 + below(35));
        text = std::to_wstring(below(2) == 0 ? value + delta : value - delta);
        break;
      }
      default:  // a copy of another field
        text = input.fields[below(input.fields.size())];
        break;
    }
    if (text.size() > kMaxText) text.resize(kMaxText);
  }

  void mutateBytes(std::string& bytes, const std::string& other) {
    const std::size_t at = where(bytes.size());
    const auto byte = [&] { return static_cast<char>(below(256)); };
    switch (below(12)) {
      case 0:
        if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << below(8)));
        break;
      case 1:
        if (at < bytes.size()) bytes[at] = byte();
        break;
      case 2:
        if (at < bytes.size()) bytes[at] = static_cast<char>(interesting());
        break;
      case 3: {  // a 32-bit value, either byte order
        const auto value = static_cast<std::uint32_t>(interesting());
        const bool big = below(2) == 0;
        for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i) {
          bytes[at + i] = static_cast<char>(value >> (8 * (big ? 3 - i : i)));
        }
        break;
      }
      case 4:
        if (at < bytes.size()) {
          bytes[at] = static_cast<char>(bytes[at] + static_cast<char>(below(71)) - 35);
        }
        break;
      case 5:  // grow: a block at the end
        bytes.append(blockLength(8192), below(2) == 0 ? '\0' : byte());
        break;
      case 6:
        bytes.insert(at, blockLength(8192), byte());
        break;
      case 7:
        bytes.erase(std::min(at, bytes.size()), blockLength(1024));
        break;
      case 8: {
        const std::string piece = bytes.substr(std::min(at, bytes.size()), blockLength(1024));
        bytes.insert(below(bytes.size() + 1), piece);
        break;
      }
      case 9: {
        const std::size_t from = below(other.size() + 1);
        bytes.insert(std::min(at, bytes.size()), other.substr(from, blockLength(1024)));
        break;
      }
      case 10:
        if (!words_.empty()) {
          const std::string& word = words_[below(words_.size())];
          bytes.replace(std::min(at, bytes.size()), word.size(), word);
        }
        break;
      default:
        bytes.resize(below(bytes.size() * 2 + 2), '\0');
        break;
    }
    if (bytes.size() > kMaxFile) bytes.resize(kMaxFile);
  }

  std::mt19937_64 rng_;
  int level_;
  bool repair_;
  std::vector<std::string> words_;
};

// ---------------------------------------------------------------------------------------------
// One level.

struct Options {
  std::wstring game;
  int level = 0;  // 0: every level from the one the game shows
  long long submissions = 0;
  double seconds = 120;
  bool plain = false;
  bool json = false;
  std::wstring seeds;
  std::wstring replay;
  std::wstring save;
  unsigned seed = 0;
};

struct Answer {
  std::wstring text;  // "notice: CAPTION | TEXT" or "result: TEXT"
  bool passed = false;
};

struct LevelRun {
  int level = 0;
  bool beaten = false;
  bool replayed = false;
  long long submissions = 0;
  double seconds = 0;
  std::map<std::wstring, long long> answers;  // each answer, how often
  std::vector<std::wstring> order;            // the answers in the order they first came
  Input winner;
  std::wstring saved;  // where the winning file was saved
  std::string stoppedBy;
};

class Player {
 public:
  Player(Game& game, Scratch& scratch) : game_(game), scratch_(scratch) {}

  // Submits one input to a level's dialog and waits for the game's answer. A pass also waits
  // for the next dialog.
  Answer submit(int level, HWND dialog, const Input& input) {
    const LevelControls& controls = controlsOf(level);
    const HWND marker = GetDlgItem(dialog, controls.fields[0]);
    if (isFileLevel(level)) {
      scratch_.tidy();
      game_.type(marker, scratch_.write(input.bytes));
    } else {
      for (std::size_t i = 0; i < controls.fields.size(); ++i) {
        game_.type(GetDlgItem(dialog, controls.fields[i]), input.fields[i]);
      }
    }
    // The edit's modified flag, which typing sets, tells when the game has taken the press:
    // the flag is set by a message posted after it, so it is seen set once the game's
    // handler has returned or is waiting in a notice.
    game_.send(marker, EM_SETMODIFY, FALSE, 0);
    game_.post(dialog, WM_COMMAND, static_cast<WPARAM>(controls.submit));
    game_.post(marker, EM_SETMODIFY, TRUE);
    if (!game_.waitUntil([&] { return game_.send(marker, EM_GETMODIFY, 0, 0) != 0; }, kAnswerMs)) {
      game_.notAnswering();
    }
    Answer answer;
    if (const HWND notice = game_.noticeOf(dialog)) {
      wchar_t caption[64] = {};
      GetWindowTextW(notice, caption, 64);
      answer.text = L"notice: " + std::wstring(caption) + L" | " +
                    game_.text(GetDlgItem(notice, kMessageTextId));
      answer.passed = utf8(caption) == gameCaptions().congrats;
      game_.post(notice, WM_COMMAND, IDOK);
      if (!game_.waitUntil([&] { return IsWindow(notice) == 0; }, kAnswerMs)) game_.notAnswering();
    } else if (const HWND result = GetDlgItem(dialog, CTL_RESULT)) {
      answer.text = L"result: " + game_.text(result);
    }
    if (answer.passed) {
      HWND next = nullptr;
      if (!game_.waitUntil([&] { return game_.current(next) == level + 1; }, kAnswerMs)) {
        game_.notAnswering();
      }
    }
    return answer;
  }

  // Waits for the dialog of a level; opens the chain from the main window when none is open.
  HWND reach(int level) {
    HWND dialog = nullptr;
    if (game_.current(dialog) == 0) {
      game_.post(game_.main(), WM_COMMAND, CMD_START_GAME);
      if (!game_.waitUntil([&] { return game_.current(dialog) != 0; }, kStartMs)) {
        game_.notAnswering();
      }
    }
    const int at = game_.current(dialog);
    if (at != level) {
      throw Stop{kBadUsage, at == kFinish ? std::string("the game shows its finish dialog")
                                          : "the game is at level " + std::to_string(at)};
    }
    return dialog;
  }

 private:
  Game& game_;
  Scratch& scratch_;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A level's first inputs: what its fields hold as the level opens, or for a file level the
// starter files beside the game and the seed folder's files.
std::vector<Input> seedsOf(int level, HWND dialog, const Game& game, const Options& options) {
  std::vector<Input> seeds;
  if (!isFileLevel(level)) {
    Input input;
    for (const int id : controlsOf(level).fields)
      input.fields.push_back(game.text(GetDlgItem(dialog, id)));
    return {input};
  }
  const std::filesystem::path beside = std::filesystem::path(options.game).parent_path();
  std::vector<std::filesystem::path> files = {beside / L"01.ZIP", beside / L"02.ZIP"};
  if (!options.seeds.empty()) {
    std::error_code error;
    std::vector<std::filesystem::path> more;
    for (const auto& entry : std::filesystem::directory_iterator(options.seeds, error)) {
      if (entry.is_regular_file(error) && entry.file_size(error) <= kMaxFile)
        more.push_back(entry.path());
    }
    std::sort(more.begin(), more.end());
    files.insert(files.end(), more.begin(), more.end());
  }
  for (const auto& file : files) {
    std::error_code error;
    if (std::filesystem::is_regular_file(file, error)) seeds.push_back({{}, readFile(file)});
  }
  if (seeds.empty()) seeds.push_back({{}, std::string(1, '\0')});
  return seeds;
}

// An input in the lab's format for winners (fuzz/winners, as the console judge reads it): a
// file's bytes; the name or message in the system's code page; level 2's form as the judge
// reads it, typed into the fields in their order on the dialog.
Input fromLabFormat(int level, const std::string& bytes) {
  if (isFileLevel(level)) return {{}, bytes};
  if (level != 2) return {{decode(bytes.substr(0, bytes.find('\0')), CP_ACP)}, {}};
  std::uint8_t raw[sizeof(exam::Form)] = {};
  std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof raw), raw);
  const exam::Form form = inputverdict::detail::formOf(raw);
  const auto number = [](std::int32_t value) {
    return std::to_wstring(static_cast<std::uint32_t>(value));
  };
  return {{number(form.height), number(form.weight), number(form.clothesWeight),
           number(form.shoeThickness)},
          {}};
}

// ---------------------------------------------------------------------------------------------
// The report.

std::string winnerText(const LevelRun& run) {
  if (isFileLevel(run.level)) {
    std::string text = "file of " + std::to_string(run.winner.bytes.size()) + " bytes";
    if (!run.saved.empty()) text += ", saved as " + utf8(run.saved);
    text += ", starting";
    for (std::size_t i = 0; i < std::min<std::size_t>(run.winner.bytes.size(), 12); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(run.winner.bytes[i]));
      text += hex;
    }
    return text;
  }
  std::string text;
  for (const std::wstring& field : run.winner.fields) {
    // A long field shows its start.
    const std::wstring shown = field.size() > 40 ? field.substr(0, 40) + L"..." : field;
    text += (text.empty() ? "" : ", ") + jsonString(oneLine(shown)) + " (" +
            std::to_string(field.size()) + " characters)";
  }
  return text;
}

std::wstring stuckAt(const LevelRun& run) {
  std::wstring most;
  long long count = 0;
  for (const std::wstring& answer : run.order) {
    if (run.answers.at(answer) > count) most = answer, count = run.answers.at(answer);
  }
  return most;
}

void report(const LevelRun& run, const Options& options) {
  char figures[160];
  const double rate = run.seconds > 0 ? static_cast<double>(run.submissions) / run.seconds : 0;
  if (options.json) {
    std::snprintf(
        figures, sizeof figures,
        "{\"level\":%d,\"mode\":\"%s\",\"beaten\":%s,\"replayed\":%s,\"submissions\":%lld,"
        "\"seconds\":%.2f,\"per_second\":%.1f,",
        run.level, options.plain ? "plain" : "structure", run.beaten ? "true" : "false",
        run.replayed ? "true" : "false", run.submissions, run.seconds, rate);
    std::string line = figures;
    line += "\"coverage\":" + std::to_string(run.order.size()) + ",\"answers\":[";
    for (std::size_t i = 0; i < run.order.size(); ++i) {
      line += (i ? "," : "") + std::string("{\"answer\":") + jsonString(oneLine(run.order[i])) +
              ",\"count\":" + std::to_string(run.answers.at(run.order[i])) + "}";
    }
    line += "],\"winner\":";
    if (!run.beaten) {
      line += "null";
    } else if (isFileLevel(run.level)) {
      line += "{\"bytes\":" + std::to_string(run.winner.bytes.size()) +
              ",\"saved\":" + (run.saved.empty() ? "null" : jsonString(utf8(run.saved))) + "}";
    } else {
      line += "[";
      for (std::size_t i = 0; i < run.winner.fields.size(); ++i) {
        line += (i ? "," : "") + jsonString(utf8(run.winner.fields[i]));
      }
      line += "]";
    }
    line +=
        ",\"stuck_at\":" + (run.beaten ? std::string("null") : jsonString(oneLine(stuckAt(run))));
    line += ",\"stopped_by\":" +
            (run.stoppedBy.empty() ? std::string("null") : jsonString(run.stoppedBy));
    write(stdout, line + "}\n");
    return;
  }
  if (run.replayed) {
    write(stdout, "level " + std::to_string(run.level) + ": replayed a known winner\n");
    return;
  }
  std::snprintf(figures, sizeof figures,
                "level %d: %s after %lld submissions, %.1f s (%.1f/s), %zu answers", run.level,
                run.beaten ? "beaten" : "NOT beaten", run.submissions, run.seconds, rate,
                run.order.size());
  std::string line = figures;
  if (run.beaten) {
    line += "; winner: " + winnerText(run);
  } else {
    // The answer it got most, then the others: together they show where it came to a halt.
    const std::wstring most = stuckAt(run);
    if (!run.order.empty()) {
      line +=
          "; stuck at: " + oneLine(most) + " (" + std::to_string(run.answers.at(most)) + " times)";
    }
    for (const std::wstring& answer : run.order) {
      if (answer != most)
        line += "; " + oneLine(answer) + " (" + std::to_string(run.answers.at(answer)) + ")";
    }
    if (!run.stoppedBy.empty()) line += "; " + run.stoppedBy;
  }
  write(stdout, line + "\n");
}

// ---------------------------------------------------------------------------------------------

// Saves a file level's winning file where the player asked, never over an existing file.
std::wstring save(const Options& options, int level, const std::string& bytes) {
  if (options.save.empty() || !isFileLevel(level)) return {};
  std::wstring path = options.save + L"\\level" + std::to_wstring(level) + L".bin";
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

LevelRun fuzzLevel(int level, Player& player, const Game& game, const Options& options,
                   unsigned seed) {
  LevelRun run;
  run.level = level;
  HWND dialog = player.reach(level);
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  Mutator mutator(seed, level, !options.plain && isFileLevel(level));
  std::vector<Input> pending = seedsOf(level, dialog, game, options);
  std::reverse(pending.begin(), pending.end());
  // A level it leaves unbeaten gets its fields back as the player left them.
  const std::vector<int>& fields = controlsOf(level).fields;
  std::vector<std::wstring> before(fields.size());
  std::transform(fields.begin(), fields.end(), before.begin(),
                 [&](int id) { return game.text(GetDlgItem(dialog, id)); });
  const auto restore = [&] {
    for (std::size_t i = 0; i < before.size(); ++i) {
      game.type(GetDlgItem(dialog, fields[i]), before[i]);
    }
  };
  try {
    std::vector<Input> queue;  // the inputs that gave a new answer
    while (!run.beaten) {
      if (options.submissions > 0 && run.submissions >= options.submissions) break;
      if (options.seconds > 0 && elapsed() >= options.seconds) break;
      Input input;
      if (!pending.empty()) {
        input = pending.back();
        pending.pop_back();
      } else {
        input = mutator.mutate(queue);
      }
      const Answer answer = player.submit(level, dialog, input);
      ++run.submissions;
      if (run.answers[answer.text]++ == 0) {  // new coverage: keep the input
        run.order.push_back(answer.text);
        queue.push_back(input);
        mutator.learn(answer.text.substr(answer.text.find(L": ") + 2));  // the game's words
        char head[96];
        std::snprintf(head, sizeof head, "level %d, submission %lld, %.1f s: new answer: ", level,
                      run.submissions, elapsed());
        if (!options.json) write(stderr, head + oneLine(answer.text) + "\n");
      }
      if (answer.passed) run.beaten = true, run.winner = input;
    }
  } catch (const Stop& stop) {
    run.seconds = elapsed();
    run.stoppedBy = stop.why;
    report(run, options);
    if (stop.code == kInterrupted) {
      g_stop = 0;  // to put the fields back; a second Ctrl+C still ends it
      restore();
    }
    throw;
  }
  run.seconds = elapsed();
  if (run.beaten) run.saved = save(options, level, run.winner.bytes);
  if (!run.beaten) restore();
  return run;
}

int fuzzGame(Game& game, Scratch& scratch, const Options& options) {
  Player player(game, scratch);
  HWND dialog = nullptr;
  int level = game.current(dialog);
  if (level == kFinish) throw Stop{kBadUsage, "the game shows its finish dialog: close it first"};
  if (level == 0) level = 1;
  if (options.level != 0 && level > options.level) {
    throw Stop{kBadUsage, "the game is at level " + std::to_string(level) + ", past level " +
                              std::to_string(options.level)};
  }
  const int last = options.level != 0 ? options.level : kLevelCount;
  for (; level <= last; ++level) {
    LevelRun run;
    if (level < last && options.level != 0 && !options.replay.empty()) {
      // Reaching the level to fuzz by the lab's known winners; not part of the measurement.
      const std::filesystem::path path =
          std::filesystem::path(options.replay) / ("level" + std::to_string(level) + ".bin");
      run.level = level;
      run.replayed = true;
      run.beaten =
          player.submit(level, player.reach(level), fromLabFormat(level, readFile(path))).passed;
      if (!run.beaten)
        throw Stop{kBadUsage, "the winner " + utf8(path.wstring()) + " did not pass"};
    } else {
      run = fuzzLevel(level, player, game, options, options.seed + static_cast<unsigned>(level));
    }
    report(run, options);
    if (!run.beaten) return kNotBeaten;
  }
  return kBeaten;
}

BOOL WINAPI onConsoleEvent(DWORD) {
  InterlockedExchange(&g_stop, 1);
  // Closing the console ends this process once the handler returns: let it clean up first.
  WaitForSingleObject(g_cleanedUp, 10000);
  return TRUE;
}

constexpr const char* kUsage =
    "usage: tumblewick-guifuzz [--level N] [--submissions N] [--seconds S] [--plain]\n"
    "                          [--seeds DIR] [--replay DIR] [--save DIR] [--seed N] [--json]\n"
    "                          [GAME.exe]\n"
    "Fuzzes the running game (or starts GAME.exe, by default the Velk_Game.exe beside it) through\n"
    "its windows, level by level from the one it shows, until a level is not beaten.\n"
    "  --level N        only level N; --replay DIR reaches it with DIR\\levelK.bin (fuzz/winners)\n"
    "  --submissions N  at most N submissions per level;  --seconds S  at most S seconds per\n"
    "                   level (default 120; 0: no limit)\n"
    "  --plain          file levels without the structure repair (level 4's size, level 6's CRC)\n"
    "  --seeds DIR      more starting files for the file levels (read, never written)\n"
    "  --save DIR       saves the winning files there as levelN.bin (never over a file)\n"
    "  --json           one JSON line per level instead of the text lines\n";

bool parse(int argc, wchar_t** argv, Options& options) {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  options.game = (std::filesystem::path(self).parent_path() / L"Velk_Game.exe").wstring();
  options.seed = static_cast<unsigned>(GetTickCount64());
  try {
    for (int i = 1; i < argc; ++i) {
      const std::wstring arg = argv[i];
      if (arg == L"--plain") {
        options.plain = true;
      } else if (arg == L"--json") {
        options.json = true;
      } else if (arg.rfind(L"--", 0) != 0) {
        options.game = std::filesystem::absolute(arg).wstring();
      } else if (i + 1 == argc) {
        return false;
      } else {
        const std::wstring value = argv[++i];
        if (arg == L"--level") {
          options.level = std::stoi(value);
          if (options.level < 1 || options.level > kLevelCount) return false;
        } else if (arg == L"--submissions") {
          options.submissions = std::stoll(value);
        } else if (arg == L"--seconds") {
          options.seconds = std::stod(value);
        } else if (arg == L"--seed") {
          options.seed = static_cast<unsigned>(std::stoul(value));
        } else if (arg == L"--seeds") {
          options.seeds = value;
        } else if (arg == L"--replay") {
          options.replay = value;
        } else if (arg == L"--save") {
          options.save = value;
        } else {
          return false;
        }
      }
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    write(stderr, kUsage);
    return kBadUsage;
  }
  g_cleanedUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  int code = kBeaten;
  std::string left;
  std::wstring folder;
  bool removed = true;
  {
    std::unique_ptr<Scratch> scratch;
    std::unique_ptr<Game> game;
    try {
      scratch = std::make_unique<Scratch>();
      folder = scratch->dir();
      game = std::make_unique<Game>(options.game);
      write(stderr, std::string(game->started() ? "started" : "found") +
                        " the game; scratch folder " + utf8(folder) + "\n");
      code = fuzzGame(*game, *scratch, options);
    } catch (const Stop& stop) {
      write(stderr, "tumblewick-guifuzz: " + stop.why + "\n");
      code = stop.code;
    } catch (const std::exception& error) {
      write(stderr, std::string("tumblewick-guifuzz: ") + error.what() + "\n");
      code = kGameTrouble;
    }
    game.reset();  // a game it started ends before its files go
    if (scratch) removed = scratch->remove(left);
  }
  if (!removed) {
    write(stderr, "tumblewick-guifuzz: the game still holds open" + left + "; remove " +
                      utf8(folder) + " once the game is closed\n");
  }
  SetEvent(g_cleanedUp);
  return code;
}
