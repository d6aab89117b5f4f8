// Plays the real Velk_Game.exe like a person would, from a second process in the same Wine
// prefix, and reads back what the game asked of the platform from Wine's relay trace.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "wine_env.h"

// One platform call that the game's own code made, as the relay trace recorded it.
struct Call {
  std::string name;                  // "Beep", "MessageBoxA", ...
  std::vector<std::uint64_t> args;   // every argument as a number
  std::vector<std::string> strings;  // quoted narrow strings, converted to UTF-8 ("" if none)

  // A compact, readable form used in assertions, e.g. "Beep 420/200",
  // "MessageBoxA 错误|不太对哦。", "EndDialog 2", "DialogBoxParamW 130", "ReadFile 4096".
  std::string brief() const;
};

// The tones of the three jingles, in the brief form above.
std::vector<std::string> openingJingle();
std::vector<std::string> closingJingle();
std::vector<std::string> fanfare();
// Matchers for a list of brief events; a string that the trace cut short ("...") matches
// the expected text it begins.
bool sameEvent(const std::string& actual, const std::string& expected);
std::vector<::testing::Matcher<std::string>> eventsLike(const std::vector<std::string>& expected);
// Concatenates event lists: seq({a}, jingle, {b}).
std::vector<std::string> seq(std::initializer_list<std::vector<std::string>> parts);

// Polls until the predicate holds or the timeout passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A notice (message box) of the game.
struct Notice {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
};

class Game {
 public:
  // Starts the game in workDir (or a fresh temporary folder) and waits for its main window.
  explicit Game(const std::wstring& workDir = L"");
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  HWND mainWindow() const { return main_; }
  DWORD processId() const { return process_.dwProcessId; }
  const std::wstring& workDir() const { return workDir_; }

  // Posts a WM_COMMAND, as a click on a button or a menu item does.
  void command(HWND window, int id) const;
  // Types into a control of a dialog (the game reads it back through the ANSI functions).
  void type(HWND dialog, int id, const std::wstring& text) const;
  // Presses a key in a window (posted WM_KEYDOWN/WM_KEYUP, seen by the dialog manager).
  void press(HWND window, UINT virtualKey) const;
  // The text that a control shows now.
  std::wstring text(HWND dialog, int id) const;
  std::wstring caption(HWND window) const;

  // Visible dialogs (#32770) of the game with this caption, oldest first.
  std::vector<HWND> dialogs(const std::wstring& caption) const;
  // Waits for a visible dialog with this caption that is not one of `known`.
  HWND waitDialog(const std::wstring& caption, const std::vector<HWND>& known = {},
                  int timeoutMs = 10000) const;
  bool waitHidden(HWND window, int timeoutMs = 10000) const;
  // Waits for a notice with this caption, reads its text; dismiss() presses its OK button.
  Notice waitNotice(const std::wstring& caption, int timeoutMs = 10000) const;
  void dismiss(const Notice& notice) const;
  // The window that has the keyboard focus in the game.
  HWND focus() const;

  // Every call of the game's own code traced since the game started, or since mark().
  std::vector<Call> calls() const;
  std::vector<std::string> events() const;  // calls(), brief form
  void mark();
  // Waits until events() ends with `tail` (or, with contains, holds it anywhere).
  bool waitEvents(const std::vector<std::string>& tail, int timeoutMs = 10000) const;

  // Lets the game settle: waits until no new trace lines arrive for quietMs.
  void settle(int quietMs = 300) const;

  bool running() const;
  // Waits for the process to end; returns its exit code, or STILL_ACTIVE on timeout.
  DWORD waitExit(int timeoutMs = 10000);

  // Saves the window (with its frame) as a 24-bit BMP in the screenshot folder, if any.
  void screenshot(HWND window, const std::string& name) const;

 private:
  std::vector<Call> readCalls() const;

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::wstring workDir_;
  bool ownsWorkDir_ = false;
  std::uint64_t traceStart_ = 0;
  std::uint64_t markAt_ = 0;
  std::uint64_t moduleBase_ = 0;
  std::uint64_t moduleEnd_ = 0;
  bool exited_ = false;
  mutable std::uint64_t parsedUpTo_ = 0;
  mutable std::vector<Call> parsed_;
};

// Converts between UTF-16 and UTF-8 / code page 936.
std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8Text);
std::string gbk(const std::wstring& text);
