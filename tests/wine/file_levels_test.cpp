// The file levels 3, 4 and 6 played through the real dialogs: the file picker, the probe's
// platform calls on every way a submit can end, the size limits, each level's rule, and
// what becomes of the player's files.
#include <windows.h>

#include <commdlg.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "chain.h"
#include "game_driver.h"
#include "resource.h"

using ::testing::ElementsAreArray;

namespace {

// What the probe of one file level is given.
struct FileLevel {
  int level;
  const char* shot;  // screenshot name
  std::wstring openFailed, empty, tooSmall, tooLarge;
  std::uint32_t minSize, maxSize;
  std::wstring zerosText;  // the rule's verdict on a file of zero bytes
  int nextTemplate;
  std::wstring passText;
  std::string filter;  // the file dialog's filter, both NULs included
};

const FileLevel kPhoto = {
    3,
    "level3_photo",
    L"文件打开失败.图像验证失败。",
    L"图片为空。",
    L"错误:图片不得小于1KB",
    L"错误:图片不得大于256KB",
    1024,
    262144,
    L"错误:这看上去并不是BMP图片",
    DLG_LEVEL4_SESAME,
    L"第3关闯关成功。本关主要考察对文件格式的初级Fuzz能力。",
    std::string("*.BMP\0\0", 7),
};
const FileLevel kSesame = {
    4,
    "level4_sesame",
    L"没有发现小芝麻验证失败。",
    L"小芝麻重量为0？",
    L"错误:小芝麻小于4KB，不合格哦",
    L"错误:小芝麻不应该大于1MB",
    4096,
    1048576,
    L"错误:小芝麻不合格。",
    DLG_LEVEL5_CHAT,
    L"您培养出合格的大芝麻。第4关闯关成功。本关主要考察对文件格式的中级Fuzz能力。",
    std::string("*.BMP\0\0", 7),
};
const FileLevel kDinner = {
    6,
    "level6_dinner",
    L"读取失败。",
    L"大小为0？",
    L"错误:小于1KB，不合格哦",
    L"错误:不应该大于64KB",
    1024,
    65535,
    L"错误:样本不合格哦",
    DLG_FINISH,
    L"样本合格，全部通关！你真棒！！\r\n本题涉及了文件格式高级fuzz的能力",
    std::string("*.*\0\0", 5),
};

const FileLevel& fileLevel(int level) {
  return level == 3 ? kPhoto : level == 4 ? kSesame : kDinner;
}

// How many bytes the level asks ReadFile for, given the size it accepted.
std::uint32_t bytesRead(int level, std::uint32_t size) {
  if (level == 3) return size < 4096 ? size : 4096;
  if (level == 4) return 4096;
  return size;
}

const std::wstring kBmpFailed = L"图片是有效，但是认证失败了。";
const std::wstring kSesameBad = L"错误:小芝麻不合格。";
const std::wstring kSesameRotten = L"错误:小芝麻已经坏掉了。";
const std::wstring kSampleBad = L"错误:样本不合格哦";

const std::wstring kChatGreeting =
    L"您好小姑娘,我今年18岁了。\r\n我的名字叫\"cc\".\r\n很高兴认识你，我们做朋友吧。";

const std::uint64_t kGiB = 1024ull * 1024 * 1024;

// ---- files on the test's side ----

std::wstring pathIn(const Game& game, const std::wstring& name) {
  return game.workDir() + L"\\" + name;
}

// A file of `size` bytes that takes no room: `head` at the start, the rest a hole.
std::wstring writeSparse(const Game& game, const std::wstring& name, std::uint64_t size,
                         const Bytes& head = {}) {
  const std::wstring path = pathIn(game, name);
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(f, INVALID_HANDLE_VALUE) << "cannot write " << utf8(path);
  DWORD written = 0;
  if (!head.empty()) WriteFile(f, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  EXPECT_TRUE(SetFilePointerEx(f, end, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(f));
  CloseHandle(f);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  EXPECT_EQ((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, size);
  return path;
}

// A file's bytes and last-write time, to prove the game never changes it.
struct FileState {
  std::string bytes;
  std::uint64_t written = 0;
  bool operator==(const FileState& o) const { return bytes == o.bytes && written == o.written; }
};

FileState stateOf(const std::wstring& path) {
  FileState s;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return s;
  FILETIME t{};
  GetFileTime(f, nullptr, nullptr, &t);
  s.written = (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) s.bytes.append(buffer, got);
  CloseHandle(f);
  return s;
}

// Whether nobody else holds the file: an open for writing that shares nothing succeeds.
bool openExclusively(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  CloseHandle(f);
  return true;
}

Bytes zeros(std::uint32_t size) { return Bytes(size, 0); }

// ---- the game's side ----

// The file dialogs of the game: the only dialogs it opens without an owner.
std::vector<HWND> fileDialogs(const Game& game) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{game.processId(), {}};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (pid == s->pid && IsWindowVisible(w) && std::wcscmp(cls, L"#32770") == 0 &&
            GetWindow(w, GW_OWNER) == nullptr) {
          s->found.push_back(w);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitFileDialog(const Game& game) {
  HWND found = nullptr;
  waitUntil([&] {
    const std::vector<HWND> all = fileDialogs(game);
    found = all.empty() ? nullptr : all.front();
    return found != nullptr;
  });
  return found;
}

// Types into the file name field of an open file dialog (an edit in a combo box).
void typeFileName(HWND fileDialog, const std::wstring& path) {
  DWORD_PTR result;
  SendMessageTimeoutW(GetDlgItem(fileDialog, 0x47C), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 10000, &result);
}

// Picks a file in an open file dialog as a person would: its name, then OK.
void pickIn(const Game& game, HWND fileDialog, const std::wstring& path) {
  typeFileName(fileDialog, path);
  game.command(fileDialog, IDOK);
}

std::string readGameMemory(const Game& game, std::uint64_t address, size_t size) {
  std::string out(size, '\0');
  HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, game.processId());
  SIZE_T got = 0;
  if (!process ||
      !ReadProcessMemory(process, reinterpret_cast<const void*>(address), &out[0], size, &got)) {
    ADD_FAILURE() << "cannot read the game's memory at " << address;
  }
  if (process) CloseHandle(process);
  out.resize(got);
  return out;
}

std::vector<Call> named(const std::vector<Call>& calls, const std::string& name) {
  std::vector<Call> out;
  for (const Call& c : calls)
    if (c.name == name) out.push_back(c);
  return out;
}

// The platform calls that every opened file gets: the documented open, the size without its
// high part, a read from the start into a buffer with no overlap, all on the same handle.
void expectProbeCalls(const std::vector<Call>& calls, bool reads, bool closes) {
  const std::vector<Call> opens = named(calls, "CreateFileA");
  ASSERT_EQ(opens.size(), 1u);
  // The trace shows whole 64-bit argument slots; a DWORD passed on the stack only owns the
  // low half of its slot, and the high half holds whatever was there before.
  const std::vector<std::uint64_t>& a = opens[0].args;
  ASSERT_EQ(a.size(), 7u);
  EXPECT_THAT((std::vector<std::uint64_t>{a[1] & 0xFFFFFFFFu, a[2] & 0xFFFFFFFFu, a[3],
                                          a[4] & 0xFFFFFFFFu, a[5] & 0xFFFFFFFFu, a[6]}),
              ElementsAreArray<std::uint64_t>({GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0}));
  const std::vector<Call> sizes = named(calls, "GetFileSize");
  ASSERT_EQ(sizes.size(), 1u);
  const std::uint64_t handle = sizes[0].args[0];
  EXPECT_EQ(sizes[0].args[1], 0u) << "the high part is not asked for";
  const std::vector<Call> readsSeen = named(calls, "ReadFile");
  ASSERT_EQ(readsSeen.size(), reads ? 1u : 0u);
  if (reads) {
    EXPECT_EQ(readsSeen[0].args[0], handle);
    EXPECT_NE(readsSeen[0].args[1], 0u);
    EXPECT_NE(readsSeen[0].args[3], 0u) << "a bytes-read count is given";
    EXPECT_EQ(readsSeen[0].args[4], 0u) << "no overlap";
  }
  const std::vector<Call> closesSeen = named(calls, "CloseHandle");
  ASSERT_EQ(closesSeen.size(), closes ? 1u : 0u);
  if (closes) {
    EXPECT_EQ(closesSeen[0].args[0], handle);
  }
}

// The open-file record of the file dialog just opened, read from the game while the dialog
// uses it: filled afresh, with the level's filter and an empty path buffer. (Wine's dialog
// sets nFilterIndex to the filter shown, 1, while it runs, so that member is not checked.)
void expectFreshRecord(const Game& game, HWND picker, const std::string& filter) {
  const std::vector<Call> opened = named(game.calls(), "GetOpenFileNameA");
  ASSERT_EQ(opened.size(), 1u);
  const std::uint64_t record = opened[0].args[0];
  ASSERT_NE(record, 0u);
  const std::string raw = readGameMemory(game, record, sizeof(OPENFILENAMEA));
  ASSERT_EQ(raw.size(), sizeof(OPENFILENAMEA));
  OPENFILENAMEA ofn;
  std::memcpy(&ofn, raw.data(), sizeof ofn);
  EXPECT_EQ(ofn.lStructSize, 152u);
  EXPECT_EQ(ofn.hwndOwner, nullptr);
  EXPECT_EQ(ofn.nMaxFile, 256u);
  EXPECT_EQ(ofn.lpstrTitle, nullptr);
  EXPECT_EQ(ofn.lpstrInitialDir, nullptr);
  EXPECT_EQ(ofn.lpstrDefExt, nullptr);
  EXPECT_EQ(ofn.lpstrCustomFilter, nullptr);
  EXPECT_EQ(ofn.Flags, 0u);
  EXPECT_EQ(readGameMemory(game, reinterpret_cast<std::uint64_t>(ofn.lpstrFilter), filter.size()),
            filter);
  ASSERT_NE(ofn.lpstrFile, nullptr);
  EXPECT_EQ(readGameMemory(game, reinterpret_cast<std::uint64_t>(ofn.lpstrFile), 256),
            std::string(256, '\0'))
      << "the path buffer starts empty whatever the field holds";
  EXPECT_EQ(game.text(picker, 0x47C), L"") << "the dialog offers no file name";
}

// How a submit ends.
enum class Outcome { OpenFailed, Empty, TooSmall, TooLarge, Rule };

std::string pathEvent(const std::wstring& path) { return "CreateFileA " + utf8(path); }

// The path as the game reads it from its field: in code page 936, cut to 255 bytes.
std::wstring asGameReads(const std::wstring& path) {
  const std::string bytes = gbk(path).substr(0, 255);
  if (bytes.empty()) return {};
  const int n =
      MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

const char kReadPath[] = "GetDlgItemTextA 1011/256";

class FileLevelTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game.mainWindow());
    dialog = playTo(game, level().level);
    ASSERT_TRUE(dialog);
  }
  const FileLevel& level() const { return fileLevel(GetParam()); }

  // Submits `path` and checks everything the game did about it: the notice or the result
  // line, the exact platform calls in order, and that the level stays open. For
  // Outcome::Rule, `size` is the size the game should see and `ruleText` its verdict.
  // `press` submits in another way than typing the path and clicking the button.
  void expectSubmit(const std::wstring& path, Outcome outcome, std::uint32_t size = 0,
                    const std::wstring& ruleText = L"",
                    const std::function<void()>& press = nullptr) {
    const FileLevel& l = level();
    const std::wstring resultBefore = game.text(dialog, CTL_RESULT);
    game.mark();
    if (press) {
      press();
    } else {
      submitPath(game, dialog, path);
    }
    const std::string open = pathEvent(asGameReads(path));
    std::vector<std::string> expected;
    if (outcome == Outcome::OpenFailed || outcome == Outcome::Empty) {
      const std::wstring& text = outcome == Outcome::OpenFailed ? l.openFailed : l.empty;
      Notice notice = game.waitNotice(L"错误");
      ASSERT_TRUE(notice.window) << "no notice; " << ::testing::PrintToString(game.events());
      EXPECT_EQ(notice.text, text);
      EXPECT_EQ(GetWindow(notice.window, GW_OWNER), dialog);
      game.dismiss(notice);
      expected = outcome == Outcome::OpenFailed
                     ? seq({{kReadPath, open, "MessageBoxA 错误|" + utf8(text)}, closingJingle()})
                     : seq({{kReadPath, open, "GetFileSize", "MessageBoxA 错误|" + utf8(text)},
                            closingJingle(),
                            {"CloseHandle"}});
    } else {
      const std::wstring text = outcome == Outcome::TooSmall   ? l.tooSmall
                                : outcome == Outcome::TooLarge ? l.tooLarge
                                                               : ruleText;
      expected = {kReadPath, open, "GetFileSize"};
      if (outcome == Outcome::Rule) expected.push_back("ReadFile " + std::to_string(size));
      expected =
          seq({expected, {"SetDlgItemTextA 1009|" + utf8(text)}, closingJingle(), {"CloseHandle"}});
      ASSERT_TRUE(game.waitEvents(seq({closingJingle(), {"CloseHandle"}})))
          << ::testing::PrintToString(game.events());
      EXPECT_EQ(game.text(dialog, CTL_RESULT), text);
      EXPECT_TRUE(game.dialogs(L"错误").empty());
    }
    ASSERT_TRUE(game.waitEvents(std::vector<std::string>(expected.end() - 1, expected.end())))
        << ::testing::PrintToString(game.events());
    game.settle(150);  // nothing may follow (no close after a failed open)
    EXPECT_THAT(game.events(), ElementsAreArray(eventsLike(expected)));
    if (outcome == Outcome::OpenFailed) {
      EXPECT_TRUE(named(game.calls(), "CloseHandle").empty());
    } else {
      expectProbeCalls(game.calls(), outcome == Outcome::Rule, true);
    }
    if (outcome == Outcome::OpenFailed || outcome == Outcome::Empty) {
      EXPECT_EQ(game.text(dialog, CTL_RESULT), resultBefore) << "a notice leaves the line";
    }
    EXPECT_TRUE(IsWindowVisible(dialog));
  }

  Game game;
  HWND dialog = nullptr;
};

std::string levelName(const ::testing::TestParamInfo<int>& info) {
  return "level" + std::to_string(info.param);
}

}  // namespace

namespace {

TEST_P(FileLevelTest, OpenFailuresAreNoticesThatLeaveTheResultLine) {
  const FileLevel& l = level();
  // First of all, so that the result line still shows what the level opened with.
  const std::wstring initial = l.level == 4 ? L"信息" : L"";
  EXPECT_EQ(game.text(dialog, CTL_RESULT), initial);
  // Space at once presses the submit button, which has the focus, with the field empty.
  // (Enter would too on Windows; Wine does not make the button that the dialog opens with
  // focused the default one, so Enter arrives as IDOK, which the level ignores.)
  EXPECT_EQ(game.focus(), GetDlgItem(dialog, CTL_SUBMIT));
  expectSubmit(L"", Outcome::OpenFailed, 0, L"", [&] { game.press(game.focus(), VK_SPACE); });
  EXPECT_EQ(game.text(dialog, CTL_RESULT), initial);
  expectSubmit(L"", Outcome::OpenFailed);
  EXPECT_EQ(game.text(dialog, CTL_RESULT), initial);

  // From here on the result line shows the size verdict on this small file.
  const std::wstring small = writeSample(game, L"small.bin", zeros(l.minSize - 1));
  expectSubmit(small, Outcome::TooSmall);

  const std::wstring fine = writeSample(game, L"fine.bin", zeros(l.minSize));
  struct Case {
    const char* what;
    std::wstring path;
  } cases[] = {
      {"missing file", pathIn(game, L"missing.bmp")},
      {"missing folder", pathIn(game, L"nowhere\\a.bmp")},
      {"a folder", game.workDir()},
      {"a folder with its separator", game.workDir() + L"\\"},
      // The game reads 255 bytes of the field, which name nothing here.
      {"path longer than 255 bytes", pathIn(game, std::wstring(300, L'x') + L".bmp")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expectSubmit(c.path, Outcome::OpenFailed);
    EXPECT_EQ(game.text(dialog, CTL_RESULT), l.tooSmall);
  }

  // Another program holding the file. The game asks for writing and shares only reading,
  // so it is turned away by a holder that shares no writing, or that writes itself.
  struct Holder {
    const char* what;
    DWORD access, share;
    bool gameOpens;
  } holders[] = {
      {"reader sharing nothing", GENERIC_READ, 0, false},
      {"reader sharing reading", GENERIC_READ, FILE_SHARE_READ, false},
      {"writer sharing everything", GENERIC_READ | GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
      {"reader sharing reading and writing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
       true},
  };
  for (const Holder& h : holders) {
    SCOPED_TRACE(h.what);
    HANDLE held = CreateFileW(fine.c_str(), h.access, h.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    if (h.gameOpens) {
      expectSubmit(fine, Outcome::Rule, bytesRead(l.level, l.minSize), l.zerosText);
    } else {
      expectSubmit(fine, Outcome::OpenFailed);
      EXPECT_EQ(game.text(dialog, CTL_RESULT), l.tooSmall);
    }
    CloseHandle(held);
  }
  EXPECT_TRUE(openExclusively(small));
  EXPECT_TRUE(openExclusively(fine));
}

TEST_P(FileLevelTest, OddPathsAreReadLikeAnyOther) {
  const FileLevel& l = level();
  const Bytes content = zeros(l.minSize);
  const std::uint32_t n = bytesRead(l.level, l.minSize);

  // The game works in code page 936, so a Chinese file name reaches the file.
  const std::wstring chinese = writeSample(game, L"图片 样本.bmp", content);
  expectSubmit(chinese, Outcome::Rule, n, l.zerosText);
  EXPECT_THAT(named(game.calls(), "CreateFileA")[0].strings[0],
              ::testing::StartsWith(utf8(game.workDir())));

  // Of a longer path only the first 255 bytes count: here they name an existing file.
  const std::wstring dir = game.workDir() + L"\\";
  ASSERT_LT(dir.size(), 200u);
  const std::wstring exactly255 = writeSample(game, std::wstring(255 - dir.size(), L'n'), content);
  ASSERT_EQ(gbk(exactly255).size(), 255u);
  expectSubmit(exactly255 + L".bmp", Outcome::Rule, n, l.zerosText);

  // A relative path is taken from the game's working folder.
  writeSample(game, L"relative.bmp", content);
  expectSubmit(L"relative.bmp", Outcome::Rule, n, l.zerosText);
}

TEST_P(FileLevelTest, SizeLimits) {
  const FileLevel& l = level();
  const std::uint32_t min = l.minSize, max = l.maxSize;
  struct Case {
    const char* what;
    std::uint64_t size;
    Outcome outcome;
    bool sparse;
  } cases[] = {
      {"empty", 0, Outcome::Empty, false},
      {"one byte", 1, Outcome::TooSmall, false},
      {"one below the minimum", min - 1, Outcome::TooSmall, false},
      {"the minimum", min, Outcome::Rule, false},
      {"the maximum", max, Outcome::Rule, false},
      {"one above the maximum", max + 1u, Outcome::TooLarge, false},
      {"2 GiB - 1", 2 * kGiB - 1, Outcome::TooLarge, true},
      // Only the low 32 bits of the size count, and as a signed number.
      {"2 GiB", 2 * kGiB, Outcome::TooSmall, true},
      {"2 GiB + the minimum", 2 * kGiB + min, Outcome::TooSmall, true},
      {"4 GiB - 1", 4 * kGiB - 1, Outcome::TooSmall, true},
      {"4 GiB", 4 * kGiB, Outcome::Empty, true},
      {"4 GiB + the minimum", 4 * kGiB + min, Outcome::Rule, true},
      {"4 GiB + one below the minimum", 4 * kGiB + min - 1, Outcome::TooSmall, true},
  };
  std::vector<std::pair<std::wstring, FileState>> seen;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring name = L"size" + std::to_wstring(c.size) + L".bin";
    const std::wstring path =
        c.sparse ? writeSparse(game, name, c.size)
                 : writeSample(game, name, zeros(static_cast<std::uint32_t>(c.size)));
    if (!c.sparse) seen.emplace_back(path, stateOf(path));
    const auto low = static_cast<std::uint32_t>(c.size);
    expectSubmit(path, c.outcome, bytesRead(l.level, low), l.zerosText);
    EXPECT_TRUE(openExclusively(path));
    if (c.sparse) DeleteFileW(path.c_str());
  }
  for (const auto& [path, before] : seen) {
    EXPECT_TRUE(stateOf(path) == before) << utf8(path) << " was changed";
  }
}

// Each level's verdicts on files of accepted sizes; the last case of each passes.
struct Verdict {
  const char* what;
  Bytes bytes;
  std::wstring text;  // empty for a pass
};

Bytes withByte(Bytes b, size_t at, std::uint8_t value) {
  b[at] = value;
  return b;
}
Bytes littleEndianSesame(std::uint32_t size, std::uint32_t h, std::uint32_t a, std::uint32_t b) {
  Bytes out = sesameSample(size, 0, 0, 0);
  const std::uint32_t words[] = {h, a, b};
  for (size_t w = 0; w < 3; ++w)
    for (size_t i = 0; i < 4; ++i) out[w * 4 + i] = static_cast<std::uint8_t>(words[w] >> (8 * i));
  return out;
}
Bytes withCrc(Bytes b, std::uint32_t crc, bool bigEndian) {
  for (size_t i = 0; i < 4; ++i)
    b[i] = static_cast<std::uint8_t>(crc >> (bigEndian ? 24 - 8 * i : 8 * i));
  return b;
}
std::uint32_t crcOfBody(const Bytes& b) { return crc32(b.data() + 4, b.size() - 4); }

std::vector<Verdict> verdicts(int level) {
  if (level == 3) {
    return {
        {"lower-case bm", withByte(withByte(bmpSample(1024, 0xFFFFFFFFu), 0, 'b'), 1, 'm'),
         kPhoto.zerosText},
        {"Bm", withByte(bmpSample(1024, 0xFFFFFFFFu), 1, 'm'), kPhoto.zerosText},
        {"MB", withByte(withByte(bmpSample(1024, 0xFFFFFFFFu), 0, 'M'), 1, 'B'), kPhoto.zerosText},
        {"declares its real size", bmpSample(1024, 1024), kBmpFailed},
        {"declares 0", bmpSample(1024, 0), kBmpFailed},
        {"declares 256 more", bmpSample(1024, 1280), kBmpFailed},
        // Against the real size, not the 4096 bytes read.
        {"5000 bytes declaring 4096 + 257", bmpSample(5000, 4096 + 257), kBmpFailed},
        {"5000 bytes declaring 256 more", bmpSample(5000, 5256), kBmpFailed},
        {"declares 257 more", bmpSample(1024, 1281), L""},
    };
  }
  if (level == 4) {
    return {
        {"H = 17", sesameSample(4096, 17, 1, 340), kSesameRotten},
        {"H = 3", sesameSample(4096, 3, 1, 340), kSesameBad},
        {"H = 257", sesameSample(4096, 257, 1, 340), kSesameBad},
        {"H = 4 is a header", sesameSample(4096, 4, 1, 340), kSesameRotten},
        {"H = 256 is a header", sesameSample(4096, 256, 1, 340), kSesameRotten},
        {"A = 0", sesameSample(4096, 16, 0, 340), kSesameBad},
        {"B = 0", sesameSample(4096, 16, 340, 0), kSesameBad},
        {"A larger than the file", sesameSample(4096, 16, 4097, 1), kSesameBad},
        {"B larger than the file", sesameSample(4096, 16, 1, 4097), kSesameBad},
        {"A as large as the file", sesameSample(4096, 16, 4096, 1), kSesameRotten},
        {"little-endian words", littleEndianSesame(4096, 16, 1, 340), kSesameBad},
        {"factors swapped", sesameSample(4096, 16, 340, 1), L""},
    };
  }
  const Bytes sample = dinnerSample(1024);
  const Bytes large = dinnerSample(5000, 0x33);
  return {
      {"checksum stored big-endian", withCrc(sample, crcOfBody(sample), true), kSampleBad},
      {"checksum not inverted", withCrc(sample, ~crcOfBody(sample), false), kSampleBad},
      {"byte 4 changed", withByte(sample, 4, 1), kSampleBad},
      {"last byte changed", withByte(sample, 1023, 1), kSampleBad},
      // The whole file counts, not just a first buffer's worth.
      {"byte 4500 of 5000 changed", withByte(large, 4500, 0), kSampleBad},
      {"1024 bytes, body all zero", sample, L""},
  };
}

TEST_P(FileLevelTest, RuleVerdicts) {
  const FileLevel& l = level();
  std::vector<std::pair<std::wstring, FileState>> seen;
  const std::vector<Verdict> cases = verdicts(l.level);
  for (size_t i = 0; i + 1 < cases.size(); ++i) {
    const Verdict& v = cases[i];
    SCOPED_TRACE(v.what);
    const std::wstring path = writeSample(game, L"case" + std::to_wstring(i) + L".bin", v.bytes);
    seen.emplace_back(path, stateOf(path));
    const auto size = static_cast<std::uint32_t>(v.bytes.size());
    expectSubmit(path, Outcome::Rule, bytesRead(l.level, size), v.text);
    if (i == 0) game.screenshot(dialog, l.shot);
  }

  const Verdict& pass = cases.back();
  SCOPED_TRACE(pass.what);
  const std::wstring path = writeSample(game, L"pass.bin", pass.bytes);
  game.mark();
  submitPath(game, dialog, path);
  Notice notice = game.waitNotice(L"恭喜");
  ASSERT_TRUE(notice.window) << ::testing::PrintToString(game.events());
  EXPECT_EQ(notice.text, l.passText);
  game.dismiss(notice);
  ASSERT_TRUE(waitUntil([&] { return !named(game.calls(), "DialogBoxParamW").empty(); }));
  for (const auto& [file, before] : seen) {
    EXPECT_TRUE(stateOf(file) == before) << utf8(file) << " was changed";
  }
}

// A pass: fanfare, notice, the next dialog nested inside this handler, and the file held
// until that dialog and everything after it has returned.
TEST_P(FileLevelTest, PassHoldsTheFileUntilTheChainUnwinds) {
  const FileLevel& l = level();
  Bytes winner;
  if (l.level == 3) winner = bmpSample(1024, 0xFFFFFFFFu);
  // 65536 x 65537 x 12 wraps to 786432; with H = 16 that is the size.
  if (l.level == 4) winner = sesameSample(786448, 16, 65536, 65537);
  if (l.level == 6) winner = dinnerSample(65535, 0xA5);
  const std::wstring path = writeSample(game, L"winner.bin", winner);
  const FileState before = stateOf(path);
  // A rejection first, to see that the pass leaves the result line alone.
  const std::wstring small = writeSample(game, L"small.bin", zeros(l.minSize - 1));
  expectSubmit(small, Outcome::TooSmall);

  game.mark();
  submitPath(game, dialog, path);
  Notice notice = game.waitNotice(L"恭喜");
  ASSERT_TRUE(notice.window) << ::testing::PrintToString(game.events());
  EXPECT_EQ(notice.text, l.passText);
  EXPECT_EQ(GetWindow(notice.window, GW_OWNER), dialog);
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the notice comes before the level ends";
  game.dismiss(notice);
  HWND next = game.waitDialog(levelCaption(l.level == 6 ? 7 : l.level + 1));
  ASSERT_TRUE(next);
  EXPECT_EQ(GetWindow(next, GW_OWNER), dialog);
  std::vector<std::string> expected =
      seq({{kReadPath, pathEvent(asGameReads(path)), "GetFileSize",
            "ReadFile " +
                std::to_string(bytesRead(l.level, static_cast<std::uint32_t>(winner.size())))},
           fanfare(),
           {"MessageBoxA 恭喜|" + utf8(l.passText), "EndDialog 1008",
            "DialogBoxParamW " + std::to_string(l.nextTemplate)}});
  // Level 5 fills its message field before its opening jingle.
  if (l.level == 4) expected.push_back("SetDlgItemTextA 1014|" + utf8(kChatGreeting));
  if (l.level != 6) expected = seq({expected, openingJingle()});
  ASSERT_TRUE(game.waitEvents({expected.back()}));
  game.settle(300);
  EXPECT_THAT(game.events(), ElementsAreArray(eventsLike(expected)));
  const std::vector<Call> calls = game.calls();
  expectProbeCalls(calls, true, false);
  const std::vector<Call> nested = named(calls, "DialogBoxParamW");
  ASSERT_EQ(nested.size(), 1u);
  EXPECT_EQ(nested[0].args[0],
            static_cast<std::uint64_t>(GetWindowLongPtrW(game.mainWindow(), GWLP_HINSTANCE)));
  EXPECT_EQ(nested[0].args[2], reinterpret_cast<std::uint64_t>(dialog));
  EXPECT_EQ(nested[0].args[4], 0u);
  EXPECT_EQ(game.text(dialog, CTL_RESULT), l.tooSmall);
  EXPECT_FALSE(openExclusively(path)) << "the passed level still holds its file";

  // Leaving the next level unwinds the chain; only then is the file closed, before the
  // files of the earlier file levels.
  const std::uint64_t handle = named(calls, "GetFileSize")[0].args[0];
  game.mark();
  game.press(next, VK_ESCAPE);
  const size_t heldBefore = l.level == 3 ? 0 : l.level == 4 ? 1 : 2;
  ASSERT_TRUE(waitUntil([&] {
    return named(game.calls(), "CloseHandle").size() == heldBefore + 1;
  })) << ::testing::PrintToString(game.events());
  game.settle(300);
  std::vector<std::string> unwind = {"EndDialog 2"};
  if (l.level != 6) unwind = seq({unwind, closingJingle()});
  for (size_t i = 0; i <= heldBefore; ++i) unwind.push_back("CloseHandle");
  EXPECT_THAT(game.events(), ElementsAreArray(eventsLike(unwind)));
  EXPECT_EQ(named(game.calls(), "CloseHandle")[0].args[0], handle);
  EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(game.mainWindow()) != FALSE; }));
  EXPECT_TRUE(openExclusively(path));
  for (const wchar_t* earlier : {L"chain3.bmp", L"chain4.zip"}) {
    if (GetFileAttributesW(pathIn(game, earlier).c_str()) != INVALID_FILE_ATTRIBUTES) {
      EXPECT_TRUE(openExclusively(pathIn(game, earlier))) << utf8(earlier);
    }
  }
  EXPECT_TRUE(stateOf(path) == before) << "the winning file was changed";
}

// The file dialog: what it is given, what it writes, and a cancel.
TEST_P(FileLevelTest, PickerFillsThePathFieldAndCancelEmptiesIt) {
  const FileLevel& l = level();
  const std::wstring path = writeSample(game, L"图片.bmp", zeros(l.minSize));
  game.type(dialog, CTL_FILE_PATH, L"typed before");
  game.mark();
  game.command(dialog, CTL_BROWSE);
  HWND picker = waitFileDialog(game);
  ASSERT_TRUE(picker);
  ASSERT_TRUE(game.waitEvents({"GetOpenFileNameA"}));
  EXPECT_TRUE(IsWindowEnabled(dialog)) << "the file dialog has no owner";

  expectFreshRecord(game, picker, l.filter);
  typeFileName(picker, path);
  if (l.level == 3) game.screenshot(picker, "file_picker");
  game.command(picker, IDOK);
  ASSERT_TRUE(waitUntil([&] { return game.text(dialog, CTL_FILE_PATH) == path; }))
      << utf8(game.text(dialog, CTL_FILE_PATH));
  EXPECT_TRUE(game.waitHidden(picker));
  game.settle(150);
  EXPECT_THAT(
      game.events(),
      ElementsAreArray(eventsLike({"GetOpenFileNameA", "SetDlgItemTextA 1011|" + utf8(path)})))
      << "no jingle, no other call";

  // The picked path and the same path typed by hand get the same treatment.
  const std::uint32_t n = bytesRead(l.level, l.minSize);
  game.mark();
  game.command(dialog, CTL_SUBMIT);
  ASSERT_TRUE(game.waitEvents(seq({closingJingle(), {"CloseHandle"}})));
  game.settle(150);
  const std::vector<std::string> picked = game.events();
  EXPECT_EQ(game.text(dialog, CTL_RESULT), l.zerosText);
  expectSubmit(path, Outcome::Rule, n, l.zerosText);
  EXPECT_EQ(game.events(), picked);

  game.mark();
  game.command(dialog, CTL_BROWSE);
  picker = waitFileDialog(game);
  ASSERT_TRUE(picker);
  ASSERT_TRUE(game.waitEvents({"GetOpenFileNameA"}));
  expectFreshRecord(game, picker, l.filter);  // not the path picked before
  game.command(picker, IDCANCEL);
  ASSERT_TRUE(waitUntil([&] { return game.text(dialog, CTL_FILE_PATH).empty(); }));
  game.settle(150);
  EXPECT_THAT(game.events(),
              ElementsAreArray(eventsLike({"GetOpenFileNameA", "SetDlgItemTextA 1011|"})));
  expectSubmit(L"", Outcome::OpenFailed);
}

INSTANTIATE_TEST_SUITE_P(FileLevels, FileLevelTest, ::testing::Values(3, 4, 6), levelName);

}  // namespace

namespace {

// Passes the current level with a winning input (a file for the file levels) and returns
// the next dialog once its opening jingle has played.
HWND advance(Game& game, HWND dialog, int level, const std::wstring& file = L"") {
  if (level == 5) {
    game.type(dialog, CTL_MESSAGE, L"," + std::wstring(256, L'a'));
    game.command(dialog, CTL_SUBMIT);
  } else {
    submitPath(game, dialog, file);
  }
  game.dismiss(game.waitNotice(L"恭喜"));
  HWND next = game.waitDialog(levelCaption(level + 1));
  if (next && level < 6) {
    EXPECT_TRUE(game.waitEvents(openingJingle()));
  }
  return next;
}

// A file that a passed level accepted stays open until the chain unwinds, so every later
// file level is turned away from it; afterwards nobody holds any of them.
TEST(FileLevelsChain, AcceptedFilesStayTakenUntilTheChainUnwinds) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  HWND sesame = playTo(game, 4);
  ASSERT_TRUE(sesame);
  const std::wstring photo = pathIn(game, L"chain3.bmp");
  const FileState photoBefore = stateOf(photo);
  EXPECT_FALSE(openExclusively(photo));

  auto expectTaken = [&](HWND dialog, const std::wstring& path, const std::wstring& text) {
    SCOPED_TRACE(utf8(path));
    game.mark();
    submitPath(game, dialog, path);
    Notice notice = game.waitNotice(L"错误");
    ASSERT_TRUE(notice.window);
    EXPECT_EQ(notice.text, text);
    game.dismiss(notice);
    ASSERT_TRUE(game.waitEvents(closingJingle()));
    game.settle(150);
    EXPECT_THAT(
        game.events(),
        ElementsAreArray(eventsLike(seq(
            {{kReadPath, pathEvent(path), "MessageBoxA 错误|" + utf8(text)}, closingJingle()}))));
  };
  expectTaken(sesame, photo, kSesame.openFailed);

  const std::wstring seed = writeSample(game, L"seed.zip", sesameSample(4096, 16, 1, 340));
  const FileState seedBefore = stateOf(seed);
  HWND chat = advance(game, sesame, 4, seed);
  ASSERT_TRUE(chat);
  HWND dinner = advance(game, chat, 5);
  ASSERT_TRUE(dinner);
  expectTaken(dinner, photo, kDinner.openFailed);
  expectTaken(dinner, seed, kDinner.openFailed);

  const std::wstring sample = writeSample(game, L"sample.bin", dinnerSample(2048, 7));
  const FileState sampleBefore = stateOf(sample);
  game.mark();
  HWND finish = advance(game, dinner, 6, sample);
  ASSERT_TRUE(finish);
  for (const std::wstring& held : {photo, seed, sample}) EXPECT_FALSE(openExclusively(held));
  game.command(finish, IDOK);
  ASSERT_TRUE(waitUntil([&] { return named(game.calls(), "CloseHandle").size() == 3; }));
  EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(game.mainWindow()) != FALSE; }));
  game.settle(150);
  EXPECT_EQ(named(game.calls(), "CloseHandle").size(), 3u);
  // Innermost first: level 6's file, then level 4's, then level 3's.
  const std::vector<Call> sizes = named(game.calls(), "GetFileSize");
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(named(game.calls(), "CloseHandle")[0].args[0], sizes[0].args[0]);
  for (const std::wstring& freed : {photo, seed, sample}) {
    EXPECT_TRUE(openExclusively(freed)) << utf8(freed);
  }
  EXPECT_TRUE(stateOf(photo) == photoBefore);
  EXPECT_TRUE(stateOf(seed) == seedBefore);
  EXPECT_TRUE(stateOf(sample) == sampleBefore);
}

// A file of 4 GiB + 2048 bytes is taken for 2048 bytes: declaring 2048 + 257 passes level 3.
TEST(FileLevelsChain, HugeFileIsJudgedByTheLowBitsOfItsSize) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  HWND photo = playTo(game, 3);
  ASSERT_TRUE(photo);
  const Bytes head = bmpSample(6, 2048 + 257);
  const std::wstring huge = writeSparse(game, L"huge.bmp", 4 * kGiB + 2048, head);
  game.mark();
  submitPath(game, photo, huge);
  Notice notice = game.waitNotice(L"恭喜");
  ASSERT_TRUE(notice.window) << ::testing::PrintToString(game.events());
  EXPECT_EQ(notice.text, kPhoto.passText);
  game.dismiss(notice);
  HWND next = game.waitDialog(levelCaption(4));
  ASSERT_TRUE(next);
  const std::vector<Call> reads = named(game.calls(), "ReadFile");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].args[2] & 0xFFFFFFFFu, 2048u);
  game.press(next, VK_ESCAPE);
  ASSERT_TRUE(waitUntil([&] { return named(game.calls(), "CloseHandle").size() == 1; }));
  EXPECT_TRUE(openExclusively(huge));
  DeleteFileW(huge.c_str());
}

// "+" while a file dialog of the game is open is ignored: the one open-file record is in use.
TEST(FileLevelsPicker, OnlyOneFileDialogAtATime) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  HWND photo = playTo(game, 3);
  ASSERT_TRUE(photo);
  game.type(photo, CTL_FILE_PATH, L"kept");
  game.command(photo, CTL_BROWSE);
  HWND picker = waitFileDialog(game);
  ASSERT_TRUE(picker);
  ASSERT_TRUE(game.waitEvents({"GetOpenFileNameA"}));

  // The level still works meanwhile. The submit after the second "+" shows, by its notice,
  // that the "+" before it was handled.
  game.command(photo, CTL_BROWSE);
  game.command(photo, CTL_SUBMIT);
  Notice notice = game.waitNotice(L"错误");
  ASSERT_TRUE(notice.window);
  EXPECT_EQ(notice.text, kPhoto.openFailed);
  game.dismiss(notice);
  ASSERT_TRUE(game.waitEvents(closingJingle()));
  game.settle(150);
  EXPECT_EQ(fileDialogs(game).size(), 1u);
  EXPECT_EQ(named(game.calls(), "GetOpenFileNameA").size(), 1u);
  EXPECT_EQ(game.text(photo, CTL_FILE_PATH), L"kept");
  EXPECT_THAT(game.events(),
              ElementsAreArray(eventsLike(seq({{"GetOpenFileNameA", kReadPath, "CreateFileA kept",
                                                "MessageBoxA 错误|" + utf8(kPhoto.openFailed)},
                                               closingJingle()}))));

  // Once it is closed, "+" opens one again.
  game.command(picker, IDCANCEL);
  ASSERT_TRUE(waitUntil([&] { return game.text(photo, CTL_FILE_PATH).empty(); }));
  game.mark();
  game.command(photo, CTL_BROWSE);
  picker = waitFileDialog(game);
  ASSERT_TRUE(picker);
  EXPECT_TRUE(game.waitEvents({"GetOpenFileNameA"}));
  game.command(picker, IDCANCEL);
  EXPECT_TRUE(game.waitHidden(picker));
}

// A second chain started from the main window while the first one's file dialog is open
// cannot open another one.
TEST(FileLevelsPicker, SecondChainWaitsForTheOpenFileDialog) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  HWND first = playTo(game, 3);
  ASSERT_TRUE(first);
  game.command(first, CTL_BROWSE);
  HWND picker = waitFileDialog(game);
  ASSERT_TRUE(picker);
  ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(game.mainWindow()) != FALSE; }));

  // The second chain runs inside the file dialog's modal loop.
  game.command(game.mainWindow(), CMD_START_GAME);
  HWND signup = game.waitDialog(levelCaption(1));
  ASSERT_TRUE(signup);
  game.type(signup, CTL_USER_NAME, std::wstring(257, L'a'));
  game.command(signup, IDOK);
  game.dismiss(game.waitNotice(L"恭喜"));
  HWND exam = game.waitDialog(levelCaption(2));
  ASSERT_TRUE(exam);
  game.type(exam, CTL_WEIGHT, L"60");
  game.type(exam, CTL_HEIGHT, L"2");
  game.command(exam, CTL_SUBMIT);
  game.dismiss(game.waitNotice(L"恭喜"));
  HWND second = game.waitDialog(levelCaption(3), {first});
  ASSERT_TRUE(second);
  ASSERT_NE(second, first);
  ASSERT_TRUE(game.waitEvents(openingJingle()));

  game.type(second, CTL_FILE_PATH, L"kept");
  game.mark();
  game.command(second, CTL_BROWSE);
  game.command(second, CTL_SUBMIT);  // its notice shows that the "+" was handled
  Notice notice = game.waitNotice(L"错误");
  ASSERT_TRUE(notice.window);
  EXPECT_EQ(GetWindow(notice.window, GW_OWNER), second);
  game.dismiss(notice);
  ASSERT_TRUE(game.waitEvents(closingJingle()));
  game.settle(150);
  EXPECT_EQ(fileDialogs(game), std::vector<HWND>{picker});
  EXPECT_TRUE(named(game.calls(), "GetOpenFileNameA").empty());
  EXPECT_EQ(game.text(second, CTL_FILE_PATH), L"kept");

  // Leaving the second chain returns to the first one's file dialog, which still picks.
  game.press(second, VK_ESCAPE);
  ASSERT_TRUE(game.waitHidden(second));
  const std::wstring path = writeSample(game, L"picked.bmp", bmpSample(1024, 1024));
  pickIn(game, picker, path);
  EXPECT_TRUE(waitUntil([&] { return game.text(first, CTL_FILE_PATH) == path; }))
      << utf8(game.text(first, CTL_FILE_PATH));
}

// A file whose read-only attribute is set cannot be opened for writing, so each file level
// turns it away as if it could not be opened at all. Under Wine the attribute is the Unix
// write permission, which root bypasses: this runs as an ordinary user (its ctest group
// does that).
TEST(ReadOnlyFiles, EveryFileLevelTurnsThemAway) {
  Game game;
  ASSERT_TRUE(game.mainWindow());
  HWND dialog = playTo(game, 3);
  ASSERT_TRUE(dialog);
  for (int level : {3, 4, 6}) {
    const FileLevel& l = fileLevel(level);
    SCOPED_TRACE(level);
    const std::wstring path =
        writeSample(game, L"readonly" + std::to_wstring(level) + L".bin", zeros(l.minSize));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (writer != INVALID_HANDLE_VALUE) {
      CloseHandle(writer);
      if (GetEnvironmentVariableW(L"TUMBLEWICK_AS_TEST_USER", nullptr, 0) != 0) {
        FAIL() << "the platform lets this user write a read-only file";
      }
      GTEST_SKIP() << "running as root, which Wine lets write read-only files";
    }
    const FileState before = stateOf(path);

    game.mark();
    submitPath(game, dialog, path);
    Notice notice = game.waitNotice(L"错误");
    ASSERT_TRUE(notice.window);
    EXPECT_EQ(notice.text, l.openFailed);
    game.dismiss(notice);
    ASSERT_TRUE(game.waitEvents(closingJingle()));
    game.settle(150);
    EXPECT_THAT(game.events(),
                ElementsAreArray(eventsLike(
                    seq({{kReadPath, pathEvent(path), "MessageBoxA 错误|" + utf8(l.openFailed)},
                         closingJingle()}))));

    // The same file made writable again is judged.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    game.mark();
    submitPath(game, dialog, path);
    ASSERT_TRUE(game.waitEvents(seq({closingJingle(), {"CloseHandle"}})));
    EXPECT_EQ(game.text(dialog, CTL_RESULT), l.zerosText);
    EXPECT_TRUE(stateOf(path) == before);

    if (level == 3) {
      dialog = advance(game, dialog, 3, writeSample(game, L"pass3.bmp", bmpSample(1024, 2000)));
      ASSERT_TRUE(dialog);
    } else if (level == 4) {
      dialog =
          advance(game, dialog, 4, writeSample(game, L"pass4.zip", sesameSample(4096, 16, 1, 340)));
      ASSERT_TRUE(dialog);
      dialog = advance(game, dialog, 5);
      ASSERT_TRUE(dialog);
    }
  }
}

}  // namespace
