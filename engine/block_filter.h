// Counting one block through filters. From R = 64 on, a coarse test in single
// precision from the integer draws alone decides the points far from the circle;
// for the others S = x^2 + y^2 is computed in double with vector instructions and
// compared with R^2 against a margin that covers every difference from the exact
// computation; only the points within the margin take the exact per-point test.
// From R = 2 to 4096, the fraction test takes each coordinate in single precision
// from the states of its draws, within 1 / R, and leaves the points near the circle
// to the fine test. Up to R = 181, the grid test decides every point from its four
// draws in integers; the points on the circle take the exact test only where it
// puts some inside and some outside. Each filter's bounds are proved in
// block_filter.cpp. The count is always the exact one.
#pragma once

#include <cstdint>

#include "runtime/extended.h"

namespace dartcirc {

// Baseline runs on every processor built for; each other path needs the instruction
// sets in its name.
enum class VectorPath { Baseline, Avx2, Avx512F, Avx512Ifma };

// How the points of a block are decided; each method counts exactly where it applies.
enum class BlockMethod {
  Grid,         // every point by its place on the grid, for R <= 181
  Fractions,    // coordinates from the states, then the fine test, for 2 <= R <= 4096
  CoarseFirst,  // the coarse test from the integer draws, then the fine test, for R >= 64
};

// The path and the method a block is counted with.
struct BlockCounting {
  VectorPath path;
  BlockMethod method;
};

struct BlockTally {
  std::int64_t inside;
  std::int64_t exactPoints;  // points that fell within the margin
};

// The coarse test of the integer draws alone, in single precision: from the states
// sx, sy of the integer draws, w = (sx >> 1)^2 + (sy >> 1)^2, in units of 2^31 / R.
struct CoarseBounds {
  bool applies;         // R >= 64, where the bounds are proved
  float surelyInside;   // a coarse w at or below this is inside
  float surelyOutside;  // a coarse w above this is outside
};

// The fraction test of coordinates in single precision from the states of the
// draws, each within 1 / R of the point's, x^2 + y^2 in units of 2^-62.
struct FractionBounds {
  bool applies;         // 2 <= R <= 4096
  float surelyInside;   // at or below this the point is inside
  float surelyOutside;  // above this it is outside
};

// The grid test: with X = jR + i for the draws i, j of x and Y the same for y, a
// point is inside when X^2 + Y^2 < R^4 and outside when it is above. The points on
// the circle go with the others where the exact test puts them all on one side;
// else they take the exact test.
struct GridBounds {
  std::int32_t insideBelow;  // R^4, or R^4 + 1 where all on the circle are inside;
                             // 0 where the grid test does not apply
  bool onCircleToo;          // the points on the circle, X^2 + Y^2 = insideBelow = R^4,
                             // are left to the exact test
};

// The constants of a run.
struct BlockFilter {
  std::int32_t radius;
  double reciprocal;     // 1 / R rounded to double
  double surelyInside;   // a filtered S at or below this is inside
  double surelyOutside;  // a filtered S above this is outside
  Extended limit;        // R^2 for the exact test
  CoarseBounds coarse;
  GridBounds grid;
  FractionBounds fractions;
};

// The four draws of a point, in the order they are drawn.
struct PointDraws {
  std::int32_t fractionX;
  std::int32_t integerX;
  std::int32_t fractionY;
  std::int32_t integerY;
};

BlockFilter FilterFor(std::int32_t radius, double radiusSquared);

bool MethodApplies(BlockMethod method, const BlockFilter& filter);

// The draws of the given point of the block whose first draw follows stateBefore.
PointDraws DrawsOfPoint(std::uint32_t stateBefore, int point, std::int32_t radius);

// The exact test of one point, as the point-by-point loop makes it.
bool IsInsideExactly(const PointDraws& draws, const BlockFilter& filter);

// The lanes whose bits are set, through the exact test. Draw k of lane i is at
// draws[k * laneCount + i], as a double.
BlockTally TallyExactLanes(unsigned lanes, const double* draws, int laneCount,
                           const BlockFilter& filter);

inline BlockTally& operator+=(BlockTally& sum, const BlockTally& more) {
  sum.inside += more.inside;
  sum.exactPoints += more.exactPoints;
  return sum;
}

bool MachineHasPath(VectorPath path);

// The tally of the block whose first draw follows stateBefore, through the given
// path, which the machine must have, and method, which must apply.
BlockTally CountBlock(BlockCounting counting, std::uint32_t stateBefore, const BlockFilter& filter);

BlockTally CountBlockBaseline(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter);
BlockTally CountBlockAvx2(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter);
BlockTally CountBlockAvx512F(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter);
BlockTally CountBlockAvx512Ifma(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter);

}  // namespace dartcirc
