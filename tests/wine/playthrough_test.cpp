// The whole game from Start game to the finish dialog, and how the finish dialog ends it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "chain.h"
#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// The file-name field of the open-file dialog.
constexpr int kFileNameField = 0x47C;

const std::wstring kRejection = L"女孩回复：你是个好人，我们不合适。";

bool noLevelDialogShown(const Game& game) {
  for (int level = 1; level <= 7; ++level) {
    if (!game.dialogs(levelCaption(level)).empty()) return false;
  }
  return true;
}

// Opens the level's file picker with "+", types the path into it and confirms, as a player
// who browses to the file would; returns once the path shows in the level's path field.
bool pickWithBrowse(const Game& game, HWND level, const std::wstring& path) {
  game.command(level, CTL_BROWSE);
  HWND picker = nullptr;
  waitUntil([&] {
    struct Find {
      DWORD pid;
      HWND found;
    } find{game.processId(), nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* f = reinterpret_cast<Find*>(p);
          DWORD pid = 0;
          GetWindowThreadProcessId(w, &pid);
          if (pid == f->pid && IsWindowVisible(w) && GetDlgItem(w, kFileNameField)) f->found = w;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    picker = find.found;
    return picker != nullptr;
  });
  if (!picker) return false;
  game.type(picker, kFileNameField, path);
  PostMessageW(picker, WM_COMMAND, IDOK, 0);
  return waitUntil([&] { return game.text(level, CTL_FILE_PATH) == path; });
}

// Opens a file of the game's folder for reading and writing, sharing nothing.
bool openExclusively(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  CloseHandle(f);
  return true;
}

// The top-left corner of the window's client area, on the screen.
POINT clientOrigin(HWND window) {
  POINT p{0, 0};
  ClientToScreen(window, &p);
  return p;
}

TEST(Finish, ClosesThreeWaysSilentlyAndUnwindsTheWholeChain) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  const std::wstring sample = game.workDir() + L"\\chain6.bin";  // what playTo passes level 6 with
  const std::vector<std::pair<const char*, int>> ways = {
      {"button", IDOK}, {"esc", IDCANCEL}, {"close box", IDCANCEL}};
  for (const auto& [how, result] : ways) {
    SCOPED_TRACE(how);
    HWND finish = playTo(game, 7);
    ASSERT_TRUE(finish);
    HWND dinner = GetWindow(finish, GW_OWNER);
    EXPECT_EQ(game.caption(dinner), levelCaption(6));
    EXPECT_FALSE(IsWindowVisible(dinner)) << "level 6 has ended";
    EXPECT_EQ(game.text(finish, IDOK), L"归隐山林");
    EXPECT_EQ(game.focus(), GetDlgItem(finish, IDOK));
    EXPECT_FALSE(openExclusively(sample)) << "level 6 still holds its sample";

    if (std::string(how) == "button") {
      game.command(finish, IDOK);
    } else if (std::string(how) == "esc") {
      game.press(finish, VK_ESCAPE);
    } else {
      PostMessageW(finish, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    ASSERT_TRUE(game.waitHidden(finish));
    // Level 6, then levels 4 and 3 close the files they held, as each handler returns.
    ASSERT_TRUE(waitUntil([&] { return game.events().size() >= 4; }));
    game.settle();
    EXPECT_THAT(game.events(), ElementsAre("EndDialog " + std::to_string(result), "CloseHandle",
                                           "CloseHandle", "CloseHandle"));
    EXPECT_TRUE(openExclusively(sample)) << "the sample was closed";
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(game.mainWindow()) != FALSE; }));
    EXPECT_TRUE(noLevelDialogShown(game));

    // The main window is usable again: Start game begins at level 1.
    game.mark();
    game.command(game.mainWindow(), CMD_START_GAME);
    HWND signup = game.waitDialog(levelCaption(1));
    ASSERT_TRUE(signup);
    ASSERT_TRUE(game.waitEvents(openingJingle()));
    EXPECT_EQ(game.events().front(), "DialogBoxParamW 129");
    game.press(signup, VK_ESCAPE);
    ASSERT_TRUE(game.waitHidden(signup));
    ASSERT_TRUE(game.waitEvents(closingJingle()));
  }
}

TEST(Playthrough, FromStartGameToTheFinishDialog) {
  Game game;
  HWND main = game.mainWindow();
  ASSERT_TRUE(main);
  std::vector<HWND> dialogs;  // level 1 .. 6, then the finish dialog
  // Where each one opened, and where its owner's client area was, while both still exist.
  std::vector<std::pair<POINT, POINT>> origins;
  auto arrived = [&](HWND d) {
    if (!d) return d;
    origins.emplace_back(clientOrigin(d), clientOrigin(GetWindow(d, GW_OWNER)));
    dialogs.push_back(d);
    return d;
  };
  auto next = [&](int level) {
    game.dismiss(game.waitNotice(L"恭喜"));
    return arrived(game.waitDialog(levelCaption(level)));
  };

  game.command(main, CMD_START_GAME);
  HWND signup = arrived(game.waitDialog(levelCaption(1)));
  ASSERT_TRUE(signup);
  game.type(signup, CTL_USER_NAME, std::wstring(300, L'名'));
  game.press(GetDlgItem(signup, CTL_USER_NAME), VK_RETURN);

  HWND exam = next(2);
  ASSERT_TRUE(exam);
  game.type(exam, CTL_WEIGHT, L"70");
  game.type(exam, CTL_HEIGHT, L"2");
  game.command(exam, CTL_SUBMIT);

  HWND photo = next(3);
  ASSERT_TRUE(photo);
  ASSERT_TRUE(pickWithBrowse(game, photo, writeSample(game, L"photo.bmp", bmpSample(2048, 4096))));
  game.command(photo, CTL_SUBMIT);

  HWND sesame = next(4);
  ASSERT_TRUE(sesame);
  ASSERT_TRUE(pickWithBrowse(game, sesame,
                             writeSample(game, L"sesame.zip", sesameSample(8192, 32, 2, 340))));
  game.command(sesame, CTL_SUBMIT);

  HWND chat = next(5);
  ASSERT_TRUE(chat);
  // Space at once presses the focused send button: the greeting, which the girl turns down.
  ASSERT_TRUE(game.waitEvents(openingJingle()));
  game.press(GetDlgItem(chat, CTL_SUBMIT), VK_SPACE);
  ASSERT_TRUE(waitUntil([&] { return game.text(chat, CTL_RESULT) == kRejection; }));
  game.screenshot(chat, "level5_chat");
  game.type(chat, CTL_MESSAGE, L"嗨," + std::wstring(300, L'喜'));
  game.press(GetDlgItem(chat, CTL_SUBMIT), VK_SPACE);

  HWND dinner = next(6);
  ASSERT_TRUE(dinner);
  ASSERT_TRUE(
      pickWithBrowse(game, dinner, writeSample(game, L"dinner.bin", dinnerSample(4000, 0x42))));
  game.command(dinner, CTL_SUBMIT);

  HWND finish = next(7);
  ASSERT_TRUE(finish);
  game.screenshot(finish, "finish_dialog");
  game.command(finish, IDOK);
  ASSERT_TRUE(game.waitHidden(finish));
  ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(main) != FALSE; }));
  game.settle();
  EXPECT_TRUE(noLevelDialogShown(game));

  // Each dialog opened at the top-left corner of its owner's client area.
  for (size_t i = 0; i < origins.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(origins[i].first.x, origins[i].second.x);
    EXPECT_EQ(origins[i].first.y, origins[i].second.y);
  }

  const std::vector<Call> calls = game.calls();
  const std::vector<std::string> events = game.events();
  // Every dialog of the chain, in order, each owned by the one before.
  const std::uint64_t templates[] = {129, 130, 131, 135, 137, 138, 132};
  std::vector<std::uint64_t> opened, owners;
  std::vector<std::string> results;
  std::vector<size_t> congratulations;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name == "DialogBoxParamW") {
      opened.push_back(calls[i].args[1]);
      owners.push_back(calls[i].args[2]);
    }
    if (calls[i].name == "EndDialog") results.push_back(events[i]);
    if (calls[i].name == "MessageBoxA" && calls[i].strings[2] == "恭喜")
      congratulations.push_back(i);
  }
  EXPECT_THAT(opened, ElementsAreArray(templates));
  ASSERT_EQ(owners.size(), 7u);
  EXPECT_EQ(owners[0], reinterpret_cast<std::uint64_t>(main));
  for (size_t i = 1; i < owners.size(); ++i) {
    EXPECT_EQ(owners[i], reinterpret_cast<std::uint64_t>(dialogs[i - 1])) << "dialog " << i + 1;
  }
  // Five passes end with 1008 after level 1's 1; the finish dialog's button gives 1.
  EXPECT_THAT(results,
              ElementsAre("EndDialog 1", "EndDialog 1008", "EndDialog 1008", "EndDialog 1008",
                          "EndDialog 1008", "EndDialog 1008", "EndDialog 1"));
  // Each pass: fanfare, congratulation, end of the level, next dialog.
  ASSERT_EQ(congratulations.size(), 6u);
  const char* passResults[] = {"EndDialog 1",    "EndDialog 1008", "EndDialog 1008",
                               "EndDialog 1008", "EndDialog 1008", "EndDialog 1008"};
  for (size_t k = 0; k < congratulations.size(); ++k) {
    SCOPED_TRACE("pass of level " + std::to_string(k + 1));
    const size_t at = congratulations[k];
    ASSERT_GE(at, 6u);
    ASSERT_LT(at + 2, events.size());
    EXPECT_EQ(std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(at - 6),
                                       events.begin() + static_cast<std::ptrdiff_t>(at)),
              fanfare());
    EXPECT_EQ(events[at + 1], passResults[k]);
    EXPECT_EQ(events[at + 2], "DialogBoxParamW " + std::to_string(templates[k + 1]));
  }
  // Level 5 answers before its fanfare.
  EXPECT_TRUE(
      sameEvent(events[congratulations[4] - 7], "SetDlgItemTextA 1009|女孩回复：你好坏啊!!"))
      << events[congratulations[4] - 7];
}

}  // namespace
