// The estimation loop (its known runs from random state 0 are end-to-end rows): every
// vector path, block by block, and every engine setting, run by run, against the
// point-by-point loop. The filters where they are easiest to get wrong: the margin
// at the points nearest the circle, the coarse test's bounds at the states and
// fractions that put a point furthest from what it sees, and the block kernel at
// the AVX-512 paths' width in plain vector code that any processor runs (16 lanes,
// an odd number of groups in a block, 8-bit lane masks).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// 64-byte vectors passed by value change the calling convention without AVX-512;
// every function that passes them is internal to this file.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "engine/block_counter.h"
#include "engine/block_filter.h"
#include "engine/block_kernel.h"
#include "estimator/estimation.h"
#include "estimator/run_variables.h"
#include "runtime/fixed_real_output.h"
#include "runtime/random_source.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

// Every vector path there is; the tests skip those the machine lacks.
const VectorPath Paths[] = {VectorPath::Baseline, VectorPath::Avx2, VectorPath::Avx512F,
                            VectorPath::Avx512Ifma};

#if defined(__SANITIZE_ADDRESS__)
constexpr std::int64_t ManyTrials = 200000;
#else
constexpr std::int64_t ManyTrials = 1000000;
#endif

struct Outcome {
  std::vector<std::string> lines;
  std::int64_t inside, blocks, trialsLeft;
  std::uint32_t state;
  bool operator==(const Outcome&) const = default;
};

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }

  // The loop run through the fake from the given state: with a setting, by the
  // engine; without, block after block by the point-by-point loop.
  Outcome Run(std::int32_t radius, std::int64_t trials, std::uint32_t state, const EngineSetting* setting) {
    ResetRuntimeState();
    scope_.fake.writes.clear();
    RandomState = state;
    Radius = radius;
    RadiusSquared = SquareOfRadius(radius);
    TrialsLeft = trials;
    InsideCount = BlockCount = 0;
    try {
      if (setting != nullptr) RunEstimationWith(*setting);
      for (; setting == nullptr && TrialsLeft > 0; TrialsLeft -= BlockSize) {
        InsideCount += CountBlockPointByPoint(radius, RadiusSquared);
        EndOutputLine(WriteFixedReal(ConsoleOut, 10, 8, RunningEstimate(InsideCount, ++BlockCount)));
        CheckIoResult();
      }
    } catch (const FakeProcessExit&) {
    }
    std::vector<std::string> lines;
    for (const FakeWrite& write : scope_.fake.writes) lines.push_back(write.failed ? "failed" : write.bytes);
    return {lines, InsideCount, BlockCount, TrialsLeft, RandomState};
  }

  FakePlatformScope scope_;
};

// Writes fail from the sixth line on in the last run: it ends after that line.
TEST_F(Engine, EverySettingRunsAsThePointByPointLoop) {
  const struct {
    std::int32_t radius;
    std::int64_t trials;
    std::uint32_t state;
  } runs[] = {{5, 10001, 45296789},        {1105, 1, 4294967295u},  {46340, ManyTrials - 1, 123456789},
              {1 << 20, 250000, 2024},     {2147483647, ManyTrials + 1, 3000000000u},
              {1000, std::numeric_limits<std::int64_t>::max(), 5}};
  for (const auto& run : runs) {
    scope_.fake.writeError = run.trials == std::numeric_limits<std::int64_t>::max() ? ErrorNoData : 0;
    scope_.fake.failingWriteFrom = 5;
    const Outcome expected = Run(run.radius, run.trials, run.state, nullptr);
    for (VectorPath path : Paths) {
      for (int threads : {1, 2, 3, 8}) {
        const EngineSetting setting{path, threads};
        EXPECT_TRUE(!MachineHasPath(path) || Run(run.radius, run.trials, run.state, &setting) == expected)
            << run.radius << " path " << static_cast<int>(path) << " threads " << threads;
      }
    }
  }
  EXPECT_EQ(BlockCount, 6);
  EXPECT_EQ(TrialsLeft, std::numeric_limits<std::int64_t>::max() - 5 * BlockSize);
}

// A worker that got a whole window ahead sleeps until blocks are handed out, and is
// woken each time: else the run would never end.
TEST_F(Engine, WorkerAheadByAWindowIsWokenEveryTime) {
  for (int threads : {2, 3, 2, 3}) {
    std::int64_t handedOut = 0;
    CountBlocksInOrder(0, FilterFor(1, 1), 5000, {FastestPath(), threads}, [&](const BlockTally&) {
      if (++handedOut % 256 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_EQ(handedOut, 5000);
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
  // With R = 5, 4 of the 625 values of a point lie on the circle and take the exact test.
  for (VectorPath path : Paths) {
    if (!MachineHasPath(path)) continue;
    std::int64_t exactPoints = 0;
    for (std::uint32_t state = 0; state < 20; ++state) {
      exactPoints += CountBlock(path, state * 40000u, FilterFor(5, 25)).exactPoints;
    }
    EXPECT_NEAR(exactPoints, 20 * 10000 * 4 / 625, 100);
    EXPECT_EQ(CountBlock(path, 0, FilterFor(1, 1)).exactPoints, 0);
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
      for (VectorPath path : Paths) {
        EXPECT_TRUE(!MachineHasPath(path) || CountBlock(path, state, filter).inside == expected) << radius;
      }
    }
  }
}

}  // namespace
}  // namespace dartcirc::testing
