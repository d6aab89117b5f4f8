// The section that a coverage build of the game fills as it runs and the GUI fuzzer reads
// between submissions: AFL-style edge counters and, for each comparison site, the operand
// pairs it last compared. Free of platform code: the game's side (fuzz/gui_coverage), the
// fuzzer's (tools/guifuzz.cpp) and the native tests share it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace coverage {

constexpr std::uint32_t kMagic = 0x56435754;  // "TWCV", written once the game has attached
constexpr std::size_t kEdges = 65536;
constexpr std::size_t kSites = 1024;
constexpr std::size_t kPairs = 4;  // a site's last operand pairs, newest at (hits - 1) % kPairs

// The environment variable through which the fuzzer names the section to the game it starts.
constexpr const wchar_t* kSectionVariable = L"TUMBLEWICK_COVERAGE_SECTION";

enum class Kind : std::uint8_t { Unused, Cmp, ConstCmp, Switch };

struct Pair {
  std::uint64_t a;
  std::uint64_t b;
};

struct Site {
  std::uint32_t pc;   // the comparison's offset in the game's image
  std::uint8_t size;  // operand bytes: 1, 2, 4 or 8
  Kind kind;
  std::uint16_t unused;
  std::uint32_t hits;
  std::uint32_t unused2;
  Pair pairs[kPairs];
};

struct Map {
  std::uint32_t magic;
  std::uint32_t pid;       // the game's process, which attached
  std::uint32_t previous;  // the last location, shifted; the fuzzer clears it with the counters
  std::uint32_t unused;
  std::uint8_t edges[kEdges];
  Site sites[kSites];
};

// A code location's index: its offset in the image, mixed so that nearby code spreads over
// the whole map (AFL gives each block a random number; this is the same, reproducibly).
constexpr std::uint32_t location(std::uint64_t offset) {
  std::uint64_t x = offset * 0x9E3779B97F4A7C15ULL;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 32;
  return static_cast<std::uint32_t>(x & (kEdges - 1));
}

// The edge from the previous location to this one: AFL's index, location xor previous, and
// previous shifted so that A->B and B->A differ. Counters stop at 255 instead of wrapping to 0.
constexpr std::size_t edgeOf(std::uint32_t previous, std::uint32_t here) {
  return (previous ^ here) & (kEdges - 1);
}

inline void hit(Map& map, std::uint64_t offset) {
  const std::uint32_t here = location(offset);
  std::uint8_t& counter = map.edges[edgeOf(map.previous, here)];
  if (counter != 255) ++counter;
  map.previous = here >> 1;
}

// AFL's hit-count classes: 1, 2, 3, 4-7, 8-15, 16-31, 32-127, 128+ each a bit of its own, so
// that a loop run a little more often counts as new only when it crosses into another class.
constexpr std::uint8_t bucket(std::uint8_t count) {
  if (count <= 2) return count;
  if (count == 3) return 4;
  if (count <= 7) return 8;
  if (count <= 15) return 16;
  if (count <= 31) return 32;
  if (count <= 127) return 64;
  return 128;
}

// A comparison: the site's slot (by its offset), its operands into the ring.
inline void compare(Map& map, std::uint64_t offset, Kind kind, std::uint8_t size, std::uint64_t a,
                    std::uint64_t b) {
  const auto pc = static_cast<std::uint32_t>(offset);
  Site& site = map.sites[location(offset) & (kSites - 1)];
  if (site.pc != pc || site.kind != kind) site = {pc, size, kind, 0, 0, 0, {}};  // slot taken over
  site.pairs[site.hits % kPairs] = {a, b};
  ++site.hits;
}

enum class News { None, Bucket, Edge };

// What a run's edge counters show that `virgin` (the bits never seen, all ones at first) has
// not seen: a new class of a known edge, or a new edge. With `learn` the bits are marked seen.
inline News newsOf(const std::uint8_t* edges, std::uint8_t* virgin, bool learn) {
  News news = News::None;
  for (std::size_t i = 0; i < kEdges; ++i) {
    const std::uint8_t bits = static_cast<std::uint8_t>(bucket(edges[i]) & virgin[i]);
    if (bits == 0) continue;
    const News here = virgin[i] == 0xFF ? News::Edge : News::Bucket;
    if (here > news) news = here;
    if (learn) virgin[i] = static_cast<std::uint8_t>(virgin[i] & ~bits);
  }
  return news;
}

}  // namespace coverage
