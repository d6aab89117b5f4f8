// The main window, its menu, accelerators and About box, and how the process ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::wstring kAbout = L"关于 Velk_Game";
const std::wstring kLevel1 = L"Tumblewick 第1关(报名站)";
const std::wstring kLevel2 = L"Tumblewick 第二关[体检中心]";

// Sends Alt + key through the real keyboard path, as accelerators need the real Alt state.
void altKey(HWND window, WORD key, bool shift) {
  SetForegroundWindow(window);
  waitUntil([&] { return GetForegroundWindow() == window; }, 2000);
  std::vector<INPUT> keys;
  auto add = [&](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(in);
  };
  add(VK_MENU, false);
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  add(VK_MENU, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

// Passes level 1 with an overlong name and returns level 2's dialog.
HWND reachLevel2(Game& game, HWND* level1 = nullptr) {
  game.command(game.mainWindow(), CMD_START_GAME);
  HWND signup = game.waitDialog(kLevel1);
  if (level1) *level1 = signup;
  game.type(signup, CTL_USER_NAME, std::wstring(300, L'a'));
  game.command(signup, IDOK);
  game.dismiss(game.waitNotice(L"恭喜"));
  return game.waitDialog(kLevel2);
}

TEST(Shell, RunsInCodePage936) {
  // The driver runs in the same prefix and locale as the game.
  EXPECT_EQ(GetACP(), 936u);
}

TEST(Shell, MainWindowIsEmptyAndTitled) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  EXPECT_EQ(game.caption(game.mainWindow()), L"Velk_Game");
  EXPECT_TRUE(IsWindowEnabled(game.mainWindow()));
  EXPECT_EQ(GetWindow(game.mainWindow(), GW_CHILD), nullptr) << "the client area stays blank";
  const LONG style = GetWindowLongW(game.mainWindow(), GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  game.screenshot(game.mainWindow(), "main_window");
}

TEST(Shell, AboutBoxByMenuClosesSilentlyThreeWays) {
  Game game;
  HWND main = game.mainWindow();
  // Button, Esc, close box: each ends the box with its own id and no tone.
  const std::vector<std::pair<const char*, int>> ways = {
      {"button", IDOK}, {"esc", IDCANCEL}, {"close box", IDCANCEL}};
  for (const auto& [how, result] : ways) {
    SCOPED_TRACE(how);
    game.mark();
    game.command(main, CMD_ABOUT);
    HWND about = game.waitDialog(kAbout);
    ASSERT_TRUE(about);
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main)) << "the About box is modal";
    if (std::string(how) == "button") {
      game.screenshot(about, "about_box");
      game.command(about, IDOK);
    } else if (std::string(how) == "esc") {
      game.press(about, VK_ESCAPE);
    } else {
      PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    ASSERT_TRUE(game.waitHidden(about));
    game.settle();
    const std::vector<Call> calls = game.calls();
    ASSERT_EQ(calls.size(), 2u) << ::testing::PrintToString(game.events());
    EXPECT_EQ(calls[0].brief(), "DialogBoxParamW 103");
    EXPECT_EQ(calls[0].args[2], reinterpret_cast<std::uint64_t>(main));
    EXPECT_EQ(calls[1].brief(), "EndDialog " + std::to_string(result));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
  }
}

TEST(Shell, AboutBoxByBothAccelerators) {
  Game game;
  for (bool shift : {true, false}) {  // Alt+? is Alt+Shift+/ on a US layout
    SCOPED_TRACE(shift ? "Alt+?" : "Alt+/");
    game.mark();
    altKey(game.mainWindow(), VK_OEM_2, shift);
    HWND about = game.waitDialog(kAbout);
    ASSERT_TRUE(about);
    game.command(about, IDOK);
    ASSERT_TRUE(game.waitHidden(about));
    game.settle();
    EXPECT_THAT(game.events(), ElementsAre("DialogBoxParamW 103", "EndDialog 1"));
  }
}

TEST(Shell, ExitMenuEndsTheProcessWithCodeZero) {
  Game game;
  game.command(game.mainWindow(), CMD_EXIT);
  EXPECT_EQ(game.waitExit(), 0u);
}

TEST(Shell, CloseBoxEndsTheProcessWithCodeZero) {
  Game game;
  PostMessageW(game.mainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(game.waitExit(), 0u);
}

TEST(Shell, ExitOrCloseWhileLevel2WaitsEndsEverything) {
  for (bool viaMenu : {true, false}) {
    SCOPED_TRACE(viaMenu ? "menu Exit" : "close box");
    Game game;
    ASSERT_TRUE(reachLevel2(game));
    EXPECT_TRUE(IsWindowEnabled(game.mainWindow())) << "from level 2 on the main window works";
    if (viaMenu) {
      game.command(game.mainWindow(), CMD_EXIT);
    } else {
      PostMessageW(game.mainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    EXPECT_EQ(game.waitExit(), 0u);
  }
}

TEST(Shell, ExitWhileALevel2NoticeIsOpen) {
  Game game;
  HWND exam = reachLevel2(game);
  ASSERT_TRUE(exam);
  game.type(exam, CTL_CLOTHES_WEIGHT, L"");
  game.command(exam, CTL_SUBMIT);
  ASSERT_TRUE(game.waitNotice(L"错误").window);
  game.command(game.mainWindow(), CMD_EXIT);
  EXPECT_EQ(game.waitExit(), 0u);
}

TEST(Shell, SecondChainWhileLevel2IsOpen) {
  Game game;
  HWND firstSignup = nullptr;
  HWND exam = reachLevel2(game, &firstSignup);
  ASSERT_TRUE(exam);
  game.mark();
  game.command(game.mainWindow(), CMD_START_GAME);
  HWND second = game.waitDialog(kLevel1);
  ASSERT_TRUE(second);
  EXPECT_NE(second, firstSignup);
  EXPECT_EQ(GetWindow(second, GW_OWNER), game.mainWindow());
  ASSERT_TRUE(game.waitEvents(openingJingle()));
  const std::vector<Call> calls = game.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].brief(), "DialogBoxParamW 129");
  EXPECT_EQ(calls[0].args[2], reinterpret_cast<std::uint64_t>(game.mainWindow()));
  // Leaving the inner chain returns to the outer one: level 2 is still there.
  game.press(second, VK_ESCAPE);
  ASSERT_TRUE(game.waitHidden(second));
  EXPECT_TRUE(IsWindowVisible(exam));
  EXPECT_EQ(game.dialogs(kLevel2).size(), 1u);
}

TEST(Shell, StartGameWorksAgainAfterEveryWayAChainEnds) {
  Game game;
  HWND main = game.mainWindow();
  // Quit in level 1, Esc in level 1, Esc in level 2: each time the chain unwinds.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    HWND dialog = nullptr;
    if (round < 2) {
      game.command(main, CMD_START_GAME);
      dialog = game.waitDialog(kLevel1);
      ASSERT_TRUE(dialog);
      EXPECT_FALSE(IsWindowEnabled(main)) << "level 1 is modal to the main window";
      if (round == 0) game.command(dialog, CTL_QUIT);
      if (round == 1) game.press(dialog, VK_ESCAPE);
    } else {
      dialog = reachLevel2(game);
      ASSERT_TRUE(dialog);
      game.press(dialog, VK_ESCAPE);
    }
    ASSERT_TRUE(game.waitHidden(dialog));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
    game.settle();
    EXPECT_THAT(game.dialogs(kLevel1), IsEmpty());
  }
  game.command(main, CMD_START_GAME);
  EXPECT_TRUE(game.waitDialog(kLevel1));
}

}  // namespace
