// A level's fuzz target in process: its body, inputverdict::judgeBytes, in a loop over the
// given inputs for a second; prints the judgments per second (bench/judge_bench.py runs it).
//   judge_loop LEVEL FRAMES   (FRAMES: the inputs framed as the judge's batch mode reads them)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "byte_order.h"
#include "input_verdict.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int level = std::atoi(argv[1]);
  std::ifstream in(argv[2], std::ios::binary);
  const std::vector<std::uint8_t> all{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::pair<std::size_t, std::uint32_t>> inputs;  // where each starts, its length
  for (std::size_t at = 0; at + 4 <= all.size(); at += 4 + inputs.back().second) {
    inputs.emplace_back(at + 4, byteorder::littleEndian32(all.data() + at));
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  std::uint64_t judged = 0, passed = 0;
  double seconds = 0;
  for (; seconds < 1; seconds = std::chrono::duration<double>(Clock::now() - start).count()) {
    for (const auto& [at, length] : inputs) {
      passed += inputverdict::judgeBytes(level, all.data() + at, length).passed() ? 1 : 0;
    }
    judged += inputs.size();
  }
  std::printf("%.0f judgments per second (%llu passes)\n", static_cast<double>(judged) / seconds,
              static_cast<unsigned long long>(passed));
  return 0;
}
