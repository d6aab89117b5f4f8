// tumblewick-judge LEVEL FILE: what the game would say to one input, without the game. It
// reads the input as the fuzz targets do (levels/input_verdict.h), prints what the game would
// show (levels/verdict_display.h) and exits 0 on a pass, 1 on a rejection and 2 on bad usage.
// FILE "-" is standard input.
// tumblewick-judge --explain LEVEL FILE: the same, after the level's checks in order, each
// marked passed, failed or not reached, the failed one with what the input had against what
// it needed (levels/stage_texts.h), and the count of checks passed, "N/ALL". Same exit codes.
// tumblewick-judge LEVEL --batch: the verdicts on many inputs from one process, for a fuzzer
// of one's own. Standard input holds frames, each a 4-byte little-endian length and then that
// many bytes; each is answered by one byte on standard output, 0 for a pass and 1 for a
// rejection, at once. It exits 0 where the input ends after a whole frame, and 2 at a broken
// frame.
// Either way it keeps no more of an input than the level reads, and only counts the rest, so
// that any input, endless ones included, takes the same little memory. Built from the same
// level table and rules as the game, with UTF-8 texts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "byte_order.h"
#include "input_verdict.h"
#include "stage_texts.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

// The exit codes; the rule's own "passed" is kPassed, a rejection index of none.
constexpr int kExitPass = 0;      // one input passed; in batch mode, every frame was judged
constexpr int kExitRejected = 1;  // one input was rejected
constexpr int kExitBadUsage = 2;  // bad arguments, an input that cannot be read, a broken frame

// The code page whose edition the player would see: on Windows the system's; elsewhere 936
// where the locale that names the messages' language is a Chinese one.
unsigned playerCodePage() {
#ifdef _WIN32
  return GetACP();
#else
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "zh", 2) == 0 ? 936 : 0;
  }
  return 0;
#endif
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
  return kExitBadUsage;
}

// Bytes as they are, also where the Windows C library would translate line ends.
void binary([[maybe_unused]] std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#endif
}

// The input's first bytes, as many as the level reads (input_verdict.h), and somewhere to
// pour the rest of it.
std::uint8_t g_kept[kLargestRead];
std::uint8_t g_rest[65536];

// Reads past up to `count` bytes; how many there were.
std::uint64_t skip(std::FILE* in, std::uint64_t count) {
  std::uint64_t skipped = 0;
  while (skipped < count) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - skipped, sizeof g_rest));
    const std::size_t got = std::fread(g_rest, 1, chunk, in);
    if (got == 0) break;
    skipped += got;
  }
  return skipped;
}

// The level's verdict on an input of `size` bytes whose first `kept` bytes are in g_kept.
display::Verdict judgeKept(int level, std::uint64_t size, std::size_t kept,
                           stages::Trail* trail = nullptr) {
  return inputverdict::judge(
      level, size,
      [kept](std::uint8_t* into, std::uint32_t count) {
        std::memcpy(into, g_kept, std::min<std::size_t>(count, kept));
      },
      trail);
}

// The level's checks as the input met them.
void explain(int level, std::uint64_t size, const stages::Trail& trail, Language language) {
  const bool english = language == Language::English;
  const int count = stages::count(level);
  const std::string sizeText = std::to_string(size);
  write(stdout, english ? "level " + std::to_string(level) + ", input of " + sizeText + " bytes:\n"
                        : "第 " + std::to_string(level) + " 关，输入 " + sizeText + " 字节：\n");
  for (int stage = 0; stage < count; ++stage) {
    const char* mark = stage < trail.passed    ? (english ? "passed     " : "通过  ")
                       : stage == trail.passed ? (english ? "FAILED     " : "未通过")
                                               : (english ? "not reached" : "未到达");
    std::string line = std::string("  ") + mark + "  " + std::to_string(stage + 1) + ". " +
                       stages::name(level, stage, language);
    if (stage == trail.passed) {
      line += (english ? ": " : "：") + stages::failure(level, stage, language, trail.seen);
    }
    write(stdout, line + "\n");
  }
  const std::string passed = std::to_string(trail.passed);
  const std::string all = std::to_string(count);
  write(stdout, (english ? "checks passed: " : "通过的检查：") + passed + "/" + all + "\n");
}

// One input: what the game shows, line by line, after its channel; with `explained`, the
// level's checks first.
int judgeOne(int level, std::FILE* in, bool sized, std::uint64_t size, bool explained) {
  const std::uint32_t wanted = inputverdict::bytesRead(level);
  const std::size_t kept = std::fread(g_kept, 1, wanted, in);
  if (!sized) size = kept + (kept == wanted ? skip(in, UINT64_MAX) : 0);
  stages::Trail trail;
  const display::Verdict verdict = judgeKept(level, size, kept, &trail);
  const Language language = languageOf(playerCodePage());
  if (explained) explain(level, size, trail, language);
  const LevelTexts& texts = levelInfo(level).texts(language);
  const display::Shown shown = display::shown(level, texts, verdict);
  for (int i = 0; i < shown.count; ++i) {
    const display::Line& line = shown.lines[i];
    char formatted[256] = {};
    if (verdict.text == display::Text::Index) {
      std::snprintf(formatted, sizeof formatted, line.text, verdict.index);
    }
    write(stdout, std::string(line.channel == display::Channel::Notice ? "notice: " : "result: ") +
                      (verdict.text == display::Text::Index ? formatted : line.text) + "\n");
  }
  return verdict.passed() ? kExitPass : kExitRejected;
}

int judgeBatch(int level) {
  binary(stdin);
  binary(stdout);
  const std::uint32_t wanted = inputverdict::bytesRead(level);
  for (std::uint64_t frame = 1;; ++frame) {
    std::uint8_t head[4];
    const std::size_t got = std::fread(head, 1, sizeof head, stdin);
    if (got == 0) return kExitPass;
    const std::string broken = "frame " + std::to_string(frame) + " is broken: the input ends ";
    if (got < sizeof head) {
      return usageError(broken + std::to_string(got) + " bytes into its 4-byte length");
    }
    const std::uint32_t length = byteorder::littleEndian32(head);
    const std::uint32_t keep = std::min(length, wanted);
    const std::size_t kept = std::fread(g_kept, 1, keep, stdin);
    const std::uint64_t read = kept == keep ? kept + skip(stdin, length - keep) : kept;
    if (read < length) {
      return usageError(broken + "after " + std::to_string(read) + " of its " +
                        std::to_string(length) + " bytes");
    }
    std::fputc(judgeKept(level, length, kept).passed() ? 0 : 1, stdout);
    std::fflush(stdout);
  }
}

#ifdef _WIN32
using Arg = wchar_t;
std::FILE* open(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }
#else
using Arg = char;
std::FILE* open(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }
#endif

int run(int argc, const Arg* const* argv) {
  const bool explained = argc > 1 && utf8(std::filesystem::path(argv[1])) == "--explain";
  if (explained) {
    --argc;
    ++argv;
  }
  if (argc != 3) {
    return usageError(
        std::string(argc < 3 ? "too few" : "too many") +
        " arguments; usage: tumblewick-judge [--explain] LEVEL FILE (LEVEL 1 to 6, FILE "
        "- for standard input), or tumblewick-judge LEVEL --batch");
  }
  const std::filesystem::path levelArg(argv[1]);
  const std::filesystem::path fileArg(argv[2]);
  const std::string levelText = utf8(levelArg);
  if (levelText.size() != 1 || levelText[0] < '1' || levelText[0] > '6') {
    return usageError("the level must be 1 to 6, not \"" + levelText + "\"");
  }
  const int level = levelText[0] - '0';
  const std::string name = utf8(fileArg);
  if (name == "--batch" && !explained) return judgeBatch(level);
  if (name == "-") {
    binary(stdin);
    return judgeOne(level, stdin, false, 0, explained);
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileArg, error);
  if (std::filesystem::is_directory(status)) return usageError(name + " is a directory");
  // A file's size is what the platform reports, as for the game; a pipe or device is counted.
  const bool sized = std::filesystem::is_regular_file(status);
  const std::uint64_t size = sized ? std::filesystem::file_size(fileArg, error) : 0;
  std::FILE* in = error ? nullptr : open(fileArg);
  if (in == nullptr) return usageError("cannot read " + name);
  const int verdict = judgeOne(level, in, sized, size, explained);
  std::fclose(in);
  return verdict;
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
  return kExitBadUsage;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return guardedRun(argc, argv); }
#else
int main(int argc, char** argv) { return guardedRun(argc, argv); }
#endif
