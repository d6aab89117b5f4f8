// Level 5, the message to the girl, played through the real dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "chain.h"
#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAreArray;

namespace {

const std::wstring kGreeting =
    L"您好小姑娘,我今年18岁了。\r\n我的名字叫\"cc\".\r\n很高兴认识你，我们做朋友吧。";
const std::wstring kRejection = L"女孩回复：你是个好人，我们不合适。";
const std::wstring kPassReply = L"女孩回复：你好坏啊!!";
const std::wstring kPassText =
    L"你已经成功拿下女孩\r\n"
    L"有时候漏洞挖掘就像吹女孩一样简单，一眼看到字符串，直接拉长就搞定。\r\n"
    L" 尤其在网络协议fuzz中，该方法效果远好于文件格式哦。\r\n"
    L"本题涉及了网络协议初级fuzz的能力";

// Every send reads the whole 4096-byte buffer's worth of the message field first.
const std::string kRead = "GetDlgItemTextA 1014/4096";

std::wstring letters(size_t n, wchar_t c = L'a') { return std::wstring(n, c); }

class Chat : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game.mainWindow());
    dialog = playTo(game, 5);
    ASSERT_TRUE(dialog);
  }

  // Sends the message (a click, or a key pressed on the focused send button) and expects
  // only the rejection reply in the result line: no jingle, no notice.
  void expectRejected(const std::wstring& message, UINT key = 0) {
    game.type(dialog, CTL_MESSAGE, message);
    ASSERT_EQ(game.text(dialog, CTL_MESSAGE), message) << "the edit took the text unchanged";
    game.type(dialog, CTL_RESULT, L"");  // so that the reply must be written again
    game.mark();
    if (key != 0) {
      game.press(GetDlgItem(dialog, CTL_SUBMIT), key);
    } else {
      game.command(dialog, CTL_SUBMIT);
    }
    ASSERT_TRUE(game.waitEvents({"SetDlgItemTextA 1009|" + utf8(kRejection)}));
    game.settle();
    EXPECT_THAT(game.events(),
                ElementsAreArray(eventsLike({kRead, "SetDlgItemTextA 1009|" + utf8(kRejection)})));
    EXPECT_EQ(game.text(dialog, CTL_RESULT), kRejection);
    EXPECT_TRUE(game.dialogs(L"恭喜").empty());
    EXPECT_TRUE(game.dialogs(L"错误").empty());
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open for another try";
    EXPECT_EQ(game.text(dialog, CTL_MESSAGE), message) << "the message is left as typed";
  }

  // Sends the message and expects the pass: the pass reply first, then the fanfare, the
  // congratulation, the end of this level and level 6 owned by it.
  void expectPassed(const std::wstring& message) {
    game.type(dialog, CTL_MESSAGE, message);
    game.mark();
    game.command(dialog, CTL_SUBMIT);
    Notice notice = game.waitNotice(L"恭喜");
    ASSERT_TRUE(notice.window);
    EXPECT_EQ(notice.text, kPassText);
    EXPECT_EQ(GetWindow(notice.window, GW_OWNER), dialog);
    // The reply is already showing while the congratulation is up.
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(game.text(dialog, CTL_RESULT), kPassReply);
    game.dismiss(notice);
    HWND dinner = game.waitDialog(levelCaption(6));
    ASSERT_TRUE(dinner);
    EXPECT_EQ(GetWindow(dinner, GW_OWNER), dialog);
    EXPECT_TRUE(game.waitHidden(dialog));
    ASSERT_TRUE(game.waitEvents(openingJingle()));
    const std::vector<Call> calls = game.calls();
    EXPECT_THAT(
        game.events(),
        ElementsAreArray(eventsLike(
            seq({{kRead, "SetDlgItemTextA 1009|" + utf8(kPassReply)},
                 fanfare(),
                 {"MessageBoxA 恭喜|" + utf8(kPassText), "EndDialog 1008", "DialogBoxParamW 138"},
                 openingJingle()}))));
    ASSERT_EQ(calls.size(), 15u);
    EXPECT_EQ(calls[10].args[2], reinterpret_cast<std::uint64_t>(dialog)) << "owned by level 5";

    // Leave level 6 so that the next case starts a fresh chain; levels 4 and 3 close their
    // files as the chain unwinds.
    game.press(dinner, VK_ESCAPE);
    ASSERT_TRUE(game.waitHidden(dinner));
    ASSERT_TRUE(
        game.waitEvents(seq({{"EndDialog 2"}, closingJingle(), {"CloseHandle", "CloseHandle"}})));
  }

  Game game;
  HWND dialog = nullptr;
};

TEST(ChatOpening, GreetingIsWrittenBeforeTheJingleAndSendHasTheFocus) {
  Game game;
  HWND sesame = playTo(game, 4);
  ASSERT_TRUE(sesame);
  submitPath(game, sesame, writeSample(game, L"open4.zip", sesameSample(4096, 16, 1, 340)));
  game.dismiss(game.waitNotice(L"恭喜"));
  HWND dialog = game.waitDialog(levelCaption(5));
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(game.waitEvents(openingJingle()));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), sesame);
  const std::vector<std::string> events = game.events();
  ASSERT_GE(events.size(), 6u);
  EXPECT_THAT(
      std::vector<std::string>(events.end() - 6, events.end()),
      ElementsAreArray(eventsLike(seq(
          {{"DialogBoxParamW 137", "SetDlgItemTextA 1014|" + utf8(kGreeting)}, openingJingle()}))));
  EXPECT_EQ(game.text(dialog, CTL_MESSAGE), kGreeting);
  EXPECT_EQ(game.focus(), GetDlgItem(dialog, CTL_SUBMIT));
}

TEST_F(Chat, KeysOnTheFocusedSendButtonSendTheGreeting) {
  HWND send = GetDlgItem(dialog, CTL_SUBMIT);
  ASSERT_EQ(game.focus(), send);
  // Space at once presses the button that has the focus.
  expectRejected(kGreeting, VK_SPACE);
  // Tabbing round to the button makes it the default button, so Enter presses it too.
  // (Wine does not do so for the focus that the dialog opens with: Enter pressed at once
  // arrives as IDOK there, which this level ignores.)
  game.press(dialog, VK_TAB);
  ASSERT_TRUE(waitUntil([&] { return game.focus() == GetDlgItem(dialog, CTL_MESSAGE); }));
  game.press(dialog, VK_TAB);
  ASSERT_TRUE(waitUntil([&] { return game.focus() == send; }));
  expectRejected(kGreeting, VK_RETURN);
}

TEST_F(Chat, MessagesShortOfTheCountAreTurnedDown) {
  struct Case {
    const char* why;
    std::wstring message;
  } cases[] = {
      {"empty", L""},
      {"greeting as sent", kGreeting},
      {"greeting with 194 more bytes: 255 counted", kGreeting + letters(194)},
      {"256 letters, no comma", letters(256)},
      {"comma and 255 letters", L"," + letters(255)},
      {"the middle group between the 2nd and 3rd comma does not count", L",abc,abc,abc"},
      {"a second comma closes the stretch", L"," + letters(200) + L"," + letters(100)},
      {"both stretches short by one", L"," + letters(128) + L",," + letters(127)},
      {"a line break counts as two bytes, but 255 in all",
       L"," + letters(126) + L"\r\n" + letters(127)},
      {"127 two-byte characters and one letter", L"," + letters(127, L'汉') + L"a"},
      // Only the first 4095 bytes arrive.
      {"comma after the first 4095 bytes", letters(4095, L'b') + L"," + letters(300)},
      {"stretch cut to 255 at byte 4095", letters(3839, L'b') + L"," + letters(256)},
      {"full-width comma does not open a stretch", L"，" + letters(300)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    expectRejected(c.message);
  }
}

TEST_F(Chat, MessagesWith256CountedBytesPass) {
  struct Case {
    const char* why;
    std::wstring message;
  } cases[] = {
      {"greeting with 195 more bytes", kGreeting + letters(195)},
      {"comma and 256 letters", L"," + letters(256)},
      {"two stretches add up", L"," + letters(128) + L",," + letters(128)},
      {"the line break's two bytes make the count", L"," + letters(126) + L"\r\n" + letters(128)},
      {"128 two-byte characters", L"," + letters(128, L'汉')},
      {"stretch ends exactly at byte 4095", letters(3838, L'b') + L"," + letters(256)},
  };
  bool first = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    if (!first) {
      dialog = playTo(game, 5);
      ASSERT_TRUE(dialog);
    }
    first = false;
    expectPassed(c.message);
  }
}

TEST_F(Chat, EnterInTheMessageFieldNeitherSendsNorBreaksTheLine) {
  HWND edit = GetDlgItem(dialog, CTL_MESSAGE);
  const std::wstring message = L"," + letters(300);  // would pass if it were sent
  game.type(dialog, CTL_MESSAGE, message);
  // Tab moves the focus from the send button into the message, as a player would.
  game.press(dialog, VK_TAB);
  ASSERT_TRUE(waitUntil([&] { return game.focus() == edit; }));
  game.mark();
  game.press(edit, VK_RETURN);
  game.settle(500);
  EXPECT_TRUE(game.events().empty()) << ::testing::PrintToString(game.events());
  EXPECT_EQ(game.text(dialog, CTL_MESSAGE), message);
  EXPECT_TRUE(game.dialogs(L"恭喜").empty());
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(Chat, EscLeavesTheWholeChain) {
  game.press(dialog, VK_ESCAPE);
  ASSERT_TRUE(game.waitHidden(dialog));
  // Levels 4 and 3 close the files they passed with as their handlers return.
  const std::vector<std::string> expected =
      seq({{"EndDialog 2"}, closingJingle(), {"CloseHandle", "CloseHandle"}});
  ASSERT_TRUE(waitUntil([&] { return game.events().size() >= expected.size(); }));
  game.settle();
  EXPECT_EQ(game.events(), expected);
  EXPECT_TRUE(IsWindowEnabled(game.mainWindow()));
  for (int level = 1; level <= 6; ++level) {
    EXPECT_TRUE(game.dialogs(levelCaption(level)).empty()) << "level " << level;
  }
}

TEST_F(Chat, OddInputGetsAReplyNeverACrash) {
  std::wstring emoji;
  for (int i = 0; i < 300; ++i) emoji += L"\U0001F600";
  // Pasting far more than the buffer holds: cut to 4095 bytes, no comma, turned down.
  expectRejected(letters(100000, L'x'));
  // Hangul is not in code page 936: each syllable arrives as one '?' byte.
  expectRejected(L"," + letters(255, L'한'));
  // Emoji are outside too; without a comma nothing counts.
  expectRejected(emoji);
  EXPECT_TRUE(game.running());

  expectPassed(L"," + letters(256, L'한'));
  // However many '?' bytes an emoji becomes, 300 of them are enough.
  dialog = playTo(game, 5);
  ASSERT_TRUE(dialog);
  expectPassed(L"," + emoji);
  dialog = playTo(game, 5);
  ASSERT_TRUE(dialog);
  expectPassed(L"," + letters(100000, L'汉'));
}

}  // namespace
