// Level 2, the physical examination, played through the real dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAreArray;

namespace {

const std::wstring kLevel1 = L"Tumblewick 第1关(报名站)";
const std::wstring kLevel2 = L"Tumblewick 第二关[体检中心]";
const std::wstring kLevel3 = L"Tumblewick 第三关[照片认证]";
const std::wstring kFormula = L"计算标准：BMI=(体重-衣重)/((身高-鞋厚)^2)";
const std::wstring kPassText = L"第2关闯关成功。本关主要考察除以0导致的拒绝服务技巧。";

std::wstring indexText(int index) {
  return L"您的BMI=" + std::to_wstring(index) +
         L",体检不合格。\r\n BMI = (体重 - 衣重) / ((身高 - 鞋厚) ^ 2)";
}

// The four fields are read in this order on every submit.
std::vector<std::string> reads() {
  return {"GetDlgItemInt 1006", "GetDlgItemInt 1005", "GetDlgItemInt 1003", "GetDlgItemInt 1007"};
}

class Exam : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game.mainWindow());
    game.command(game.mainWindow(), CMD_START_GAME);
    signup = game.waitDialog(kLevel1);
    ASSERT_TRUE(signup);
    game.type(signup, CTL_USER_NAME, std::wstring(257, L'a'));
    game.command(signup, IDOK);
    game.dismiss(game.waitNotice(L"恭喜"));
    dialog = game.waitDialog(kLevel2);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(game.waitEvents(openingJingle()));
  }

  void fill(const std::wstring& clothes, const std::wstring& shoes, const std::wstring& weight,
            const std::wstring& height) {
    game.type(dialog, CTL_CLOTHES_WEIGHT, clothes);
    game.type(dialog, CTL_SHOE_THICKNESS, shoes);
    game.type(dialog, CTL_WEIGHT, weight);
    game.type(dialog, CTL_HEIGHT, height);
  }

  // Submits and expects a notice, then the closing jingle; the result line is untouched.
  void expectNotice(const std::wstring& expected) {
    const std::wstring resultBefore = game.text(dialog, CTL_RESULT);
    game.mark();
    game.command(dialog, CTL_SUBMIT);
    Notice notice = game.waitNotice(L"错误");
    ASSERT_TRUE(notice.window);
    EXPECT_EQ(notice.text, expected);
    game.dismiss(notice);
    ASSERT_TRUE(game.waitEvents(closingJingle()));
    EXPECT_THAT(game.events(),
                ElementsAreArray(eventsLike(
                    seq({reads(), {"MessageBoxA 错误|" + utf8(expected)}, closingJingle()}))));
    EXPECT_EQ(game.text(dialog, CTL_RESULT), resultBefore);
    EXPECT_TRUE(IsWindowVisible(dialog));
  }

  // Submits and expects the index text in the result line, then the closing jingle.
  void expectIndex(int index) {
    game.mark();
    game.command(dialog, CTL_SUBMIT);
    ASSERT_TRUE(game.waitEvents(closingJingle()));
    const std::vector<Call> calls = game.calls();
    ASSERT_EQ(calls.size(), 9u) << ::testing::PrintToString(game.events());
    EXPECT_EQ(calls[4].name, "SetDlgItemTextA");
    EXPECT_EQ(calls[4].args[1] & 0xFFFFFFFFu, static_cast<std::uint64_t>(CTL_RESULT));
    EXPECT_EQ(game.text(dialog, CTL_RESULT), indexText(index));
    EXPECT_TRUE(game.dialogs(L"错误").empty());
    EXPECT_TRUE(IsWindowVisible(dialog));
  }

  Game game;
  HWND signup = nullptr;
  HWND dialog = nullptr;
};

TEST_F(Exam, OpensPrefilledWithFocusInHeight) {
  // Level 1's pass ran this level owned by the ended level 1 dialog.
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), signup);
  EXPECT_EQ(game.text(dialog, CTL_CLOTHES_WEIGHT), L"3");
  EXPECT_EQ(game.text(dialog, CTL_SHOE_THICKNESS), L"2");
  EXPECT_EQ(game.text(dialog, CTL_WEIGHT), L"");
  EXPECT_EQ(game.text(dialog, CTL_HEIGHT), L"");
  EXPECT_EQ(game.text(dialog, CTL_RESULT), kFormula);
  EXPECT_EQ(game.focus(), GetDlgItem(dialog, CTL_HEIGHT));
  const std::vector<std::string> events = game.events();
  const std::vector<std::string> tail(events.end() - 7, events.end());
  EXPECT_THAT(tail, ElementsAreArray(eventsLike(seq(
                        {{"DialogBoxParamW 130", "SetDlgItemInt 1006=3", "SetDlgItemInt 1005=2"},
                         openingJingle()}))));
}

TEST_F(Exam, EveryNoticeInTheGameOrder) {
  struct Case {
    const wchar_t *clothes, *shoes, *weight, *height, *notice;
  } cases[] = {
      {L"", L"9", L"60", L"170", L"请穿标准衣服进行体检"},  // wrong shoes too: clothes first
      {L"3", L"3", L"60", L"170", L"请穿标准鞋子进行体检"},
      {L"3", L"2", L"", L"170", L"为什么你比一件衣服还轻？"},  // empty weight reads 0
      {L"3", L"2", L"60", L"1", L"为什么你比一双鞋还矮？"},
      {L"3", L"2", L"60", L"201", L"你有2米高吗？"},
      {L"3", L"2", L"1001", L"170", L"你有一吨重吗？"},
      // Above 2147483647 a field reads as a negative number.
      {L"3", L"2", L"60", L"4294967295", L"为什么你比一双鞋还矮？"},
      {L"3", L"2", L"2147483648", L"170", L"为什么你比一件衣服还轻？"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.notice) + " " + utf8(c.weight) + "/" + utf8(c.height));
    fill(c.clothes, c.shoes, c.weight, c.height);
    expectNotice(c.notice);
  }
}

TEST_F(Exam, IndexGoesIntoTheResultLine) {
  fill(L"3", L"2", L"60", L"170");
  expectIndex(28);
  game.screenshot(dialog, "level2_exam_index");
  fill(L"3", L"2", L"50", L"101");
  expectIndex(0);  // a zero divisor from the integer division does not pass
  fill(L"3", L"2", L"50", L"102");
  expectIndex(47);
  fill(L"3", L"2", L"1000", L"200");  // both upper bounds are accepted
  expectIndex(332);
}

TEST_F(Exam, OddTextInTheFieldsGetsAVerdictNeverACrash) {
  // Whatever the platform makes of such text, the game answers with one of its verdicts.
  const wchar_t* oddHeights[] = {L"-5",     L"+170", L"12abc",
                                 L"１７０", L" 170", L"99999999999999999999"};
  auto submitAndAnswer = [&] {
    game.mark();
    game.command(dialog, CTL_SUBMIT);
    // A notice comes before the closing jingle; an index comes with the jingle alone.
    ASSERT_TRUE(waitUntil([&] {
      return !game.dialogs(L"错误").empty() ||
             sameEvent(game.events().empty() ? "" : game.events().back(), "Beep 420/250");
    }));
    for (HWND notice : game.dialogs(L"错误")) game.dismiss(Notice{notice, L"", L""});
    ASSERT_TRUE(game.waitEvents(closingJingle()));
    EXPECT_TRUE(IsWindowVisible(dialog));
  };
  for (const wchar_t* height : oddHeights) {
    SCOPED_TRACE(utf8(height));
    fill(L"3", L"2", L"60", height);
    submitAndAnswer();
  }
  fill(L"3", L"2", L"60", std::wstring(100000, L'9'));
  submitAndAnswer();
}

TEST_F(Exam, EnterInAFieldDoesNothing) {
  fill(L"3", L"2", L"60", L"2");
  game.mark();
  game.press(GetDlgItem(dialog, CTL_HEIGHT), VK_RETURN);
  game.settle(500);
  EXPECT_TRUE(game.events().empty()) << ::testing::PrintToString(game.events());
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(Exam, HeightTwoPassesIntoLevel3) {
  fill(L"3", L"2", L"1000", L"2");
  game.mark();
  game.command(dialog, CTL_SUBMIT);
  Notice notice = game.waitNotice(L"恭喜");
  ASSERT_TRUE(notice.window);
  EXPECT_EQ(notice.text, kPassText);
  game.dismiss(notice);
  HWND photo = game.waitDialog(kLevel3);
  ASSERT_TRUE(photo);
  EXPECT_EQ(GetWindow(photo, GW_OWNER), dialog);
  ASSERT_TRUE(game.waitEvents(openingJingle()));
  const std::vector<Call> calls = game.calls();
  ASSERT_EQ(calls.size(), 17u) << ::testing::PrintToString(game.events());
  std::vector<std::string> events = game.events();
  // Notice first in this level's pass, as in every pass: fanfare, notice, end, next level.
  EXPECT_THAT(std::vector<std::string>(events.begin(), events.begin() + 10),
              ElementsAreArray(eventsLike(seq({reads(), fanfare()}))));
  EXPECT_EQ(calls[10].name, "MessageBoxA");
  EXPECT_EQ(events[11], "EndDialog 1008");
  EXPECT_EQ(events[12], "DialogBoxParamW 131");
  EXPECT_EQ(calls[12].args[2], reinterpret_cast<std::uint64_t>(dialog));
}

TEST_F(Exam, EscLeavesTheWholeChain) {
  game.mark();
  game.press(dialog, VK_ESCAPE);
  ASSERT_TRUE(game.waitHidden(dialog));
  ASSERT_TRUE(game.waitEvents(seq({{"EndDialog 2"}, closingJingle()})));
  EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(game.mainWindow()) != FALSE; }));
  EXPECT_TRUE(game.dialogs(kLevel1).empty());
}

}  // namespace
