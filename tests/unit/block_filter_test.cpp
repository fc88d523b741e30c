// Every vector path the machine has against the point-by-point loop, block by
// block, and the filter's margin at the points closest to the circle.
#include "engine/block_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "estimator/estimation.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int StatesPerRadius = 1;
#else
constexpr int StatesPerRadius = 3;
#endif

std::vector<VectorPath> PathsOfThisMachine() {
  std::vector<VectorPath> paths;
  for (VectorPath path : {VectorPath::Baseline, VectorPath::Avx2, VectorPath::Avx512F,
                           VectorPath::Avx512Ifma}) {
    if (MachineHasPath(path)) paths.push_back(path);
  }
  return paths;
}

std::vector<std::int32_t> RadiiUnderTest() {
  std::vector<std::int32_t> radii;
  for (std::int32_t radius = 1; radius <= 64; ++radius) radii.push_back(radius);
  // Many grid points on the circle; R^2 around 2^31, 2^53 (rounded from here on) and 2^62.
  for (std::int32_t radius :
       {325, 1000, 1105, 46340, 46341, 1 << 20, 94906267, 134217727, 2147483646, 2147483647}) {
    radii.push_back(radius);
  }
  return radii;
}

class BlockFilterTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFloatingPointUnit(); }
};

TEST_F(BlockFilterTest, EveryPathCountsAsThePointByPointLoop) {
  const std::vector<VectorPath> paths = PathsOfThisMachine();
  std::uint32_t firstState = 0;
  for (std::int32_t radius : RadiiUnderTest()) {
    const double radiusSquared = SquareOfRadius(radius);
    const BlockFilter filter = FilterFor(radius, radiusSquared);
    for (int n = 0; n < StatesPerRadius; ++n) {
      firstState = firstState * 2891336453u + 0x9E3779B9u;  // states far apart
      RandomState = firstState;
      const std::int64_t expected = CountBlockPointByPoint(radius, radiusSquared);
      for (VectorPath path : paths) {
        EXPECT_EQ(CountBlock(path, firstState, filter).inside, expected)
            << "radius " << radius << " state " << firstState << " path " << static_cast<int>(path);
      }
    }
  }
}

TEST_F(BlockFilterTest, GridPointsOnTheCircleTakeTheExactTest) {
  // With R = 5, 4 of the 625 values of each coordinate pair lie on the circle,
  // (7, 24), (24, 7), (15, 20) and (20, 15) fifths; no other point comes near it.
  const BlockFilter filter = FilterFor(5, SquareOfRadius(5));
  for (VectorPath path : PathsOfThisMachine()) {
    std::int64_t exactPoints = 0;
    for (std::uint32_t state = 0; state < 20; ++state) {
      exactPoints += CountBlock(path, state * 40000u, filter).exactPoints;
    }
    EXPECT_GT(exactPoints, 20 * 10000 * 4 / 625 / 2) << static_cast<int>(path);
    EXPECT_LT(exactPoints, 20 * 10000 * 4 / 625 * 2) << static_cast<int>(path);
  }
  // Away from the circle no point needs it.
  EXPECT_EQ(CountBlock(FastestPath(), 0, FilterFor(1, 1)).exactPoints, 0);
}

// The filter's verdict on one point as the vector paths reach it, with or without
// fused multiply-adds.
enum class Verdict { Inside, Outside, Exact };

Verdict FilterVerdict(const PointDraws& p, const BlockFilter& filter, bool fused) {
  const double r = filter.reciprocal;
  double square;
  if (fused) {
    const double x = std::fma(p.fractionX, r, p.integerX);
    const double y = std::fma(p.fractionY, r, p.integerY);
    square = std::fma(x, x, y * y);
  } else {
    const double x = p.integerX + p.fractionX * r;
    const double y = p.integerY + p.fractionY * r;
    square = x * x + y * y;
  }
  if (square <= filter.surelyInside) return Verdict::Inside;
  if (square > filter.surelyOutside) return Verdict::Outside;
  return Verdict::Exact;
}

// The point whose coordinates are a / R and b / R.
PointDraws PointAt(std::uint64_t a, std::uint64_t b, std::int32_t radius) {
  const auto r = static_cast<std::uint64_t>(radius);
  return {static_cast<std::int32_t>(a % r), static_cast<std::int32_t>(a / r),
          static_cast<std::int32_t>(b % r), static_cast<std::int32_t>(b / r)};
}

unsigned __int128 SquareRootBelow(unsigned __int128 n) {
  auto root = static_cast<unsigned __int128>(std::sqrt(static_cast<double>(n)));
  while (root * root > n) --root;
  while ((root + 1) * (root + 1) <= n) ++root;
  return root;
}

// For points around the circle, a^2 + b^2 near R^4: a filtered verdict never
// contradicts the exact test, and the points on the circle are left to it.
void ExpectMarginHoldsAround(std::int32_t radius, std::uint64_t step) {
  const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
  const auto side = static_cast<std::uint64_t>(radius) * static_cast<std::uint64_t>(radius);
  const unsigned __int128 circle = static_cast<unsigned __int128>(side) * side;
  int onCircle = 0;
  for (std::uint64_t a = step / 2; a < side; a += step) {
    const auto root =
        static_cast<std::uint64_t>(SquareRootBelow(circle - a * static_cast<unsigned __int128>(a)));
    for (std::uint64_t b = root > 0 ? root - 1 : 0; b <= root + 1 && b < side; ++b) {
      const PointDraws point = PointAt(a, b, radius);
      const bool exact = IsInsideExactly(point, filter);
      const bool isOnCircle =
          a * static_cast<unsigned __int128>(a) + b * static_cast<unsigned __int128>(b) == circle;
      onCircle += isOnCircle;
      for (bool fused : {false, true}) {
        const Verdict verdict = FilterVerdict(point, filter, fused);
        if (verdict != Verdict::Exact) {
          EXPECT_EQ(verdict == Verdict::Inside, exact) << radius << ": " << a << ", " << b;
        }
        if (isOnCircle) {
          EXPECT_EQ(verdict, Verdict::Exact) << radius << ": " << a << ", " << b;
        }
      }
    }
  }
  if (step == 1) {
    EXPECT_GT(onCircle, 0) << radius;
  }
}

TEST_F(BlockFilterTest, MarginAtSmallRadiiWithGridPointsOnTheCircle) {
  for (std::int32_t radius : {5, 25, 65, 325, 1105}) ExpectMarginHoldsAround(radius, 1);
}

TEST_F(BlockFilterTest, MarginAtLargeRadii) {
  // Every grid point next to the circle lies within the margin here, and R^2 is
  // rounded to double for the two largest.
  for (std::int32_t radius : {46341, 94906267, 2147483647}) {
    const auto side = static_cast<std::uint64_t>(radius) * static_cast<std::uint64_t>(radius);
    ExpectMarginHoldsAround(radius, side / 997);
  }
}

}  // namespace
}  // namespace dartcirc
