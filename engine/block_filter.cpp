#include "engine/block_filter.h"

#include <array>
#include <cmath>

#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {

// The margin. Let u = 2^-53 and v = 2^-64 be the unit roundoffs of double and of
// the extended format, t = j + i/R the exact coordinate of the draws i, j (so
// 0 <= t < R), and T = tx^2 + ty^2. Every quantity here is nonnegative.
//
// Exact test: f = (i/R)(1+e1), the sum (j + f)(1+e2), stored to double (1+e3), with
// |e1|, |e2| <= v and |e3| <= u. As j + f = t + (i/R)e1 and i/R <= t, X = t(1+a)
// with |a| <= (1+v)^2(1+u) - 1 < u + 3v. S = (X^2(1+e4) + Y^2(1+e5))(1+e6) with
// |e4|, |e5|, |e6| <= v, so |S/T - 1| < 2.01(u + 4v) < 2.1u.
//
// Filter: 1/R rounded (1+e7), times i (1+e8), plus j, exact in double, (1+e9), all
// |e| <= u, so Xf = t(1+b) with |b| <= (1+u)^3 - 1 < 3.01u, and
// Sf = (Xf^2(1+e10) + Yf^2(1+e11))(1+e12) gives |Sf/T - 1| < 8.1u. A fused
// multiply-add drops one of these roundings and, the terms being nonnegative, stays
// within the same bounds.
//
// So S/Sf lies within (1 - 10.3u, 1 + 10.3u), inside (1 - 2^-49, 1 + 2^-49), and
// with RS = R^2 as a double:
//   Sf <= L <= RS(1 - 2^-48) gives S < RS(1 - 2^-48)(1 + 2^-49) < RS: inside;
//   Sf > H >= RS(1 + 2^-48) gives S > RS(1 + 2^-48)(1 - 2^-49) > RS: outside.
// L and H are RS(1 -/+ 2^-47), each rounded once to double, so within a factor
// 1 -/+ u of those values, and they keep the 2^-48. RS >= 1 and RS <= 2^62: no
// product here underflows or overflows.
namespace {

float FloatAtMost(double value) {
  const auto rounded = static_cast<float>(value);
  return rounded <= value ? rounded : std::nextafter(rounded, -HUGE_VALF);
}

float FloatAtLeast(double value) {
  const auto rounded = static_cast<float>(value);
  return rounded >= value ? rounded : std::nextafter(rounded, HUGE_VALF);
}

// The generator's maps over the draws of n and of 100 n points, n below 100: the
// states of a point within a block are two steps of a table away, not a search.
constexpr auto StepsOfPointsTimes(int points) {
  std::array<RandomSteps, 100> table{};
  for (int n = 0; n < 100; ++n) table[n] = StepsAhead(4 * points * n);
  return table;
}
constexpr auto StepsOfPoints = StepsOfPointsTimes(1);
constexpr auto StepsOfHundredsOfPoints = StepsOfPointsTimes(100);
static_assert(BlockSize <= 100 * 100);

// The coarse bounds are proved from this radius on.
constexpr std::int32_t CoarseTestFromRadius = 64;

}  // namespace

// The coarse bounds. Let f = 2^-24 be the unit roundoff of float, Q = RS (an
// integer, at least 64^2 where the coarse test is used) and s the state of the
// integer draw j of x, so j = floor(sR / 2^32). Each rounding of x goes towards a
// value in [j, j + 1], whose ends are representable, so x lies in [j, j + 1].
// P = (s >> 1) R / 2^31 lies in (sR / 2^32 - R / 2^32, sR / 2^32], so x lies in
// (P - 1, P + e) with e = 1 + R / 2^32, below 3/2. The coarse test counts in units
// of 2^31 / R: its coordinate is s >> 1 rounded to float, which is P(1 + d) /
// (R / 2^31) with |d| <= f. Below, a and b are the coordinates of x and y in units
// of 1, w their computed sum of squares in units of 1 (so the computed value times
// R^2 / 2^62), and the bounds also in units of 1. So max(0, a(1 - 2f) - 1) <= x <
// a(1 + 2f) + e; the same for y and b. With W = a^2 + b^2, w = W(1 + g),
// |g| <= (1+f)^2 - 1, fused or not, and a + b <= sqrt(2W). With T and
// S = T(1 + c), |c| < 2.01v, as in the margin above:
//   T < (1+2f)^2 W + 2e(1+2f) sqrt(2W) + 2e^2, so S < (1 + 7f) w + 2.83e sqrt(w)
//   + 2.01e^2;
//   T >= (1-4f) W - 2 sqrt(2W), so S > (1 - 7f) w - 2.83 sqrt(w), which grows with
//   w above 2.
// With L' = Q(1 - 2^-20) - 2.83e sqrt(Q) - 2.01e^2 and
// H' = Q(1 + 2^-20) + 2.83 sqrt(Q) + 9:
//   w <= L' gives S < (1 + 7f) L' + 2.83e sqrt(Q) + 2.01e^2 <= Q(1 + 7f)(1 - 2^-20)
//   < Q: inside;
//   w > H' gives S > (1 - 7f) H' - 2.83 sqrt(H'), and as sqrt(H') <= sqrt(Q)(1 + 8f)
//   + 1.415 + 4.5 / sqrt(Q), that is at least Q + 9fQ - 15f 2.83 sqrt(Q) - 63f
//   + 4.99 - 12.74 / sqrt(Q) > Q for Q >= 64^2: outside.
// The slack of about 9fQ on either side also covers the rounding of L' and H' and
// their division by R^2 / 2^62 in double; the float bounds are rounded outwards
// from those. About 4.5 / R of the points have w in (L', H'] and go on to the fine
// test.
// The grid test. The exact coordinate of the draws i, j is t = j + i/R = X/R with
// X = jR + i, an integer below R^2, so T = tx^2 + ty^2 = (X^2 + Y^2) / R^2, and the
// margin above gives |S/T - 1| < 2.1u; RS = R^2 exactly. X^2 + Y^2 is an integer:
//   below R^4, T <= R^2 - R^-2 and S < (R^2 - R^-2)(1 + 2.1u) < R^2 as long as
//   2.1u R^2 < R^-2, that is R^4 < 2^53 / 2.1: inside;
//   above R^4, T >= R^2 + R^-2 and S > (R^2 + R^-2)(1 - 2.1u) > R^2 likewise:
//   outside.
// Up to R = 181, R^4 < 2^31 with room to spare, and the draws, X, Y and R are below
// 2^15 and X^2 + Y^2 < 2^31: 16-bit multiplies and adds give X and Y, and the
// signed 16-bit multiply-adds of 32-bit lanes X^2 + Y^2, exactly. That leaves
// the points on the circle, X^2 + Y^2 = R^4 with 0 < X, Y < R^2, which need a prime
// factor 4k + 1 of R, and are few: the filter finds them all as it is made.
// Where the exact test puts them all inside, the bound is R^4 + 1; all outside (or
// none there), R^4; only where they differ are they left to the exact test, and
// there (R = 15 and up) at most one point in 12000 lies on the circle. For R = 5 it
// is one in 160, all inside.
namespace {

constexpr std::int32_t GridTestUpToRadius = 181;

GridBounds GridFor(const BlockFilter& filter) {
  const std::int32_t radius = filter.radius;
  if (radius > GridTestUpToRadius) return {0, false};
  const std::int32_t side = radius * radius, fourthPower = side * side;
  int inside = 0, outside = 0;
  // Y falls as X rises along the circle: one pass of each, up to X = Y, as the exact
  // test gives (X, Y) and (Y, X) the same answer.
  for (std::int64_t x = 1, y = side - 1; x <= y; ++x) {
    while (x * x + y * y > fourthPower) --y;
    if (x * x + y * y == fourthPower) {
      const PointDraws onCircle{std::int32_t(x % radius), std::int32_t(x / radius), std::int32_t(y % radius),
                                std::int32_t(y / radius)};
      (IsInsideExactly(onCircle, filter) ? inside : outside)++;
    }
  }
  if (inside > 0 && outside > 0) return {fourthPower, true};
  return {fourthPower + (inside > 0), false};
}

}  // namespace

// The fraction test. For the states s' and s of the fraction and the integer draw
// of a coordinate, i = floor(sR / 2^32) = (sR - l) / 2^32 with l = sR mod 2^32, and
// j / R lies in (s' / 2^32 - 1 / R, s' / 2^32] for j = floor(s'R / 2^32); so the
// exact coordinate t = i + j / R lies in (v - 1/R, v] for v = (sR - l + s') / 2^32.
// Taken in halves (h >> 1 of each), 2^31 v = (s >> 1)R + (s' >> 1) - (l >> 1) + e
// with e in [-1/2, (R + 1)/2]. With f = 2^-24 the unit roundoff of single
// precision, the conversions of s >> 1 (below 2^31) and of the exact difference of
// halves (below 2^31 in size), the product by R and the sum, fused or not, are each
// off by at most f times a value below 2^31 (R + 1): the computed X differs from
// 2^31 v by at most 2^7 (3R + 2) + (R + 1)/2 <= 2^8 (2R + 2). So x = X 2^-31 lies
// within e' = (2R + 2) 2^-23 of v, and t in (x - e' - 1/R, x + e'). Where the
// states are converted whole, in units of 2^-32 (the bounds times 4), there is no e,
// and the three conversions, the difference, the product and the sum are each off
// by at most f times a value below 2^32 (R + 1): 2^8 (3R + 4) in all, within e'.
//   The computed square Sf = (X^2 + Y^2)(1 + g), |g| < 2^-22, fused or not; with
// W = x^2 + y^2, W <= Sf 2^-62 / (1 - 2^-22) and W >= Sf 2^-62 / (1 + 2^-22).
//   Inside: T = tx^2 + ty^2 < (x + e')^2 + (y + e')^2 <= W + 2e' sqrt(2W) + 2e'^2,
//   and T <= RS(1 - 2^-50) gives S < T(1 + 2.1u) < RS (the margin above).
//   Outside: with c = e' + 1/R, t^2 >= x^2 - 2cx - 2(e'^2 + 2ce') also where
//   x < c (then x >= -e'), so T >= W - 2c sqrt(2W) - 4(e'^2 + 2ce'), and
//   T >= RS(1 + 2^-50) gives S > RS.
// The bounds solve these for W, the square roots in closed form, and are moved
// outwards by 2^-40 for the roundings of double on the way and then to single
// precision. About 2.2 / R^2 of the points lie between them (2.8 R^-1 either side
// of RS in T) and take the fine test. From R = 4096 on the coarse test, with its
// integer draws alone, leaves as few open.
namespace {

constexpr std::int32_t FractionTestUpToRadius = 4096;

FractionBounds FractionsFor(std::int32_t radius, double radiusSquared) {
  if (radius < 2 || radius > FractionTestUpToRadius) return {false, 0, 0};
  const double nearness = (2.0 * radius + 2) * 0x1p-23;  // e'
  const double below = nearness + 1.0 / radius;           // c
  const double low = radiusSquared * (1 - 0x1p-50) - 2 * nearness * nearness;
  const double lowRoot = std::sqrt(2 * nearness * nearness + low) - std::sqrt(2.0) * nearness;
  const double high = radiusSquared * (1 + 0x1p-50) + 4 * (nearness * nearness + 2 * below * nearness);
  const double highRoot = std::sqrt(2 * below * below + high) + std::sqrt(2.0) * below;
  return {true, FloatAtMost(lowRoot * lowRoot * 0x1p62 * (1 - 0x1p-22) * (1 - 0x1p-40)),
          FloatAtLeast(highRoot * highRoot * 0x1p62 * (1 + 0x1p-22) * (1 + 0x1p-40))};
}

}  // namespace

bool MethodApplies(BlockMethod method, const BlockFilter& filter) {
  switch (method) {
    case BlockMethod::Grid: return filter.grid.insideBelow != 0;
    case BlockMethod::Fractions: return filter.fractions.applies;
    case BlockMethod::CoarseFirst: return filter.coarse.applies;
  }
  return false;
}

BlockFilter FilterFor(std::int32_t radius, double radiusSquared) {
  const double root = std::sqrt(radiusSquared);
  const double unitSquared = (radius * 0x1p-31) * (radius * 0x1p-31);  // R^2 / 2^62
  const double over = 1 + radius * 0x1p-32;                              // e
  const CoarseBounds coarse{
      radius >= CoarseTestFromRadius,
      FloatAtMost((radiusSquared * (1 - 0x1p-20) - 2.83 * over * root - 2.01 * over * over) / unitSquared),
      FloatAtLeast((radiusSquared * (1 + 0x1p-20) + 2.83 * root + 9) / unitSquared)};
  BlockFilter filter{radius,
                     1.0 / radius,
                     radiusSquared * (1 - 0x1p-47),
                     radiusSquared * (1 + 0x1p-47),
                     ExtendedFromDouble(radiusSquared),
                     coarse,
                     {},
                     {}};
  filter.grid = GridFor(filter);
  filter.fractions = FractionsFor(radius, radiusSquared);
  return filter;
}

PointDraws DrawsOfPoint(std::uint32_t stateBefore, int point, std::int32_t radius) {
  std::uint32_t state = Advance(Advance(stateBefore, StepsOfPoints[point % 100]),
                                StepsOfHundredsOfPoints[point / 100]);
  std::int32_t draws[4];
  for (std::int32_t& draw : draws) {
    state = Advance(state, OneStep);
    draw = DrawAtState(state, radius);
  }
  return {draws[0], draws[1], draws[2], draws[3]};
}

bool IsInsideExactly(const PointDraws& draws, const BlockFilter& filter) {
  const double x = CoordinateFromDraws(draws.fractionX, draws.integerX, filter.radius);
  const double y = CoordinateFromDraws(draws.fractionY, draws.integerY, filter.radius);
  return IsInside(x, y, filter.limit);
}

BlockTally TallyExactLanes(unsigned lanes, const double* draws, int laneCount,
                           const BlockFilter& filter) {
  BlockTally tally{0, 0};
  for (; lanes != 0; lanes &= lanes - 1) {
    const int lane = __builtin_ctz(lanes);
    const auto draw = [&](int k) { return static_cast<std::int32_t>(draws[k * laneCount + lane]); };
    if (IsInsideExactly({draw(0), draw(1), draw(2), draw(3)}, filter)) ++tally.inside;
    ++tally.exactPoints;
  }
  return tally;
}

bool MachineHasPath(VectorPath path) {
#if defined(__x86_64__) || defined(__i386__)
  const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi2");
  switch (path) {
    case VectorPath::Baseline:
      return true;
    case VectorPath::Avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case VectorPath::Avx512F:
      return avx512;
    case VectorPath::Avx512Ifma:
      return avx512 && __builtin_cpu_supports("avx512ifma");
  }
  return false;
#else
  return path == VectorPath::Baseline;
#endif
}

BlockTally CountBlock(BlockCounting counting, std::uint32_t stateBefore, const BlockFilter& filter) {
#if defined(__x86_64__) || defined(__i386__)
  switch (counting.path) {
    case VectorPath::Avx512Ifma:
      return CountBlockAvx512Ifma(counting.method, stateBefore, filter);
    case VectorPath::Avx512F:
      return CountBlockAvx512F(counting.method, stateBefore, filter);
    case VectorPath::Avx2:
      return CountBlockAvx2(counting.method, stateBefore, filter);
    case VectorPath::Baseline:
      break;
  }
#endif
  return CountBlockBaseline(counting.method, stateBefore, filter);
}

}  // namespace dartcirc
