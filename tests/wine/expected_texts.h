// Every text a player reads from the resource script, in both editions: for each window its
// caption (id 0), then what its controls show as it opens, in the template's order, empty ones
// left out; the menu's popups (id -1) and items. The wording the game must have, written once.
#pragma once

#include "driver.h"
#include "resource.h"

// clang-format off
struct ExpectedText { const char* window; int id; const char* chinese; const char* english; };
inline const ExpectedText kExpectedTexts[] = {
    {"Menu", -1, "菜单", "Menu"},
    {"Menu", CMD_START_GAME, "开始游戏", "Start game"},
    {"Menu", CMD_EXIT, "退出", "Exit"},
    {"Menu", -1, "帮助", "Help"},
    {"Menu", CMD_ABOUT, "关于", "About"},
    {"About", 0, "关于 Velk_Game", "About Velk_Game"},
    {"About", -1, "Tumblewick, 版本 1.0 by 2024.11.16 \r\n 以游戏之乐，学fuzzing之道", "Tumblewick, version 1.0, 2024.11.16 \r\n Learn the way of fuzzing through the joy of games"},
    {"About", -1, "Tumblewick 开发组制作，仅供学习交流。\r\n 问题与建议：请在项目的问题列表中留言。", "Made by the Tumblewick team, for learning and sharing only.\r\n Questions and suggestions: please post them in the project's issue list."},
    {"About", IDOK, "归隐山林", "Retire to the mountains"},
    {"L1", 0, "Tumblewick 第1关(报名站)", "Tumblewick Level 1 (Sign-up Desk)"},
    {"L1", IDOK, "报名", "Sign up"},
    {"L1", CTL_NOTICE, "入学通知", "Admission notice"},
    {"L1", -1, "报名站", "Sign-up Desk"},
    {"L1", CTL_QUIT, "归隐山林", "Retire to the mountains"},
    {"L1", -1, "以游戏之乐，学Fuzzing之道。 \r让漏洞挖掘，像玩游戏一样简单。", "Learn the way of fuzzing through the joy of games. \rMake bug hunting as easy as playing a game."},
    {"L1", -1, "用户名", "User name"},
    {"L2", 0, "Tumblewick 第二关[体检中心]", "Tumblewick Level 2 [Physical Exam Centre]"},
    {"L2", -1, "身高(cm)", "Height(cm)"},
    {"L2", -1, "你已经成功报名，请你穿衣穿鞋，在信息表中输入您的身高体重，来计算BMI。", "You have signed up. With clothes and shoes on, fill in your height and weight to get your BMI."},
    {"L2", -1, "体重(kg)", "Weight(kg)"},
    {"L2", CTL_SUBMIT, "提交报名表", "Submit form"},
    {"L2", CTL_RESULT, "计算标准：BMI=(体重-衣重)/((身高-鞋厚)^2)", "Formula: BMI=(Weight-Clothes)/((Height-Shoes)^2)"},
    {"L2", -1, "报名表", "Sign-up Form"},
    {"L2", -1, "衣重(kg)", "Clothes(kg)"},
    {"L2", -1, "鞋厚(cm)", "Shoes(cm)"},
    {"L3", 0, "Tumblewick 第三关[照片认证]", "Tumblewick Level 3 [Photo Authentication]"},
    {"L3", -1, "体检结果已经通过，现在需要上传图片进行认证。请上传BMP图片，文件大小不得大于256KB且不小于1KB，", "Examination passed. Now upload a BMP picture for authentication, from 1KB to 256KB."},
    {"L3", CTL_SUBMIT, "提交图片", "Submit picture"},
    {"L3", -1, "图片认证系统", "Picture Authentication System"},
    {"L3", CTL_BROWSE, "+", "+"},
    {"L4", 0, "Tumblewick 第4关[餐厅]", "Tumblewick Level 4 [Restaurant]"},
    {"L4", -1, "体检合格，吃完最后一顿饭就要出发了。\r\n01.ZIP是一只塞不满牙缝的小芝麻。把他养成比西瓜[4KB]还大，您就可以通关了。", "Exam passed. After one last meal you set off.\r\n01.ZIP is a little sesame seed, too small to fill a gap between your teeth. Grow it bigger than a watermelon [4KB] and you pass."},
    {"L4", CTL_SUBMIT, "称重", "Weigh"},
    {"L4", CTL_RESULT, "信息", "Message"},
    {"L4", -1, "称重台", "Weighing Scale"},
    {"L4", CTL_BROWSE, "+", "+"},
    {"L5", 0, "Tumblewick 第5关[入学：漂亮女孩]", "Tumblewick Level 5 [Enrolment: A Pretty Girl]"},
    {"L5", -1, "入学第一天，遇到一个心动漂亮女孩，该怎么拿下呢？", "Your first day at school, and a pretty girl makes your heart race. How do you win her over?"},
    {"L5", CTL_SUBMIT, "发送信息", "Send message"},
    {"L5", CTL_RESULT, "信息", "Message"},
    {"L5", -1, "MSG", "MSG"},
    {"L6", 0, "Tumblewick 第6关[烛光晚餐：兼得之道]", "Tumblewick Level 6 [Candlelit Dinner: Have Your Cake and Eat It]"},
    {"L6", -1, "终于可以和女孩约会了，02.ZIP这个菜太少了。女孩对菜品很挑剔。结合女孩的喜好，生成一个大于1KB的样本吧。", "At last you can date the girl. The dish 02.ZIP is too small, and she is picky about food. With her tastes in mind, generate a sample larger than 1KB."},
    {"L6", CTL_SUBMIT, "点餐", "Order"},
    {"L6", CTL_BROWSE, "+", "+"},
    {"Fin", 0, "闯关成功", "All Levels Passed"},
    {"Fin", IDOK, "归隐山林", "Retire to the mountains"},
    {"Fin", -1, "恭喜你，闯关成功。 您已经了解Fuzzing的基本功能。\r\n祝您fuzzing愉快。   \r\n更多信息参考https://en.wikipedia.org/wiki/Fuzzing", "Congratulations, you made it. You now know the basics of fuzzing.\r\nHappy fuzzing.   \r\nMore information: https://en.wikipedia.org/wiki/Fuzzing"},
};
// clang-format on

// A window's texts as "id text".
inline Seq expectedTexts(const std::string& window, Language language) {
  Seq out;
  for (const ExpectedText& t : kExpectedTexts)
    if (window == t.window)
      out.push_back(std::to_string(t.id) + " " +
                    (language == Language::Chinese ? t.chinese : t.english));
  return out;
}
