// The block filter written once for any vector width. Each path includes this after
// its other headers, inside its own target region, so that the compiler turns the
// vectors into that path's registers; the anonymous namespace gives every path its
// own copy, and no path's instructions can leak into another's through a shared
// inline function.
//
// A group is Bytes / 4 points, one in each 32-bit lane: lane i of state[k] holds
// the state of draw k of point i of the group. Only the states of the integer draws
// (k = 1, 3) are stepped from group to group; the fraction draws' states are one
// step back, found when needed.
//
// The coarse test looks at the integer draws alone: in single precision, from the
// states, u = (s >> 1) x R / 2^31 and v the same for y, and w = u^2 + v^2, which
// decides every point whose S lies far enough from R^2 (CoarseBoundsFor proves how
// far). A group with a point it leaves open goes through the fine test: the four
// draws exactly, the high half of state x R from 32 x 32 -> 64 multiplies of the
// even and of the odd lanes, shifted into the mantissa bits of 2^52 so that each
// arrives as the double 2^52 + draw; S in double, the even and the odd points
// apart, against the margin of block_filter.cpp; the points within that margin
// take the exact test after the loop.
//
// A path supplies, as a record of static functions:
//   Bytes                       the vector width;
//   MultiplyLowHalves(a, b)     per 64-bit lane, low 32 bits of a x low 32 bits of b;
//   MultiplyWords(a, m)         per 32-bit lane, a x m modulo 2^32;
//   AnyLane(m)                  whether any bit of m is set;
//   LaneBits(m)                 bit i set when 64-bit lane i of m, all ones or all
//                               zeros, is all ones.
// Everything else is the same code on every path, so the logic the paths share is
// tested on whichever of them the testing machine has.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {
namespace {

template <int Bytes>
struct VectorsOf {
  typedef std::uint32_t Words __attribute__((vector_size(Bytes)));
  typedef std::int32_t Integers __attribute__((vector_size(Bytes)));
  typedef float Singles __attribute__((vector_size(Bytes)));
  typedef std::uint64_t Wide __attribute__((vector_size(Bytes)));
  typedef std::int64_t Masks __attribute__((vector_size(Bytes)));
  typedef double Reals __attribute__((vector_size(Bytes)));
};

inline constexpr std::uint64_t BitsOfTwoTo52 = 0x4330000000000000;

// The number of bits set in a byte. A table: the oldest 64-bit processors have no
// instruction for it, and the compiler would call a library function instead.
inline constexpr auto BitsSetIn = [] {
  std::array<std::uint8_t, 256> table{};
  for (int bits = 1; bits < 256; ++bits) table[bits] = static_cast<std::uint8_t>(table[bits / 2] + bits % 2);
  return table;
}();

// a x m modulo 2^32 per 32-bit lane from the 32 x 32 -> 64 multiplies, for a path
// whose vectors have no 32-bit multiply.
template <class Path, class Words>
Words MultiplyWordsByHalves(Words a, std::uint32_t m) {
  using Wide = typename VectorsOf<sizeof(Words)>::Wide;
  const Wide wideA = reinterpret_cast<Wide>(a);
  const Wide multiplier = Wide{} + m;
  const Wide even = Path::MultiplyLowHalves(wideA, multiplier);
  const Wide odd = Path::MultiplyLowHalves(wideA >> 32, multiplier);
  return reinterpret_cast<Words>((even & 0xFFFFFFFFu) | (odd << 32));
}

// The 32-bit lanes 2d + Odd of lanes, each spread over 64-bit lane d.
template <int Odd, class Integers, std::size_t... Lane>
auto WidenedLanesOf(Integers lanes, std::index_sequence<Lane...>) {
  using Masks = typename VectorsOf<sizeof(Integers)>::Masks;
  return reinterpret_cast<Masks>(__builtin_shufflevector(lanes, lanes, (Lane / 2 * 2 + Odd)...));
}

template <int Odd, class Integers>
auto WidenedLanes(Integers lanes) {
  return WidenedLanesOf<Odd>(lanes, std::make_index_sequence<sizeof(Integers) / 4>());
}

// The state s steps later for every lane of states.
template <class Path, class Words>
Words Stepped(Words states, RandomSteps steps) {
  return Path::MultiplyWords(states, steps.multiplier) + steps.increment;
}
inline constexpr RandomSteps OneStepBack = StepsAhead(0xFFFFFFFF);  // 2^32 steps go round

template <class Path>
BlockTally CountBlockWith(std::uint32_t stateBefore, const BlockFilter& filter) {
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  using Integers = typename V::Integers;
  using Singles = typename V::Singles;
  using Wide = typename V::Wide;
  using Masks = typename V::Masks;
  using Reals = typename V::Reals;
  constexpr int Lanes = Path::Bytes / 4;   // points a group
  constexpr int Halves = Path::Bytes / 8;  // points a vector of doubles

  Words integerStateX;
  Words integerStateY;
  for (int i = 0; i < Lanes; ++i) {
    integerStateX[i] = Advance(stateBefore, StepsAhead(4 * i + 2));
    integerStateY[i] = Advance(stateBefore, StepsAhead(4 * i + 4));
  }
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const Singles scale = Singles{} + filter.coarse.scale;
  const Singles coarseInsideBound = Singles{} + filter.coarse.surelyInside;
  const Singles coarseOutsideBound = Singles{} + filter.coarse.surelyOutside;
  const Wide radius = Wide{} + static_cast<std::uint32_t>(filter.radius);
  const Wide twoTo52Bits = Wide{} + BitsOfTwoTo52;
  const Reals twoTo52 = Reals{} + 0x1p52;
  const Reals reciprocal = Reals{} + filter.reciprocal;
  const Reals surelyInside = Reals{} + filter.surelyInside;
  const Reals surelyOutside = Reals{} + filter.surelyOutside;

  // Minus the points the coarse test finds inside, lane by lane.
  Integers coarselyInside{};
  std::int64_t finelyInside = 0;
  // Vectors of points within the fine margin: tested exactly after the loop, from
  // their draws found again, so that the loop holds no call.
  struct Undecided {
    std::uint16_t firstPoint;  // the point of lane 0
    std::uint8_t stride;       // lane i holds firstPoint + i x stride
    std::uint8_t lanes;
  };
  Undecided undecided[BlockSize / Halves];
  int undecidedCount = 0;

  // The lane masks become bits at once: the vector units are the busy ones.
  const auto finePoints = [&](Reals fractionX, Reals integerX, Reals fractionY, Reals integerY,
                              unsigned lanes, int firstPoint, int stride) {
    // Contracted to fused multiply-adds where the path has them; the margin covers both.
    const Reals x = fractionX * reciprocal + integerX;
    const Reals y = fractionY * reciprocal + integerY;
    const Reals square = x * x + y * y;
    const unsigned surelyIn = Path::LaneBits(square <= surelyInside) & lanes;
    const unsigned notOutside = Path::LaneBits(square <= surelyOutside) & lanes;
    finelyInside += BitsSetIn[surelyIn];
    if (notOutside != surelyIn) {
      undecided[undecidedCount++] = {static_cast<std::uint16_t>(firstPoint),
                                     static_cast<std::uint8_t>(stride),
                                     static_cast<std::uint8_t>(notOutside & ~surelyIn)};
    }
  };

  // A group the coarse test left open, as it was met.
  struct OpenGroup {
    Words integerStateX;
    Words integerStateY;
    Integers lanes;  // the points left open
    int group;
  };
  // Open groups are gathered without a branch and taken through the fine test a
  // chunk at a time, which a mispredicted branch for each would cost more than.
  constexpr int ChunkGroups = 64;
  OpenGroup openGroups[ChunkGroups];

  const auto fineGroup = [&](const OpenGroup& open) {
    const Words state[4] = {Stepped<Path>(open.integerStateX, OneStepBack), open.integerStateX,
                            Stepped<Path>(open.integerStateY, OneStepBack), open.integerStateY};
    Reals even[4];
    Reals odd[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const Wide states = reinterpret_cast<Wide>(state[k]);
      const Wide evenProduct = Path::MultiplyLowHalves(states, radius);
      const Wide oddProduct = Path::MultiplyLowHalves(states >> 32, radius);
      even[k] = reinterpret_cast<Reals>((evenProduct >> 32) | twoTo52Bits) - twoTo52;
      odd[k] = reinterpret_cast<Reals>((oddProduct >> 32) | twoTo52Bits) - twoTo52;
    }
    const int firstPoint = open.group * Lanes;
    finePoints(even[0], even[1], even[2], even[3], Path::LaneBits(WidenedLanes<0>(open.lanes)), firstPoint, 2);
    finePoints(odd[0], odd[1], odd[2], odd[3], Path::LaneBits(WidenedLanes<1>(open.lanes)),
               firstPoint + 1, 2);
  };

  if (!filter.coarse.worthIt) {
    // Small radii: most groups would fail the coarse test, so every point takes
    // the fine test, on 64-bit lanes with the state in the low half, which need no
    // step back and no shuffle.
    Wide states[4];
    for (int k = 0; k < 4; ++k) {
      for (int i = 0; i < Halves; ++i) states[k][i] = Advance(stateBefore, StepsAhead(4 * i + k + 1));
    }
    constexpr RandomSteps halvesJump = StepsAhead(4 * Halves);
    const Wide jumpMultiplier = Wide{} + halvesJump.multiplier;
    const Wide jumpIncrement = Wide{} + halvesJump.increment;
    for (int group = 0; group < BlockSize / Halves; ++group) {
      Reals draw[4];
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        const Wide product = Path::MultiplyLowHalves(states[k], radius);
        draw[k] = reinterpret_cast<Reals>((product >> 32) | twoTo52Bits) - twoTo52;
        states[k] = Path::MultiplyLowHalves(states[k], jumpMultiplier) + jumpIncrement;
      }
      finePoints(draw[0], draw[1], draw[2], draw[3], (1u << Halves) - 1, group * Halves, 1);
    }
  }

  constexpr int Groups = BlockSize / Lanes;
  for (int chunk = 0; filter.coarse.worthIt && chunk < Groups; chunk += ChunkGroups) {
    const int chunkEnd = chunk + ChunkGroups < Groups ? chunk + ChunkGroups : Groups;
    int openCount = 0;
    for (int group = chunk; group < chunkEnd; ++group) {
      {
        const Singles u =
            __builtin_convertvector(reinterpret_cast<Integers>(integerStateX >> 1), Singles) * scale;
        const Singles v =
            __builtin_convertvector(reinterpret_cast<Integers>(integerStateY >> 1), Singles) * scale;
        const Singles w = u * u + v * v;
        const Integers inside = w <= coarseInsideBound;
        const Integers open = (w <= coarseOutsideBound) ^ inside;  // inside implies the first
        coarselyInside += inside;
        openGroups[openCount] = {integerStateX, integerStateY, open, group};
        openCount += Path::AnyLane(reinterpret_cast<Masks>(open));
      }
      integerStateX = Stepped<Path>(integerStateX, jump);
      integerStateY = Stepped<Path>(integerStateY, jump);
    }
    for (int n = 0; n < openCount; ++n) fineGroup(openGroups[n]);
  }

  BlockTally tally{finelyInside, 0};
  for (int i = 0; i < Lanes; ++i) tally.inside -= coarselyInside[i];
  for (int n = 0; n < undecidedCount; ++n) {
    for (unsigned lanes = undecided[n].lanes; lanes != 0; lanes &= lanes - 1) {
      const int point = undecided[n].firstPoint + undecided[n].stride * __builtin_ctz(lanes);
      if (IsInsideExactly(DrawsOfPoint(stateBefore, point, filter.radius), filter)) ++tally.inside;
      ++tally.exactPoints;
    }
  }
  return tally;
}

}  // namespace
}  // namespace dartcirc
