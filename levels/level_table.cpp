#include "level_table.h"

#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level6_dinner_rule.h"
#include "resource.h"

namespace {

// A rule's verdict as a FileCheck reports it: each rule lists its rejections first, in the
// order of the level's rejection texts, and Pass last.
template <class Verdict>
constexpr int ruleIndex(Verdict verdict) {
  return verdict == Verdict::Pass ? kPassed : static_cast<int>(verdict);
}

constexpr FileCheck kPhotoCheck = {
    .minSize = 1024,
    .maxSize = 262144,
    .bufferSize = 4096,
    .filter = "*.BMP\0",
    .rule = [](std::uint32_t size, const std::uint8_t* bytes,
               stages::Trail* trail) { return ruleIndex(photo::judge(size, bytes, trail)); },
};

constexpr FileCheck kSesameCheck = {
    .minSize = 4096,
    .maxSize = 1048576,
    .bufferSize = 4096,   // an accepted file always fills it
    .filter = "*.BMP\0",  // the same as level 3, although the sesame is no picture
    .rule = [](std::uint32_t size, const std::uint8_t* bytes,
               stages::Trail* trail) { return ruleIndex(sesame::judge(size, bytes, trail)); },
};

constexpr FileCheck kDinnerCheck = {
    .minSize = 1024,
    .maxSize = 65535,
    .bufferSize = 65536,  // holds every accepted file whole
    .filter = "*.*\0",
    .rule = [](std::uint32_t size, const std::uint8_t* bytes,
               stages::Trail* trail) { return ruleIndex(dinner::judge(bytes, size, trail)); },
};

static_assert(kPhotoCheck.bufferSize <= kLargestRead && kSesameCheck.bufferSize <= kLargestRead &&
              kDinnerCheck.bufferSize <= kLargestRead);

const Level kLevels[kFinish] = {
    {
        .templateId = DLG_LEVEL1_SIGNUP,
        .passResult = 1,  // IDOK: level 1 is submitted with its default button, not CTL_SUBMIT
        .rejectsByNotice = true,
        .chinese =
            {
                .pass = "第一关闯关成功。超长字符串覆盖是Fuzzing世界中最简单的。"
                        "也是比较容易被利用的（一般都为栈溢出）",
                .rejections = {"不太对哦。"},
                .admissionNotice =
                    "该游戏用各种能想到的方式，输入足够畸形的数据，即可通关。\r\n"
                    "通过该游戏，锻炼游戏者的思维，有利于更好的了解和使用Fuzzing技术。\r\n"
                    "目前共计6关，建议游戏时间为15-30分钟\r\n"
                    "本游戏不涉及软件逆向知识,面向初学者。",
            },
        .english =
            {
                .pass = "Level 1 passed. Overwriting with an overlong string is the simplest trick "
                        "in the world of fuzzing. It is also fairly easy to exploit (usually as a "
                        "stack overflow)",
                .rejections = {"Not quite right."},
                .admissionNotice =
                    "In this game, feed in malformed enough data, in every way you can think "
                    "of, and you pass.\r\n"
                    "The game trains the player's way of thinking, for a better understanding "
                    "and use of fuzzing.\r\n"
                    "There are 6 levels so far; suggested playing time: 15-30 minutes\r\n"
                    "This game needs no reverse-engineering knowledge; it is meant for "
                    "beginners.",
            },
    },
    {
        .templateId = DLG_LEVEL2_EXAM,
        .passResult = CTL_SUBMIT,
        .rejectsByNotice = true,
        .chinese =
            {
                .pass = "第2关闯关成功。本关主要考察除以0导致的拒绝服务技巧。",
                .rejections = {"请穿标准衣服进行体检", "请穿标准鞋子进行体检",
                               "为什么你比一件衣服还轻？", "为什么你比一双鞋还矮？",
                               "你有2米高吗？", "你有一吨重吗？"},
                .indexFormat =
                    "您的BMI=%d,体检不合格。\r\n BMI = (体重 - 衣重) / ((身高 - 鞋厚) ^ 2)",
            },
        .english =
            {
                .pass = "Level 2 passed. This level mainly tests the denial-of-service trick of "
                        "division by 0.",
                .rejections = {"Please wear the standard clothes for the examination",
                               "Please wear the standard shoes for the examination",
                               "Why are you lighter than a piece of clothing?",
                               "Why are you shorter than a pair of shoes?",
                               "Are you two metres tall?", "Do you weigh a tonne?"},
                .indexFormat = "Your BMI=%d, you do not qualify.\r\n"
                               " BMI = (Weight - Clothes) / ((Height - Shoes) ^ 2)",
            },
    },
    {
        .templateId = DLG_LEVEL3_PHOTO,
        .passResult = CTL_SUBMIT,
        .file = &kPhotoCheck,
        .chinese =
            {
                .pass = "第3关闯关成功。本关主要考察对文件格式的初级Fuzz能力。",
                .rejections = {"错误:这看上去并不是BMP图片", "图片是有效，但是认证失败了。"},
                .openFailed = "文件打开失败.图像验证失败。",
                .empty = "图片为空。",
                .tooSmall = "错误:图片不得小于1KB",
                .tooLarge = "错误:图片不得大于256KB",
            },
        .english =
            {
                .pass = "Level 3 passed. This level mainly tests basic file-format fuzzing skills.",
                .rejections = {"Error: this does not look like a BMP picture",
                               "The picture is valid, but authentication failed."},
                .openFailed = "Failed to open the file. Picture verification failed.",
                .empty = "The picture is empty.",
                .tooSmall = "Error: the picture must not be smaller than 1KB",
                .tooLarge = "Error: the picture must not be larger than 256KB",
            },
    },
    {
        .templateId = DLG_LEVEL4_SESAME,
        .passResult = CTL_SUBMIT,
        .file = &kSesameCheck,
        .chinese =
            {
                .pass =
                    "您培养出合格的大芝麻。第4关闯关成功。本关主要考察对文件格式的中级Fuzz能力。",
                .rejections = {"错误:小芝麻不合格。", "错误:小芝麻已经坏掉了。"},
                .openFailed = "没有发现小芝麻验证失败。",
                .empty = "小芝麻重量为0？",
                .tooSmall = "错误:小芝麻小于4KB，不合格哦",
                .tooLarge = "错误:小芝麻不应该大于1MB",
            },
        .english =
            {
                .pass = "You have grown a big sesame that qualifies. Level 4 passed. This level "
                        "mainly tests intermediate file-format fuzzing skills.",
                .rejections = {"Error: the little sesame does not qualify.",
                               "Error: the little sesame has gone bad."},
                .openFailed = "No little sesame found. Verification failed.",
                .empty = "The little sesame weighs 0?",
                .tooSmall = "Error: the little sesame is under 4KB, it does not qualify",
                .tooLarge = "Error: the little sesame should not be over 1MB",
            },
    },
    {
        .templateId = DLG_LEVEL5_CHAT,
        .passResult = CTL_SUBMIT,
        .chinese =
            {
                .pass = "你已经成功拿下女孩\r\n"
                        "有时候漏洞挖掘就像吹女孩一样简单，一眼看到字符串，直接拉长就搞定。\r\n"
                        " 尤其在网络协议fuzz中，该方法效果远好于文件格式哦。\r\n"
                        "本题涉及了网络协议初级fuzz的能力",
                .rejections = {"女孩回复：你是个好人，我们不合适。"},
                .greeting = "您好小姑娘,我今年18岁了。\r\n我的名字叫\"cc\".\r\n"
                            "很高兴认识你，我们做朋友吧。",
                .passReply = "女孩回复：你好坏啊!!",
            },
        .english =
            {
                .pass = "You have won the girl over\r\n"
                        "Sometimes bug hunting is as easy as sweet-talking a girl: spot a string "
                        "at a glance, stretch it, and you're done.\r\n"
                        " Especially in network protocol fuzzing, this works far better than with "
                        "file formats.\r\n"
                        "This level covers basic network protocol fuzzing skills",
                .rejections = {"The girl replies: you are a nice person, but we are not a match."},
                // One ASCII comma, right after the greeting words, as in the Chinese one.
                .greeting = "Hello young lady, I'm 18 now.\r\nMy name is \"cc\".\r\n"
                            "Nice to meet you. Be friends?",
                .passReply = "The girl replies: you are so naughty!!",
            },
    },
    {
        .templateId = DLG_LEVEL6_DINNER,
        .passResult = CTL_SUBMIT,
        .file = &kDinnerCheck,
        .chinese =
            {
                .pass = "样本合格，全部通关！你真棒！！\r\n本题涉及了文件格式高级fuzz的能力",
                .rejections = {"错误:样本不合格哦"},
                .openFailed = "读取失败。",
                .empty = "大小为0？",
                .tooSmall = "错误:小于1KB，不合格哦",
                .tooLarge = "错误:不应该大于64KB",
            },
        .english =
            {
                .pass = "The sample qualifies. All levels passed! You're brilliant!!\r\n"
                        "This level covers advanced file-format fuzzing skills",
                .rejections = {"Error: the sample does not qualify"},
                .openFailed = "Reading failed.",
                .empty = "Size 0?",
                .tooSmall = "Error: under 1KB, it does not qualify",
                .tooLarge = "Error: should not be over 64KB",
            },
    },
    {.templateId = DLG_FINISH},
};

const NoticeCaptions kChineseCaptions = {
    .error = "错误", .congrats = "恭喜", .admission = "入学通知"};
const NoticeCaptions kEnglishCaptions = {
    .error = "Error", .congrats = "Congratulations", .admission = "Admission Notice"};

}  // namespace

const NoticeCaptions& noticeCaptions(Language language) {
  return language == Language::English ? kEnglishCaptions : kChineseCaptions;
}

const Level& levelInfo(int level) { return kLevels[level - 1]; }
