// The block filter written once for any vector width. A path that needs instruction
// sets beyond the baseline names them in BLOCK_KERNEL_TARGET before including this,
// and the kernel, not the headers it includes, is compiled for them, so that the
// compiler turns the vectors into that path's registers; the anonymous namespace
// gives every path its own copy, and no path's instructions can leak into another's
// through a shared inline function.
//
// From a radius of 64 on, a group is Bytes / 4 points, one in each 32-bit lane.
// Only the states of the integer draws of x and y are stepped from group to group;
// the fraction draws' states are one step back, found when needed. The coarse test
// looks at the integer draws alone: from each state s, s >> 1 in single precision
// for x and y, and the sum of their squares against the coarse bounds, in the same
// units of 2^31 / R (proved in block_filter.cpp). The few groups with a point it
// leaves open are gathered and go through the fine test: the four draws exactly,
// the high half of state x R from 32 x 32 -> 64 multiplies of the even and of the
// odd lanes, shifted into the mantissa bits of 2^52 so that each arrives as the
// double 2^52 + draw; S in double against the margin. The points within the
// margin take the exact test after the loop.
//
// Below a radius of 64 most groups would be left open, so every point takes the
// fine test, on 64-bit lanes each holding one point's state (CountBlockWith); a
// path whose fine test is cheap may call the two ways from radii of its own. At
// the smallest radii many points lie within the margin, and they take the exact
// test at once.
//
// A path supplies, as a record of static functions:
//   Bytes                       the vector width;
//   MultiplyLowHalves(a, b)     per 64-bit lane, low 32 bits of a x low 32 bits of b;
//   MultiplyWords(a, m)         per 32-bit lane, a x m modulo 2^32;
//   LanesAtMost(a, b)           bit i set when lane i of the doubles a is at most
//                               that of b.
// The coarse test keeps its verdicts on the lanes of a group as the path's compares
// give them. A path that compares into mask registers supplies
//   SinglesAtMost(a, b)         bit i set when lane i of the singles a is at most
//                               that of b;
//   MinusOneIn(counts, lanes)   per 32-bit lane, counts less 1 where the bit of
//                               lanes is set;
// and one whose compares give vectors of lane masks, which turning into bits would
// cost as much as the vector work it saves, supplies
//   AnyLane(m)                  whether any bit of m is set;
//   LaneBits(m)                 bit i set when 64-bit lane i of m, all ones or all
//                               zeros, is all ones.
// A path with the 52-bit multiply-adds supplies also
//   MultiplyAddLow52(c, a, b)   per 64-bit lane, c + the low 52 bits of a x b, of
//                               the low 52 bits of each;
//   MultiplyAddHigh52(c, a, b)  the same with the high 52 bits of that product;
// and the fine test holds each state 20 bits up in its 64-bit lane, so that these
// do all of its integer work: the low half of state x multiplier steps the
// generator (the bits it carries above 52 do not reach the next multiply), and the
// high half of state x R is the draw itself, added to the bits of 2^52.
// Everything else is the same code on every path, so the logic the paths share is
// tested on whichever of them the testing machine has.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
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

// When the points within the margin take the exact test: at once, from their draws
// at hand, where many lie there (the smallest radii), or at the end, from their
// draws found again, where few do, so that the loop holds no call.
enum class ExactTest { AtOnce, AtTheEnd };

// The fine test: S in double from the exact draws, against the margin. Lane masks
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

  // The points of the lanes set in lanes; lane i holds point firstPoint + i x stride.
  void Test(Reals fractionX, Reals integerX, Reals fractionY, Reals integerY, unsigned lanes,
            int firstPoint, int stride, ExactTest when) {
    // Contracted to fused multiply-adds where the path has them; the margin covers both.
    const Reals x = fractionX * reciprocal_ + integerX;
    const Reals y = fractionY * reciprocal_ + integerY;
    const Reals square = x * x + y * y;
    const unsigned surelyIn = Path::LanesAtMost(square, surelyInside_) & lanes;
    const unsigned notOutside = Path::LanesAtMost(square, surelyOutside_) & lanes;
    inside_ += BitsSetIn[surelyIn];
    if (notOutside == surelyIn) return;
    if (when == ExactTest::AtOnce) {
      alignas(Path::Bytes) const Reals draws[4] = {fractionX, integerX, fractionY, integerY};
      exact_ += TallyExactLanes(notOutside & ~surelyIn, reinterpret_cast<const double*>(draws),
                                Halves, filter_);
    } else {
      undecided_[undecidedCount_++] = {static_cast<std::uint16_t>(firstPoint),
                                       static_cast<std::uint8_t>(stride),
                                       static_cast<std::uint8_t>(notOutside & ~surelyIn)};
    }
  }

  // The points found inside, after the exact test of those within the margin.
  BlockTally Finish(std::uint32_t stateBefore) const {
    BlockTally tally{inside_ + exact_.inside, exact_.exactPoints};
    for (int n = 0; n < undecidedCount_; ++n) {
      for (unsigned lanes = undecided_[n].lanes; lanes != 0; lanes &= lanes - 1) {
        const int point = undecided_[n].firstPoint + undecided_[n].stride * __builtin_ctz(lanes);
        if (IsInsideExactly(DrawsOfPoint(stateBefore, point, filter_.radius), filter_)) {
          ++tally.inside;
        }
        ++tally.exactPoints;
      }
    }
    return tally;
  }

 private:
  struct Undecided {
    std::uint16_t firstPoint;
    std::uint8_t stride;
    std::uint8_t lanes;
  };

  const BlockFilter& filter_;
  Reals reciprocal_;
  Reals surelyInside_;
  Reals surelyOutside_;
  std::int64_t inside_ = 0;
  BlockTally exact_{0, 0};
  int undecidedCount_ = 0;
  Undecided undecided_[BlockSize / Halves];
};

template <class Path>
concept ComparesIntoMasks = requires(typename VectorsOf<Path::Bytes>::Singles s) {
  Path::SinglesAtMost(s, s);
};

// The coarse test's verdict on the lanes of a group, in the path's form.
template <class Path>
using CoarseLanes = std::conditional_t<ComparesIntoMasks<Path>, unsigned,
                                       typename VectorsOf<Path::Bytes>::Integers>;

// Bit d set when 32-bit lane 2d + Odd is in lanes.
template <class Path, int Odd>
unsigned HalfLaneBits(CoarseLanes<Path> lanes) {
  if constexpr (ComparesIntoMasks<Path>) {
    unsigned bits = (lanes >> Odd) & 0x5555;  // 16 lanes at most
    bits = (bits | bits >> 1) & 0x3333;
    bits = (bits | bits >> 2) & 0x0F0F;
    return (bits | bits >> 4) & 0x00FF;
  } else {
    return Path::LaneBits(WidenedLanes<Odd>(lanes));
  }
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

// The states of the 64-bit lanes of states, each a jump on; increment is shifted
// as the states are.
template <class Path, class Wide>
Wide JumpedStates(Wide states, Wide multiplier, Wide increment) {
  if constexpr (MultipliesAdd52<Path>) {
    return Path::MultiplyAddLow52(increment, states, multiplier);
  } else {
    return Path::MultiplyLowHalves(states, multiplier) + increment;
  }
}

// Every point through the fine test, Halves at a time, each 64-bit lane holding one
// point's state: no step back and no shuffle.
template <class Path>
BlockTally CountBlockFinely(std::uint32_t stateBefore, const BlockFilter& filter) {
  using Wide = typename VectorsOf<Path::Bytes>::Wide;
  using Reals = typename VectorsOf<Path::Bytes>::Reals;
  constexpr int Halves = Path::Bytes / 8;
  constexpr int Shift = StateShift<Path>;

  Wide states[4];
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < Halves; ++i) {
      states[k][i] = std::uint64_t{Advance(stateBefore, StepsAhead(4 * i + k + 1))} << Shift;
    }
  }
  constexpr RandomSteps jump = StepsAhead(4 * Halves);
  const Wide jumpMultiplier = Wide{} + jump.multiplier;
  const Wide jumpIncrement = Wide{} + (std::uint64_t{jump.increment} << Shift);
  const Wide radius = Wide{} + static_cast<std::uint32_t>(filter.radius);
  FineTest<Path> fine(filter);
  for (int group = 0; group < BlockSize / Halves; ++group) {
    Reals draw[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      draw[k] = DrawsOfStates<Path>(states[k], radius);
      states[k] = JumpedStates<Path>(states[k], jumpMultiplier, jumpIncrement);
    }
    fine.Test(draw[0], draw[1], draw[2], draw[3], (1u << Halves) - 1, group * Halves, 1,
              ExactTest::AtOnce);
  }
  return fine.Finish(stateBefore);
}

// Every point through the coarse test, Lanes at a time, and those it leaves open
// through the fine test.
template <class Path>
BlockTally CountBlockCoarselyFirst(std::uint32_t stateBefore, const BlockFilter& filter) {
  using V = VectorsOf<Path::Bytes>;
  using Words = typename V::Words;
  using Integers = typename V::Integers;
  using Singles = typename V::Singles;
  using Wide = typename V::Wide;
  using Masks = typename V::Masks;
  constexpr int Lanes = Path::Bytes / 4;
  constexpr int Groups = BlockSize / Lanes;

  Words integerStateX;
  Words integerStateY;
  for (int i = 0; i < Lanes; ++i) {
    integerStateX[i] = Advance(stateBefore, StepsAhead(4 * i + 2));
    integerStateY[i] = Advance(stateBefore, StepsAhead(4 * i + 4));
  }
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const Singles insideBound = Singles{} + filter.coarse.surelyInside;
  const Singles outsideBound = Singles{} + filter.coarse.surelyOutside;
  const Wide radius = Wide{} + static_cast<std::uint32_t>(filter.radius);
  Integers coarselyInside{};  // minus the points found inside, lane by lane
  FineTest<Path> fine(filter);

  // A group with points the coarse test left open, as it was met. Open groups are
  // gathered without a branch and go through the fine test a chunk at a time: a
  // mispredicted branch for each would cost more.
  struct OpenGroup {
    Words integerStateX;
    Words integerStateY;
    CoarseLanes<Path> lanes;
    int group;
  };
  constexpr int ChunkGroups = 64;
  OpenGroup open[ChunkGroups];

  // Two groups at a time, each stepping its states two groups on: the step is a
  // 32-bit multiply, which takes 10 cycles on some cores, and one chain of them
  // from group to group would hold the loop to that.
  Words nextStateX = Stepped<Path>(integerStateX, jump);
  Words nextStateY = Stepped<Path>(integerStateY, jump);
  constexpr RandomSteps jumpTwo = ThenSteps(jump, jump);
  for (int chunk = 0; chunk < Groups; chunk += ChunkGroups) {  // ChunkGroups is even
    const int chunkEnd = chunk + ChunkGroups < Groups ? chunk + ChunkGroups : Groups;
    int openCount = 0;
    const auto coarseTest = [&](Words stateX, Words stateY, int group) {
      const Singles coarseX =
          __builtin_convertvector(reinterpret_cast<Integers>(stateX >> 1), Singles);
      const Singles coarseY =
          __builtin_convertvector(reinterpret_cast<Integers>(stateY >> 1), Singles);
      const Singles square = coarseX * coarseX + coarseY * coarseY;
      // Inside implies not outside, so the open lanes are the difference of the two.
      if constexpr (ComparesIntoMasks<Path>) {
        const unsigned inside = Path::SinglesAtMost(square, insideBound);
        const unsigned lanes = Path::SinglesAtMost(square, outsideBound) ^ inside;
        coarselyInside = Path::MinusOneIn(coarselyInside, inside);
        open[openCount] = {stateX, stateY, lanes, group};
        openCount += lanes != 0;
      } else {
        const Integers inside = square <= insideBound;
        const Integers lanes = (square <= outsideBound) ^ inside;
        coarselyInside += inside;  // all ones, minus one, where inside
        open[openCount] = {stateX, stateY, lanes, group};
        openCount += Path::AnyLane(reinterpret_cast<Masks>(lanes));
      }
    };
    for (int group = chunk; group < chunkEnd; group += 2) {
      coarseTest(integerStateX, integerStateY, group);
      if (group + 1 < chunkEnd) coarseTest(nextStateX, nextStateY, group + 1);
      integerStateX = Stepped<Path>(integerStateX, jumpTwo);
      integerStateY = Stepped<Path>(integerStateY, jumpTwo);
      nextStateX = Stepped<Path>(nextStateX, jumpTwo);
      nextStateY = Stepped<Path>(nextStateY, jumpTwo);
    }
    for (const OpenGroup& group : std::span(open, openCount)) {
      const Words states[4] = {Stepped<Path>(group.integerStateX, OneStepBack), group.integerStateX,
                               Stepped<Path>(group.integerStateY, OneStepBack),
                               group.integerStateY};
      typename V::Reals even[4];
      typename V::Reals odd[4];
#pragma GCC unroll 4
      for (int k = 0; k < 4; ++k) {
        const Wide pair = reinterpret_cast<Wide>(states[k]);
        even[k] = DrawsOfStates<Path>(pair << StateShift<Path>, radius);
        odd[k] = DrawsOfStates<Path>((pair >> 32) << StateShift<Path>, radius);
      }
      const int firstPoint = group.group * Lanes;
      fine.Test(even[0], even[1], even[2], even[3], HalfLaneBits<Path, 0>(group.lanes), firstPoint,
                2, ExactTest::AtTheEnd);
      fine.Test(odd[0], odd[1], odd[2], odd[3], HalfLaneBits<Path, 1>(group.lanes), firstPoint + 1,
                2, ExactTest::AtTheEnd);
    }
  }

  BlockTally tally = fine.Finish(stateBefore);
  for (int i = 0; i < Lanes; ++i) tally.inside -= coarselyInside[i];
  return tally;
}

template <class Path>
BlockTally CountBlockWith(std::uint32_t stateBefore, const BlockFilter& filter) {
  return filter.coarse.worthIt ? CountBlockCoarselyFirst<Path>(stateBefore, filter)
                               : CountBlockFinely<Path>(stateBefore, filter);
}

}  // namespace
}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
