// Writes the starter files that ship beside the game, or the seed corpora of the fuzz
// targets, after checking each against the real level rules: a starter must be rejected
// only for being too small, its documented growth must pass, and no seed may pass.
//   make_samples DIR           01.ZIP and 02.ZIP
//   make_samples --seeds DIR   DIR/level1 ... DIR/level6, one seed each
//   make_samples --winners DIR DIR/level1.bin ... DIR/level6.bin, one known winner each, for
//                              checking that each fuzz target reports a pass as a finding
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "level_table.h"
#include "level1_signup_rule.h"
#include "level2_exam_rule.h"
#include "level3_photo_rule.h"
#include "level4_sesame_rule.h"
#include "level5_chat_rule.h"
#include "level6_dinner_rule.h"
#include "samples.h"

#ifdef _WIN32
#include <direct.h>
#define TUMBLEWICK_MKDIR(path) _mkdir(path)
#else
#include <sys/stat.h>
#define TUMBLEWICK_MKDIR(path) mkdir(path, 0755)
#endif

namespace {

using samples::Bytes;

bool failed = false;

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "make_samples: %s\n", what);
    failed = true;
  }
}

fileprobe::Step sizeVerdict(const Bytes& file, int level) {
  return fileprobe::judgeSize(static_cast<std::uint32_t>(file.size()), *levelInfo(level).file);
}

void checkStarters() {
  using SizeVerdict = fileprobe::Step;
  const Bytes small = samples::starterSesame();
  check(sizeVerdict(small, 4) == SizeVerdict::TooSmall, "01.ZIP is not too small for level 4");
  check(sesame::judge(static_cast<std::uint32_t>(small.size()), small.data()) ==
            sesame::Verdict::Pass,
        "01.ZIP's header does not fit its own size");
  const Bytes grown = samples::grownSesame();
  check(sizeVerdict(grown, 4) == SizeVerdict::Rule &&
            sesame::judge(static_cast<std::uint32_t>(grown.size()), grown.data()) ==
                sesame::Verdict::Pass,
        "01.ZIP grown to B = 340 does not pass level 4");

  const Bytes dish = samples::starterDinner();
  check(sizeVerdict(dish, 6) == SizeVerdict::TooSmall, "02.ZIP is not too small for level 6");
  check(dinner::judge(dish.data(), dish.size()) == dinner::Verdict::Pass,
        "02.ZIP's checksum is wrong");
  const Bytes meal = samples::grownDinner(1024);
  check(sizeVerdict(meal, 6) == SizeVerdict::Rule &&
            dinner::judge(meal.data(), meal.size()) == dinner::Verdict::Pass,
        "02.ZIP grown to 1024 bytes does not pass level 6");
}

void checkSeeds() {
  check(signup::judge(static_cast<int>(samples::nameSeed().size())) == signup::Verdict::Reject,
        "the level 1 seed passes");
  const Bytes form = samples::formSeed();
  std::uint32_t fields[4] = {};
  std::memcpy(fields, form.data(), sizeof fields);  // the seed is little-endian, like x86
  check(exam::judge(exam::asSigned(fields[0]), exam::asSigned(fields[1]), exam::asSigned(fields[2]),
                    exam::asSigned(fields[3]))
                .outcome == exam::Outcome::Index,
        "the level 2 seed is not an ordinary form");
  const Bytes picture = samples::photoSeed();
  check(sizeVerdict(picture, 3) == fileprobe::Step::Rule &&
            photo::judge(static_cast<std::uint32_t>(picture.size()), picture.data()) ==
                photo::Verdict::Failed,
        "the level 3 seed is not an honest photo of an accepted size");
  const Bytes greeting = samples::greetingSeed();
  check(!chat::passes(reinterpret_cast<const char*>(greeting.data()), greeting.size()),
        "the level 5 seed passes");
}

// One input per level that the level lets through, in the fuzz targets' input format.
std::vector<Bytes> winners() {
  Bytes form = samples::formSeed();
  samples::putLittle32(form.data() + 12, 2);  // height equal to the shoe thickness
  Bytes picture(1024, 0);
  picture[0] = 'B';
  picture[1] = 'M';
  samples::putLittle32(picture.data() + 2, 0xFFFFFFFFu);
  Bytes message(257, 'a');
  message[0] = ',';
  return {Bytes(300, 'a'),        form,    picture,
          samples::grownSesame(), message, samples::grownDinner(1024)};
}

void checkWinners() {
  const std::vector<Bytes> w = winners();
  check(signup::judge(static_cast<int>(w[0].size())) == signup::Verdict::Pass,
        "the level 1 winner does not pass");
  std::uint32_t fields[4] = {};
  std::memcpy(fields, w[1].data(), sizeof fields);
  check(exam::judge(exam::asSigned(fields[0]), exam::asSigned(fields[1]), exam::asSigned(fields[2]),
                    exam::asSigned(fields[3]))
                .outcome == exam::Outcome::Pass,
        "the level 2 winner does not pass");
  check(photo::judge(static_cast<std::uint32_t>(w[2].size()), w[2].data()) == photo::Verdict::Pass,
        "the level 3 winner does not pass");
  check(chat::passes(reinterpret_cast<const char*>(w[4].data()), w[4].size()),
        "the level 5 winner does not pass");
}

bool write(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Creates the folder unless it exists; a failure shows when the file is written.
void makeDir(const std::string& path) { static_cast<void>(TUMBLEWICK_MKDIR(path.c_str())); }

}  // namespace

int main(int argc, char** argv) {
  const bool seeds = argc == 3 && std::strcmp(argv[1], "--seeds") == 0;
  const bool winning = argc == 3 && std::strcmp(argv[1], "--winners") == 0;
  if (argc != 2 && !seeds && !winning) {
    std::fprintf(stderr, "usage: make_samples [--seeds | --winners] DIR\n");
    return 2;
  }
  checkStarters();
  checkSeeds();
  checkWinners();
  if (failed) return 1;

  const std::string dir = argv[argc - 1];
  makeDir(dir);
  bool ok = true;
  if (winning) {
    const std::vector<Bytes> w = winners();
    for (int level = 1; level <= 6 && ok; ++level) {
      ok = write(dir + "/level" + std::to_string(level) + ".bin",
                 w[static_cast<std::size_t>(level - 1)]);
    }
  } else if (!seeds) {
    ok = write(dir + "/01.ZIP", samples::starterSesame()) &&
         write(dir + "/02.ZIP", samples::starterDinner());
  } else {
    const Bytes perLevel[] = {samples::nameSeed(),     samples::formSeed(),
                              samples::photoSeed(),    samples::starterSesame(),
                              samples::greetingSeed(), samples::starterDinner()};
    const char* names[] = {"name.txt", "form.bin", "photo.bmp", "01.ZIP", "greeting.txt", "02.ZIP"};
    for (int level = 1; level <= 6 && ok; ++level) {
      const std::string sub = dir + "/level" + std::to_string(level);
      makeDir(sub);
      ok = write(sub + "/" + names[level - 1], perLevel[level - 1]);
    }
  }
  return ok ? 0 : 1;
}
