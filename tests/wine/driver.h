// Plays the real Velk_Game.exe from a second process in the same Wine prefix, and reads the
// game's own platform calls back from Wine's relay trace as short events, e.g. "closing" (the
// closing jingle), "MessageBoxA L1 错误|不太对哦。" (owner, caption, text), "EndDialog L2 1008",
// "DialogBoxParamW 130 L1" (template, owner), "ReadFile a.bmp 4096" (a handle is named after
// the file it was opened on).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "level_table.h"

using Seq = std::vector<std::string>;

// The game runs under the driver's own code page: 936 speaks Chinese, anything else English.
Language language();
const LevelTexts& texts(int level);
const NoticeCaptions& captions();
std::wstring env(const wchar_t* name);  // a variable that the wrapper script sets
std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& text);
std::wstring beside(const std::wstring& name);  // a file beside the game
// What the console judge beside the game prints for this input of a level, lines ending in LF.
std::string judge(int level, const std::wstring& path, const std::wstring& options = L"");

class Game {
 public:
  Game();
  ~Game();
  bool keepNotices = false;  // leaves notices open for someone else to close
  HWND main() const { return main_; }
  // Waits for the visible window of that name: "L1" .. "L6", "Fin", "About"; or, with no
  // name, for the open-file dialog.
  HWND window(const std::string& name = {});
  void click(HWND window, int id) const;  // a posted WM_COMMAND, as a button or menu item does
  void type(HWND window, int id, const std::wstring& text) const;
  void key(HWND window, UINT vk) const;  // a posted key press
  std::wstring text(HWND window, int id) const;
  HWND focus() const;
  // Runs the action, dismisses every notice, and returns the game's events once they differ
  // from the expected ones or all of them have come; a missing one is waited for while the
  // game might still be busy, up to half a minute.
  Seq run(const std::function<void()>& action, const Seq& expected);
  // Waits until done, as long as a step waits for a missing event; false if it never was. A
  // change in `progress` counts as the game still working.
  bool wait(const std::function<bool()>& done, const std::function<size_t()>& progress = {});
  // Returns once the game has handled the messages sent to it so far; false if it cannot.
  bool settle() const;
  DWORD exitCode();  // waits for the process to end; STILL_ACTIVE if it does not
  // Writes a file into the game's working folder, extended to `length` if given; its path.
  std::wstring file(const std::wstring& name, const std::string& bytes, long long length = 0) const;

 private:
  static constexpr DWORD kLimitMs = 30000;
  // Once a step has failed the play is off its course: the rest need not wait long.
  static constexpr DWORD kAfterFailureMs = 3000;
  // A game silent this long within a step, that answers messages, has nothing more to do.
  static constexpr DWORD kSilentMs = 3000;
  void poll();
  Seq events(const Seq& expected, size_t& pending) const;
  std::string brief(const std::string& call);
  std::string name(std::uint64_t window);

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::wstring dir_;
  HANDLE trace_ = INVALID_HANDLE_VALUE;
  std::string unparsed_;  // read from the trace, not yet a whole line
  Seq events_;
  size_t seen_ = 0;  // events already returned by run()
  bool failed_ = false;
  DWORD slowest_ = 0;  // the slowest step, reported for the load check
  std::string slowestStep_;
  size_t notices_ = 0, dismissed_ = 0;  // notices the game opened, and those closed for it
  std::map<HWND, std::string> names_;
  std::map<std::uint64_t, std::string> files_;  // handle, the file it was opened on
  std::string opened_;                          // the file the last CreateFileA named
};

#define EXPECT_SEQ(game, action, ...)                                        \
  do {                                                                       \
    const Seq expected_ = __VA_ARGS__;                                       \
    EXPECT_EQ((game).run([&] { action; }, expected_), expected_) << #action; \
  } while (0)
