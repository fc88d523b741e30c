// The coarse test's bounds against the exact test, next to both bounds, at the
// states and fractions that put a point furthest from what the coarse test sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "engine/block_filter.h"
#include "estimator/estimation.h"

namespace dartcirc {
namespace {

// Inside, outside, or -1 for neither, as the coarse test decides from the states
// of the integer draws.
int CoarseVerdict(std::uint32_t stateX, std::uint32_t stateY, const CoarseBounds& bounds,
                  bool fused) {
  const float u = static_cast<float>(static_cast<std::int32_t>(stateX >> 1));
  const float v = static_cast<float>(static_cast<std::int32_t>(stateY >> 1));
  const float w = fused ? std::fma(u, u, v * v) : u * u + v * v;
  return w <= bounds.surelyInside ? 1 : w > bounds.surelyOutside ? 0 : -1;
}

TEST(CoarseBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {64, 100, 1000, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const auto states = [&](std::int64_t draw) {  // the first and the last giving the draw
      return std::array<std::uint32_t, 2>{
          static_cast<std::uint32_t>(((draw << 32) + radius - 1) / radius),
          static_cast<std::uint32_t>((((draw + 1) << 32) + radius - 1) / radius - 1)};
    };
    int decided[2] = {0, 0};
    for (std::int64_t j = 0; j < radius; j += std::max<std::int64_t>(1, radius / 300)) {
      for (double bound : {filter.coarse.surelyInside, filter.coarse.surelyOutside}) {
        const double rest = bound * std::pow(radius * 0x1p-31, 2) - double(j * j);  // units of 1
        const auto l0 = static_cast<std::int64_t>(std::sqrt(std::max(rest, 0.0)));
        for (std::int64_t l = std::max<std::int64_t>(l0 - 2, 0); l <= std::min(l0 + 2, radius - 1);
             ++l) {
          for (std::int32_t fraction : {0, static_cast<std::int32_t>(radius - 1)}) {
            const bool inside =
                IsInsideExactly({fraction, std::int32_t(j), fraction, std::int32_t(l)}, filter);
            for (std::uint32_t stateX : states(j)) {
              for (std::uint32_t stateY : states(l)) {
                for (int verdict : {CoarseVerdict(stateX, stateY, filter.coarse, false),
                                    CoarseVerdict(stateX, stateY, filter.coarse, true)}) {
                  if (verdict < 0) continue;
                  ++decided[verdict];
                  EXPECT_EQ(verdict == 1, inside) << radius << ": " << j << ", " << l;
                }
              }
            }
          }
        }
      }
    }
    EXPECT_GT(decided[0], 0) << radius;
    EXPECT_GT(decided[1], 0) << radius;
  }
}

}  // namespace
}  // namespace dartcirc
