// tumblewick-guifuzz: a fuzzer that plays the game itself through its windows, as a player at
// the keyboard could: it types into a level's fields (or writes a file and types its path),
// presses the level's button, reads what the game answers, and keeps every input to which the
// game gave an answer it had not given before. By default that answer is all the feedback it
// gets; with the fuzz lab's coverage build of the game (Velk_Game-cov.exe) it can also see
// inside: --feedback coverage keeps an input that takes the game's level code along a new
// edge, --feedback cmp also puts the operands the game compared into the input.
//   tumblewick-guifuzz [--level N] [--submissions N] [--seconds S] [--plain] [--seeds DIR]
//                      [--replay DIR] [--save DIR] [--seed N] [--json]
//                      [--feedback answers|coverage|cmp] [--repeat N] [GAME.exe]
// It never writes into the game's memory or hooks it: it sends only window messages to the
// game's controls and buttons, and reads the section a coverage build shares with it. Exit
// code: 0 every level fuzzed was beaten, 1 one was not within the bound, 2 bad usage, 3 the
// game was closed, did not answer or could not start, 4 stopped by Ctrl+C.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cwctype>
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
#include <unordered_set>
#include <vector>

#include "coverage_map.h"
#include "input_verdict.h"
#include "level_table.h"
#include "resource.h"
#include "stage_texts.h"

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

std::string encode(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  std::string out(static_cast<std::size_t>(WideCharToMultiByte(codePage, 0, text.data(), length,
                                                               nullptr, 0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), static_cast<int>(out.size()),
                      nullptr, nullptr);
  return out;
}

std::string utf8(const std::wstring& text) { return encode(text, CP_UTF8); }

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

// The section shared with a coverage build of the game it starts (coverage_map.h): created
// here, named to the game through its environment, zeroed before each submission.
class Section {
 public:
  Section()
      : name_(L"Local\\tumblewick-coverage-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount64())) {
    handle_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                 sizeof(coverage::Map), name_.c_str());
    if (handle_ != nullptr) {
      map_ = static_cast<coverage::Map*>(
          MapViewOfFile(handle_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(coverage::Map)));
    }
    if (map_ == nullptr) {
      if (handle_ != nullptr) CloseHandle(handle_);
      throw Stop{kGameTrouble, "cannot create the coverage section"};
    }
  }
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;
  ~Section() {
    UnmapViewOfFile(map_);
    CloseHandle(handle_);
  }

  const std::wstring& name() const { return name_; }
  const coverage::Map& map() const { return *map_; }

  // Before a submission: nothing recorded, and the first edge starts from nowhere.
  void clear() {
    std::fill(std::begin(map_->edges), std::end(map_->edges), std::uint8_t{0});
    std::fill(std::begin(map_->sites), std::end(map_->sites), coverage::Site{});
    map_->previous = 0;
  }

 private:
  std::wstring name_;
  HANDLE handle_ = nullptr;
  coverage::Map* map_ = nullptr;
};

class Game {
 public:
  // With a section, it always starts its own game, which must be a coverage build.
  Game(const std::wstring& exe, const Section* section) {
    // The main window's class and title, from the game's own string table.
    const HMODULE image = LoadLibraryExW(exe.c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) throw Stop{kGameTrouble, "cannot read the game " + utf8(exe)};
    wchar_t windowClass[100] = {};
    wchar_t title[100] = {};
    LoadStringW(image, STR_WINDOW_CLASS, windowClass, 100);
    LoadStringW(image, STR_APP_TITLE, title, 100);
    FreeLibrary(image);
    if (section != nullptr)
      SetEnvironmentVariableW(coverage::kSectionVariable, section->name().c_str());
    main_ = section != nullptr ? nullptr : FindWindowW(windowClass, title);
    if (main_ == nullptr) start(exe, windowClass, title);
    DWORD pid = 0;
    thread_ = GetWindowThreadProcessId(main_, &pid);
    if (process_ == nullptr) {
      process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    if (process_ == nullptr) throw Stop{kGameTrouble, "cannot watch the running game"};
    // The coverage build attaches before its first window exists.
    if (section != nullptr &&
        (section->map().magic != coverage::kMagic || section->map().pid != pid)) {
      TerminateProcess(process_, 0);
      WaitForSingleObject(process_, kAnswerMs);
      throw Stop{kBadUsage, utf8(exe) +
                                " records no coverage: --feedback coverage and cmp need the fuzz "
                                "lab's coverage build Velk_Game-cov.exe (cmake "
                                "-DTUMBLEWICK_GUI_COVERAGE=ON)"};
    }
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

// What it learns from a submission: the game's answer only; also the edges its level code
// took; also the operands of its comparisons.
enum class Feedback { Answers, Coverage, Cmp };
constexpr const char* kFeedbackNames[] = {"answers", "coverage", "cmp"};

struct Options {
  std::wstring game;
  int level = 0;  // 0: every level from the one the game shows
  long long submissions = 0;
  double seconds = 120;
  bool plain = false;
  Feedback feedback = Feedback::Answers;
  long long repeat = 0;  // >0: submits the level's first input that often, to measure noise
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
  // How far inputs got through the level's checks (the judge's stages), for the report only:
  // each time a submission passed more of them than any before, how many, its number and the
  // seconds since the level's start.
  struct Reach {
    int passed;
    long long submission;
    double seconds;
  };
  std::vector<Reach> reach;
  int stages() const { return reach.empty() ? 0 : reach.back().passed; }
  // With coverage: inputs kept for new coverage, candidates whose new coverage did not repeat
  // on a second run, edges seen; with cmp: inputs made from compared operands, and how many
  // of them were kept.
  long long keptForCoverage = 0;
  long long unstable = 0;
  long long edges = 0;
  long long cmpTried = 0;
  long long cmpKept = 0;
  // With --repeat: the repeats whose edges showed something no earlier repeat had.
  long long repeatsNew = 0;
  long long repeatsDiffer = 0;  // and those whose edge classes differ from the first run's
};

class Player {
 public:
  Player(Game& game, Scratch& scratch, Section* section)
      : game_(game), scratch_(scratch), section_(section) {}

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
    if (section_ != nullptr) section_->clear();
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
    } else if (section_ != nullptr) {
      // Answered once the submit handler has returned: what it recorded is complete.
      game_.send(dialog, WM_NULL, 0, 0);
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
  Section* section_;
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

// Level 2's form as the judge reads it holds exam::Form's members in their order, four bytes
// each; the dialog shows them as height, weight, clothes, shoes: each member's field there.
constexpr std::size_t kFieldOfMember[] = {2, 3, 1, 0};
static_assert(sizeof(exam::Form) == 4 * std::size(kFieldOfMember));

bool isForm(int level) { return inputverdict::inputOf(level) == inputverdict::Input::Form; }

// An input in the lab's format for winners (fuzz/winners, as the console judge reads it): a
// file's bytes; the name or message in the system's code page; level 2's form as the judge
// reads it, typed into the fields in their order on the dialog.
Input fromLabFormat(int level, const std::string& bytes) {
  if (isFileLevel(level)) return {{}, bytes};
  if (!isForm(level)) return {{decode(bytes.substr(0, bytes.find('\0')), CP_ACP)}, {}};
  std::uint8_t raw[sizeof(exam::Form)] = {};
  std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof raw), raw);
  std::vector<std::wstring> fields(std::size(kFieldOfMember));
  for (std::size_t i = 0; i < std::size(kFieldOfMember); ++i)
    fields[kFieldOfMember[i]] = std::to_wstring(byteorder::littleEndian32(raw + 4 * i));
  return {fields, {}};
}

// A field's number as the dialog reads it (GetDlgItemInt, unsigned, as strtoul reads it): the
// sign and digits after any white space, [begin, end); no digits, or more than 32 bits, read
// as 0, a minus sign wraps.
struct Number {
  std::size_t begin;
  std::size_t end;
  std::uint32_t value;
};

Number numberIn(const std::wstring& text) {
  std::size_t begin = 0;
  while (begin < text.size() && std::iswspace(text[begin]) != 0) ++begin;
  const bool minus = begin < text.size() && text[begin] == L'-';
  std::size_t end = begin;
  if (end < text.size() && (text[end] == L'-' || text[end] == L'+')) ++end;
  std::uint64_t value = 0;
  for (; end < text.size() && text[end] >= L'0' && text[end] <= L'9'; ++end) {
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(text[end] - L'0'),
                                    std::uint64_t{1} << 32);
  }
  if (value >> 32 != 0) return {begin, end, 0};
  const auto low = static_cast<std::uint32_t>(value);
  return {begin, end, minus ? 0u - low : low};
}

// The input as the judge reads it: a file's bytes, the name or message in the game's code
// page, level 2's four numbers read as the dialog reads its fields.
std::string toLabFormat(int level, const Input& input) {
  if (isFileLevel(level)) return input.bytes;
  if (!isForm(level)) return encode(input.fields[0], CP_ACP);
  std::string bytes(sizeof(exam::Form), '\0');
  for (std::size_t i = 0; i < std::size(kFieldOfMember); ++i) {
    byteorder::putLittleEndian32(reinterpret_cast<std::uint8_t*>(bytes.data() + 4 * i),
                                 numberIn(input.fields[kFieldOfMember[i]]).value);
  }
  return bytes;
}

// How many of the level's checks the input passed, by the same rules the game judges with.
int stagesOf(int level, const Input& input) {
  const std::string bytes = toLabFormat(level, input);
  stages::Trail trail;
  inputverdict::judgeBytes(level, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                           &trail);
  return trail.passed;
}

std::size_t hashOf(const Input& input) {
  std::string all = input.bytes;
  for (const std::wstring& field : input.fields) all += '\0' + utf8(field);
  return std::hash<std::string>{}(all);
}

// Input-to-state, as AFL++'s CmpLog does it: each operand that the level code compared is
// looked for in the input (as a little- or big-endian integer of the comparison's width; in a
// typed field as its number or its length in bytes; in a file as its length) and replaced
// there by the value it was compared with, or one more or one less.
class Operands {
 public:
  explicit Operands(int level) : level_(level) {}

  // lengthsOnly: only where an operand is the input's length (or a count that grows with it).
  std::vector<Input> candidates(const Input& input, const coverage::Map& map, bool lengthsOnly) {
    std::vector<Input> out;
    // The wider comparisons first: single bytes match in many places, switches are rarely
    // about the input.
    for (int pass = 0; pass < 2; ++pass) {
      for (const coverage::Site& site : map.sites) {
        if (site.hits == 0) continue;
        const bool narrow = site.size == 1 || site.kind == coverage::Kind::Switch;
        if (narrow != (pass == 1)) continue;
        const std::uint32_t kept = std::min<std::uint32_t>(site.hits, coverage::kPairs);
        for (std::uint32_t k = 0; k < kept; ++k) {
          const coverage::Pair& pair = site.pairs[(site.hits - 1 - k) % coverage::kPairs];
          if (pair.a == pair.b) continue;
          const std::uint64_t key =
              site.pc * 0x9E3779B97F4A7C15ULL ^ pair.a * 0xBF58476D1CE4E5B9ULL ^ pair.b;
          if (!tried_.insert(key).second) {
            continue;  // this comparison with these operands was tried on an earlier input
          }
          const std::size_t before = out.size();
          replace(input, site.size, pair.a, pair.b, lengthsOnly, out);
          replace(input, site.size, pair.b, pair.a, lengthsOnly, out);
          if (lengthsOnly && out.size() == before) tried_.erase(key);  // for a later full look
          if (out.size() >= kMaxCandidates) return out;
        }
      }
    }
    return out;
  }

 private:
  static constexpr std::size_t kMaxCandidates = 96;  // for one kept input
  static constexpr std::size_t kMaxPlaces = 4;       // places of one operand in the input

  static std::uint64_t mask(std::uint64_t value, std::size_t width) {
    return width >= 8 ? value : value & ((std::uint64_t{1} << (8 * width)) - 1);
  }

  static std::string encoded(std::uint64_t value, std::size_t width, bool big) {
    std::string out(width, '\0');
    for (std::size_t i = 0; i < width; ++i)
      out[big ? width - 1 - i : i] = static_cast<char>(value >> (8 * i));
    return out;
  }

  void replace(const Input& input, std::size_t size, std::uint64_t x, std::uint64_t y,
               bool lengthsOnly, std::vector<Input>& out) const {
    const std::uint64_t targets[] = {y, y + 1, y - 1};
    if (isFileLevel(level_)) {
      if (x == input.bytes.size()) {  // the file's length
        for (const std::uint64_t t : targets) {
          if (t == 0 || t > kMaxFile) continue;
          Input c = input;
          c.bytes.resize(static_cast<std::size_t>(t), '\0');
          out.push_back(std::move(c));
        }
      }
      if (lengthsOnly) return;
      // A 64-bit comparison of small values is often of a 32-bit field widened.
      std::vector<std::size_t> widths = {size};
      if (size == 8 && (x >> 32) == 0 && (y >> 32) == 0) widths.push_back(4);
      for (const std::size_t width : widths) {
        for (const bool big : {false, true}) {
          if (big && width == 1) continue;
          const std::string from = encoded(x, width, big);
          std::size_t places = 0;
          for (std::size_t at = input.bytes.find(from);
               at != std::string::npos && places < kMaxPlaces;
               at = input.bytes.find(from, at + 1), ++places) {
            for (const std::uint64_t t : targets) {
              if (mask(t, width) == mask(x, width)) continue;
              Input c = input;
              c.bytes.replace(at, width, encoded(t, width, big));
              out.push_back(std::move(c));
            }
          }
        }
      }
      return;
    }
    for (std::size_t f = 0; f < input.fields.size(); ++f) {
      const std::wstring& field = input.fields[f];
      const std::size_t length = encode(field, CP_ACP).size();
      // Level 2's fields are numbers only; the others' text is read up to a buffer's size.
      const bool text = !isForm(level_);
      if (text && x <= length && y > x && y - x + length <= inputverdict::bytesRead(level_)) {
        // Its length, or a count that grows with it: that much longer.
        for (const std::uint64_t t : {y, y + 1}) {
          Input c = input;
          c.fields[f].append(static_cast<std::size_t>(t - x), L'a');
          out.push_back(std::move(c));
        }
      } else if (text && x == length && y < x) {
        Input c = input;
        while (!c.fields[f].empty() && encode(c.fields[f], CP_ACP).size() > y + 1)
          c.fields[f].pop_back();
        out.push_back(std::move(c));
      }
      const Number number = numberIn(field);
      if (!lengthsOnly && x >> 32 == 0 && number.value == x) {  // its number
        for (const std::uint64_t t : targets) {
          Input c = input;
          c.fields[f].replace(number.begin, number.end - number.begin,
                              std::to_wstring(static_cast<std::uint32_t>(t)));
          out.push_back(std::move(c));
        }
      }
    }
  }

  int level_;
  std::unordered_set<std::uint64_t> tried_;
};

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
  char figures[320];
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
    line += ",\"stages\":[";
    for (std::size_t i = 0; i < run.reach.size(); ++i) {
      std::snprintf(figures, sizeof figures, "%s[%d,%lld,%.2f]", i ? "," : "", run.reach[i].passed,
                    run.reach[i].submission, run.reach[i].seconds);
      line += figures;
    }
    std::snprintf(figures, sizeof figures,
                  "],\"stage_count\":%d,\"feedback\":\"%s\",\"kept_for_coverage\":%lld,"
                  "\"unstable\":%lld,\"edges\":%lld,\"cmp_tried\":%lld,\"cmp_kept\":%lld",
                  stages::count(run.level), kFeedbackNames[static_cast<int>(options.feedback)],
                  run.keptForCoverage, run.unstable, run.edges, run.cmpTried, run.cmpKept);
    line += figures;
    if (options.repeat > 0) {
      line += ",\"repeats_new\":" + std::to_string(run.repeatsNew) +
              ",\"repeats_differ\":" + std::to_string(run.repeatsDiffer);
    }
    write(stdout, line + "}\n");
    return;
  }
  if (run.replayed) {
    write(stdout, "level " + std::to_string(run.level) + ": replayed a known winner\n");
    return;
  }
  std::snprintf(figures, sizeof figures,
                "level %d: %s after %lld submissions, %.1f s (%.1f/s), %zu answers, %d of %d "
                "checks passed",
                run.level, run.beaten ? "beaten" : "NOT beaten", run.submissions, run.seconds, rate,
                run.order.size(), run.stages(), stages::count(run.level));
  std::string line = figures;
  if (options.feedback != Feedback::Answers) {
    std::snprintf(figures, sizeof figures,
                  ", %lld edges, %lld inputs kept for coverage, %lld unstable", run.edges,
                  run.keptForCoverage, run.unstable);
    line += figures;
  }
  if (options.feedback == Feedback::Cmp) {
    std::snprintf(figures, sizeof figures, ", %lld of %lld operand inputs kept", run.cmpKept,
                  run.cmpTried);
    line += figures;
  }
  if (options.repeat > 0) {
    line += ", " + std::to_string(run.repeatsNew) + " repeats new, " +
            std::to_string(run.repeatsDiffer) + " unlike the first";
  }
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
                   unsigned seed, const Section* section) {
  LevelRun run;
  run.level = level;
  HWND dialog = player.reach(level);
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  Mutator mutator(seed, level, !options.plain && isFileLevel(level));
  Operands operands(level);
  std::vector<Input> pending = seedsOf(level, dialog, game, options);
  std::reverse(pending.begin(), pending.end());
  if (options.repeat > 0) pending.erase(pending.begin(), pending.end() - 1);
  std::vector<Input> made;  // from compared operands, the newest last
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
  std::vector<std::uint8_t> virgin(coverage::kEdges, 0xFF);  // the edge classes never seen
  std::vector<std::uint8_t> first(coverage::kEdges);
  // One submission: its answer counted, its stage reach noted; true once the level is passed.
  const auto submit = [&](const Input& input, bool& newAnswer) {
    const Answer answer = player.submit(level, dialog, input);
    ++run.submissions;
    const int passed = stagesOf(level, input);
    if (passed > run.stages()) run.reach.push_back({passed, run.submissions, elapsed()});
    newAnswer = run.answers[answer.text]++ == 0;
    if (newAnswer) {
      run.order.push_back(answer.text);
      mutator.learn(answer.text.substr(answer.text.find(L": ") + 2));  // the game's words
      char head[96];
      std::snprintf(head, sizeof head, "level %d, submission %lld, %.1f s: new answer: ", level,
                    run.submissions, elapsed());
      if (!options.json) write(stderr, head + oneLine(answer.text) + "\n");
    }
    if (answer.passed) run.beaten = true, run.winner = input;
    return answer.passed;
  };
  try {
    std::vector<Input> queue;                   // the inputs that gave a new answer or new coverage
    std::unordered_set<std::size_t> submitted;  // the inputs made from operands, tried
    bool newAnswer = false;
    while (!run.beaten) {
      if (options.submissions > 0 && run.submissions >= options.submissions) break;
      if (options.seconds > 0 && elapsed() >= options.seconds) break;
      if (options.repeat > 0 && run.submissions >= options.repeat) break;
      Input input;
      bool fromOperands = false;
      if (!pending.empty()) {
        input = pending.back();
        pending.pop_back();
      } else if (!made.empty()) {
        input = made.back();
        made.pop_back();
        fromOperands = true;
        // An operand put in twice, or where it already was, makes an input already tried.
        if (!submitted.insert(hashOf(input)).second) continue;
      } else if (options.repeat > 0) {
        input = queue.front();
      } else {
        input = mutator.mutate(queue);
      }
      if (fromOperands) ++run.cmpTried;
      if (submit(input, newAnswer)) break;
      bool keep = newAnswer;
      if (section != nullptr) {
        const coverage::Map& map = section->map();
        if (options.repeat > 0) {  // the noise: what repeats show that earlier ones did not
          if (run.submissions == 1) {
            std::copy(std::begin(map.edges), std::end(map.edges), first.begin());
          } else if (!std::equal(first.begin(), first.end(), std::begin(map.edges),
                                 [](std::uint8_t a, std::uint8_t b) {
                                   return coverage::bucket(a) == coverage::bucket(b);
                                 })) {
            ++run.repeatsDiffer;
          }
          const bool news =
              coverage::newsOf(map.edges, virgin.data(), true) != coverage::News::None;
          if (news && run.submissions > 1) ++run.repeatsNew;
          if (queue.empty()) queue.push_back(input);
          continue;
        }
        if (coverage::newsOf(map.edges, virgin.data(), false) != coverage::News::None) {
          // New coverage counts only where a second run shows it too (AFL's calibration): an
          // edge class both runs gave.
          std::copy(std::begin(map.edges), std::end(map.edges), first.begin());
          bool again = false;
          if (submit(input, again)) break;
          keep = keep || again;
          for (std::size_t i = 0; i < coverage::kEdges; ++i) {
            if (coverage::bucket(first[i]) != coverage::bucket(map.edges[i])) first[i] = 0;
          }
          if (coverage::newsOf(first.data(), virgin.data(), true) != coverage::News::None) {
            keep = true;
            ++run.keptForCoverage;
          } else {
            ++run.unstable;
          }
        }
        if (keep && fromOperands) ++run.cmpKept;
        if (options.feedback == Feedback::Cmp && (keep || fromOperands)) {
          // What this input made the level code compare, put into it: tried before mutations.
          // An input made so that gave nothing new still gets its length fitted, as a length
          // often depends on the value just put in (level 4's header).
          const std::vector<Input> more = operands.candidates(input, map, !keep);
          made.insert(made.end(), more.rbegin(), more.rend());
        }
      }
      if (keep) queue.push_back(input);
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
  run.edges = std::count_if(virgin.begin(), virgin.end(), [](std::uint8_t v) { return v != 0xFF; });
  if (run.beaten) run.saved = save(options, level, run.winner.bytes);
  if (!run.beaten) restore();
  return run;
}

int fuzzGame(Game& game, Scratch& scratch, Section* section, const Options& options) {
  Player player(game, scratch, section);
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
      run = fuzzLevel(level, player, game, options, options.seed + static_cast<unsigned>(level),
                      section);
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
    "                          [--feedback answers|coverage|cmp] [--repeat N] [GAME.exe]\n"
    "Fuzzes the running game (or starts GAME.exe, by default the Velk_Game.exe beside it) through\n"
    "its windows, level by level from the one it shows, until a level is not beaten.\n"
    "  --level N        only level N; --replay DIR reaches it with DIR\\levelK.bin (fuzz/winners)\n"
    "  --submissions N  at most N submissions per level;  --seconds S  at most S seconds per\n"
    "                   level (default 120; 0: no limit)\n"
    "  --plain          file levels without the structure repair (level 4's size, level 6's CRC)\n"
    "  --seeds DIR      more starting files for the file levels (read, never written)\n"
    "  --save DIR       saves the winning files there as levelN.bin (never over a file)\n"
    "  --json           one JSON line per level instead of the text lines\n"
    "  --feedback F     what keeps an input: answers (a new answer, the default); coverage\n"
    "                   (also a new edge class in the level code); cmp (coverage, and tries\n"
    "                   the values the level code compared the input's bytes with). coverage\n"
    "                   and cmp need the fuzz lab's Velk_Game-cov.exe, which it starts itself\n"
    "  --repeat N       submits the level's first input N times: with coverage, counts the\n"
    "                   repeats whose edges differ from the first run's (the noise)\n";

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
        } else if (arg == L"--feedback") {
          const std::string name = utf8(value);
          const auto* found = std::find(std::begin(kFeedbackNames), std::end(kFeedbackNames), name);
          if (found == std::end(kFeedbackNames)) return false;
          options.feedback = static_cast<Feedback>(found - std::begin(kFeedbackNames));
        } else if (arg == L"--repeat") {
          options.repeat = std::stoll(value);
          if (options.repeat < 1) return false;
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
    std::unique_ptr<Section> section;
    std::unique_ptr<Game> game;
    try {
      scratch = std::make_unique<Scratch>();
      folder = scratch->dir();
      if (options.feedback != Feedback::Answers) section = std::make_unique<Section>();
      game = std::make_unique<Game>(options.game, section.get());
      write(stderr, std::string(game->started() ? "started" : "found") +
                        " the game; scratch folder " + utf8(folder) + "\n");
      code = fuzzGame(*game, *scratch, section.get(), options);
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
