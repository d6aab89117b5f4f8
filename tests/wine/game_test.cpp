// The real game under Wine, played as a person would, each step checked against the events it
// must cause. The texts come from the level table (a native test pins their wording); the
// templates, ids, results, tones and call arguments are written out here.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver.h"
#include "expected_texts.h"
#include "resource.h"

namespace {

const int kTemplates[] = {0, 129, 130, 131, 135, 137, 138, 132};
const char* const kFilters[] = {"", "", "", "*.BMP|", "*.BMP|", "", "*.*|"};
const std::uint32_t kReadBuffers[] = {0, 0, 0, 4096, 4096, 0, 65536};
const std::string kOpen = ",c0000000,1,0,3,80,0";  // read+write, share read, OPEN_EXISTING
const std::string kStart = "DialogBoxParamW 129 Main";
// Level 2 reads its form in this order, each field unsigned.
const int kForm[] = {CTL_CLOTHES_WEIGHT, CTL_SHOE_THICKNESS, CTL_WEIGHT, CTL_HEIGHT};
const Seq kFormRead = {"GetDlgItemInt 1006 u", "GetDlgItemInt 1005 u", "GetDlgItemInt 1003 u",
                       "GetDlgItemInt 1007 u"};

std::string L(int level) { return level == 7 ? "Fin" : "L" + std::to_string(level); }
std::string box(int level, const char* caption, const char* text) {
  return "MessageBoxA " + L(level) + " " + caption + "|" + text;
}
std::string error(int level, const char* text) { return box(level, captions().error, text); }
std::string result(const std::string& text) { return "SetDlgItemTextA 1009|" + text; }
Seq operator+(Seq a, const Seq& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// Waits for a window, which shows the resource script's texts as it opens: its caption, then
// its controls'. From another process a field reads as it was created, empty.
HWND looks(Game& g, const std::string& name) {
  HWND window = g.window(name);
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  Seq shown = {"0 " + utf8(text)};
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (GetWindowTextW(c, text, 512) > 0)
      shown.push_back(std::to_string(GetDlgCtrlID(c)) + " " + utf8(text));
  }
  EXPECT_EQ(shown, expectedTexts(name, language())) << name;
  return window;
}
// Types into a field as a player does: it has the focus, and each character comes as the key
// press (with Shift if need be) that gives it. The field must show them.
void keys(Game& g, HWND window, int id, const std::wstring& text) {
  g.type(window, id, L"");
  // Keys go where the focus is when they are read: the window must be active before the focus
  // moves to the field, as activating it would move the focus back to where it was.
  SetForegroundWindow(window);
  g.wait([&] { return GetForegroundWindow() == window; });
  HWND field = GetDlgItem(window, id);
  PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
  g.wait([&] { return g.focus() == field; });
  std::vector<INPUT> in;
  auto add = [&](int vk, DWORD up) {
    in.push_back(INPUT{.type = INPUT_KEYBOARD, .ki = {WORD(vk), 0, up, 0, 0}});
  };
  for (wchar_t c : text) {
    const SHORT k = VkKeyScanW(c);  // the key, and 1 in the high byte for Shift
    if (k & 0x100) add(VK_SHIFT, 0);
    add(LOBYTE(k), 0), add(LOBYTE(k), KEYEVENTF_KEYUP);
    if (k & 0x100) add(VK_SHIFT, KEYEVENTF_KEYUP);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  std::wstring shown;
  // The keys may come slowly, even on an idle machine: each one that shows is progress.
  g.wait([&] { return (shown = g.text(window, id)) == text; }, [&] { return shown.size(); });
  EXPECT_EQ(utf8(shown), utf8(text)) << "typed into " << id;
}
// Where a window's client area starts on the screen.
std::pair<LONG, LONG> origin(HWND window) {
  POINT p{0, 0};
  ClientToScreen(window, &p);
  return {p.x, p.y};
}

// The events of submitting a file of the given size, up to the rule's verdict.
Seq opened(const std::string& name, int level, std::uint32_t size) {
  const std::uint32_t read = size < kReadBuffers[level] ? size : kReadBuffers[level];
  return {"GetDlgItemTextA 1011/256", "CreateFileA " + name + kOpen, "GetFileSize " + name,
          "ReadFile " + name + " " + std::to_string(read)};
}
Seq rejected(const std::string& name, const std::string& text) {
  return {result(text), "closing", "CloseHandle " + name};
}

// Passing a level: fanfare, congratulation, its end, and the next dialog owned by it, set up
// before its opening jingle.
Seq passed(int level) {
  Seq s = {"fanfare", box(level, captions().congrats, texts(level).pass),
           "EndDialog " + L(level) + (level == 1 ? " 1" : " 1008"),
           "DialogBoxParamW " + std::to_string(kTemplates[level + 1]) + " " + L(level)};
  if (level == 1) s = s + Seq{"SetDlgItemInt 1006=3 u", "SetDlgItemInt 1005=2 u"};
  if (level == 4) s.push_back("SetDlgItemTextA 1014|" + std::string(texts(5).greeting));
  if (level < 6) s.push_back("opening");
  return s;
}

std::string bytes(std::uint32_t size, const std::string& head = {}) {
  std::string b(size, '\0');
  return b.replace(0, head.size(), head);
}
// The console judge says of a file what the game shows for it.
void judged(int level, const std::wstring& path, const Seq& shown) {
  std::string want;
  for (const std::string& e : shown) {
    if (e.rfind("SetDlgItemTextA 1009|", 0) == 0) want += "result: " + e.substr(21) + "\n";
    if (e.rfind("MessageBoxA", 0) == 0) want += "notice: " + e.substr(e.find('|') + 1) + "\n";
  }
  want.erase(std::remove(want.begin(), want.end(), '\r'), want.end());
  EXPECT_EQ(judge(level, path), want) << utf8(path);
  // --explain ends alike, after its count of checks passed, "N/ALL": all of them on a pass only.
  const std::string explained = judge(level, path, L"--explain ");
  ASSERT_TRUE(explained.ends_with(want)) << explained;
  const std::string head = explained.substr(0, explained.size() - want.size() - 1);
  const std::string count = head.substr(head.find_last_not_of("0123456789/") + 1);
  const bool won = std::any_of(shown.begin(), shown.end(), [](const std::string& e) {
    return e.find(std::string(captions().congrats) + "|") != std::string::npos;
  });
  EXPECT_EQ(count.substr(0, count.find('/')) == count.substr(count.find('/') + 1), won)
      << explained;
}
// A winning file of level 3, 4 or 6, as a fuzzer found it.
std::wstring winner(int level) {
  return env(L"TUMBLEWICK_FUZZ_WINNERS") + L"\\level" + std::to_wstring(level) + L".bin";
}
std::uint32_t sizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
  return d.nFileSizeLow;
}

// Submits a winning input to the level's dialog and checks the whole pass.
void pass(Game& g, HWND d, int level) {
  if (level == 1) {
    EXPECT_SEQ(g, (keys(g, d, CTL_USER_NAME, std::wstring(257, L'x')), g.click(d, IDOK)),
               Seq{"GetDlgItemTextA 1002/512"} + passed(1));
  } else if (level == 2) {
    g.type(d, CTL_WEIGHT, L"60");
    g.type(d, CTL_HEIGHT, L"2");
    EXPECT_SEQ(g, g.click(d, CTL_SUBMIT), kFormRead + passed(2));
  } else if (level == 5) {
    EXPECT_SEQ(g, (keys(g, d, CTL_MESSAGE, L"," + std::wstring(256, L'a')), g.click(d, CTL_SUBMIT)),
               Seq{"GetDlgItemTextA 1014/4096", result(texts(5).passReply)} + passed(5));
  } else {
    const std::wstring path = winner(level);
    const std::string name = "level" + std::to_string(level) + ".bin";
    if (level == 3) {  // through the file dialog, as a player browses to it
      EXPECT_SEQ(g, g.click(d, CTL_BROWSE), {"GetOpenFileNameA 152,0,256,0,*.BMP|"});
      HWND picker = g.window();
      ASSERT_TRUE(picker);
      EXPECT_SEQ(g, (g.type(picker, 0x47C, path), g.click(picker, IDOK)),
                 {"SetDlgItemTextA 1011|" + utf8(path)});
    } else {
      keys(g, d, CTL_FILE_PATH, path);
    }
    EXPECT_SEQ(g, g.click(d, CTL_SUBMIT), opened(name, level, sizeOf(path)) + passed(level));
  }
}

// Starts the game and passes every level before `level` (7: the finish dialog), checking
// where each dialog opens, its owner, its focus and whether the main window is usable.
HWND reach(Game& g, int level) {
  EXPECT_SEQ(g, g.click(g.main(), CMD_START_GAME), {kStart, "opening"});
  const int focus[] = {0, IDOK, CTL_HEIGHT, CTL_SUBMIT, CTL_SUBMIT, CTL_SUBMIT, CTL_SUBMIT, IDOK};
  HWND d = looks(g, "L1"), owner = g.main();
  for (int n = 1; d; ++n) {
    EXPECT_EQ(GetWindow(d, GW_OWNER), owner) << L(n);
    EXPECT_EQ(origin(d), origin(owner)) << L(n);
    EXPECT_EQ(g.focus(), GetDlgItem(d, focus[n])) << L(n);
    EXPECT_EQ(IsWindowEnabled(g.main()) != FALSE, n > 1) << L(n);
    if (n == level) return d;
    pass(g, d, n);
    owner = d;
    d = looks(g, L(n + 1));
  }
  ADD_FAILURE() << "could not reach " << L(level);
  return nullptr;
}

TEST(Shell, AboutBoxByMenuAndKeysClosesSilently) {
  Game g;
  auto alt = [&](bool shift) {  // the accelerators look at the real keyboard state
    SetForegroundWindow(g.main());
    for (int vk : {VK_MENU, shift ? VK_SHIFT : VK_MENU, VK_OEM_2}) keybd_event(BYTE(vk), 0, 0, 0);
    for (int vk : {VK_OEM_2, VK_SHIFT, VK_MENU}) keybd_event(BYTE(vk), 0, KEYEVENTF_KEYUP, 0);
  };
  // A frame the player can size, minimise and maximise, with the system menu.
  EXPECT_EQ(GetWindowLongW(g.main(), GWL_STYLE),
            WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS);
  EXPECT_EQ(GetWindowLongW(g.main(), GWL_EXSTYLE), WS_EX_WINDOWEDGE);
  EXPECT_SEQ(g, g.click(g.main(), CMD_ABOUT), {"DialogBoxParamW 103 Main"});
  EXPECT_SEQ(g, g.key(looks(g, "About"), VK_ESCAPE), {"EndDialog About 2"});
  EXPECT_SEQ(g, alt(false), {"DialogBoxParamW 103 Main"});
  EXPECT_SEQ(g, PostMessageW(g.window("About"), WM_SYSCOMMAND, SC_CLOSE, 0), {"EndDialog About 2"});
  EXPECT_SEQ(g, alt(true), {"DialogBoxParamW 103 Main"});
  EXPECT_SEQ(g, g.click(g.window("About"), IDOK), {"EndDialog About 1"});
  EXPECT_TRUE(IsWindowEnabled(g.main()));
  EXPECT_SEQ(g, g.click(g.main(), CMD_EXIT), {"DestroyWindow Main", "PostQuitMessage 0"});
  EXPECT_EQ(g.exitCode(), 0u);
}

TEST(Signup, NamesUpTo256BytesAreTurnedAway) {
  Game g;
  HWND d = reach(g, 1);
  ASSERT_TRUE(d);
  const LevelTexts& t = texts(1);
  EXPECT_SEQ(g, g.click(d, CTL_NOTICE),
             {"fanfare", box(1, captions().admission, t.admissionNotice)});
  const Seq turnedAway = {"GetDlgItemTextA 1002/512", "closing", error(1, t.rejections[0])};
  for (const std::wstring& name : {std::wstring(), std::wstring(128, L'汉')})
    EXPECT_SEQ(g, (g.type(d, CTL_USER_NAME, name), g.click(d, IDOK)), turnedAway);
  HWND field = GetDlgItem(d, CTL_USER_NAME);  // Enter in it presses the default button
  EXPECT_SEQ(g, (g.type(d, CTL_USER_NAME, std::wstring(256, L'x')), g.key(field, VK_RETURN)),
             turnedAway);
  EXPECT_SEQ(g, g.click(d, CTL_QUIT), {"EndDialog L1 3", "closing"});
  EXPECT_SEQ(g, g.click(g.main(), CMD_START_GAME), {kStart, "opening"});
  EXPECT_SEQ(g, g.key(g.window("L1"), VK_ESCAPE), {"EndDialog L1 2", "closing"});
  EXPECT_SEQ(g, g.click(g.main(), CMD_START_GAME), {kStart, "opening"});
  // 129 Chinese characters are 258 bytes in code page 936; other code pages have one byte.
  d = g.window("L1");
  const std::wstring name =
      language() == Language::Chinese ? std::wstring(129, L'汉') : std::wstring(257, L'x');
  EXPECT_SEQ(g, (g.type(d, CTL_USER_NAME, name), g.click(d, IDOK)),
             Seq{"GetDlgItemTextA 1002/512"} + passed(1));
}

TEST(Exam, FormIsReadUnsignedAndCheckedInOrder) {
  Game g;
  HWND d = reach(g, 2);
  ASSERT_TRUE(d);
  std::string index = texts(2).indexFormat;
  index.replace(index.find("%d"), 2, "28");
  const struct {
    const wchar_t* form[4];  // clothes weight, shoe thickness, weight, height
    std::string shown;
  } rows[] = {
      {{L"", L"1", L"60", L"170"}, error(2, texts(2).rejections[0])},
      {{L"3", L"3", L"60", L"170"}, error(2, texts(2).rejections[1])},
      {{L"3", L"2", L"", L"170"}, error(2, texts(2).rejections[2])},
      {{L"3", L"2", L"60", L"2147483648"}, error(2, texts(2).rejections[3])},
      {{L"3", L"2", L"60", L"201"}, error(2, texts(2).rejections[4])},
      {{L"3", L"2", L"1001", L"170"}, error(2, texts(2).rejections[5])},
      {{L"3kg", L"2cm", L"60kg", L"170cm"}, result(index)},  // the leading number counts
  };
  for (const auto& r : rows) {
    for (int i = 0; i < 4; ++i) keys(g, d, kForm[i], r.form[i]);
    EXPECT_SEQ(g, g.click(d, CTL_SUBMIT), kFormRead + Seq{r.shown, "closing"});
  }
  EXPECT_SEQ(g, g.key(GetDlgItem(d, CTL_HEIGHT), VK_RETURN), {});
  // From level 2 on the main window is usable: a second chain starts inside this one.
  EXPECT_SEQ(g, g.click(g.main(), CMD_START_GAME), {kStart, "opening"});
  EXPECT_SEQ(g, g.key(g.window("L1"), VK_ESCAPE), {"EndDialog L1 2", "closing"});
  EXPECT_SEQ(g, g.click(g.main(), CMD_EXIT), {"DestroyWindow Main", "PostQuitMessage 0"});
  EXPECT_EQ(g.exitCode(), 0u);
}

TEST(Chat, OnlyTheGirlAnswersARejection) {
  Game g;
  HWND d = reach(g, 5);
  ASSERT_TRUE(d);
  const std::wstring greeting = wide(texts(5).greeting);
  const Seq turnedAway = {"GetDlgItemTextA 1014/4096", result(texts(5).rejections[0])};
  EXPECT_SEQ(g, g.key(GetDlgItem(d, CTL_SUBMIT), VK_SPACE), turnedAway);
  std::wstring crlf = L",";
  for (int i = 0; i < 127; ++i) crlf += L"\r\n";  // 254 counted bytes
  for (const std::wstring& m : {std::wstring(), greeting + std::wstring(194, L'a'), crlf + L"a"}) {
    EXPECT_SEQ(g, (g.type(d, CTL_MESSAGE, m), g.click(d, CTL_SUBMIT)), turnedAway);
  }
  EXPECT_SEQ(g, g.key(GetDlgItem(d, CTL_MESSAGE), VK_RETURN), {});
  EXPECT_SEQ(g,
             (g.type(d, CTL_MESSAGE, greeting + std::wstring(195, L'a')), g.click(d, CTL_SUBMIT)),
             Seq{"GetDlgItemTextA 1014/4096", result(texts(5).passReply)} + passed(5));
}

// The winners' sizes and times: a player's files are never written.
std::string stamps() {
  std::string s;
  for (int level : {3, 4, 6}) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(winner(level).c_str(), GetFileExInfoStandard, &d);
    s += std::to_string(d.nFileSizeLow) + "@" + std::to_string(d.ftLastWriteTime.dwLowDateTime);
  }
  return s;
}

// Every size boundary and verdict of levels 3, 4 and 6, the picker, and the files a passed
// level holds until the chain unwinds from the finish dialog.
TEST(FileLevels, SizesVerdictsPickerAndHeldFilesToTheFinish) {
  Game g;
  const std::string before = stamps();
  HWND d = reach(g, 3);
  ASSERT_TRUE(d);
  // Space at once presses the focused submit button with an empty path.
  EXPECT_SEQ(g, g.key(GetDlgItem(d, CTL_SUBMIT), VK_SPACE),
             {"GetDlgItemTextA 1011/256", "CreateFileA " + kOpen, error(3, texts(3).openFailed),
              "closing"});
  for (int level : {3, 4, 6}) {
    const LevelTexts& t = texts(level);
    const FileCheck& check = *levelInfo(level).file;
    const auto min = static_cast<std::uint32_t>(check.minSize),
               max = static_cast<std::uint32_t>(check.maxSize);
    EXPECT_SEQ(g, g.click(d, CTL_BROWSE),
               {std::string("GetOpenFileNameA 152,0,256,0,") + kFilters[level]});
    EXPECT_SEQ(g, g.click(d, CTL_BROWSE), {});  // ignored while a file dialog is open
    EXPECT_SEQ(g, g.click(g.window(), IDCANCEL), {"SetDlgItemTextA 1011|"});
    const Seq open = {"GetDlgItemTextA 1011/256", "CreateFileA missing" + kOpen,
                      error(level, t.openFailed), "closing"};
    EXPECT_SEQ(g, (g.type(d, CTL_FILE_PATH, L"missing"), g.click(d, CTL_SUBMIT)), open);
    // Each file, and what the console judge says of it: what the game shows. The first path is
    // typed by keys; the others are set, so that a field that cuts paths short fails just once.
    bool typed = false;
    auto submit = [&](const std::wstring& path, const Seq& expected) {
      typed ? g.type(d, CTL_FILE_PATH, path) : keys(g, d, CTL_FILE_PATH, path);
      typed = true;
      EXPECT_SEQ(g, g.click(d, CTL_SUBMIT), expected);
      judged(level, path, expected);
    };
    auto sized = [&](const std::string& name) {
      return Seq{"GetDlgItemTextA 1011/256", "CreateFileA " + name + kOpen, "GetFileSize " + name};
    };
    submit(g.file(L"s.bin", ""),
           sized("s.bin") + Seq{error(level, t.empty), "closing", "CloseHandle s.bin"});
    submit(g.file(L"s.bin", bytes(min - 1)), sized("s.bin") + rejected("s.bin", t.tooSmall));
    submit(g.file(L"s.bin", bytes(max + 1)), sized("s.bin") + rejected("s.bin", t.tooLarge));
    submit(g.file(L"s.bin", bytes(min)),
           opened("s.bin", level, min) + rejected("s.bin", t.rejections[0]));
    submit(g.file(L"s.bin", bytes(max)),
           opened("s.bin", level, max) + rejected("s.bin", t.rejections[0]));
    // From 2 GiB the low 32 bits of the size count as negative: too small.
    submit(g.file(L"s.bin", "", 0x80000000LL + min),
           sized("s.bin") + rejected("s.bin", t.tooSmall));
    if (level == 3) {
      submit(g.file(L"s.bin", bytes(2048, std::string("BM\0\x08", 4))),
             opened("s.bin", 3, 2048) + rejected("s.bin", t.rejections[1]));
    } else {  // the starter file beside the game, too small
      const std::string starter = level == 4 ? "01.ZIP" : "02.ZIP";
      submit(beside(wide(starter)), sized(starter) + rejected(starter, t.tooSmall));
    }
    if (level == 4) {
      submit(g.file(L"s.bin", bytes(4096, std::string("\0\0\0\x11\0\0\0\x01\0\0\x01\x54", 12))),
             opened("s.bin", 4, 4096) + rejected("s.bin", t.rejections[1]));
    }
    judged(level, winner(level), {box(level, captions().congrats, t.pass)});
    pass(g, d, level);
    if (level == 4) pass(g, g.window("L5"), 5);
    d = looks(g, L(level == 4 ? 6 : level + 1));
    ASSERT_TRUE(d);
  }
  // A file level holds its file until the chain unwinds, the last level's first.
  EXPECT_SEQ(g, g.click(d, IDOK),
             {"EndDialog Fin 1", "CloseHandle level6.bin", "CloseHandle level4.bin",
              "CloseHandle level3.bin"});
  EXPECT_TRUE(IsWindowEnabled(g.main()));
  EXPECT_EQ(stamps(), before) << "the game wrote a player's file";
  EXPECT_SEQ(g, g.click(g.main(), CMD_START_GAME), {kStart, "opening"});
}

}  // namespace
