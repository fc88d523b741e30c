// The block filter written once for any vector width. Each path includes this after
// its other headers, inside its own target region, so that the compiler turns the
// vectors into that path's registers; the anonymous namespace gives every path its
// own copy, and no path's instructions can leak into another's through a shared
// inline function.
//
// A vector of Bytes bytes holds the 32-bit states of Bytes / 4 points, one draw of
// each: state[k] holds the state of draw k of points i, i + Lanes, i + 2 Lanes, ...
// in lane i. Stepping all of them is one 32-bit multiply-add a draw. The draw, the
// high half of state x R, comes from a 32 x 32 -> 64 multiply of the even lanes
// and, shifted down, of the odd lanes; its high half is shifted into the mantissa
// bits of 2^52 so that it arrives as the double 2^52 + draw. The even points and
// the odd points then go through the filter apart, each in one vector of doubles.
//
// A path supplies, as a record of static functions:
//   Bytes                       the vector width;
//   MultiplyLowHalves(a, b)     per 64-bit lane, low 32 bits of a x low 32 bits of b;
//   AnyLane(m)                  whether any 64-bit lane of m is nonzero.
// Everything else is the same code on every path, so the logic the paths share is
// tested on whichever of them the testing machine has.
#pragma once

#include <cstdint>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {
namespace {

template <int Bytes>
struct VectorsOf {
  typedef std::uint32_t Words __attribute__((vector_size(Bytes)));
  typedef std::uint64_t Wide __attribute__((vector_size(Bytes)));
  typedef std::int64_t Masks __attribute__((vector_size(Bytes)));
  typedef double Reals __attribute__((vector_size(Bytes)));
};

inline constexpr std::uint64_t BitsOfTwoTo52 = 0x4330000000000000;

template <class Path>
BlockTally CountBlockWith(std::uint32_t stateBefore, const BlockFilter& filter) {
  using Words = typename VectorsOf<Path::Bytes>::Words;
  using Wide = typename VectorsOf<Path::Bytes>::Wide;
  using Masks = typename VectorsOf<Path::Bytes>::Masks;
  using Reals = typename VectorsOf<Path::Bytes>::Reals;
  constexpr int Lanes = Path::Bytes / 4;   // points a group
  constexpr int Halves = Path::Bytes / 8;  // points a vector of doubles

  Words state[4];
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < Lanes; ++i) state[k][i] = Advance(stateBefore, StepsAhead(4 * i + k + 1));
  }
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const Wide radius = Wide{} + static_cast<std::uint32_t>(filter.radius);
  const Wide twoTo52Bits = Wide{} + BitsOfTwoTo52;
  const Reals twoTo52 = Reals{} + 0x1p52;
  const Reals reciprocal = Reals{} + filter.reciprocal;
  const Reals surelyInside = Reals{} + filter.surelyInside;
  const Reals surelyOutside = Reals{} + filter.surelyOutside;

  // Vectors of points within the margin, met rarely: the points are tested exactly
  // after the loop, from their draws found again, so that the loop holds no call.
  struct Undecided {
    std::uint16_t firstPoint;  // the point in lane 0; lane i holds firstPoint + 2i
    std::uint16_t lanes;
  };
  Undecided undecided[2 * BlockSize / Lanes];
  int undecidedCount = 0;
  Masks insideLanes{};  // minus the points found inside, lane by lane

  const auto filterPoints = [&](Reals fractionX, Reals integerX, Reals fractionY,
                                Reals integerY, int firstPoint) {
    // Contracted to fused multiply-adds where the path has them; the margin covers both.
    const Reals x = fractionX * reciprocal + integerX;
    const Reals y = fractionY * reciprocal + integerY;
    const Reals square = x * x + y * y;
    const Masks surelyIn = square <= surelyInside;
    const Masks notOutside = square <= surelyOutside;  // surelyIn implies it
    insideLanes += surelyIn;
    if (Path::AnyLane(notOutside ^ surelyIn)) {
      unsigned lanes = 0;
      for (int i = 0; i < Halves; ++i) lanes |= unsigned{notOutside[i] != surelyIn[i]} << i;
      undecided[undecidedCount++] = {static_cast<std::uint16_t>(firstPoint),
                                     static_cast<std::uint16_t>(lanes)};
    }
  };

  for (int group = 0; group < BlockSize / Lanes; ++group) {
    Reals even[4];
    Reals odd[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const Wide states = reinterpret_cast<Wide>(state[k]);
      const Wide evenProduct = Path::MultiplyLowHalves(states, radius);
      const Wide oddProduct = Path::MultiplyLowHalves(states >> 32, radius);
      even[k] = reinterpret_cast<Reals>((evenProduct >> 32) | twoTo52Bits) - twoTo52;
      odd[k] = reinterpret_cast<Reals>((oddProduct >> 32) | twoTo52Bits) - twoTo52;
      state[k] = state[k] * jump.multiplier + jump.increment;
    }
    filterPoints(even[0], even[1], even[2], even[3], group * Lanes);
    filterPoints(odd[0], odd[1], odd[2], odd[3], group * Lanes + 1);
  }

  BlockTally tally{0, 0};
  for (int i = 0; i < Halves; ++i) tally.inside -= insideLanes[i];
  for (int n = 0; n < undecidedCount; ++n) {
    for (unsigned lanes = undecided[n].lanes; lanes != 0; lanes &= lanes - 1) {
      const int point = undecided[n].firstPoint + 2 * __builtin_ctz(lanes);
      if (IsInsideExactly(DrawsOfPoint(stateBefore, point, filter.radius), filter)) ++tally.inside;
      ++tally.exactPoints;
    }
  }
  return tally;
}

}  // namespace
}  // namespace dartcirc
