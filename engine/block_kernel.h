// The block filter written once for any vector width. A path that needs instruction
// sets beyond the baseline names them in BLOCK_KERNEL_TARGET before including this,
// and the kernel, not the headers it includes, is compiled for them, so that the
// compiler turns the vectors into that path's registers; the anonymous namespace
// gives every path its own copy, and no path's instructions can leak into another's
// through a shared inline function.
//
// A group is Bytes / 4 points, one in each 32-bit lane. Three methods count a block
// (engine/block_filter.h):
//
// The coarse test, from a radius of 64 on. Only the states of the integer draws of
// x and y are stepped from group to group; the fraction draws' states are one step
// back, found when needed. It looks at the integer draws alone: from each state s,
// s >> 1 in single precision for x and y, and the sum of their squares against the
// coarse bounds, in the same units of 2^31 / R (proved in block_filter.cpp). The
// groups with a point it leaves open are noted as they come; after the block, the
// states of their open points are found again and packed, and go through the fine
// test Bytes / 4 at a time: the four draws exactly, the high half of
// state x R from 32 x 32 -> 64 multiplies of the even and of the odd lanes, shifted
// into the mantissa bits of 2^52 so that each arrives as the double 2^52 + draw; S
// in double against the margin. The few points within the margin take the exact
// test.
//
// The grid test, up to a radius of 181: all four draws of every point from 16-bit
// multiplies of the high halves of their states, and the point's place on the grid
// decided in integers; the few points where the low halves may carry into a draw,
// and those on the circle, are counted again from their exact draws.
//
// The fraction test, from a radius of 2 to 4096: each coordinate in single precision
// from the states of its two draws, without drawing them, within 1 / R of the
// point's; the points it leaves open take the fine test as the coarse test's do.
//
// A path supplies, as a record of static functions:
//   Bytes                       the vector width;
//   MultiplyLowHalves(a, b)     per 64-bit lane, low 32 bits of a x low 32 bits of b;
//   MultiplyWords(a, m)         per 32-bit lane, a x m modulo 2^32;
//   MultiplyShortsHigh(a, b)    per 16-bit lane, the high 16 bits of a x b;
//   MultiplyAddShorts(a, b)     per 32-bit lane, the sum of the products of the
//                               signed 16-bit halves of a and b;
//   LanesAtMost(a, b)           bit i set when lane i of the doubles a is at most
//                               that of b;
//   WordLaneBits(m)             bit i set when 32-bit lane i of m, all ones or all
//                               zeros, is all ones;
//   PairsAbove(a, b)            bit i set when a 16-bit half of 32-bit lane i of a
//                               is above that of b;
//   PackedLanes(w, lanes)       the 32-bit lanes of w whose bits are set in lanes,
//                               moved to the front in their order.
// The coarse test keeps its verdicts on the lanes of a group as the path's compares
// give them. A path that compares into mask registers supplies
//   SinglesAtMost(a, b)         bit i set when lane i of the singles a is at most
//                               that of b;
//   IntegersBelow(a, b)         bit i set when lane i of the integers a is below that
//                               of b, and IntegersEqual(a, b) where it is equal;
//   MinusOneIn(counts, lanes)   per 32-bit lane, counts less 1 where the bit of
//                               lanes is set;
// and one whose compares give vectors of lane masks counts them as they are. A path
// that converts unsigned 32-bit lanes to single precision supplies
//   UnsignedToSingles(w)        per 32-bit lane, w as an unsigned number, rounded;
// a path with the 52-bit multiply-adds supplies also
//   MultiplyAddHigh52(c, a, b)  per 64-bit lane, c + the high 52 bits of a x b, of
//                               the low 52 bits of each;
// and the fine test holds each state 20 bits up in its 64-bit lane, so that the
// high half of state x R is the draw itself, added to the bits of 2^52. A path
// that pairs halves with a two-source shuffle, cheaper than a shift on some cores,
// supplies
//   HighHalvesPaired(x, y)      per 32-bit lane, the high 16 bits of x's lane in the
//                               low half and of y's in the high half.
// Everything else is the same code on every path, so the logic the paths share is
// tested on whichever of them the testing machine has.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

// BLOCK_KERNEL_TARGET_BEGIN and _END enclose code compiled for the path's
// instruction sets: the kernel below, and the path's own functions.
#define BLOCK_KERNEL_PRAGMA_TEXT(text) #text
#define BLOCK_KERNEL_PRAGMA(text) _Pragma(BLOCK_KERNEL_PRAGMA_TEXT(text))
#if defined(BLOCK_KERNEL_TARGET) && defined(__clang__)
#define BLOCK_KERNEL_TARGET_BEGIN                                                           \
  BLOCK_KERNEL_PRAGMA(clang attribute push(__attribute__((target(BLOCK_KERNEL_TARGET))), \
                                           apply_to = function))
#define BLOCK_KERNEL_TARGET_END BLOCK_KERNEL_PRAGMA(clang attribute pop)
#elif defined(BLOCK_KERNEL_TARGET)
#define BLOCK_KERNEL_TARGET_BEGIN \
  BLOCK_KERNEL_PRAGMA(GCC push_options) BLOCK_KERNEL_PRAGMA(GCC target(BLOCK_KERNEL_TARGET))
#define BLOCK_KERNEL_TARGET_END BLOCK_KERNEL_PRAGMA(GCC pop_options)
#else
#define BLOCK_KERNEL_TARGET_BEGIN
#define BLOCK_KERNEL_TARGET_END
#endif

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {
namespace {

template <int Bytes>
struct VectorsOf {
  typedef std::uint16_t Shorts __attribute__((vector_size(Bytes)));
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
  for (int bits = 1; bits < 256; ++bits)
    table[bits] = static_cast<std::uint8_t>(table[bits / 2] + bits % 2);
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

// The 16-bit multiplies in plain vector code, for a path without instructions of its
// own for them: per 16-bit lane the high half of the product, and per 32-bit lane
// the sum of the products of its signed 16-bit halves (wrapping as the instruction
// does, at -2^15 x -2^15 twice).
template <class Vectors>
typename Vectors::Shorts ShortsHighByWords(typename Vectors::Shorts a, typename Vectors::Shorts b) {
  using Words = typename Vectors::Words;
  const auto wideA = reinterpret_cast<Words>(a), wideB = reinterpret_cast<Words>(b);
  const Words low = (wideA & 0xFFFF) * (wideB & 0xFFFF), high = (wideA >> 16) * (wideB >> 16);
  return reinterpret_cast<typename Vectors::Shorts>((low >> 16) | (high & 0xFFFF0000));
}

template <class Vectors>
typename Vectors::Words ShortsMultipliedAddedByWords(typename Vectors::Words a, typename Vectors::Words b) {
  using Words = typename Vectors::Words;
  using Integers = typename Vectors::Integers;
  const auto low = [](Words w) { return reinterpret_cast<Words>(reinterpret_cast<Integers>(w << 16) >> 16); };
  const auto high = [](Words w) { return reinterpret_cast<Words>(reinterpret_cast<Integers>(w) >> 16); };
  return low(a) * low(b) + high(a) * high(b);
}

// The lanes set in lanes, moved to the front in their order; the other lanes hold
// anything.
template <class Words>
Words PackedLanesOneByOne(Words values, unsigned lanes) {
  Words packed{};
  for (int n = 0; lanes != 0; lanes &= lanes - 1) packed[n++] = values[__builtin_ctz(lanes)];
  return packed;
}

template <class Vectors>
unsigned WordLaneBitsOneByOne(typename Vectors::Integers m) {
  unsigned bits = 0;
  for (std::size_t i = 0; i < sizeof m / 4; ++i) bits |= unsigned{m[i] != 0} << i;
  return bits;
}

template <class Shorts>
unsigned PairsAboveOneByOne(Shorts a, Shorts b) {
  unsigned bits = 0;
  for (std::size_t i = 0; i < sizeof a / 2; ++i) bits |= unsigned{a[i] > b[i]} << i / 2;
  return bits;
}

// The steps from the state before a block to the states of draw k of the points of
// its first group, one in each of Lanes lanes: 4i + k + 1 for lane i. A table, so
// that a block starts with one multiply for each, not with 32 squarings.
template <int Lanes>
inline constexpr auto FirstGroupSteps = [] {
  std::array<std::array<RandomSteps, Lanes>, 4> steps{};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < Lanes; ++i) steps[k][i] = StepsAhead(4 * i + k + 1);
  }
  return steps;
}();

// The states of draw k of the points of the first group after stateBefore.
template <class Words>
Words FirstGroupStates(std::uint32_t stateBefore, int k) {
  constexpr int Lanes = sizeof(Words) / 4;
  Words states;
  for (int i = 0; i < Lanes; ++i) states[i] = Advance(stateBefore, FirstGroupSteps<Lanes>[k][i]);
  return states;
}

// A block's groups in chunks: the states of a group are found again from those of
// its chunk's first group and the steps of GroupSteps. An even number, so that a
// chunk starts on the first of two chains.
inline constexpr int ChunkGroups = 64;
template <class Words>
inline constexpr int ChunksOf = (BlockSize / (sizeof(Words) / 4) + ChunkGroups - 1) / ChunkGroups;

// A group of a block noted as it comes, with the lanes whose points are left for
// after the block.
struct NotedGroup {
  std::uint16_t group;
  std::uint16_t lanes;
};

// The steps of 0 to ChunkGroups - 1 groups of Lanes points.
template <int Lanes>
inline constexpr auto GroupSteps = [] {
  std::array<RandomSteps, ChunkGroups> steps{};
  for (int groups = 0; groups < ChunkGroups; ++groups) steps[groups] = StepsAhead(4 * Lanes * groups);
  return steps;
}();

// The state s steps later for every lane of states.
template <class Path, class Words>
Words Stepped(Words states, RandomSteps steps) {
  return Path::MultiplyWords(states, steps.multiplier) + steps.increment;
}
inline constexpr RandomSteps OneStepBack = StepsAhead(0xFFFFFFFF);  // 2^32 steps go round

// The states of the four draws of the points of a group, in two chains a group apart
// that step two groups at a time: a step is a 32-bit multiply and an add, and in one
// chain every group would wait for the step of the one before, holding a loop to
// their latency rather than to the rate of the multiplies.
template <class Words>
struct TwoChains {
  Words states[2][4];
};

template <class Path, class Words>
TwoChains<Words> StartTwoChains(std::uint32_t stateBefore) {
  constexpr RandomSteps oneGroup = StepsAhead(Path::Bytes);  // 4 draws of Bytes / 4 points
  TwoChains<Words> chains;
  for (int k = 0; k < 4; ++k) {
    chains.states[0][k] = FirstGroupStates<Words>(stateBefore, k);
    chains.states[1][k] = Stepped<Path>(chains.states[0][k], oneGroup);
  }
  return chains;
}

// count(states, group) for the groups from first, which chain 0 is at, to end; the
// chains after them. Taken and given back whole, so that they stay in registers.
template <class Path, class Words, class Count>
[[gnu::always_inline]] inline TwoChains<Words> ForGroupsOfTwoChains(TwoChains<Words> chains, int first, int end,
                                                                    Count count) {
  constexpr RandomSteps twoGroups = StepsAhead(2 * Path::Bytes);
  const auto countAndStep = [&](Words (&states)[4], int group) __attribute__((always_inline)) {
    count(states, group);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) states[k] = Stepped<Path>(states[k], twoGroups);
  };
  for (int group = first; group < end; group += 2) {
    countAndStep(chains.states[0], group);
    if (group + 1 < end) countAndStep(chains.states[1], group + 1);
  }
  return chains;
}

// The fine test: S in double from the exact draws, against the margin; the points
// within the margin take the exact test at once, from the draws at hand. Lane masks
// become bits at once: the vector units are the busy ones.
template <class Path>
class FineTest {
 public:
  using Reals = typename VectorsOf<Path::Bytes>::Reals;
  static constexpr int Halves = Path::Bytes / 8;  // points a vector of doubles

  explicit FineTest(const BlockFilter& filter)
      : filter_(filter),
        reciprocal_(Reals{} + filter.reciprocal),
        surelyInside_(Reals{} + filter.surelyInside),
        surelyOutside_(Reals{} + filter.surelyOutside) {}

  // The points of the lanes set in lanes.
  void Test(Reals fractionX, Reals integerX, Reals fractionY, Reals integerY, unsigned lanes) {
    // Contracted to fused multiply-adds where the path has them; the margin covers both.
    const Reals x = fractionX * reciprocal_ + integerX;
    const Reals y = fractionY * reciprocal_ + integerY;
    const Reals square = x * x + y * y;
    const unsigned surelyIn = Path::LanesAtMost(square, surelyInside_) & lanes;
    const unsigned notOutside = Path::LanesAtMost(square, surelyOutside_) & lanes;
    tally_.inside += BitsSetIn[surelyIn];
    if (notOutside == surelyIn) return;
    alignas(Path::Bytes) const Reals draws[4] = {fractionX, integerX, fractionY, integerY};
    tally_ += TallyExactLanes(notOutside & ~surelyIn, reinterpret_cast<const double*>(draws), Halves,
                              filter_);
  }

  // The points found inside, and those that took the exact test.
  BlockTally Tally() const { return tally_; }

 private:
  const BlockFilter& filter_;
  Reals reciprocal_;
  Reals surelyInside_;
  Reals surelyOutside_;
  BlockTally tally_{0, 0};
};

template <class Path>
concept ComparesIntoMasks = requires(typename VectorsOf<Path::Bytes>::Singles s,
                                     typename VectorsOf<Path::Bytes>::Integers i) {
  Path::SinglesAtMost(s, s);
  Path::IntegersBelow(i, i);
  Path::IntegersEqual(i, i);
};

// Bit d set when bit 2d of lanes (16 bits at most) is.
inline unsigned EvenLaneBits(unsigned lanes) {
  unsigned bits = lanes & 0x5555;
  bits = (bits | bits >> 1) & 0x3333;
  bits = (bits | bits >> 2) & 0x0F0F;
  return (bits | bits >> 4) & 0x00FF;
}

template <class Path>
concept MultipliesAdd52 = requires(typename VectorsOf<Path::Bytes>::Wide w) {
  Path::MultiplyAddHigh52(w, w, w);
};

// Where a state of the fine test sits in its 64-bit lane; the bits above it are
// ignored.
template <class Path>
inline constexpr int StateShift = MultipliesAdd52<Path> ? 20 : 0;

// The draws of the states in the 64-bit lanes of states, as doubles 2^52 + draw.
template <class Path, class Wide>
auto DrawsOfStates(Wide states, Wide radius) {
  using Reals = typename VectorsOf<sizeof(Wide)>::Reals;
  const Wide twoTo52 = Wide{} + BitsOfTwoTo52;
  Wide biased;
  if constexpr (MultipliesAdd52<Path>) {
    biased = Path::MultiplyAddHigh52(twoTo52, states, radius);
  } else {
    biased = (Path::MultiplyLowHalves(states, radius) >> 32) | twoTo52;
  }
  return reinterpret_cast<Reals>(biased) - 0x1p52;
}

// The draw of a state s below R (R < 2^15) from 16-bit multiplies. With
// s = h 2^16 + l, sR / 2^32 = (hR + lR / 2^16) / 2^16, and as hR is whole its floor
// is that of (hR + floor(lR / 2^16)) / 2^16: floor(hR / 2^16), and one more where
// hR mod 2^16 + floor(lR / 2^16) reaches 2^16, which, as floor(lR / 2^16) < R, needs
// hR mod 2^16 > 2^16 - R. Where R is a power of two, hR mod 2^16 is a multiple of R,
// never above 2^16 - R, and the draws of the high halves are exact.
//
// Per 32-bit lane, the draws of the states of x and of y in the low and the high
// half from the high halves h of the states alone, floor(hR / 2^16); the low
// products hR mod 2^16 are given back in lows for the caller to check against
// CarryFrom.
inline std::uint16_t CarryFrom(std::int32_t radius) { return static_cast<std::uint16_t>(0x10000 - radius); }

// The halves are paired by a shift and a bitwise select, or by a two-source shuffle
// where the path has one: which of the two takes a port that the grid test keeps
// busy differs from core to core.
template <class Path>
concept PairsHighHalves = requires(typename VectorsOf<Path::Bytes>::Words w) { Path::HighHalvesPaired(w, w); };

template <class Path, class Words, class Shorts>
Words DrawPairsOfHighHalves(Words ofX, Words ofY, Shorts radius, Shorts& lows) {
  Shorts highs;
  if constexpr (PairsHighHalves<Path>) {
    highs = reinterpret_cast<Shorts>(Path::HighHalvesPaired(ofX, ofY));
  } else {
    highs = reinterpret_cast<Shorts>((ofY & 0xFFFF0000u) | (ofX >> 16));
  }
  lows = highs * radius;
  return reinterpret_cast<Words>(Path::MultiplyShortsHigh(highs, radius));
}

// The exact draws of such a pair, given its lows: one more where hR mod 2^16 +
// floor(lR / 2^16) passes 2^16 - 1, that is where the 16-bit sum wraps.
template <class Path, class Words, class Shorts>
Words ExactDrawPairs(Words pairs, Shorts lows, Words ofX, Words ofY, Shorts radius) {
  const auto lowHalves = reinterpret_cast<Shorts>((ofY << 16) | (ofX & 0xFFFF));
  const Shorts sum = lows + Path::MultiplyShortsHigh(lowHalves, radius);
  return reinterpret_cast<Words>(reinterpret_cast<Shorts>(pairs) - reinterpret_cast<Shorts>(sum < lows));
}

// Every point by its place on the grid, Lanes at a time: X = jR + i for the draws i, j
// of x, Y the same for y, each below 2^15, so that (X, Y) are the halves of a 32-bit
// lane, formed from the draws' pairs by one 16-bit multiply and add, and X^2 + Y^2
// against the filter's bound from its multiply-add (block_filter.cpp). Where the
// exact test puts the grid points on the circle on both sides, those points take it
// after the loop. Where R is a power of two (DrawsCarry false) nothing carries.
template <class Path, bool OnCircleToo, bool DrawsCarry>
BlockTally CountBlockOnGrid(std::uint32_t stateBefore, const BlockFilter& filter) {
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  using Shorts = typename V::Shorts;
  using Integers = typename V::Integers;
  constexpr int Lanes = Path::Bytes / 4;
  // Every draw below 1 is 0: every point is (0, 0).
  if (filter.radius == 1) return {BlockSize, 0};

  TwoChains<Words> chains = StartTwoChains<Path, Words>(stateBefore);
  const auto radius = Shorts{} + static_cast<std::uint16_t>(filter.radius);
  const auto carryFrom = Shorts{} + CarryFrom(filter.radius);
  const Integers insideBelow = Integers{} + filter.grid.insideBelow;  // R^4 where OnCircleToo
  // The points found inside: lane by lane, less one for each, where the path's
  // compares give vectors of lane masks; where they give bits, from a count of the
  // bits, which takes no vector unit, as a masked subtract would.
  Integers insideCounts{};
  std::int64_t insideBits = 0;

  // X^2 + Y^2 of the points of the draw pairs.
  const auto squares = [&](Words integers, Words fractions) __attribute__((always_inline)) {
    const Words xy = reinterpret_cast<Words>(reinterpret_cast<Shorts>(integers) * radius +
                                             reinterpret_cast<Shorts>(fractions));
    return reinterpret_cast<Integers>(Path::MultiplyAddShorts(xy, xy));
  };
  const auto lanesBelow = [](Integers a, Integers b) {
    if constexpr (ComparesIntoMasks<Path>) return Path::IntegersBelow(a, b);
    else return Path::WordLaneBits(a < b);
  };
  const auto lanesEqual = [](Integers a, Integers b) {
    if constexpr (ComparesIntoMasks<Path>) return Path::IntegersEqual(a, b);
    else return Path::WordLaneBits(a == b);
  };

  BlockTally tally{0, 0};
  const auto testExactly = [&](int group, unsigned lanes) {
    for (; lanes != 0; lanes &= lanes - 1) {
      const int point = group * Lanes + __builtin_ctz(lanes);
      tally.inside += IsInsideExactly(DrawsOfPoint(stateBefore, point, filter.radius), filter);
      ++tally.exactPoints;
    }
  };
  // The lanes whose draws the carry from the low halves of their states may make one
  // more, and those on the circle where they take the exact test, noted with their
  // groups and X^2 + Y^2 as they come, without a branch (a group in 1024 / R has
  // such a lane). After the block, as OpenPoints settles open points, the noted
  // lanes that can change sides are counted again from their exact draws: a carry
  // makes X at most R + 1 more, and as X, Y < R^2, X^2 + Y^2 less than reach =
  // 4(R + 1)R^2 + 2(R + 1)^2 more, so a point found inside that far or further below
  // the bound, or found outside, stays where it is. That leaves about one lane in
  // 5000 whatever R, where 4R in 2^16 may carry.
  const std::int32_t above = filter.radius + 1;
  const Integers nearAbove = insideBelow - (4 * above * filter.radius * filter.radius + 2 * above * above);
  constexpr int Groups = BlockSize / Lanes;
  NotedGroup noted[Groups];
  Integers notedSquares[Groups];
  int notedCount = 0;
  Words chunkStates[ChunksOf<Words>][4];
  const auto countGroup = [&](const Words (&states)[4], int group) __attribute__((always_inline)) {
    // The integer draws (j, l) and the fraction draws (i, k) in pairs, from the high
    // halves of the states.
    Shorts lowsOfIntegers, lowsOfFractions;
    const Words integers = DrawPairsOfHighHalves<Path>(states[1], states[3], radius, lowsOfIntegers);
    const Words fractions = DrawPairsOfHighHalves<Path>(states[0], states[2], radius, lowsOfFractions);
    unsigned lanes = 0;
    if constexpr (DrawsCarry) {
      lanes = Path::PairsAbove(lowsOfIntegers > lowsOfFractions ? lowsOfIntegers : lowsOfFractions, carryFrom);
    }
    const Integers square = squares(integers, fractions);
    if constexpr (ComparesIntoMasks<Path>) {
      insideBits += std::popcount(Path::IntegersBelow(square, insideBelow));
      if (OnCircleToo) lanes |= Path::IntegersEqual(square, insideBelow);
    } else {
      insideCounts += square < insideBelow;
      if (OnCircleToo) lanes |= Path::WordLaneBits(square == insideBelow);
    }
    if constexpr (DrawsCarry || OnCircleToo) {
      noted[notedCount] = {static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(lanes)};
      notedSquares[notedCount] = square;
      notedCount += lanes != 0;
    }
  };
  // The noted points of a group counted again: less their verdicts from the draws of
  // the high halves, whose X^2 + Y^2 was kept, plus those from the exact draws; those
  // on the circle by the exact draws take the exact test.
  const auto countAgain = [&](NotedGroup again, Integers shortSquare) {
    Words states[4];
    for (int k = 0; k < 4; ++k) {
      states[k] = Stepped<Path>(chunkStates[again.group / ChunkGroups][k], GroupSteps<Lanes>[again.group % ChunkGroups]);
    }
    Shorts lowsOfIntegers, lowsOfFractions;
    const Words integers = DrawPairsOfHighHalves<Path>(states[1], states[3], radius, lowsOfIntegers);
    const Words fractions = DrawPairsOfHighHalves<Path>(states[0], states[2], radius, lowsOfFractions);
    const Integers square = squares(ExactDrawPairs<Path>(integers, lowsOfIntegers, states[1], states[3], radius),
                                    ExactDrawPairs<Path>(fractions, lowsOfFractions, states[0], states[2], radius));
    tally.inside += std::popcount(lanesBelow(square, insideBelow) & again.lanes) -
                    std::popcount(lanesBelow(shortSquare, insideBelow) & again.lanes);
    if (OnCircleToo) testExactly(again.group, lanesEqual(square, insideBelow) & again.lanes);
  };
  for (int chunk = 0; chunk < Groups; chunk += ChunkGroups) {
    std::memcpy(chunkStates[chunk / ChunkGroups], chains.states[0], sizeof chunkStates[0]);
    chains = ForGroupsOfTwoChains<Path>(chains, chunk, std::min(chunk + ChunkGroups, Groups), countGroup);
  }
  const Integers justAbove = insideBelow + 1;  // on the circle too, where OnCircleToo
  for (int n = 0; n < notedCount; ++n) {
    const unsigned lanes =
        noted[n].lanes & lanesBelow(nearAbove, notedSquares[n]) & lanesBelow(notedSquares[n], justAbove);
    if (lanes != 0) countAgain({noted[n].group, static_cast<std::uint16_t>(lanes)}, notedSquares[n]);
  }

  tally.inside += insideBits;
  for (int i = 0; i < Lanes; ++i) tally.inside -= insideCounts[i];
  return tally;
}

// The verdict of a test in single precision on the points of a group: a square
// against bounds at or below which a point is inside and above which it is
// outside. The points inside are counted; the lanes of the others between the
// bounds, left open, are given back.
template <class Path>
struct SinglesBounds {
  typename VectorsOf<Path::Bytes>::Singles inside;
  typename VectorsOf<Path::Bytes>::Singles outside;
};

template <class Path>
unsigned OpenLanes(typename VectorsOf<Path::Bytes>::Singles square, const SinglesBounds<Path>& bounds,
                   typename VectorsOf<Path::Bytes>::Integers& insideCounts) {  // minus the points inside
  // Inside implies not outside, so the open lanes are the difference of the two.
  if constexpr (ComparesIntoMasks<Path>) {
    const unsigned inside = Path::SinglesAtMost(square, bounds.inside);
    insideCounts = Path::MinusOneIn(insideCounts, inside);
    return Path::SinglesAtMost(square, bounds.outside) ^ inside;
  } else {
    const auto inside = square <= bounds.inside;
    insideCounts += inside;  // all ones, minus one, where inside
    return Path::WordLaneBits((square <= bounds.outside) ^ inside);
  }
}

// The points a test left open, noted with their groups as they come, without a
// branch (a mispredicted branch for each group would cost more), and the states of
// the integer draws of the first group of each chunk of groups. After the block the
// states of the open points are found again from their chunk's and packed, and go
// through the fine test Lanes points at a time. After the block, not after each
// chunk: a loop over a chunk's noted groups ends at a count known only once the
// chunk is done, and its mispredicted end would throw away the work begun on the
// next. The notes and the counts stay with the loop, in registers.
template <class Path>
class OpenPoints {
 public:
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  static constexpr int Lanes = Path::Bytes / 4;

  explicit OpenPoints(const BlockFilter& filter)
      : fine_(filter), radius_(typename V::Wide{} + static_cast<std::uint32_t>(filter.radius)) {}

  // The open points of the groups, the integer draws of the first group of chunk c
  // following the states chunkX[c] and chunkY[c]. Kept out of the loop, so that the
  // loop keeps its registers. The count of packed points is a local: kept in the
  // record, each group's stores would wait for the last group's count to come back
  // from memory.
  [[gnu::noinline]] void Settle(std::span<const NotedGroup> groups, const Words* chunkX, const Words* chunkY) {
    int packed = 0;
    for (const NotedGroup& found : groups) {
      if (packed + Lanes > Room) packed = TestWholeVectors(packed);  // a packed vector is stored whole
      const RandomSteps steps = GroupSteps<Lanes>[found.group % ChunkGroups];
      const int chunk = found.group / ChunkGroups;
      const Words packedX = Path::PackedLanes(Stepped<Path>(chunkX[chunk], steps), found.lanes);
      const Words packedY = Path::PackedLanes(Stepped<Path>(chunkY[chunk], steps), found.lanes);
      std::memcpy(openX_ + packed, &packedX, sizeof packedX);
      std::memcpy(openY_ + packed, &packedY, sizeof packedY);
      packed += std::popcount(found.lanes);
    }
    packed = TestWholeVectors(packed);
    if (packed > 0) Test(0, packed);
  }

  // The points found inside by the fine test, less insideCounts, and those that took
  // the exact test.
  BlockTally Tally(typename V::Integers insideCounts) {
    BlockTally tally = fine_.Tally();
    for (int i = 0; i < Lanes; ++i) tally.inside -= insideCounts[i];
    return tally;
  }

 private:
  static constexpr int Room = (ChunkGroups + 2) * Lanes;

  // The whole vectors of the packed points through the fine test, and the rest, if
  // any, with what the last store wrote past it, moved to the front: a vector from
  // there lies within the buffer, which a full buffer with no rest would not. The
  // count of the rest.
  int TestWholeVectors(int packed) {
    const int whole = packed - packed % Lanes;
    for (int first = 0; first < whole; first += Lanes) Test(first, Lanes);
    if (whole < packed) {
      std::memmove(openX_, openX_ + whole, sizeof(Words));
      std::memmove(openY_, openY_ + whole, sizeof(Words));
    }
    return packed - whole;
  }

  // The fine test of count packed points from first on. The last packed vector was
  // stored whole, so a vector from first on is all written.
  void Test(int first, int count) {
    Words integerX, integerY;
    std::memcpy(&integerX, openX_ + first, sizeof integerX);
    std::memcpy(&integerY, openY_ + first, sizeof integerY);
    const Words states[4] = {Stepped<Path>(integerX, OneStepBack), integerX, Stepped<Path>(integerY, OneStepBack),
                             integerY};
    typename V::Reals even[4];
    typename V::Reals odd[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const auto pair = reinterpret_cast<typename V::Wide>(states[k]);
      even[k] = DrawsOfStates<Path>(pair << StateShift<Path>, radius_);
      odd[k] = DrawsOfStates<Path>((pair >> 32) << StateShift<Path>, radius_);
    }
    const unsigned lanes = (1u << count) - 1;
    fine_.Test(even[0], even[1], even[2], even[3], EvenLaneBits(lanes));
    fine_.Test(odd[0], odd[1], odd[2], odd[3], EvenLaneBits(lanes >> 1));
  }

 private:
  FineTest<Path> fine_;
  typename V::Wide radius_;
  std::uint32_t openX_[Room];
  std::uint32_t openY_[Room];
};

// Every point through the coarse test, Lanes at a time, and those it leaves open
// through the fine test.
template <class Path>
BlockTally CountBlockCoarselyFirst(std::uint32_t stateBefore, const BlockFilter& filter) {
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  using Integers = typename V::Integers;
  using Singles = typename V::Singles;
  using Open = OpenPoints<Path>;
  constexpr int Lanes = Path::Bytes / 4;
  constexpr int Groups = BlockSize / Lanes;

  Words integerStateX = FirstGroupStates<Words>(stateBefore, 1);
  Words integerStateY = FirstGroupStates<Words>(stateBefore, 3);
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const SinglesBounds<Path> bounds{Singles{} + filter.coarse.surelyInside, Singles{} + filter.coarse.surelyOutside};
  Integers insideCounts{};
  Open points(filter);
  NotedGroup open[Groups];
  int openCount = 0;
  Words chunkX[ChunksOf<Words>], chunkY[ChunksOf<Words>];

  // Two groups at a time, each stepping its states two groups on: the step is a
  // 32-bit multiply, which takes 10 cycles on some cores, and one chain of them
  // from group to group would hold the loop to that.
  Words nextStateX = Stepped<Path>(integerStateX, jump);
  Words nextStateY = Stepped<Path>(integerStateY, jump);
  constexpr RandomSteps jumpTwo = ThenSteps(jump, jump);
  for (int chunk = 0; chunk < Groups; chunk += ChunkGroups) {
    const int chunkEnd = chunk + ChunkGroups < Groups ? chunk + ChunkGroups : Groups;
    chunkX[chunk / ChunkGroups] = integerStateX;
    chunkY[chunk / ChunkGroups] = integerStateY;
    const auto coarseTest = [&](Words stateX, Words stateY, int group) {
      const Singles coarseX = __builtin_convertvector(reinterpret_cast<Integers>(stateX >> 1), Singles);
      const Singles coarseY = __builtin_convertvector(reinterpret_cast<Integers>(stateY >> 1), Singles);
      const unsigned lanes = OpenLanes<Path>(coarseX * coarseX + coarseY * coarseY, bounds, insideCounts);
      open[openCount] = {static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(lanes)};
      openCount += lanes != 0;
    };
    for (int group = chunk; group < chunkEnd; group += 2) {
      coarseTest(integerStateX, integerStateY, group);
      if (group + 1 < chunkEnd) coarseTest(nextStateX, nextStateY, group + 1);
      integerStateX = Stepped<Path>(integerStateX, jumpTwo);
      integerStateY = Stepped<Path>(integerStateY, jumpTwo);
      nextStateX = Stepped<Path>(nextStateX, jumpTwo);
      nextStateY = Stepped<Path>(nextStateY, jumpTwo);
    }
  }
  points.Settle({open, static_cast<std::size_t>(openCount)}, chunkX, chunkY);
  return points.Tally(insideCounts);
}

template <class Path>
concept ConvertsUnsigned = requires(typename VectorsOf<Path::Bytes>::Words w) {
  Path::UnsignedToSingles(w);
};

// The coordinate i + j / R of the draws j of the state before s and i of s, up to
// 1 / R below it (block_filter.cpp): iR = sR - (sR mod 2^32) in units of 2^-32, and
// j / R lies within 1 / R below the state before s in the same units. A path that
// converts unsigned words to single precision takes the states whole, in units of
// 2^-32; another takes halves of them, which the signed conversion takes, in units
// of 2^-31.
template <class Path, class Words>
auto CoordinateOfStates(Words fractionState, Words integerState, std::uint32_t radius) {
  using V = VectorsOf<sizeof(Words)>;
  using Integers = typename V::Integers;
  using Singles = typename V::Singles;
  const Words low = Path::MultiplyWords(integerState, radius);
  if constexpr (ConvertsUnsigned<Path>) {
    return Path::UnsignedToSingles(integerState) * static_cast<float>(radius) +
           (Path::UnsignedToSingles(fractionState) - Path::UnsignedToSingles(low));
  } else {
    const Integers rest = reinterpret_cast<Integers>(fractionState >> 1) - reinterpret_cast<Integers>(low >> 1);
    const Singles integer = __builtin_convertvector(reinterpret_cast<Integers>(integerState >> 1), Singles);
    return integer * static_cast<float>(radius) + __builtin_convertvector(rest, Singles);
  }
}

// Every point from its coordinates in single precision, taken from its four states
// without the draws, Lanes at a time, and those within 1 / R of the circle through
// the fine test.
template <class Path>
BlockTally CountBlockByFractions(std::uint32_t stateBefore, const BlockFilter& filter) {
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  using Singles = typename V::Singles;
  using Open = OpenPoints<Path>;
  constexpr int Lanes = Path::Bytes / 4;
  constexpr int Groups = BlockSize / Lanes;

  TwoChains<Words> chains = StartTwoChains<Path, Words>(stateBefore);
  const auto radius = static_cast<std::uint32_t>(filter.radius);
  constexpr float units = ConvertsUnsigned<Path> ? 4 : 1;  // the bounds are in units of 2^-62
  const SinglesBounds<Path> bounds{Singles{} + filter.fractions.surelyInside * units,
                                   Singles{} + filter.fractions.surelyOutside * units};
  typename V::Integers insideCounts{};
  Open points(filter);
  NotedGroup open[Groups];
  int openCount = 0;
  Words chunkX[ChunksOf<Words>], chunkY[ChunksOf<Words>];
  const auto testGroup = [&](const Words (&states)[4], int group) __attribute__((always_inline)) {
    const auto x = CoordinateOfStates<Path>(states[0], states[1], radius);
    const auto y = CoordinateOfStates<Path>(states[2], states[3], radius);
    const unsigned lanes = OpenLanes<Path>(x * x + y * y, bounds, insideCounts);
    open[openCount] = {static_cast<std::uint16_t>(group), static_cast<std::uint16_t>(lanes)};
    openCount += lanes != 0;
  };
  for (int chunk = 0; chunk < Groups; chunk += ChunkGroups) {
    chunkX[chunk / ChunkGroups] = chains.states[0][1];
    chunkY[chunk / ChunkGroups] = chains.states[0][3];
    chains = ForGroupsOfTwoChains<Path>(chains, chunk, std::min(chunk + ChunkGroups, Groups), testGroup);
  }
  points.Settle({open, static_cast<std::size_t>(openCount)}, chunkX, chunkY);
  return points.Tally(insideCounts);
}

template <class Path>
BlockTally CountBlockOnGridAsItsRadiusNeeds(std::uint32_t stateBefore, const BlockFilter& filter) {
  const std::int32_t radius = filter.radius;
  // A power of two has no prime factor 4k + 1 either: no grid point lies on the circle.
  if ((radius & (radius - 1)) == 0) return CountBlockOnGrid<Path, false, false>(stateBefore, filter);
  return filter.grid.onCircleToo ? CountBlockOnGrid<Path, true, true>(stateBefore, filter)
                                 : CountBlockOnGrid<Path, false, true>(stateBefore, filter);
}

template <class Path>
BlockTally CountBlockBy(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter) {
  switch (method) {
    case BlockMethod::Grid:
      return CountBlockOnGridAsItsRadiusNeeds<Path>(stateBefore, filter);
    case BlockMethod::Fractions:
      return CountBlockByFractions<Path>(stateBefore, filter);
    case BlockMethod::CoarseFirst:
      break;
  }
  return CountBlockCoarselyFirst<Path>(stateBefore, filter);
}

}  // namespace
}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
