// The files that libFuzzer found against the level rules (fuzz/find_winner.sh) pass the
// real game too: the fuzz targets judge inputs the way the game does.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "chain.h"
#include "game_driver.h"
#include "resource.h"

namespace {

// TUMBLEWICK_FUZZ_WINNERS: a Windows path of the folder holding level3.bin, level4.bin and
// level6.bin; the test command sets it.
std::wstring winnersFolder() {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(L"TUMBLEWICK_FUZZ_WINNERS", value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

void playWinner(int level) {
  const std::wstring folder = winnersFolder();
  if (folder.empty()) GTEST_SKIP() << "TUMBLEWICK_FUZZ_WINNERS is not set";
  const std::wstring path = folder + L"\\level" + std::to_wstring(level) + L".bin";
  ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << utf8(path);

  Game game;
  HWND dialog = playTo(game, level);
  ASSERT_TRUE(dialog);
  submitPath(game, dialog, path);
  const Notice notice = game.waitNotice(L"恭喜");
  ASSERT_TRUE(notice.window) << "no pass for " << utf8(path)
                             << "; result line: " << utf8(game.text(dialog, CTL_RESULT));
  game.dismiss(notice);
  EXPECT_TRUE(game.waitDialog(levelCaption(level + 1)));
}

TEST(FuzzWinner, Level3PassesTheRealGame) { playWinner(3); }
TEST(FuzzWinner, Level4PassesTheRealGame) { playWinner(4); }
TEST(FuzzWinner, Level6PassesTheRealGame) { playWinner(6); }

}  // namespace
