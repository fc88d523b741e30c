#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimator/estimation.h"
#include "estimator/run_variables.h"
#include "runtime/random_source.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

std::uint32_t StateAfterDraws(std::size_t draws) {
  std::uint32_t state = 0;
  while (draws-- > 0) state = state * RandomMultiplier + RandomIncrement;
  return state;
}

class Estimation : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }

  // Runs the loop from RandomState 0 and gives the lines written.
  std::vector<std::string> Run(std::int32_t radius, std::int64_t trials) {
    testing::ResetRuntimeState();
    scope_.fake.writes.clear();
    RandomState = 0;
    Radius = radius;
    RadiusSquared = SquareOfRadius(radius);
    TrialsLeft = trials;
    InsideCount = 0;
    BlockCount = 0;
    RunEstimation();
    std::vector<std::string> lines;
    for (const testing::FakeWrite& write : scope_.fake.writes) lines.push_back(write.bytes);
    return lines;
  }

  testing::FakePlatformScope scope_;
};

TEST_F(Estimation, InsideCountsOfTheFirstBlocksFromStateZero) {
  const struct {
    std::int32_t radius;
    std::vector<std::int64_t> inside;
  } cases[] = {
      {1000, {7856, 15671, 23533}}, {3, {8777}}, {5, {8208}}, {46340, {7858}}, {2, {9352, 18710}},
      {1, {10000, 20000}},
  };
  for (const auto& c : cases) {
    RandomState = 0;
    std::int64_t inside = 0;
    for (std::int64_t expected : c.inside) {
      inside += CountBlockPointByPoint(c.radius, SquareOfRadius(c.radius));
      EXPECT_EQ(inside, expected) << c.radius;
    }
  }
}

TEST_F(Estimation, ProgressLinesFromStateZero) {
  const struct {
    std::int32_t radius;
    std::vector<std::string> lines;
    std::int64_t inside;
  } cases[] = {
      {1000, {"3.14240000\r\n", "3.13420000\r\n", "3.13773333\r\n"}, 23533},
      {3, {"3.51080000\r\n"}, 8777},
      {5, {"3.28320000\r\n"}, 8208},
      {46340, {"3.14320000\r\n"}, 7858},
      {2, {"3.74080000\r\n", "3.74200000\r\n"}, 18710},
      {1, {"4.00000000\r\n", "4.00000000\r\n", "4.00000000\r\n"}, 30000},
  };
  for (const auto& c : cases) {
    const auto blocks = static_cast<std::int64_t>(c.lines.size());
    EXPECT_EQ(Run(c.radius, blocks * 10000), c.lines) << c.radius;
    EXPECT_EQ(InsideCount, c.inside);
    EXPECT_EQ(BlockCount, blocks);
    EXPECT_EQ(TrialsLeft, 0);
  }
}

TEST_F(Estimation, OneLinePerStartedBlock) {
  const struct {
    std::int64_t trials;
    std::size_t lines;
    std::int64_t trialsLeft;
  } cases[] = {{1, 1, -9999}, {10000, 1, 0}, {10001, 2, -9999}, {15000, 2, -5000}};
  for (const auto& c : cases) {
    EXPECT_EQ(Run(1000, c.trials).size(), c.lines) << c.trials;
    EXPECT_EQ(TrialsLeft, c.trialsLeft);
    EXPECT_EQ(RandomState, StateAfterDraws(40000 * c.lines));
  }
}

TEST_F(Estimation, EveryBlockDrawsFortyThousandTimes) {
  for (std::int32_t radius : {1, 5, 1000, 2147483647}) {
    RandomState = 0;
    CountBlockPointByPoint(radius, SquareOfRadius(radius));
    EXPECT_EQ(RandomState, 1347873728u) << radius;
  }
}

TEST_F(Estimation, PointOnTheCircleIsInside) {
  const Extended twentyFive = ExtendedFromDouble(SquareOfRadius(5));
  EXPECT_TRUE(IsInside(3, 4, twentyFive));
  EXPECT_FALSE(IsInside(3, std::nextafter(4.0, 5.0), twentyFive));  // one step beyond
}

TEST_F(Estimation, LargeRadiiStillApproachPi) {
  for (std::int32_t radius : {46341, 65536, 2147483647}) {
    const std::vector<std::string> lines = Run(radius, 50000);
    ASSERT_EQ(lines.size(), 5u);
    const double last = std::stod(lines.back());
    EXPECT_GT(last, 3.0) << radius;
    EXPECT_LT(last, 3.3) << radius;
  }
}

TEST_F(Estimation, SquareOfRadiusNeverWraps) {
  EXPECT_EQ(SquareOfRadius(46340), 2147395600.0);
  EXPECT_EQ(SquareOfRadius(46341), 2147488281.0);
  EXPECT_EQ(SquareOfRadius(65536), 4294967296.0);
  // (2^31 - 1)^2 = 2^62 - 2^32 + 1, whose nearest double is 2^62 - 2^32.
  EXPECT_EQ(SquareOfRadius(2147483647), 4611686014132420608.0);
}

TEST_F(Estimation, DenominatorIsThePointsDrawnBeyondThirtyTwoBits) {
  // Block 268,435,456 is where a 32-bit denominator would wrap to 0.
  const Extended estimate = RunningEstimate(2108287140000, 268435456);
  EXPECT_GT(RoundToDouble(estimate), 3.14);
  EXPECT_LT(RoundToDouble(estimate), 3.15);
}

}  // namespace
}  // namespace dartcirc
