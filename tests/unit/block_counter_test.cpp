// The engine against the point-by-point loop: the lines, the run variables and the
// generator state after a run, on every path and thread count; the order of the
// tallies across the window; and how a run stops.
#include "engine/block_counter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/block_filter.h"
#include "estimator/estimation.h"
#include "estimator/run_variables.h"
#include "runtime/fixed_real_output.h"
#include "runtime/random_source.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::int64_t ManyTrials = 200000;
#else
constexpr std::int64_t ManyTrials = 1000000;
#endif

struct Outcome {
  std::vector<std::string> lines;
  std::int64_t inside;
  std::int64_t blocks;
  std::int64_t trialsLeft;
  std::uint32_t state;

  bool operator==(const Outcome&) const = default;
};

std::string LineOf(std::int64_t inside, std::int64_t blocks) {
  ShortText text;
  FormatFixedReal(RunningEstimate(inside, blocks), 10, 8, text);
  return std::string(text.View()) + "\r\n";
}

Outcome PointByPointRun(std::int32_t radius, std::int64_t trials, std::uint32_t state) {
  Outcome outcome{{}, 0, 0, trials, state};
  RandomState = state;
  while (outcome.trialsLeft > 0) {
    outcome.inside += CountBlockPointByPoint(radius, SquareOfRadius(radius));
    ++outcome.blocks;
    outcome.lines.push_back(LineOf(outcome.inside, outcome.blocks));
    outcome.trialsLeft -= BlockSize;
  }
  outcome.state = RandomState;
  return outcome;
}

void StartRun(std::int32_t radius, std::int64_t trials, std::uint32_t state) {
  RandomState = state;
  Radius = radius;
  RadiusSquared = SquareOfRadius(radius);
  TrialsLeft = trials;
  InsideCount = 0;
  BlockCount = 0;
}

std::vector<std::string> LinesWritten(const testing::FakePlatform& fake) {
  std::vector<std::string> lines;
  for (const testing::FakeWrite& write : fake.writes) {
    if (!write.failed) lines.push_back(write.bytes);
  }
  return lines;
}

std::vector<EngineSetting> SettingsOfThisMachine() {
  std::vector<EngineSetting> settings;
  for (VectorPath path : {VectorPath::Baseline, VectorPath::Avx2, VectorPath::Avx512F,
                           VectorPath::Avx512Ifma}) {
    if (!MachineHasPath(path)) continue;
    for (int threads : {1, 2, 4}) settings.push_back({path, threads});
  }
  return settings;
}

class BlockCounter : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }

  Outcome EngineRun(std::int32_t radius, std::int64_t trials, std::uint32_t state,
                    EngineSetting setting) {
    testing::ResetRuntimeState();
    scope_.fake.writes.clear();
    StartRun(radius, trials, state);
    RunEstimationWith(setting);
    return {LinesWritten(scope_.fake), InsideCount, BlockCount, TrialsLeft, RandomState};
  }

  testing::FakePlatformScope scope_;
};

TEST_F(BlockCounter, RunsAsThePointByPointLoopOnEveryPathAndThreadCount) {
  const struct {
    std::int32_t radius;
    std::int64_t trials;
    std::uint32_t state;
  } runs[] = {
      {1000, 30000, 0},      {1, 10000, 7},           {5, 10001, 45296789},
      {25, 15000, 86399999}, {1105, 1, 4294967295u},  {46340, ManyTrials - 1, 123456789},
      {46341, 345678, 1},    {1 << 20, 250000, 2024}, {2147483647, ManyTrials + 1, 3000000000u},
  };
  for (const auto& run : runs) {
    const Outcome expected = PointByPointRun(run.radius, run.trials, run.state);
    for (EngineSetting setting : SettingsOfThisMachine()) {
      EXPECT_EQ(EngineRun(run.radius, run.trials, run.state, setting), expected)
          << "radius " << run.radius << " trials " << run.trials << " path "
          << static_cast<int>(setting.path) << " threads " << setting.threads;
    }
  }
}

TEST_F(BlockCounter, TalliesComeInBlockOrderAcrossManyWindows) {
  constexpr std::int32_t radius = 65;
  constexpr std::int64_t blocks = ManyTrials / BlockSize * 4;
  const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
  RandomState = 99;
  std::vector<std::int64_t> expected;
  for (std::int64_t block = 0; block < blocks; ++block) {
    expected.push_back(CountBlockPointByPoint(radius, SquareOfRadius(radius)));
  }
  for (int threads : {2, 3, 8}) {
    std::vector<std::int64_t> counted;
    CountBlocksInOrder(99, filter, blocks, {FastestPath(), threads},
                       [&](const BlockTally& tally) { counted.push_back(tally.inside); });
    EXPECT_EQ(counted, expected) << threads;
  }
}

TEST_F(BlockCounter, ThrowingFromABlockStopsTheWorkers) {
  const BlockFilter filter = FilterFor(1000, SquareOfRadius(1000));
  std::int64_t calls = 0;
  EXPECT_THROW(
      CountBlocksInOrder(0, filter, std::numeric_limits<std::int64_t>::max(), {FastestPath(), 4},
                         [&](const BlockTally&) {
                           if (++calls == 3) throw std::runtime_error("stop");
                         }),
      std::runtime_error);
  EXPECT_EQ(calls, 3);
}

TEST_F(BlockCounter, FailedWriteEndsTheRunAfterItsLine) {
  const Outcome expected = PointByPointRun(1000, 60000, 5);
  scope_.fake.writeError = ErrorNoData;
  scope_.fake.failingWriteFrom = 5;
  StartRun(1000, ManyTrials * 100, 5);
  EXPECT_THROW(RunEstimationWith(MachineEngineSetting()), testing::FakeProcessExit);
  EXPECT_EQ(LinesWritten(scope_.fake),
            std::vector<std::string>(expected.lines.begin(), expected.lines.begin() + 5));
  EXPECT_EQ(BlockCount, 6);
  EXPECT_EQ(InsideCount, expected.inside);
  EXPECT_EQ(RandomState, expected.state);
}

TEST_F(BlockCounter, LargestTrialCountRunsBlocks) {
  // Rounding the trial count up to whole blocks must not overflow.
  scope_.fake.writeError = ErrorNoData;
  scope_.fake.failingWriteFrom = 2;
  StartRun(1000, std::numeric_limits<std::int64_t>::max(), 0);
  EXPECT_THROW(RunEstimationWith(MachineEngineSetting()), testing::FakeProcessExit);
  EXPECT_EQ(LinesWritten(scope_.fake),
            (std::vector<std::string>{"3.14240000\r\n", "3.13420000\r\n"}));
  EXPECT_EQ(TrialsLeft, std::numeric_limits<std::int64_t>::max() - 2 * BlockSize);
}

}  // namespace
}  // namespace dartcirc
