#include "estimator/estimation.h"

#include <bit>

#include "engine/block_counter.h"
#include "estimator/run_variables.h"
#include "runtime/console_stream.h"
#include "runtime/fixed_real_output.h"
#include "runtime/random_jump.h"
#include "runtime/random_source.h"

namespace dartcirc {

namespace {

constexpr RandomSteps StepsOfABlock = StepsAhead(4 * BlockSize);

// n x 2^twos, exactly: a 64-bit significand holds every unsigned 64-bit integer, and
// a power of two changes the exponent alone.
Extended ExactlyScaled(std::uint64_t n, int twos) {
  if (n == 0) return ExtendedFromInt32(0);
  const int shift = std::countl_zero(n);
  return ExtendedFromFields(static_cast<std::uint16_t>(16383 + 63 - shift + twos), n << shift);
}

inline double DrawCoordinate(std::int32_t radius) {
  const std::int32_t fractionDraw = DrawBelow(radius);
  return CoordinateFromDraws(fractionDraw, DrawBelow(radius), radius);
}

}  // namespace

std::int64_t CountBlockPointByPoint(std::int32_t radius, double radiusSquared) {
  const Extended limit = ExtendedFromDouble(radiusSquared);
  std::int64_t inside = 0;
  for (std::int64_t point = 0; point < BlockSize; ++point) {
    PointX = DrawCoordinate(radius);
    PointY = DrawCoordinate(radius);
    if (IsInside(PointX, PointY, limit)) ++inside;
  }
  return inside;
}

// The largest trial count takes 922,337,203,685,478 blocks: the points drawn, and so
// the inside count, stay below 2^64, while 4 x inside reaches 2^65.
Extended RunningEstimate(std::uint64_t inside, std::int64_t blocks) {
  return ExactlyScaled(inside, 2) / ExactlyScaled(static_cast<std::uint64_t>(blocks) * BlockSize, 0);
}

double SquareOfRadius(std::int32_t radius) {
  return RoundToDouble(ExtendedFromInt64(static_cast<std::int64_t>(radius) * radius));
}

void RunEstimation() {
  if (TrialsLeft <= 0) return;
  const std::int64_t blocks = TrialsLeft / BlockSize + (TrialsLeft % BlockSize != 0);
  const BlockFilter filter = FilterFor(Radius, RadiusSquared);
  const EngineSetting setting = MachineEngineSetting(filter, blocks);
  CountBlocksInOrder(RandomState, filter, blocks, setting, [](const BlockTally& tally) {
    RandomState = Advance(RandomState, StepsOfABlock);
    InsideCount += static_cast<std::uint64_t>(tally.inside);
    ++BlockCount;
    EndOutputLine(WriteFixedReal(ConsoleOut, 10, 8, RunningEstimate(InsideCount, BlockCount)));
    CheckIoResult();
    TrialsLeft -= BlockSize;
  });
}

}  // namespace dartcirc
