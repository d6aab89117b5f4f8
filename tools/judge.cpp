// tumblewick-judge LEVEL FILE: what the game would say to one input, without the game. It
// reads the input as the fuzz targets do (levels/input_verdict.h), prints what the game would
// show (levels/verdict_display.h) and exits 0 on a pass, 1 on a rejection and 2 on bad usage.
// FILE "-" is standard input. Options may come anywhere among the arguments.
// --explain (or --explain=text): the same, after the level's checks in order, each marked
// passed, failed or not reached, the failed one with what the input had against what it
// needed (levels/stage_texts.h), and the count of checks passed, "N/ALL". Same exit codes.
// --explain=tsv: instead, the checks alone as data, for programs: a header row, then a row a
// check of its number, key, state (passed, failed, not-reached), name, and for the failed one
// what the input had and what it needed, tab-separated. Same exit codes.
// LEVEL --batch: the verdicts on many inputs from one process, for a fuzzer of one's own.
// Standard input holds frames, each a 4-byte little-endian length and then that many bytes;
// each is answered by one byte on standard output, 0 for a pass and 1 for a rejection, at
// once; with --stages, by the number of checks the input passed instead (all of them on a
// pass). It exits 0 where the input ends after a whole frame, and 2 at a broken frame.
// --levels: each level's facts as data: its input, how many bytes it reads, a file level's
// size limits, its number of checks and the structure repair its format has.
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
#include <vector>

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

// The checks as data (--explain=tsv): a header, then a row a check.
void explainData(int level, const stages::Trail& trail, Language language) {
  std::string out = "check\tkey\tstate\tname\thad\tneeded\n";
  for (int stage = 0; stage < stages::count(level); ++stage) {
    const char* state = stage < trail.passed    ? "passed"
                        : stage == trail.passed ? "failed"
                                                : "not-reached";
    out += std::to_string(stage + 1) + "\t" + stages::key(level, stage) + "\t" + state + "\t" +
           stages::name(level, stage, language) + "\t";
    if (stage == trail.passed) {
      const stages::Failure failure = stages::failureParts(level, stage, language, trail.seen);
      out += failure.had + "\t" + failure.needed;
    } else {
      out += "\t";
    }
    out += "\n";
  }
  write(stdout, out);
}

enum class Explain { None, Text, Data };

// One input: what the game shows, line by line, after its channel; with --explain, the
// level's checks first; with --explain=tsv, the checks alone as data.
int judgeOne(int level, std::FILE* in, bool sized, std::uint64_t size, Explain explained) {
  const std::uint32_t wanted = inputverdict::bytesRead(level);
  const std::size_t kept = std::fread(g_kept, 1, wanted, in);
  if (!sized) size = kept + (kept == wanted ? skip(in, UINT64_MAX) : 0);
  stages::Trail trail;
  const display::Verdict verdict = judgeKept(level, size, kept, &trail);
  const int exitCode = verdict.passed() ? kExitPass : kExitRejected;
  const Language language = languageOf(playerCodePage());
  if (explained == Explain::Data) {
    explainData(level, trail, language);
    return exitCode;
  }
  if (explained == Explain::Text) explain(level, size, trail, language);
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
  return exitCode;
}

// Each frame answered by one byte: 0 for a pass and 1 for a rejection, or with `stages` the
// number of checks passed.
int judgeBatch(int level, bool stages) {
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
    stages::Trail trail;
    const bool passed = judgeKept(level, length, kept, &trail).passed();
    std::fputc(stages ? trail.passed : passed ? 0 : 1, stdout);
    std::fflush(stdout);
  }
}

// --levels: what a program driving the levels needs to know of each.
int printLevels() {
  static const char* const kInputs[] = {"name", "form", "message", "file"};
  static const char* const kRepairs[] = {"none", "size", "checksum"};
  std::string out = "level\tinput\tread\tmin_size\tmax_size\tchecks\trepair\n";
  for (int level = 1; level <= kLevelCount; ++level) {
    const FileCheck* file = levelInfo(level).file;
    out += std::to_string(level) + "\t" + kInputs[static_cast<int>(inputverdict::inputOf(level))] +
           "\t" + std::to_string(inputverdict::bytesRead(level)) + "\t" +
           (file != nullptr ? std::to_string(file->minSize) + "\t" + std::to_string(file->maxSize)
                            : std::string("\t")) +
           "\t" + std::to_string(stages::count(level)) + "\t" +
           kRepairs[static_cast<int>(inputverdict::repairOf(level))] + "\n";
  }
  write(stdout, out);
  return kExitPass;
}

#ifdef _WIN32
using Arg = wchar_t;
std::FILE* open(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }
#else
using Arg = char;
std::FILE* open(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }
#endif

constexpr const char* kUsage =
    "usage: tumblewick-judge [--explain[=text|tsv]] LEVEL FILE (LEVEL 1 to 6, FILE - for "
    "standard input), tumblewick-judge LEVEL --batch [--stages], or tumblewick-judge --levels";

// The command line: options anywhere, "--" before a FILE that starts with "--".
struct Command {
  Explain explain = Explain::None;
  bool batch = false;
  bool stages = false;
  bool levels = false;
  std::vector<std::filesystem::path> operands;
};

// Fills `command`; an empty string, or what is wrong with the arguments.
std::string parse(int argc, const Arg* const* argv, Command& command) {
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    const std::string text = utf8(arg);
    if (!options || !text.starts_with("--")) {
      command.operands.push_back(arg);
    } else if (text == "--") {
      options = false;
    } else if (text == "--explain" || text == "--explain=text") {
      command.explain = Explain::Text;
    } else if (text == "--explain=tsv") {
      command.explain = Explain::Data;
    } else if (text == "--batch") {
      command.batch = true;
    } else if (text == "--stages") {
      command.stages = true;
    } else if (text == "--levels") {
      command.levels = true;
    } else {
      return "unknown option " + text + "; " + kUsage;
    }
  }
  const std::size_t wanted = command.levels ? 0 : command.batch ? 1 : 2;
  if (command.levels && (command.batch || command.stages || command.explain != Explain::None)) {
    return std::string("--levels goes alone; ") + kUsage;
  }
  if (command.batch && command.explain != Explain::None) {
    return std::string("--explain does not go with --batch; ") + kUsage;
  }
  if (command.stages && !command.batch) return std::string("--stages goes with --batch; ") + kUsage;
  if (command.operands.size() != wanted) {
    return std::string(command.operands.size() < wanted ? "too few" : "too many") + " arguments; " +
           kUsage;
  }
  return {};
}

int run(int argc, const Arg* const* argv) {
  Command command;
  if (const std::string problem = parse(argc, argv, command); !problem.empty()) {
    return usageError(problem);
  }
  if (command.levels) return printLevels();
  const std::string levelText = utf8(command.operands[0]);
  if (levelText.size() != 1 || levelText[0] < '1' || levelText[0] > '6') {
    return usageError("the level must be 1 to 6, not \"" + levelText + "\"");
  }
  const int level = levelText[0] - '0';
  if (command.batch) return judgeBatch(level, command.stages);
  const std::filesystem::path& fileArg = command.operands[1];
  const std::string name = utf8(fileArg);
  if (name == "-") {
    binary(stdin);
    return judgeOne(level, stdin, false, 0, command.explain);
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileArg, error);
  if (std::filesystem::is_directory(status)) return usageError(name + " is a directory");
  // A file's size is what the platform reports, as for the game; a pipe or device is counted.
  const bool sized = std::filesystem::is_regular_file(status);
  const std::uint64_t size = sized ? std::filesystem::file_size(fileArg, error) : 0;
  std::FILE* in = error ? nullptr : open(fileArg);
  if (in == nullptr) return usageError("cannot read " + name);
  const int verdict = judgeOne(level, in, sized, size, command.explain);
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
