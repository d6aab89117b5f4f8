// What the resource compiler decides and no played game shows: dialog header styles and fonts,
// the menu, each resource's language, the manifest, and that there is no version resource.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "driver.h"
#include "expected_texts.h"

namespace {

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

HMODULE game() {
  static HMODULE m = LoadLibraryExW(env(L"TUMBLEWICK_GAME").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  return m;
}
const WORD* resource(const wchar_t* type, int id, WORD lang) {
  HRSRC r = FindResourceExW(game(), type, MAKEINTRESOURCEW(id), lang);
  return r ? static_cast<const WORD*>(LockResource(LoadResource(game(), r))) : nullptr;
}

// A DLGTEMPLATEEX header: styles, position and size, then its font.
std::string header(const WORD* t, bool withSize = true) {
  if (!t || t[0] != 1 || t[1] != 0xFFFF) return "not an extended template";
  const WORD* p = t + 13;
  for (int field = 0; field < 3; ++field) {  // menu, class, caption
    p += *p == 0xFFFF ? 2 : std::wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;
  }
  char s[160];
  std::snprintf(s, sizeof s, "%x %x at %d,%d size %dx%d font %upt %u %u %u %ls", t[4] | t[5] << 16,
                t[6] | t[7] << 16, short(t[9]), short(t[10]), withSize ? short(t[11]) : 0,
                withSize ? short(t[12]) : 0, p[0], p[1], p[2] & 0xFFu, p[2] >> 8u,
                reinterpret_cast<const wchar_t*>(p + 3));
  return s;
}

TEST(Resources, DialogHeaders) {
  const std::string level = "0 80c800c0 at 0,0 size ",
                    font = " font 24pt 400 0 0 Microsoft Sans Serif";
  const std::map<int, std::string> expected = {
      {103, "0 80c800c8 at 0,0 size 360x84 font 9pt 0 0 1 MS Shell Dlg"},
      {129, level + "233x93" + font},
      {130, level + "207x147" + font},
      {131, level + "207x139" + font},
      {132, "0 80c800c8 at 0,0 size 309x99 font 8pt 400 0 1 MS Shell Dlg"},
      {135, level + "207x139" + font},
      {137, level + "207x139" + font},
      {138, level + "207x139" + font},
  };
  for (const auto& [id, want] : expected) {
    EXPECT_EQ(header(resource(RT_DIALOG, id, kChinese)), want) << id;
    // The English templates differ at most in their size.
    EXPECT_EQ(header(resource(RT_DIALOG, id, kEnglish), false),
              header(resource(RT_DIALOG, id, kChinese), false))
        << id;
  }
}

// A menu's texts as "id text", each popup's (id -1) followed by its items'.
void menu(HMENU m, Seq& texts) {
  for (int i = 0; i < GetMenuItemCount(m); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(m, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    texts.push_back(std::to_string(static_cast<int>(GetMenuItemID(m, i))) + " " + utf8(text));
    if (HMENU sub = GetSubMenu(m, i)) menu(sub, texts);
  }
}

TEST(Resources, Menus) {
  for (Language language : {Language::Chinese, Language::English}) {
    HMENU m = LoadMenuIndirectW(
        resource(RT_MENU, 109, language == Language::Chinese ? kChinese : kEnglish));
    Seq texts;
    menu(m, texts);
    EXPECT_EQ(texts, expectedTexts("Menu", language));
    EXPECT_EQ(GetMenuItemCount(m), 2);  // two popups, the items inside them
  }
}

// Chinese for every resource (English beside it for the menu, dialogs and strings) but the
// manifest, which the loader finds by id alone; no version resource.
TEST(Resources, LanguagesAndManifest) {
  for (const auto& [type, id] : {std::pair{RT_ACCELERATOR, 109},
                                 {RT_STRING, 7},
                                 {RT_GROUP_ICON, 107},
                                 {RT_GROUP_ICON, 108}}) {
    EXPECT_TRUE(resource(type, id, kChinese)) << id;
    EXPECT_EQ(resource(type, id, kEnglish) != nullptr, type == RT_STRING) << id;
  }
  EXPECT_FALSE(FindResourceW(game(), MAKEINTRESOURCEW(1), RT_VERSION));
  HRSRC found = FindResourceExW(game(), RT_MANIFEST, MAKEINTRESOURCEW(1), 0);
  ASSERT_TRUE(found);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(game(), found))),
                         SizeofResource(game(), found));
  EXPECT_NE(text.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
  EXPECT_EQ(text.find("dependency"), std::string::npos) << "no common controls 6";
}

}  // namespace
