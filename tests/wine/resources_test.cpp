// Checks the resources compiled into the game executable, read from the file as data: dialog
// templates byte by byte, menu, accelerators, strings, icons, manifest, and that nothing else
// is there. Ids and texts are written out here rather than taken from resource.h, so that a
// changed header cannot make a wrong executable pass.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "wine_env.h"

namespace {

constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// Resource type numbers, used with MAKEINTRESOURCEW so that the test does not depend on
// whether UNICODE is defined.
enum ResourceType : WORD {
  kIconImage = 3,
  kMenu = 4,
  kDialog = 5,
  kStringBlock = 6,
  kAccelerators = 9,
  kIconGroup = 14,
  kManifest = 24,
};

// Reads little-endian fields in order; reading past the end yields zeros and marks it.
class Reader {
 public:
  explicit Reader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

  template <typename T>
  T get() {
    T value{};
    if (pos_ + sizeof(T) <= bytes_.size()) {
      std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
    } else {
      overrun_ = true;
    }
    pos_ += sizeof(T);
    return value;
  }

  std::wstring text() {
    std::wstring s;
    for (wchar_t c = get<wchar_t>(); c != 0 && !overrun_; c = get<wchar_t>()) s += c;
    return s;
  }

  // A menu, class or caption field: empty, an ordinal written as "#n", or a string.
  std::wstring nameOrOrdinal() {
    if (pos_ + 2 <= bytes_.size() && bytes_[pos_] == 0xFF && bytes_[pos_ + 1] == 0xFF) {
      pos_ += 2;
      return L"#" + std::to_wstring(get<WORD>());
    }
    return text();
  }

  void alignToDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  bool overrun() const { return overrun_; }

 private:
  const std::vector<BYTE>& bytes_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

// ---- dialog templates ----

struct Kind {
  const wchar_t* windowClass;  // predefined class atom as "#n"
  DWORD style;
};

constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;
constexpr DWORD kTextStyle = kChildVisible | SS_LEFT | WS_GROUP;
const Kind kEdit{L"#129", kChildVisible | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL};
const Kind kMultiEdit{L"#129", kEdit.style | WS_VSCROLL | ES_MULTILINE};
const Kind kButton{L"#128", kChildVisible | WS_TABSTOP | BS_PUSHBUTTON};
const Kind kDefButton{L"#128", kChildVisible | WS_TABSTOP | BS_DEFPUSHBUTTON};
const Kind kGroupBox{L"#128", kChildVisible | BS_GROUPBOX};
const Kind kText{L"#130", kTextStyle};
const Kind kNoPrefixText{L"#130", kTextStyle | SS_NOPREFIX};
const Kind kAboutButton{L"#128", kDefButton.style | WS_GROUP};

struct Control {
  int id;
  Kind kind;
  const wchar_t* text;
  short x, y, cx, cy;
};

struct Font {
  WORD points;
  WORD weight;
  BYTE charset;
  const wchar_t* face;
};

struct DialogHeader {
  WORD id;
  const wchar_t* caption;
  short cx, cy;
  DWORD style;
  Font font;
};

struct Dialog {
  DialogHeader header;
  std::vector<Control> controls;
};

constexpr DWORD kLevelStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kShellStyle = kLevelStyle | DS_FIXEDSYS;
const Font kLevelFont{24, 400, 0, L"Microsoft Sans Serif"};
const Font kAboutFont{9, 0, 1, L"MS Shell Dlg"};
const Font kFinishFont{8, 400, 1, L"MS Shell Dlg"};

const std::vector<Dialog> kDialogs = {
    {{103, L"关于 Velk_Game", 360, 84, kShellStyle, kAboutFont},
     {
         {-1, kNoPrefixText, L"Tumblewick, 版本 1.0 by 2024.11.16 \r\n 以游戏之乐，学fuzzing之道",
          42, 14, 258, 24},
         {-1, kText,
          L"Tumblewick 开发组制作，仅供学习交流。\r\n 问题与建议：请在项目的问题列表中留言。", 42,
          39, 311, 23},
         {1, kAboutButton, L"归隐山林", 303, 63, 50, 14},
     }},
    {{129, L"Tumblewick 第1关(报名站)", 233, 93, kLevelStyle, kLevelFont},
     {
         {1, kDefButton, L"报名", 41, 59, 50, 14},
         {9, kButton, L"入学通知", 99, 59, 50, 14},
         {-1, kGroupBox, L"报名站", 17, 7, 201, 79},
         {3, kButton, L"归隐山林", 156, 59, 50, 14},
         {-1, kText, L"以游戏之乐，学Fuzzing之道。 \r让漏洞挖掘，像玩游戏一样简单。", 77, 19, 106,
          19},
         {1002, kEdit, L"", 90, 44, 91, 8},
         {-1, kText, L"用户名", 62, 44, 26, 8},
     }},
    {{130, L"Tumblewick 第二关[体检中心]", 207, 147, kLevelStyle, kLevelFont},
     {
         {1007, kEdit, L"", 73, 36, 33, 12},
         {-1, kText, L"身高(cm)", 40, 37, 33, 8},
         {-1, kText, L"你已经成功报名，请你穿衣穿鞋，在信息表中输入您的身高体重，来计算BMI。", 29,
          7, 135, 17},
         {-1, kText, L"体重(kg)", 41, 51, 33, 8},
         {1003, kEdit, L"", 73, 50, 33, 12},
         {1008, kButton, L"提交报名表", 54, 120, 71, 20},
         {1009, kText, L"计算标准：BMI=(体重-衣重)/((身高-鞋厚)^2)", 39, 95, 134, 20},
         {-1, kGroupBox, L"报名表", 21, 26, 166, 92},
         {-1, kText, L"衣重(kg)", 40, 66, 33, 8},
         {-1, kText, L"鞋厚(cm)", 41, 80, 33, 8},
         {1005, kEdit, L"", 74, 78, 33, 12},
         {1006, kEdit, L"", 73, 63, 33, 12},
     }},
    {{131, L"Tumblewick 第三关[照片认证]", 207, 139, kLevelStyle, kLevelFont},
     {
         {-1, kText,
          L"体检结果已经通过，现在需要上传图片进行认证。请上传BMP图片，文件大小不得大于256KB且不小"
          L"于1KB，",
          20, 8, 175, 19},
         {1008, kButton, L"提交图片", 57, 112, 71, 20},
         {1009, kText, L"", 40, 70, 134, 23},
         {-1, kGroupBox, L"图片认证系统", 21, 26, 166, 84},
         {1011, kEdit, L"", 28, 36, 137, 7},
         {1012, kButton, L"+", 168, 35, 10, 8},
     }},
    {{132, L"闯关成功", 309, 99, kShellStyle, kFinishFont},
     {
         {1, kDefButton, L"归隐山林", 206, 41, 96, 28},
         {-1, kText,
          L"恭喜你，闯关成功。 您已经了解Fuzzing的基本功能。\r\n祝您fuzzing愉快。   \r\n"
          L"更多信息参考https://en.wikipedia.org/wiki/Fuzzing",
          31, 13, 154, 48},
     }},
    {{135, L"Tumblewick 第4关[餐厅]", 207, 139, kLevelStyle, kLevelFont},
     {
         {-1, kText,
          L"体检合格，吃完最后一顿饭就要出发了。\r\n01.ZIP是一只塞不满牙缝的小芝麻。把他养成比西瓜["
          L"4KB]还大，您就可以通关了。",
          24, 10, 149, 28},
         {1008, kButton, L"称重", 61, 112, 71, 20},
         {1009, kText, L"信息", 40, 69, 129, 27},
         {-1, kGroupBox, L"称重台", 21, 45, 165, 63},
         {1011, kEdit, L"", 28, 57, 137, 7},
         {1012, kButton, L"+", 167, 56, 10, 8},
     }},
    {{137, L"Tumblewick 第5关[入学：漂亮女孩]", 207, 139, kLevelStyle, kLevelFont},
     {
         {-1, kText, L"入学第一天，遇到一个心动漂亮女孩，该怎么拿下呢？", 24, 10, 149, 19},
         {1008, kButton, L"发送信息", 57, 118, 71, 10},
         {1009, kText, L"信息", 33, 92, 144, 9},
         {-1, kGroupBox, L"MSG", 21, 28, 166, 79},
         {1014, kMultiEdit, L"", 29, 37, 146, 50},
     }},
    {{138, L"Tumblewick 第6关[烛光晚餐：兼得之道]", 207, 139, kLevelStyle, kLevelFont},
     {
         {-1, kText,
          L"终于可以和女孩约会了，02.ZIP这个菜太少了。女孩对菜品很挑剔。结合女孩的喜好，生成一个大"
          L"于1KB的样本吧。",
          38, 9, 126, 32},
         {1008, kButton, L"点餐", 67, 104, 71, 20},
         {1009, kText, L"", 40, 69, 129, 27},
         {-1, kGroupBox, L"", 21, 45, 165, 55},
         {1011, kEdit, L"", 28, 57, 137, 7},
         {1012, kButton, L"+", 167, 56, 10, 8},
     }},
};

// ---- enumeration of everything in the file ----

std::wstring NameText(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                              : std::wstring(name);
}

// Entries "type/name/language"; icon images are listed as "3/image/..." because their
// numbers are the resource compiler's choice.
BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out) {
  std::wstring shownName = type == MAKEINTRESOURCEW(kIconImage) ? L"image" : NameText(name);
  reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(NameText(type) + L"/" + shownName +
                                                               L"/" + std::to_wstring(language));
  return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out) {
  EnumResourceLanguagesW(module, type, name, AddLanguage, out);
  return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR out) {
  EnumResourceNamesW(module, type, AddName, out);
  return TRUE;
}

class GameResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(gameExePath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(module_, nullptr) << "cannot load the game executable as data, error "
                                << GetLastError();
  }

  // The bytes of one resource in one language; empty when there is no such resource.
  static std::vector<BYTE> Find(WORD type, WORD name, WORD language = kChinese) {
    HRSRC info = FindResourceExW(module_, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name), language);
    if (info == nullptr) return {};
    HGLOBAL handle = LoadResource(module_, info);
    const BYTE* data = static_cast<const BYTE*>(LockResource(handle));
    if (data == nullptr) return {};
    return std::vector<BYTE>(data, data + SizeofResource(module_, info));
  }

  static HMODULE module_;
};

HMODULE GameResources::module_ = nullptr;

TEST_F(GameResources, DialogTemplatesMatchFieldByField) {
  for (const Dialog& want : kDialogs) {
    const DialogHeader& head = want.header;
    SCOPED_TRACE(testing::Message() << "dialog " << head.id);
    const std::vector<BYTE> bytes = Find(kDialog, head.id);
    ASSERT_FALSE(bytes.empty()) << "no template in language 2052";
    Reader r(bytes);
    EXPECT_EQ(r.get<WORD>(), 1) << "dlgVer (not an extended template)";
    EXPECT_EQ(r.get<WORD>(), 0xFFFF) << "signature";
    EXPECT_EQ(r.get<DWORD>(), 0u) << "helpID";
    EXPECT_EQ(r.get<DWORD>(), 0u) << "exStyle";
    EXPECT_EQ(r.get<DWORD>(), head.style) << "style";
    const size_t count = r.get<WORD>();
    EXPECT_EQ(count, want.controls.size()) << "cDlgItems";
    EXPECT_EQ(r.get<short>(), 0) << "x";
    EXPECT_EQ(r.get<short>(), 0) << "y";
    EXPECT_EQ(r.get<short>(), head.cx) << "cx";
    EXPECT_EQ(r.get<short>(), head.cy) << "cy";
    EXPECT_EQ(r.nameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(r.nameOrOrdinal(), L"") << "window class";
    EXPECT_EQ(r.text(), head.caption) << "caption";
    EXPECT_EQ(r.get<WORD>(), head.font.points) << "font point size";
    EXPECT_EQ(r.get<WORD>(), head.font.weight) << "font weight";
    EXPECT_EQ(r.get<BYTE>(), 0) << "font italic";
    EXPECT_EQ(r.get<BYTE>(), head.font.charset) << "font charset";
    EXPECT_EQ(r.text(), head.font.face) << "font name";
    for (size_t i = 0; i < std::min(count, want.controls.size()); ++i) {
      const Control& c = want.controls[i];
      SCOPED_TRACE(testing::Message() << "control #" << i << " (id " << c.id << ")");
      r.alignToDword();
      EXPECT_EQ(r.get<DWORD>(), 0u) << "helpID";
      EXPECT_EQ(r.get<DWORD>(), 0u) << "exStyle";
      EXPECT_EQ(r.get<DWORD>(), c.kind.style) << "style";
      EXPECT_EQ(r.get<short>(), c.x) << "x";
      EXPECT_EQ(r.get<short>(), c.y) << "y";
      EXPECT_EQ(r.get<short>(), c.cx) << "cx";
      EXPECT_EQ(r.get<short>(), c.cy) << "cy";
      EXPECT_EQ(r.get<int>(), c.id) << "id";
      EXPECT_EQ(r.nameOrOrdinal(), c.kind.windowClass) << "class";
      EXPECT_EQ(r.nameOrOrdinal(), c.text) << "text";
      EXPECT_EQ(r.get<WORD>(), 0) << "creation data size";
    }
    EXPECT_FALSE(r.overrun()) << "template is shorter than its fields";
  }
}

// Flattens a menu template into "popup/" and "popup/item id" lines; flags other than popup
// and end-of-level are shown so that a greyed or checked item differs.
void ReadMenuLevel(Reader& r, const std::wstring& path, std::vector<std::wstring>& out) {
  for (;;) {
    const WORD flags = r.get<WORD>();
    if (r.overrun()) return;
    const unsigned extraFlags = flags & ~static_cast<unsigned>(MF_POPUP | MF_END);
    const std::wstring suffix = extraFlags ? L" flags " + std::to_wstring(extraFlags) : L"";
    if (flags & MF_POPUP) {
      const std::wstring popup = path + r.text() + L"/";
      out.push_back(popup + suffix);
      ReadMenuLevel(r, popup, out);
    } else {
      const WORD id = r.get<WORD>();
      out.push_back(path + r.text() + L" " + std::to_wstring(id) + suffix);
    }
    if (flags & MF_END) return;
  }
}

TEST_F(GameResources, MenuAcceleratorsAndStrings) {
  const std::vector<BYTE> menu = Find(kMenu, 109);
  ASSERT_FALSE(menu.empty()) << "no menu 109 in language 2052";
  Reader r(menu);
  EXPECT_EQ(r.get<WORD>(), 0) << "menu template version";
  EXPECT_EQ(r.get<WORD>(), 0) << "menu header size";
  std::vector<std::wstring> items;
  ReadMenuLevel(r, L"", items);
  EXPECT_FALSE(r.overrun()) << "menu template ends early";
  const std::vector<std::wstring> wantItems = {L"菜单/", L"菜单/开始游戏 32772", L"菜单/退出 105",
                                               L"帮助/", L"帮助/关于 104"};
  EXPECT_EQ(items, wantItems);

  // Each entry: flags, key, command, padding; the last entry carries the end mark 0x80.
  const std::vector<BYTE> accel = Find(kAccelerators, 109);
  ASSERT_EQ(accel.size(), 16u) << "accelerator table 109 should hold exactly two entries";
  const wchar_t keys[] = {L'?', L'/'};
  Reader a(accel);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(testing::Message() << "accelerator #" << i);
    const WORD flags = a.get<WORD>();
    EXPECT_EQ(flags & 0x7F, FALT) << "modifiers: Alt only, typed character (no FVIRTKEY)";
    EXPECT_EQ(flags & 0x80, i == 1 ? 0x80 : 0) << "end-of-table mark";
    EXPECT_EQ(a.get<WORD>(), keys[i]) << "key character";
    EXPECT_EQ(a.get<WORD>(), 104) << "command";
    EXPECT_EQ(a.get<WORD>(), 0) << "padding";
  }

  // Strings 96 to 111 share block 7; each is a length-prefixed UTF-16 text.
  const std::vector<BYTE> block = Find(kStringBlock, 7);
  ASSERT_FALSE(block.empty()) << "no string block 7 in language 2052";
  Reader s(block);
  std::map<int, std::wstring> strings;
  for (int id = 96; id < 112; ++id) {
    std::wstring text(s.get<WORD>(), L'\0');
    for (wchar_t& c : text) c = s.get<wchar_t>();
    if (!text.empty()) strings[id] = text;
  }
  const std::map<int, std::wstring> wantStrings = {{103, L"Velk_Game"}, {109, L"VUDOREZE"}};
  EXPECT_EQ(strings, wantStrings);
}

TEST_F(GameResources, IconGroupsHoldOne32x32TrueColourImage) {
  std::vector<WORD> imageIds;
  for (WORD group : {WORD{107}, WORD{108}}) {
    SCOPED_TRACE(testing::Message() << "icon group " << group);
    const std::vector<BYTE> dir = Find(kIconGroup, group);
    ASSERT_EQ(dir.size(), 6u + 14u) << "a group header and exactly one entry";
    Reader r(dir);
    EXPECT_EQ(r.get<WORD>(), 0) << "reserved";
    EXPECT_EQ(r.get<WORD>(), 1) << "type (icon)";
    EXPECT_EQ(r.get<WORD>(), 1) << "image count";
    EXPECT_EQ(r.get<BYTE>(), 32) << "width";
    EXPECT_EQ(r.get<BYTE>(), 32) << "height";
    EXPECT_EQ(r.get<BYTE>(), 0) << "palette colours";
    EXPECT_EQ(r.get<BYTE>(), 0) << "reserved";
    EXPECT_EQ(r.get<WORD>(), 1) << "planes";
    EXPECT_EQ(r.get<WORD>(), 24) << "bits per pixel";
    const DWORD size = r.get<DWORD>();
    const WORD imageId = r.get<WORD>();
    imageIds.push_back(imageId);

    // Header, 32 rows of 32 BGR pixels, then the 1-bit AND mask of 32 rows of 4 bytes.
    const std::vector<BYTE> image = Find(kIconImage, imageId);
    ASSERT_EQ(image.size(), 40u + 32u * 96u + 32u * 4u) << "image " << imageId;
    EXPECT_EQ(size, image.size()) << "size recorded in the group";
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64) << "colour image and mask";
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()), size, TRUE, 0x00030000,
                                          32, 32, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << "the platform cannot make an icon of it";
    if (icon != nullptr) DestroyIcon(icon);
  }
  ASSERT_EQ(imageIds.size(), 2u);
  EXPECT_NE(imageIds[0], imageIds[1]) << "the two groups should have images of their own";
  EXPECT_NE(Find(kIconImage, imageIds[0]), Find(kIconImage, imageIds[1]))
      << "the two icons should differ";
}

TEST_F(GameResources, ManifestAsksOnlyForInvokerLevel) {
  const std::vector<BYTE> bytes = Find(kManifest, 1, kNeutral);
  ASSERT_FALSE(bytes.empty()) << "no language-neutral manifest 1";
  const std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
  for (const char* absent : {"<dependency", "Common-Controls", "<compatibility", "<application",
                             "dpiAware", "requireAdministrator", "highestAvailable"}) {
    EXPECT_EQ(manifest.find(absent), std::string::npos) << "unexpected " << absent;
  }
}

TEST_F(GameResources, EveryResourceIsChineseExceptTheManifest) {
  std::vector<std::wstring> found;
  EnumResourceTypesW(module_, AddType, reinterpret_cast<LONG_PTR>(&found));
  std::sort(found.begin(), found.end());
  std::vector<std::wstring> want = {
      L"14/107/2052",  L"14/108/2052", L"24/1/0",     L"3/image/2052",
      L"3/image/2052", L"4/109/2052",  L"5/103/2052", L"5/129/2052",
      L"5/130/2052",   L"5/131/2052",  L"5/132/2052", L"5/135/2052",
      L"5/137/2052",   L"5/138/2052",  L"6/7/2052",   L"9/109/2052",
  };
  std::sort(want.begin(), want.end());
  EXPECT_EQ(found, want) << "type/name/language of every resource (no version resource, no "
                            "second language)";
}

}  // namespace
