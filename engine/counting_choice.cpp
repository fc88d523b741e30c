#include "engine/counting_choice.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/engine_calls.h"

namespace dartcirc {

namespace {

constexpr VectorPath FixedOrder[] = {VectorPath::Avx512Ifma, VectorPath::Avx512F, VectorPath::Avx2,
                                     VectorPath::Baseline};

// Each candidate is timed this often, in turns, so that a disturbance (another
// process, a core waking up its wide units) spoils one timing, not one candidate;
// the least timing counts. A timing is one block, a few microseconds on the fastest
// candidate, long beside the clock's own cost; each round's block starts from a
// state of its own, not the run's (whose tallies the run counts itself), the same
// for every candidate.
constexpr int TimingRounds = 3;

}  // namespace

std::string_view PathName(VectorPath path) {
  constexpr std::string_view names[] = {"baseline", "avx2", "avx512f", "avx512ifma"};
  return names[static_cast<int>(path)];
}

std::vector<VectorPath> MachinePaths() {
  std::vector<VectorPath> paths;
  for (VectorPath path : FixedOrder) {
    if (MachineHasPath(path)) paths.push_back(path);
  }
  return paths;
}

std::string_view MethodName(BlockMethod method) {
  constexpr std::string_view names[] = {"grid", "fractions", "coarse"};
  return names[static_cast<int>(method)];
}

// Up to here the grid test is the fastest method, as measured on processors with
// AVX-512 and AVX2; beyond, the coarse test is, or the fraction test by a little.
constexpr std::int32_t GridFastestUpTo = 128;

std::vector<BlockMethod> MethodsFor(const BlockFilter& filter) {
  using enum BlockMethod;
  std::vector<BlockMethod> order = filter.radius <= GridFastestUpTo ? std::vector{Grid, Fractions, CoarseFirst}
                                                                    : std::vector{CoarseFirst, Fractions, Grid};
  std::erase_if(order, [&](BlockMethod method) { return !MethodApplies(method, filter); });
  return order;
}

std::size_t QuickestCounting(std::span<const BlockCounting> candidates, const BlockFilter& filter,
                             const std::function<std::int64_t()>& clock) {
  constexpr std::int64_t untimed = std::numeric_limits<std::int64_t>::max();
  std::vector<std::int64_t> least(candidates.size(), untimed);
  for (int round = 0; round < TimingRounds && candidates.size() > 1; ++round) {
    const std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(round + 1);
    for (std::size_t n = 0; n < candidates.size(); ++n) {
      const std::int64_t start = clock();
      CountBlock(candidates[n], state, filter);
      const std::int64_t end = clock();
      if (start >= 0 && end > start) least[n] = std::min(least[n], end - start);
    }
  }
  if (std::ranges::find(least, untimed) != least.end()) return 0;
  return std::ranges::min_element(least) - least.begin();
}

BlockCounting CountingForRun(const BlockFilter& filter, std::int64_t blocksPerThread) {
  std::vector<VectorPath> paths = MachinePaths();
  if (const std::string_view forced = ForcedEnginePath(); !forced.empty()) {
    const auto named = std::ranges::find(paths, forced, PathName);
    if (named != paths.end()) {
      paths = {*named};
    } else {
      std::string line = "dartcirc: DARTCIRC_ENGINE_PATH ignored; this processor's paths are";
      for (VectorPath path : paths) line.append(" ").append(PathName(path));
      WriteErrorLine(line);
    }
  }
  std::vector<BlockCounting> candidates;
  for (VectorPath path : paths) {
    for (BlockMethod method : MethodsFor(filter)) candidates.push_back({path, method});
  }
  if (blocksPerThread < MeasuringPaysFromBlocks) return candidates.front();
  return candidates[QuickestCounting(candidates, filter, SteadyNanoseconds)];
}

}  // namespace dartcirc
