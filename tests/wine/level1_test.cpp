// Level 1, the sign-up desk, played through the real dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAreArray;

namespace {

const std::wstring kLevel1 = L"Tumblewick 第1关(报名站)";
const std::wstring kLevel2 = L"Tumblewick 第二关[体检中心]";
const std::wstring kPassText =
    L"第一关闯关成功。超长字符串覆盖是Fuzzing世界中最简单的。也是比较容易被利用的（一般都为栈溢出"
    L"）";
const std::wstring kAdmission =
    L"该游戏用各种能想到的方式，输入足够畸形的数据，即可通关。\r\n"
    L"通过该游戏，锻炼游戏者的思维，有利于更好的了解和使用Fuzzing技术。\r\n"
    L"目前共计6关，建议游戏时间为15-30分钟\r\n"
    L"本游戏不涉及软件逆向知识,面向初学者。";

class Signup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game.mainWindow());
    game.command(game.mainWindow(), CMD_START_GAME);
    dialog = game.waitDialog(kLevel1);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(game.waitEvents(openingJingle()));
    game.mark();
  }

  // Types a name, presses 报名 and expects the rejection: closing jingle, then the notice.
  void expectRejected(const std::wstring& name) {
    game.mark();
    game.type(dialog, CTL_USER_NAME, name);
    game.command(dialog, IDOK);
    Notice notice = game.waitNotice(L"错误");
    ASSERT_TRUE(notice.window) << "no rejection notice for a name of " << name.size() << " chars";
    EXPECT_EQ(notice.text, L"不太对哦。");
    EXPECT_EQ(GetWindow(notice.window, GW_OWNER), dialog);
    EXPECT_THAT(
        game.events(),
        ElementsAreArray(eventsLike(seq(
            {{"GetDlgItemTextA 1002/512"}, closingJingle(), {"MessageBoxA 错误|不太对哦。"}}))));
    game.dismiss(notice);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open for another try";
  }

  // Presses 报名 after typing the name (or Enter in the field) and expects the pass.
  void expectPassed(const std::wstring& name, bool withEnter = false) {
    game.mark();
    game.type(dialog, CTL_USER_NAME, name);
    if (withEnter) {
      game.press(GetDlgItem(dialog, CTL_USER_NAME), VK_RETURN);
    } else {
      game.command(dialog, IDOK);
    }
    Notice notice = game.waitNotice(L"恭喜");
    ASSERT_TRUE(notice.window);
    EXPECT_EQ(notice.text, kPassText);
    // The dialog is still shown while the congratulation is up; it ends after.
    EXPECT_TRUE(IsWindowVisible(dialog));
    game.dismiss(notice);
    HWND exam = game.waitDialog(kLevel2);
    ASSERT_TRUE(exam);
    EXPECT_EQ(GetWindow(exam, GW_OWNER), dialog);
    ASSERT_TRUE(game.waitEvents(openingJingle()));
    const std::vector<Call> calls = game.calls();
    const std::vector<std::string> events = game.events();
    ASSERT_GE(calls.size(), 10u);
    EXPECT_EQ(events[0], "GetDlgItemTextA 1002/512");
    EXPECT_EQ(std::vector<std::string>(events.begin() + 1, events.begin() + 7), fanfare());
    EXPECT_EQ(calls[7].name, "MessageBoxA");
    EXPECT_EQ(calls[7].strings[2], "恭喜");
    EXPECT_EQ(events[8], "EndDialog 1");
    EXPECT_EQ(events[9], "DialogBoxParamW 130");
    EXPECT_EQ(calls[9].args[2], reinterpret_cast<std::uint64_t>(dialog)) << "owned by level 1";
  }

  Game game;
  HWND dialog = nullptr;
};

TEST_F(Signup, OpensWithJingleAndFocusOnSignUpButton) {
  Game fresh;
  fresh.command(fresh.mainWindow(), CMD_START_GAME);
  HWND d = fresh.waitDialog(kLevel1);
  ASSERT_TRUE(d);
  ASSERT_TRUE(fresh.waitEvents(openingJingle()));
  const std::vector<Call> calls = fresh.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].brief(), "DialogBoxParamW 129");
  EXPECT_EQ(calls[0].args[2], reinterpret_cast<std::uint64_t>(fresh.mainWindow()));
  EXPECT_EQ(fresh.focus(), GetDlgItem(d, IDOK));
  // Opens at the top-left corner of the main window's client area.
  POINT ownerOrigin{0, 0}, dialogOrigin{0, 0};
  ClientToScreen(fresh.mainWindow(), &ownerOrigin);
  ClientToScreen(d, &dialogOrigin);
  EXPECT_EQ(dialogOrigin.x, ownerOrigin.x);
  EXPECT_EQ(dialogOrigin.y, ownerOrigin.y);
  fresh.screenshot(d, "level1_signup");
}

TEST_F(Signup, RejectsNamesUpTo256Bytes) {
  expectRejected(L"");
  expectRejected(std::wstring(256, L'x'));
  expectRejected(std::wstring(128, L'汉'));  // 256 bytes in code page 936
  // Characters that code page 936 lacks arrive as one '?' byte each.
  expectRejected(std::wstring(256, L'한'));
}

TEST_F(Signup, PassesWith257Bytes) { expectPassed(std::wstring(257, L'x')); }

TEST_F(Signup, PassesWith129ChineseCharacters) { expectPassed(std::wstring(129, L'汉')); }

TEST_F(Signup, PastedHundredThousandCharactersAreCutAndPass) {
  expectPassed(std::wstring(100000, L'汉'));
}

TEST_F(Signup, EnterInTheNameFieldSubmits) {
  expectRejected(L"abc");
  expectPassed(std::wstring(300, L'y'), /*withEnter=*/true);
}

TEST_F(Signup, AdmissionNoticeAfterFanfareAndDialogStays) {
  game.command(dialog, CTL_NOTICE);
  Notice notice = game.waitNotice(L"入学通知");
  ASSERT_TRUE(notice.window);
  EXPECT_EQ(notice.text, kAdmission);
  game.screenshot(notice.window, "level1_admission_notice");
  EXPECT_THAT(
      game.events(),
      ElementsAreArray(eventsLike(seq({fanfare(), {"MessageBoxA 入学通知|" + utf8(kAdmission)}}))));
  game.dismiss(notice);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(Signup, QuitButtonAndEscLeaveWithTheirIds) {
  game.command(dialog, CTL_QUIT);
  ASSERT_TRUE(game.waitHidden(dialog));
  ASSERT_TRUE(game.waitEvents(seq({{"EndDialog 3"}, closingJingle()})));
  EXPECT_EQ(game.events().size(), 5u);

  game.mark();
  game.command(game.mainWindow(), CMD_START_GAME);
  HWND again = game.waitDialog(kLevel1);
  ASSERT_TRUE(again);
  ASSERT_TRUE(game.waitEvents(openingJingle()));
  game.mark();
  game.press(again, VK_ESCAPE);
  ASSERT_TRUE(game.waitHidden(again));
  ASSERT_TRUE(game.waitEvents(seq({{"EndDialog 2"}, closingJingle()})));
  EXPECT_EQ(game.events().size(), 5u);
}

}  // namespace
