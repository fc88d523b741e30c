// The coarse test's bounds against the exact test, at the states and fractions
// that push a point furthest from what the coarse test sees, next to both bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "engine/block_filter.h"
#include "estimator/estimation.h"

namespace dartcirc {
namespace {

enum class Verdict { Inside, Outside, Open };

Verdict CoarseVerdict(std::uint32_t stateX, std::uint32_t stateY, const CoarseBounds& bounds,
                      bool fused) {
  const float u = static_cast<float>(static_cast<std::int32_t>(stateX >> 1)) * bounds.scale;
  const float v = static_cast<float>(static_cast<std::int32_t>(stateY >> 1)) * bounds.scale;
  const float w = fused ? std::fma(u, u, v * v) : u * u + v * v;
  if (w <= bounds.surelyInside) return Verdict::Inside;
  return w > bounds.surelyOutside ? Verdict::Outside : Verdict::Open;
}

TEST(CoarseBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {100, 1000, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const auto states = [&](std::int64_t draw) {  // the first and last giving this draw
      return std::array<std::uint32_t, 2>{
          static_cast<std::uint32_t>(((draw << 32) + radius - 1) / radius),
          static_cast<std::uint32_t>((((draw + 1) << 32) + radius - 1) / radius - 1)};
    };
    int decided[2] = {0, 0};
    for (std::int64_t j = 0; j < radius; j += std::max<std::int64_t>(1, radius / 300)) {
      for (double bound : {filter.coarse.surelyInside, filter.coarse.surelyOutside}) {
        const double rest = bound - static_cast<double>(j * j);
        const auto middle = static_cast<std::int64_t>(std::sqrt(std::max(rest, 0.0)));
        for (std::int64_t l = std::max<std::int64_t>(middle - 2, 0); l <= middle + 2 && l < radius; ++l) {
          for (std::uint32_t stateX : states(j)) {
            for (std::uint32_t stateY : states(l)) {
              for (std::int32_t fraction : {0, static_cast<std::int32_t>(radius - 1)}) {
                const bool inside = IsInsideExactly(
                    {fraction, static_cast<std::int32_t>(j), fraction, static_cast<std::int32_t>(l)}, filter);
                for (bool fused : {false, true}) {
                  const Verdict verdict = CoarseVerdict(stateX, stateY, filter.coarse, fused);
                  if (verdict == Verdict::Open) continue;
                  ++decided[verdict == Verdict::Inside];
                  EXPECT_EQ(verdict == Verdict::Inside, inside) << radius << ": " << j << ", " << l;
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
