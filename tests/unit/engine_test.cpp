// The engine (the estimation loop's known runs are end-to-end rows): every vector
// path and every thread count against the point-by-point loop, block by block, and
// the kernel at the AVX-512 paths' width in plain vector code that any processor
// runs (16 lanes, an odd number of groups in a block, 8-bit lane masks, the 52-bit
// multiply-adds). The filters where they are easiest to get wrong: the margin at
// the points nearest the circle, the coarse test's bounds at the states and
// fractions that put a point furthest from what it sees. The choice of path by
// timings from a fake clock. The generator's period in blocks, and the
// reuse of tallies past it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// 64-byte vectors passed by value change the calling convention without AVX-512;
// every function that passes them is internal to this file.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "engine/block_counter.h"
#include "engine/block_filter.h"
#include "engine/block_kernel.h"
#include "engine/path_choice.h"
#include "platform/engine_calls.h"
#include "estimator/estimation.h"
#include "runtime/random_jump.h"
#include "runtime/random_source.h"

// A request the allocator cannot meet gets a null pointer under AddressSanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace dartcirc::testing {
namespace {

// Every vector path there is; the tests skip those the machine lacks.
const VectorPath Paths[] = {VectorPath::Baseline, VectorPath::Avx2, VectorPath::Avx512F,
                            VectorPath::Avx512Ifma};

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }
};

// Blocks come in order whatever the path and the threads, each counted as the
// point-by-point loop counts it; a failure while one is taken stops the run.
TEST_F(Engine, EverySettingCountsTheBlocksInOrder) {
  for (std::int32_t radius : {5, 1105, 46340, 1 << 20, 2147483647}) {
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    std::vector<std::int64_t> expected;
    RandomState = 123456789;
    for (int block = 0; block < 100; ++block) expected.push_back(CountBlockPointByPoint(radius, SquareOfRadius(radius)));
    for (VectorPath path : Paths) {
      for (int threads : {1, 2, 3, 8}) {
        if (!MachineHasPath(path)) continue;
        std::vector<std::int64_t> counted;
        CountBlocksInOrder(123456789, filter, 100, {path, threads}, [&](const BlockTally& tally) { counted.push_back(tally.inside); });
        EXPECT_EQ(counted, expected) << radius << " path " << static_cast<int>(path) << " threads " << threads;
        int taken = 0;  // blocks enough for years, and the third one fails
        EXPECT_THROW(CountBlocksInOrder(0, filter, std::int64_t{1} << 50, {path, threads},
                                        [&](const BlockTally&) { if (++taken == 3) throw 6; }), int);
        EXPECT_EQ(taken, 3);
      }
    }
  }
}

// A worker that got a whole window ahead sleeps until a batch of blocks is handed
// out, and is woken each time: else the run would never end.
TEST_F(Engine, WorkerAheadByAWindowIsWokenEveryTime) {
  for (int threads : {2, 3, 2, 3}) {
    std::int64_t handedOut = 0;
    CountBlocksInOrder(0, FilterFor(1, 1), 5000, {MachinePaths().front(), threads}, [&](const BlockTally&) {
      if (++handedOut % 256 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_EQ(handedOut, 5000);
  }
}

// The state before block P, found by jumping ahead to the last block of the period
// and drawing it, is the state before block 0; half the period is not a period.
TEST(GeneratorPeriod, StatesBeforeBlocksRepeatAfterOnePeriod) {
  const auto drawsBefore = [](std::int64_t block) { return static_cast<std::uint64_t>(block) * 4 * BlockSize; };
  for (std::uint32_t first : {0u, 1u, 123456789u, 4294967295u}) {
    RandomState = Advance(first, StepsAhead(drawsBefore(GeneratorPeriodBlocks - 1)));
    for (int draw = 0; draw < 4 * BlockSize; ++draw) DrawBelow(1000);
    EXPECT_EQ(RandomState, first);
    EXPECT_NE(Advance(first, StepsAhead(drawsBefore(GeneratorPeriodBlocks / 2))), first);
  }
}

// With a period of 37 blocks put in, each block from the 37th on gets the inside
// count of its block mod 37 as every block counted gives it, on one or several
// threads, for runs that end within the second period and after several; a failure
// past the first period stops the run. A period whose memory cannot be had is no
// error: the blocks are counted.
TEST_F(Engine, BlocksPastAPeriodTakeTheTallyOfTheirFirstTime) {
  constexpr std::int64_t period = 37;
  const BlockFilter filter = FilterFor(1000, SquareOfRadius(1000));
  std::vector<std::int64_t> counted;
  CountBlocksInOrder(99, filter, 3 * period + 5, {MachinePaths().front(), 2, 0}, [&](const BlockTally& tally) { counted.push_back(tally.inside); });
  for (int threads : {1, 3}) {
    for (std::int64_t blocks : {period + 1, period + 13, 3 * period + 5}) {
      std::vector<std::int64_t> handedOut;
      CountBlocksInOrder(99, filter, blocks, {MachinePaths().front(), threads, period}, [&](const BlockTally& tally) { handedOut.push_back(tally.inside); });
      ASSERT_EQ(handedOut.size(), static_cast<std::size_t>(blocks));
      for (std::int64_t k = 0; k < blocks; ++k) EXPECT_EQ(handedOut[k], counted[k % period]) << threads << " threads, block " << k;
    }
    int taken = 0;
    EXPECT_THROW(CountBlocksInOrder(99, filter, 3 * period, {MachinePaths().front(), threads, period},
                                    [&](const BlockTally&) { if (++taken == period + 2) throw 6; }), int);
    EXPECT_EQ(taken, period + 2);
    std::vector<std::int64_t> unkept;  // 2^62 bytes to keep
    EXPECT_THROW(CountBlocksInOrder(99, filter, std::int64_t{1} << 62, {MachinePaths().front(), threads, std::int64_t{1} << 61},
                                    [&](const BlockTally& tally) { unkept.push_back(tally.inside); if (unkept.size() == 40) throw 6; }), int);
    EXPECT_EQ(unkept, std::vector<std::int64_t>(counted.begin(), counted.begin() + 40));
  }
}

// The estimate against the x87's own quotient of the counts, each converted exactly,
// up to the largest trial count: 2^61 inside and more, and at R = 1 every point.
TEST_F(Engine, RunningEstimateIsExactUpToTheLargestTrialCount) {
  if (std::numeric_limits<long double>::digits != 64) GTEST_SKIP() << "no x87 to compare with";
  const std::int64_t last = std::numeric_limits<std::int64_t>::max() / BlockSize + 1;
  const std::uint64_t points = static_cast<std::uint64_t>(last) * BlockSize, top = std::uint64_t{1} << 61;
  for (const auto& [inside, blocks] : {std::pair{std::uint64_t{23533}, std::int64_t{3}}, {top, last}, {top + 1, last},
                                        {top * 4, last}, {points / 4 * 3 + 1, last}, {points - 1, last}, {points, last}}) {
    const long double quotient = static_cast<long double>(inside) * 4 / static_cast<long double>(blocks * 10000ull);
    const Extended estimate = RunningEstimate(inside, blocks);  // either format: significand, then sign and exponent
    EXPECT_EQ(std::memcmp(&estimate, &quotient, 10), 0) << inside << " / " << blocks;
  }
}

// For points a / R, b / R around the circle, a^2 + b^2 near R^4: a verdict of the
// filter, with or without fused multiply-adds, never contradicts the exact test,
// and points on the circle take the exact test.
TEST_F(Engine, FilterMarginHoldsAtThePointsNearestTheCircle) {
  using Wide = unsigned __int128;
  for (std::int32_t radius : {5, 25, 65, 325, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    const std::uint64_t side = std::uint64_t(radius) * std::uint64_t(radius), step = side > 2000000 ? side / 997 : 1;
    for (std::uint64_t a = step / 2; a < side; a += step) {
      const Wide rest = Wide{side} * side - Wide{a} * a;
      auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(rest)));
      while (Wide{root} * root > rest) --root;
      while (Wide{root + 1} * (root + 1) <= rest) ++root;
      for (std::uint64_t b = root > 0 ? root - 1 : 0; b <= root + 1 && b < side; ++b) {
        const PointDraws p{std::int32_t(a % radius), std::int32_t(a / radius),
                           std::int32_t(b % radius), std::int32_t(b / radius)};
        const double r = filter.reciprocal, x = p.integerX + p.fractionX * r, y = p.integerY + p.fractionY * r;
        const double fx = std::fma(p.fractionX, r, p.integerX), fy = std::fma(p.fractionY, r, p.integerY);
        const bool exact = IsInsideExactly(p, filter), onCircle = Wide{a} * a + Wide{b} * b == Wide{side} * side;
        for (double square : {x * x + y * y, std::fma(fx, fx, fy * fy)}) {
          EXPECT_TRUE(square > filter.surelyInside || (exact && !onCircle)) << radius << ": " << a << ", " << b;
          EXPECT_TRUE(square <= filter.surelyOutside || !exact) << radius << ": " << a << ", " << b;
        }
      }
    }
  }
}

TEST(CoarseBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {64, 100, 1000, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const auto state = [&](std::int64_t draw, int last) {  // the first or the last state giving the draw
      return static_cast<std::uint32_t>((((draw + last) << 32) + radius - 1) / radius - last);
    };
    int decided[2] = {0, 0};
    for (std::int64_t j = 0; j < radius; j += std::max<std::int64_t>(1, radius / 300)) {
      for (double bound : {filter.coarse.surelyInside, filter.coarse.surelyOutside}) {
        // the draws of y next to where w meets the bound
        const auto l0 = static_cast<std::int64_t>(std::sqrt(std::max(bound * std::pow(radius * 0x1p-31, 2) - double(j * j), 0.0)));
        for (std::int64_t l = std::max<std::int64_t>(l0 - 2, 0); l <= std::min(l0 + 2, radius - 1); ++l) {
          for (auto fraction : {0, static_cast<std::int32_t>(radius - 1)}) {
            const bool inside = IsInsideExactly({fraction, std::int32_t(j), fraction, std::int32_t(l)}, filter);
            for (int k = 0; k < 8; ++k) {  // either state of each draw, w computed fused or not
              const float u = static_cast<float>(state(j, k & 1) >> 1), v = static_cast<float>(state(l, k >> 1 & 1) >> 1);
              const float w = k >= 4 ? std::fma(u, u, v * v) : u * u + v * v;
              const int verdict = w <= filter.coarse.surelyInside ? 1 : w > filter.coarse.surelyOutside ? 0 : -1;  // or neither
              EXPECT_TRUE(verdict < 0 || (verdict == 1) == inside) << radius << ": " << j << ", " << l;
              if (verdict >= 0) ++decided[verdict];
            }
          }
        }
      }
    }
    EXPECT_TRUE(decided[0] > 0 && decided[1] > 0) << radius;
  }
}

struct SixteenLanes {
  static constexpr int Bytes = 64;
  using Vectors = VectorsOf<Bytes>;
  static Vectors::Wide MultiplyLowHalves(Vectors::Wide a, Vectors::Wide b) { return (a & 0xFFFFFFFFu) * (b & 0xFFFFFFFFu); }
  static Vectors::Words MultiplyWords(Vectors::Words a, std::uint32_t m) { return a * m; }
  static unsigned LaneBits(Vectors::Masks m) {
    unsigned bits = 0;
    for (int i = 0; i < 8; ++i) bits |= unsigned{m[i] != 0} << i;
    return bits;
  }
  static bool AnyLane(Vectors::Masks m) { return LaneBits(m) != 0; }
  static unsigned LanesAtMost(Vectors::Reals a, Vectors::Reals b) { return LaneBits(a <= b); }
};

// The same with the 52-bit multiply-adds and compares into masks, as the IFMA path.
struct SixteenLanesMultiplyAdd52 : SixteenLanes {
  static unsigned SinglesAtMost(Vectors::Singles a, Vectors::Singles b) {
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i) bits |= unsigned{a[i] <= b[i]} << i;
    return bits;
  }
  static Vectors::Integers MinusOneIn(Vectors::Integers counts, unsigned lanes) {
    for (int i = 0; i < 16; ++i) counts[i] -= (lanes >> i) & 1;
    return counts;
  }
  static Vectors::Wide MultiplyAdd52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b, int shift) {
    constexpr std::uint64_t low52 = (std::uint64_t{1} << 52) - 1;
    for (int i = 0; i < 8; ++i) c[i] += (static_cast<unsigned __int128>(a[i] & low52) * (b[i] & low52) >> shift) & low52;
    return c;
  }
  static Vectors::Wide MultiplyAddLow52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) { return MultiplyAdd52(c, a, b, 0); }
  static Vectors::Wide MultiplyAddHigh52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) { return MultiplyAdd52(c, a, b, 52); }
};

// Each block counted by every path the machine has, and by the kernel at 16 lanes.
TEST_F(Engine, EveryPathCountsEachBlockAsThePointByPointLoop) {
  std::vector<std::int32_t> radii{325, 1000, 1105, 46340, 46341, 1 << 20, 94906267, 134217727, 2147483647};
  for (std::int32_t radius = 1; radius <= 65; ++radius) radii.push_back(radius);
  std::uint32_t state = 4294967295u;
  for (std::int32_t radius : radii) {
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    for (int n = 0; n < 3; ++n) {
      RandomState = state = state * 2891336453u + 0x9E3779B9u;  // states far apart
      const std::int64_t expected = CountBlockPointByPoint(radius, SquareOfRadius(radius));
      EXPECT_EQ(CountBlockWith<SixteenLanes>(state, filter).inside, expected) << radius;
      EXPECT_EQ(CountBlockWith<SixteenLanesMultiplyAdd52>(state, filter).inside, expected) << radius;
      for (VectorPath path : Paths) {
        EXPECT_TRUE(!MachineHasPath(path) || CountBlock(path, state, filter).inside == expected) << radius;
      }
    }
  }
}

// The choice among four candidates, all the baseline so that only the timings tell
// them apart, by a clock that gives the timings in the order they are taken (each
// candidate in turn, round after round); a negative timing is a clock that cannot
// be read.
std::size_t ChoiceOf(const std::vector<std::int64_t>& timings) {
  const std::vector<VectorPath> candidates(4, VectorPath::Baseline);
  std::int64_t now = 1000;
  std::size_t reads = 0;
  return QuickestPath(candidates, FilterFor(1000, 1e6), [&] {
    const std::int64_t timing = timings.at(reads++ / 2);
    return timing < 0 ? -1 : reads % 2 == 0 ? now += timing : now;
  });
}

TEST(PathChoice, TakesTheLeastTimingEvenPastAnOutlierElseTheFixedOrder) {
  for (std::size_t fastest = 0; fastest < 4; ++fastest) {
    std::vector<std::int64_t> timings(12, 5000);
    for (int round = 0; round < 3; ++round) timings[round * 4 + fastest] = 4000 + round;
    EXPECT_EQ(ChoiceOf(timings), fastest);
    timings[4 + fastest] = 90000000;  // one round disturbed
    EXPECT_EQ(ChoiceOf(timings), fastest);
    const std::size_t next = (fastest + 1) % 4;  // the least timing counts, not the mean
    timings[next] = 3000, timings[4 + next] = timings[8 + next] = 9000, timings[4 + fastest] = 4001;
    EXPECT_EQ(ChoiceOf(timings), next);
    timings[fastest] = timings[4 + fastest] = timings[8 + fastest] = 0;  // never timed
    EXPECT_EQ(ChoiceOf(timings), 0u);
  }
  EXPECT_EQ(ChoiceOf(std::vector<std::int64_t>(12, -1)), 0u);
  const std::int64_t before = SteadyNanoseconds();  // the real clock counts nanoseconds forward
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GE(SteadyNanoseconds() - before, 2000000);
}

}  // namespace
}  // namespace dartcirc::testing
