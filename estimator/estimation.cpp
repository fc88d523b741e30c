#include "estimator/estimation.h"

#include "engine/block_counter.h"
#include "estimator/run_variables.h"
#include "runtime/console_stream.h"
#include "runtime/fixed_real_output.h"
#include "runtime/random_jump.h"
#include "runtime/random_source.h"

namespace dartcirc {

namespace {

constexpr RandomSteps StepsOfABlock = StepsAhead(4 * BlockSize);

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

Extended RunningEstimate(std::int64_t inside, std::int64_t blocks) {
  const auto numerator = static_cast<std::int64_t>(static_cast<std::uint64_t>(inside) * 4u);
  return ExtendedFromInt64(numerator) / ExtendedFromInt64(blocks * BlockSize);
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
    InsideCount += tally.inside;
    ++BlockCount;
    EndOutputLine(WriteFixedReal(ConsoleOut, 10, 8, RunningEstimate(InsideCount, BlockCount)));
    CheckIoResult();
    TrialsLeft -= BlockSize;
  });
}

}  // namespace dartcirc
