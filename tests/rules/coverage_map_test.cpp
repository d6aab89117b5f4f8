// The coverage section's bookkeeping, natively: the edge index (location xor the shifted
// previous one), the counters, AFL's hit-count classes and what counts as new; the comparison
// sites' rings. The game's coverage build and the GUI fuzzer both use these.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "coverage_map.h"

namespace {

using coverage::News;

std::unique_ptr<coverage::Map> emptyMap() { return std::make_unique<coverage::Map>(); }

// The edges a sequence of code offsets takes, run once from a cleared map.
std::vector<std::uint8_t> run(const std::vector<std::uint64_t>& offsets) {
  auto map = emptyMap();
  for (const std::uint64_t offset : offsets) coverage::hit(*map, offset);
  return {std::begin(map->edges), std::end(map->edges)};
}

TEST(Coverage, EdgesFollowTheOrderOfLocationsAndCountUpTo255) {
  // The index of a step is the location xor the previous location shifted by one.
  auto map = emptyMap();
  coverage::hit(*map, 0x1000);
  const std::uint32_t a = coverage::location(0x1000);
  const std::uint32_t b = coverage::location(0x2000);
  EXPECT_EQ(map->edges[coverage::edgeOf(0, a)], 1);
  EXPECT_EQ(map->previous, a >> 1);
  coverage::hit(*map, 0x2000);
  EXPECT_EQ(map->edges[coverage::edgeOf(a >> 1, b)], 1);
  // Nearby offsets spread over the map rather than landing side by side.
  EXPECT_GT(coverage::location(0x1001) ^ coverage::location(0x1000), 1u);
  EXPECT_LT(coverage::location(0xFFFFFFFF), coverage::kEdges);
  // A then B is another edge than B then A; the same run gives the same map.
  EXPECT_NE(run({0x1000, 0x2000}), run({0x2000, 0x1000}));
  EXPECT_EQ(run({0x1000, 0x2000, 0x1000}), run({0x1000, 0x2000, 0x1000}));
  // A loop's counter stops at 255 instead of wrapping to 0, which would read as not taken.
  std::vector<std::uint64_t> loop(600, 0x3000);
  const std::vector<std::uint8_t> edges = run(loop);
  const std::uint32_t self = coverage::location(0x3000);
  EXPECT_EQ(edges[coverage::edgeOf(self >> 1, self)], 255);
}

TEST(Coverage, HitCountClassesAndWhatIsNew) {
  const struct {
    int from, to;
    std::uint8_t bucket;
  } classes[] = {{0, 0, 0},   {1, 1, 1},    {2, 2, 2},     {3, 3, 4},      {4, 7, 8},
                 {8, 15, 16}, {16, 31, 32}, {32, 127, 64}, {128, 255, 128}};
  for (const auto& c : classes) {
    for (int n = c.from; n <= c.to; ++n)
      EXPECT_EQ(coverage::bucket(static_cast<std::uint8_t>(n)), c.bucket) << n;
  }
  std::vector<std::uint8_t> virgin(coverage::kEdges, 0xFF);
  std::vector<std::uint8_t> edges(coverage::kEdges, 0);
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), true), News::None);
  edges[7] = 5;
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), false), News::Edge);
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), true), News::Edge);
  // Seen once, the same counts are nothing new, nor are others of the same class.
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), true), News::None);
  edges[7] = 6;
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), true), News::None);
  // Another class of a known edge is new, but less so than a new edge.
  edges[7] = 9;
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), false), News::Bucket);
  edges[8] = 1;
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), true), News::Edge);
  EXPECT_EQ(coverage::newsOf(edges.data(), virgin.data(), false), News::None);
}

TEST(Coverage, ASiteKeepsItsLastOperandPairs) {
  auto map = emptyMap();
  for (std::uint64_t i = 1; i <= 6; ++i)
    coverage::compare(*map, 0x4000, coverage::Kind::Cmp, 4, i, 100 + i);
  const coverage::Site& site = map->sites[coverage::location(0x4000) & (coverage::kSites - 1)];
  EXPECT_EQ(site.pc, 0x4000u);
  EXPECT_EQ(site.size, 4);
  EXPECT_EQ(site.hits, 6u);
  // The newest pair sits at (hits - 1) % kPairs, the older ones before it.
  EXPECT_EQ(site.pairs[(site.hits - 1) % coverage::kPairs].a, 6u);
  EXPECT_EQ(site.pairs[(site.hits - 1) % coverage::kPairs].b, 106u);
  EXPECT_EQ(site.pairs[(site.hits - 4) % coverage::kPairs].a, 3u);
}

}  // namespace
