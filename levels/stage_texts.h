// The names of every level's checks, in the order its rule makes them, and what each says
// of an input that failed it: the file verdict's checks first on the file levels, then the
// rule's (the Stage enums beside the rules). Read by the judge's --explain; not part of the
// game. The Chinese texts are in the code page the including target compiles narrow
// literals to, like the level table's; the English ones are plain ASCII.
#pragma once

#include <string>

#include "level_table.h"
#include "stage_trail.h"

namespace stages {

// How many checks the level makes.
int count(int level);

// Check `stage` (0 up to count - 1) of the level: its name, and with `seen`, what a failing
// input had against what it needed.
std::string name(int level, int stage, Language language);
std::string failure(int level, int stage, Language language, const Seen& seen);

// The same failure in two parts, what the input had and what it needed, for the judge's data
// form; and the check's key there, a short ASCII name the same in every language.
struct Failure {
  std::string had;
  std::string needed;
};
Failure failureParts(int level, int stage, Language language, const Seen& seen);
std::string key(int level, int stage);

}  // namespace stages
