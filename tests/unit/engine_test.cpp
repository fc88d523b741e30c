// The engine (the estimation loop's known runs are end-to-end rows): every vector
// path and every thread count against the point-by-point loop, block by block, and
// the kernel at the AVX-512 paths' width in plain vector code that any processor
// runs (16 lanes, an odd number of groups in a block, 8-bit lane masks, the 52-bit
// multiply-adds). The filters where they are easiest to get wrong: the margin and
// the grid's bound at the points nearest the circle, the grid's carries that move
// a point across it, the coarse test's bounds at the states and fractions that put
// a point furthest from what it sees. The choice of path by timings from a fake
// clock. The generator's period in blocks, and the reuse of tallies past it.
#include <algorithm>
#include <array>
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
#include "engine/counting_choice.h"
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
        CountBlocksInOrder(123456789, filter, 100, {{path, MethodsFor(filter).front()}, threads}, [&](const BlockTally& tally) { counted.push_back(tally.inside); });
        EXPECT_EQ(counted, expected) << radius << " path " << static_cast<int>(path) << " threads " << threads;
        int taken = 0;  // blocks enough for years, and the third one fails
        EXPECT_THROW(CountBlocksInOrder(0, filter, std::int64_t{1} << 50, {{path, MethodsFor(filter).front()}, threads},
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
    CountBlocksInOrder(0, FilterFor(1, 1), 5000, {{MachinePaths().front(), BlockMethod::Grid}, threads}, [&](const BlockTally&) {
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
  // The steps of a block count from tables give the squarings' answer, past a period too.
  for (std::int64_t blocks = 0; blocks < (std::int64_t{1} << 40); blocks = blocks * 7 + 1) {
    const RandomSteps table = StepsOfBlocks(blocks), squared = StepsAhead(drawsBefore(blocks));
    EXPECT_TRUE(table.multiplier == squared.multiplier && table.increment == squared.increment) << blocks;
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
  CountBlocksInOrder(99, filter, 3 * period + 5, {{MachinePaths().front(), BlockMethod::CoarseFirst}, 2, 0}, [&](const BlockTally& tally) { counted.push_back(tally.inside); });
  for (int threads : {1, 3}) {
    for (std::int64_t blocks : {period + 1, period + 13, 3 * period + 5}) {
      std::vector<std::int64_t> handedOut;
      CountBlocksInOrder(99, filter, blocks, {{MachinePaths().front(), BlockMethod::CoarseFirst}, threads, period}, [&](const BlockTally& tally) { handedOut.push_back(tally.inside); });
      ASSERT_EQ(handedOut.size(), static_cast<std::size_t>(blocks));
      for (std::int64_t k = 0; k < blocks; ++k) EXPECT_EQ(handedOut[k], counted[k % period]) << threads << " threads, block " << k;
    }
    int taken = 0;
    EXPECT_THROW(CountBlocksInOrder(99, filter, 3 * period, {{MachinePaths().front(), BlockMethod::CoarseFirst}, threads, period},
                                    [&](const BlockTally&) { if (++taken == period + 2) throw 6; }), int);
    EXPECT_EQ(taken, period + 2);
    std::vector<std::int64_t> unkept;  // 2^62 bytes to keep
    EXPECT_THROW(CountBlocksInOrder(99, filter, std::int64_t{1} << 62, {{MachinePaths().front(), BlockMethod::CoarseFirst}, threads, std::int64_t{1} << 61},
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
// and points on the circle take the exact test; nor does the grid test's bound,
// but where it leaves the points on the circle to the exact test.
#if defined(__SIZEOF_INT128__)  // squares of the square of the radius
TEST_F(Engine, FilterMarginHoldsAtThePointsNearestTheCircle) {
  using Wide = unsigned __int128;
  for (std::int32_t radius : {5, 15, 25, 40, 65, 181, 325, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    const bool onGrid = MethodApplies(BlockMethod::Grid, filter);
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
        const bool gridInside = Wide{a} * a + Wide{b} * b < static_cast<Wide>(filter.grid.insideBelow);
        EXPECT_TRUE(!onGrid || (onCircle && filter.grid.onCircleToo) || gridInside == exact) << radius << ": " << a;
      }
    }
  }
}
#endif

// The first or the last state that gives the draw.
std::uint32_t StateOfDraw(std::int64_t draw, std::int64_t radius, int last) {
  return static_cast<std::uint32_t>((((draw + last) << 32) + radius - 1) / radius - last);
}

TEST(CoarseBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {64, 100, 1000, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const auto state = [&](std::int64_t draw, int last) { return StateOfDraw(draw, radius, last); };
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

// The fraction test, computed as the kernel does, fused or not, from the first or the
// last state of each of the four draws of points next to the circle and a few places
// off it (X^2 + Y^2 near R^4), never contradicts the exact test.
TEST(FractionBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {2, 3, 5, 7, 13, 40, 64, 100, 181, 1000, 1105, 4096}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const std::int64_t side = radius * radius;
    const auto coordinate = [&](std::int64_t place, int k, bool fused) {  // k: which state of each draw
      const std::uint32_t fraction = StateOfDraw(place % radius, radius, k & 1), integer = StateOfDraw(place / radius, radius, k >> 1 & 1);
      const auto rest = static_cast<float>(static_cast<std::int32_t>(fraction >> 1) - static_cast<std::int32_t>(integer * std::uint32_t(radius) >> 1));
      const auto whole = static_cast<float>(integer >> 1), r = static_cast<float>(radius);
      return fused ? std::fma(whole, r, rest) : whole * r + rest;
    };
    int decided[2] = {0, 0};
    for (std::int64_t x = 0; x < side; x += std::max<std::int64_t>(1, side / 500)) {
      const auto y0 = static_cast<std::int64_t>(std::sqrt(double(side * side - x * x)));
      for (std::int64_t offset : {-64, -16, -4, -2, -1, 0, 1, 2, 4, 16, 64}) {  // the band is a few places wide
        const std::int64_t y = std::clamp<std::int64_t>(y0 + offset, 0, side - 1);
        const bool inside = IsInsideExactly({std::int32_t(x % radius), std::int32_t(x / radius), std::int32_t(y % radius), std::int32_t(y / radius)}, filter);
        for (int k = 0; k < 32; ++k) {
          const bool fused = k >= 16;
          const float u = coordinate(x, k, fused), v = coordinate(y, k >> 2, fused);
          const float square = fused ? std::fma(u, u, v * v) : u * u + v * v;
          const int verdict = square <= filter.fractions.surelyInside ? 1 : square > filter.fractions.surelyOutside ? 0 : -1;
          EXPECT_TRUE(verdict < 0 || (verdict == 1) == inside) << radius << ": " << x << ", " << y << ", " << k;
          if (verdict >= 0) ++decided[verdict];
        }
      }
    }
    EXPECT_TRUE(radius < 5 || (decided[0] > 0 && decided[1] > 0)) << radius;
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
  static Vectors::Words PackedLanes(Vectors::Words values, unsigned lanes) { return PackedLanesOneByOne(values, lanes); }
  static unsigned LanesAtMost(Vectors::Reals a, Vectors::Reals b) { return LaneBits(a <= b); }
  static Vectors::Shorts MultiplyShortsHigh(Vectors::Shorts a, Vectors::Shorts b) { return ShortsHighByWords<Vectors>(a, b); }
  static Vectors::Words MultiplyAddShorts(Vectors::Words a, Vectors::Words b) { return ShortsMultipliedAddedByWords<Vectors>(a, b); }
  static unsigned WordLaneBits(Vectors::Integers m) { return WordLaneBitsOneByOne<Vectors>(m); }
  static unsigned PairsAbove(Vectors::Shorts a, Vectors::Shorts b) { return PairsAboveOneByOne(a, b); }
};

// The same with the 52-bit multiply-adds and compares into masks, as the IFMA path.
struct SixteenLanesMultiplyAdd52 : SixteenLanes {
  static unsigned SinglesAtMost(Vectors::Singles a, Vectors::Singles b) {
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i) bits |= unsigned{a[i] <= b[i]} << i;
    return bits;
  }
  static unsigned IntegersBelow(Vectors::Integers a, Vectors::Integers b) { return WordLaneBits(a < b); }
  static unsigned IntegersEqual(Vectors::Integers a, Vectors::Integers b) { return WordLaneBits(a == b); }
  static Vectors::Integers MinusOneIn(Vectors::Integers counts, unsigned lanes) {
    for (int i = 0; i < 16; ++i) counts[i] -= (lanes >> i) & 1;
    return counts;
  }
  [[gnu::always_inline]] static Vectors::Wide MultiplyAddHigh52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) {
    constexpr std::uint64_t low52 = (std::uint64_t{1} << 52) - 1;
    for (int i = 0; i < 8; ++i) c[i] += ProductHigh(a[i] & low52, b[i] & low52) & low52;
    return c;
  }
  // Bits 52 and up of the 104-bit product of two 52-bit numbers, from 32-bit pieces.
  static std::uint64_t ProductHigh(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t lowProduct = (a & 0xFFFFFFFF) * (b & 0xFFFFFFFF);
    const std::uint64_t middle = (a & 0xFFFFFFFF) * (b >> 32) + (a >> 32) * (b & 0xFFFFFFFF) + (lowProduct >> 32);
    const std::uint64_t low = middle << 32 | (lowProduct & 0xFFFFFFFF), high = (a >> 32) * (b >> 32) + (middle >> 32);
    return high << 12 | low >> 52;
  }
};

// The grid test's draws from 16-bit multiplies, at the first and the last state of
// every draw of every radius it takes: from the high halves alone, which are the
// draws wherever the low products do not flag them, and flagged exactly where the
// first and the last state with that high half give different draws; and exact
// once the low halves are added.
TEST(GridDraws, EveryDrawAtTheEndsOfItsStates) {
  using Words = SixteenLanes::Vectors::Words;
  using Shorts = SixteenLanes::Vectors::Shorts;
  for (std::int64_t radius = 1; radius <= 181; ++radius) {
    const auto r = static_cast<std::int32_t>(radius);
    const Shorts shorts = Shorts{} + static_cast<std::uint16_t>(radius), carryFrom = Shorts{} + CarryFrom(r);
    for (std::int64_t draw = 0; draw < radius; draw += 8) {
      Words states{};
      for (int lane = 0; lane < 16; ++lane) states[lane] = StateOfDraw(std::min(draw + lane / 2, radius - 1), radius, lane & 1);
      Shorts lows;
      const Words otherStates = ~states, pairs = DrawPairsOfHighHalves<SixteenLanes>(states, otherStates, shorts, lows);
      const Words exact = ExactDrawPairs<SixteenLanes>(pairs, lows, states, otherStates, shorts);
      for (int half = 0; half < 32; ++half) {
        const std::uint32_t state = half % 2 == 0 ? states[half / 2] : otherStates[half / 2], high = state & 0xFFFF0000;
        const auto draw = static_cast<std::uint32_t>(DrawAtState(state, r));
        const auto inHalf = [&](Words w) { return w[half / 2] >> 16 * (half % 2) & 0xFFFF; };
        const bool flagged = lows[half] > carryFrom[half];
        EXPECT_EQ(inHalf(exact), draw) << radius << " " << state;
        EXPECT_EQ(flagged, DrawAtState(high, r) != DrawAtState(high | 0xFFFF, r)) << radius << " " << state;
        EXPECT_TRUE(flagged || inHalf(pairs) == draw) << radius << " " << state;
      }
    }
  }
}

// Open points that fill the buffer OpenPoints packs them into exactly, every lane of
// as many groups as it holds, go through the fine test each once.
TEST_F(Engine, OpenPointsThatFillTheirBufferAreEachTestedOnce) {
  using Words = SixteenLanes::Vectors::Words;
  constexpr int Groups = ChunkGroups + 2;
  const std::int32_t radius = 1000;
  const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
  const std::uint32_t stateBefore = 123456789;
  const auto chunks = [&](int k) {  // the states of draw k of the first groups of chunks 0 and 1
    const Words first = FirstGroupStates<Words>(stateBefore, k);
    return std::array{first, Stepped<SixteenLanes>(first, StepsAhead(4 * 16 * ChunkGroups))};
  };
  const auto chunkX = chunks(1), chunkY = chunks(3);
  std::vector<NotedGroup> groups;
  std::int64_t expected = 0;
  for (int group = 0; group < Groups; ++group) {
    groups.push_back({static_cast<std::uint16_t>(group), 0xFFFF});
    for (int lane = 0; lane < 16; ++lane) {
      expected += IsInsideExactly(DrawsOfPoint(stateBefore, group * 16 + lane, radius), filter);
    }
  }
  OpenPoints<SixteenLanes> points(filter);
  points.Settle(groups, chunkX.data(), chunkY.data());
  EXPECT_EQ(points.Tally(SixteenLanes::Vectors::Integers{}).inside, expected);
}

// The state before a block whose point 7, in a lane of its own on every path, the
// grid test must count again: where the points on the circle take the exact test
// and are not too rare to search for (R <= 40), one that the exact test puts inside;
// else one that a carry into the integer draw of x, which moves it the furthest,
// puts on the other side of the bound than the draws of the high halves do.
std::uint32_t StateBeforeAPointCountedAgain(std::int32_t radius, const BlockFilter& filter) {
  const bool onCircle = filter.grid.onCircleToo && radius <= 40;
  for (std::uint32_t first = 1;; first += 7919) {
    std::uint32_t states[4] = {first};
    for (int k = 1; k < 4; ++k) states[k] = Advance(states[k - 1], OneStep);
    const auto draw = [&](int k, std::uint32_t kept) { return DrawAtState(states[k] & kept, radius); };
    const auto square = [&](std::uint32_t kept) {
      const auto place = [&](int k) { return std::int64_t{draw(k + 1, kept)} * radius + draw(k, kept); };
      return place(0) * place(0) + place(2) * place(2);
    };
    const bool aimed =
        onCircle ? square(0xFFFFFFFF) == filter.grid.insideBelow &&
                       IsInsideExactly({draw(0, ~0u), draw(1, ~0u), draw(2, ~0u), draw(3, ~0u)}, filter)
                 : draw(1, 0xFFFFFFFF) != draw(1, 0xFFFF0000) &&
                       (square(0xFFFF0000) < filter.grid.insideBelow) != (square(0xFFFFFFFF) < filter.grid.insideBelow);
    if (aimed) return Advance(first, StepsAhead(0xFFFFFFFF - 4 * 7));
  }
}

// Each block counted by every path the machine has with every method that applies,
// and by the kernel at 16 lanes; on the grid, also a block aimed at a point it must
// count again.
TEST_F(Engine, EveryPathCountsEachBlockAsThePointByPointLoop) {
  std::vector<std::int32_t> radii{181, 182, 325, 1000, 1105, 4096, 4097, 46340, 46341, 1 << 20, 94906267, 134217727, 2147483647};
  for (std::int32_t radius = 1; radius <= 65; ++radius) radii.push_back(radius);
  for (std::int32_t radius = 66; radius < 4096; radius = radius * 9 / 8) radii.push_back(radius);
  std::uint32_t state = 4294967295u;
  for (std::int32_t radius : radii) {
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    const bool carries = MethodApplies(BlockMethod::Grid, filter) && (radius & (radius - 1)) != 0;
    for (int n = 0; n < 3 + carries; ++n) {
      state = n < 3 ? state * 2891336453u + 0x9E3779B9u : StateBeforeAPointCountedAgain(radius, filter);
      RandomState = state;  // states far apart, or aimed
      const std::int64_t expected = CountBlockPointByPoint(radius, SquareOfRadius(radius));
      for (BlockMethod method : MethodsFor(filter)) {
        EXPECT_EQ(CountBlockBy<SixteenLanes>(method, state, filter).inside, expected) << radius;
        EXPECT_EQ(CountBlockBy<SixteenLanesMultiplyAdd52>(method, state, filter).inside, expected) << radius;
        for (VectorPath path : Paths) {
          EXPECT_TRUE(!MachineHasPath(path) || CountBlock({path, method}, state, filter).inside == expected)
              << radius << " " << PathName(path) << " " << MethodName(method);
        }
      }
    }
  }
}

// The choice among four candidates, all the baseline so that only the timings tell
// them apart, by a clock that gives the timings in the order they are taken (each
// candidate in turn, round after round); a negative timing is a clock that cannot
// be read.
std::size_t ChoiceOf(const std::vector<std::int64_t>& timings) {
  const std::vector<BlockCounting> candidates(4, BlockCounting{VectorPath::Baseline, BlockMethod::CoarseFirst});
  std::int64_t now = 1000;
  std::size_t reads = 0;
  return QuickestCounting(candidates, FilterFor(1000, 1e6), [&] {
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
