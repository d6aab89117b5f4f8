// tumblewick-judge LEVEL FILE: what the game would say to one input, without the game. It
// reads the input as the fuzz targets do (levels/input_verdict.h), prints the texts the game
// would show and exits 0 on a pass, 1 on a rejection and 2 on bad usage. FILE "-" is
// standard input. Built from the same level table and rules as the game, with UTF-8 texts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "input_verdict.h"
#include "level_table.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

constexpr int kPassed = 0;
constexpr int kRejected = 1;
constexpr int kBadUsage = 2;

// Chinese where the game would speak Chinese: on Windows under code page 936, elsewhere when
// the locale that names the messages' language is a Chinese one.
bool playerReadsChinese() {
#ifdef _WIN32
  return GetACP() == 936;
#else
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "zh", 2) == 0;
  }
  return false;
#endif
}

// The level's texts in the player's language.
const LevelTexts& judgeTexts(int level) {
  return levelInfo(level).texts(playerReadsChinese() ? Language::Chinese : Language::English);
}

// Writes UTF-8 text: as UTF-16 to a Windows console, which would garble the bytes, and as the
// bytes themselves anywhere else. The game's CR LF line ends become LF, which the Windows C
// library and console turn back into CR LF.
void write(std::FILE* stream, const std::string& utf8) {
  std::string text;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    text += utf8[i];
  }
#ifdef _WIN32
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) != 0) {
    const int length = static_cast<int>(text.size());
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(),
                        static_cast<int>(wide.size()));
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// One line on standard error.
int usageError(const std::string& problem) {
  write(stderr, "tumblewick-judge: " + problem + "\n");
  return kBadUsage;
}

// One shown text, after the channel the game shows it in.
void show(inputverdict::Channel channel, const char* text) {
  write(stdout, std::string(channel == inputverdict::Channel::Notice ? "notice: " : "result: ") +
                    text + "\n");
}

// The input: a regular file is judged with its real size and read as far as the level reads;
// standard input, a pipe or a device is read whole first.
struct Input {
  std::ifstream file;
  std::vector<char> whole;
  std::uint64_t size = 0;
  bool isFile = false;

  void read(std::uint8_t* into, std::uint32_t count) {
    if (!isFile) {
      if (count != 0) std::memcpy(into, whole.data(), count);
      return;
    }
    file.clear();
    file.seekg(0);
    file.read(reinterpret_cast<char*>(into), count);
  }
};

int judgeInput(int level, Input& input) {
  const inputverdict::Verdict verdict = inputverdict::judge(
      level, input.size, [&](std::uint8_t* into, std::uint32_t count) { input.read(into, count); });
  const LevelTexts& texts = judgeTexts(level);
  // Level 5 answers in the girl's words before the congratulation.
  if (verdict.passed() && texts.passReply != nullptr) {
    show(inputverdict::Channel::ResultLine, texts.passReply);
  }
  char formatted[256] = {};
  show(verdict.channel, inputverdict::verdictText(texts, verdict, formatted));
  return verdict.passed() ? kPassed : kRejected;
}

#ifdef _WIN32
using Arg = wchar_t;
#else
using Arg = char;
#endif

int run(int argc, const Arg* const* argv) {
  if (argc != 3) {
    return usageError(std::string(argc < 3 ? "too few" : "too many") +
                      " arguments; usage: tumblewick-judge LEVEL FILE (LEVEL 1 to 6, FILE - for "
                      "standard input)");
  }
  const std::filesystem::path levelArg(argv[1]);
  const std::filesystem::path fileArg(argv[2]);
  const std::string levelText = utf8(levelArg);
  if (levelText.size() != 1 || levelText[0] < '1' || levelText[0] > '6') {
    return usageError("the level must be 1 to 6, not \"" + levelText + "\"");
  }
  const int level = levelText[0] - '0';

  Input input;
  const std::string name = utf8(fileArg);
  if (name == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) != 0) {
      input.whole.insert(input.whole.end(), chunk, chunk + got);
    }
    input.size = input.whole.size();
    return judgeInput(level, input);
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileArg, error);
  if (std::filesystem::is_directory(status)) return usageError(name + " is a directory");
  input.file.open(fileArg, std::ios::binary);
  if (error || !input.file) return usageError("cannot read " + name);
  input.isFile = std::filesystem::is_regular_file(status);
  if (input.isFile) {
    input.size = std::filesystem::file_size(fileArg, error);
    if (error) return usageError("cannot read " + name);
  } else {
    input.whole.assign(std::istreambuf_iterator<char>(input.file),
                       std::istreambuf_iterator<char>());
    input.size = input.whole.size();
  }
  return judgeInput(level, input);
}

// Whatever else goes wrong (no memory, a name the platform cannot convert) is the input's
// fault, not a verdict.
int guardedRun(int argc, const Arg* const* argv) noexcept {
  try {
    return run(argc, argv);
  } catch (const std::exception& problem) {
    std::fprintf(stderr, "tumblewick-judge: %s\n", problem.what());
  } catch (...) {
    std::fprintf(stderr, "tumblewick-judge: unexpected failure\n");
  }
  return kBadUsage;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return guardedRun(argc, argv); }
#else
int main(int argc, char** argv) { return guardedRun(argc, argv); }
#endif
