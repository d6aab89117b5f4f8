// The wording of every Chinese text (the Wine tests take the texts from the table), that the
// English edition has each of them in plain ASCII, and the committed starter files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "level4_sesame_rule.h"
#include "level6_dinner_rule.h"
#include "input_verdict.h"

namespace {

std::vector<const char*> all(const LevelTexts& t) {
  std::vector<const char*> out = {t.pass};
  out.insert(out.end(), std::begin(t.rejections), std::end(t.rejections));
  out.insert(out.end(), {t.openFailed, t.empty, t.tooSmall, t.tooLarge, t.admissionNotice,
                         t.indexFormat, t.greeting, t.passReply});
  return out;
}

TEST(Texts, ChineseWording) {
  const char* const expected[] = {
      // clang-format off
      "第一关闯关成功。超长字符串覆盖是Fuzzing世界中最简单的。也是比较容易被利用的（一般都为栈"
      "溢出）|不太对哦。|该游戏用各种能想到的方式，输入足够畸形的数据，即可通关。\r\n通过该游戏"
      "，锻炼游戏者的思维，有利于更好的了解和使用Fuzzing技术。\r\n目前共计6关，建议游戏时间为15"
      "-30分钟\r\n本游戏不涉及软件逆向知识,面向初学者。|",
      "第2关闯关成功。本关主要考察除以0导致的拒绝服务技巧。|请穿标准衣服进行体检|请穿标准鞋子进"
      "行体检|为什么你比一件衣服还轻？|为什么你比一双鞋还矮？|你有2米高吗？|你有一吨重吗？|您的"
      "BMI=%d,体检不合格。\r\n BMI = (体重 - 衣重) / ((身高 - 鞋厚) ^ 2)|",
      "第3关闯关成功。本关主要考察对文件格式的初级Fuzz能力。|错误:这看上去并不是BMP图片|图片是"
      "有效，但是认证失败了。|文件打开失败.图像验证失败。|图片为空。|错误:图片不得小于1KB|错误:"
      "图片不得大于256KB|",
      "您培养出合格的大芝麻。第4关闯关成功。本关主要考察对文件格式的中级Fuzz能力。|错误:小芝麻"
      "不合格。|错误:小芝麻已经坏掉了。|没有发现小芝麻验证失败。|小芝麻重量为0？|错误:小芝麻小"
      "于4KB，不合格哦|错误:小芝麻不应该大于1MB|",
      "你已经成功拿下女孩\r\n有时候漏洞挖掘就像吹女孩一样简单，一眼看到字符串，直接拉长就搞定。"
      "\r\n 尤其在网络协议fuzz中，该方法效果远好于文件格式哦。\r\n本题涉及了网络协议初级fuzz的"
      "能力|女孩回复：你是个好人，我们不合适。|您好小姑娘,我今年18岁了。\r\n我的名字叫\"cc\".\r"
      "\n很高兴认识你，我们做朋友吧。|女孩回复：你好坏啊!!|",
      ("样本合格，全部通关！你真棒！！\r\n本题涉及了文件格式高级fuzz的能力|错误:样本不合格哦|读"
       "取失败。|大小为0？|错误:小于1KB，不合格哦|错误:不应该大于64KB|"),
      // clang-format on
  };
  for (int level = 1; level <= kLevelCount; ++level) {
    std::string joined;
    for (const char* text : all(levelInfo(level).texts(Language::Chinese)))
      joined += text ? std::string(text) + "|" : "";
    EXPECT_EQ(joined, expected[level - 1]) << "level " << level;
  }
  const NoticeCaptions& c = noticeCaptions(Language::Chinese);
  EXPECT_EQ(std::string(c.error) + c.congrats + c.admission, "错误恭喜入学通知");
}

TEST(Texts, EnglishHasEveryTextInAscii) {
  for (int level = 1; level <= kLevelCount; ++level) {
    const std::vector<const char*> zh = all(levelInfo(level).texts(Language::Chinese));
    const std::vector<const char*> en = all(levelInfo(level).texts(Language::English));
    for (size_t i = 0; i < zh.size(); ++i) {
      ASSERT_EQ(zh[i] == nullptr, en[i] == nullptr) << "level " << level << ", text " << i;
      for (const char* p = en[i]; p && *p; ++p) EXPECT_GE(*p, 0) << en[i];
    }
  }
}

using Bytes = std::vector<std::uint8_t>;
Bytes committed(const std::string& path) {
  std::ifstream in(std::string(TUMBLEWICK_SOURCE_DIR) + "/" + path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
display::Verdict judge(int level, const Bytes& file) {
  return inputverdict::judgeBytes(level, file.data(), file.size());
}

// The starters are well formed and refused only for their size, as the level texts promise: the
// sesame's header fits it, the dish's CRC is right. Grown the way the texts hint, they win.
TEST(Samples, StartersGrowIntoWinners) {
  Bytes sesame = committed("resources/01.ZIP");
  EXPECT_EQ(judge(4, sesame).text, display::Text::TooSmall);
  EXPECT_EQ(sesame::judge(static_cast<std::uint32_t>(sesame.size()), sesame.data()),
            sesame::Verdict::Pass);
  sesame[10] = 1, sesame[11] = 0x54;  // B = 340
  sesame.resize(4096);
  EXPECT_TRUE(judge(4, sesame).passed());

  Bytes dish = committed("resources/02.ZIP");
  EXPECT_EQ(judge(6, dish).text, display::Text::TooSmall);
  EXPECT_EQ(dinner::judge(dish.data(), dish.size()), dinner::Verdict::Pass);
  dish.resize(1024, ' ');
  EXPECT_EQ(judge(6, dish).text, display::Text::Rejection);
  dinner::frame(dish.data(), dish.size());
  EXPECT_TRUE(judge(6, dish).passed());
}

}  // namespace
