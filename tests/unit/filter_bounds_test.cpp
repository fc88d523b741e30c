// The engine's filters where they are easiest to get wrong: the coarse test's
// bounds at the states and fractions that put a point furthest from what it sees,
// and the block kernel at the AVX-512 paths' width in plain vector code that any
// processor runs (16 lanes, an odd number of groups in a block, 8-bit lane masks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

// 64-byte vectors passed by value change the calling convention without AVX-512;
// every function that passes them is internal to this file.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "engine/block_kernel.h"
#include "estimator/estimation.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

TEST(CoarseBounds, NeverContradictTheExactTest) {
  ResetFloatingPointUnit();
  for (std::int64_t radius : {64, 100, 1000, 1105, 46341, 94906267, 2147483647}) {
    const BlockFilter filter = FilterFor(static_cast<std::int32_t>(radius), SquareOfRadius(radius));
    const auto state = [&](std::int64_t draw, int last) {  // the first or the last state giving the draw
      return static_cast<std::uint32_t>((((draw + last) << 32) + radius - 1) / radius - last);
    };
    int decided[2] = {0, 0};
    for (std::int64_t j = 0; j < radius; j += std::max<std::int64_t>(1, radius / 300)) {
      for (double bound : {filter.coarse.surelyInside, filter.coarse.surelyOutside}) {
        // the draws of y next to where w meets the bound
        const auto l0 = static_cast<std::int64_t>(std::sqrt(std::max(bound * std::pow(radius * 0x1p-31, 2) - double(j * j), 0.0)));
        for (std::int64_t l = std::max<std::int64_t>(l0 - 2, 0); l <= std::min(l0 + 2, radius - 1); ++l) {
          for (auto fraction : {0, static_cast<std::int32_t>(radius - 1)}) {
            const bool inside = IsInsideExactly({fraction, std::int32_t(j), fraction, std::int32_t(l)}, filter);
            for (int k = 0; k < 8; ++k) {  // either state of each draw, w computed fused or not
              const float u = static_cast<float>(state(j, k & 1) >> 1), v = static_cast<float>(state(l, k >> 1 & 1) >> 1);
              const float w = k >= 4 ? std::fma(u, u, v * v) : u * u + v * v;
              const int verdict = w <= filter.coarse.surelyInside ? 1 : w > filter.coarse.surelyOutside ? 0 : -1;  // or neither
              EXPECT_TRUE(verdict < 0 || (verdict == 1) == inside) << radius << ": " << j << ", " << l;
              if (verdict >= 0) ++decided[verdict];
            }
          }
        }
      }
    }
    EXPECT_TRUE(decided[0] > 0 && decided[1] > 0) << radius;
  }
}

struct SixteenLanes {
  static constexpr int Bytes = 64;
  using Vectors = VectorsOf<Bytes>;
  static Vectors::Wide MultiplyLowHalves(Vectors::Wide a, Vectors::Wide b) { return (a & 0xFFFFFFFFu) * (b & 0xFFFFFFFFu); }
  static Vectors::Words MultiplyWords(Vectors::Words a, std::uint32_t m) { return a * m; }
  static unsigned LaneBits(Vectors::Masks m) {
    unsigned bits = 0;
    for (int i = 0; i < 8; ++i) bits |= unsigned{m[i] != 0} << i;
    return bits;
  }
  static bool AnyLane(Vectors::Masks m) { return LaneBits(m) != 0; }
};

TEST(WideKernel, CountsAsThePointByPointLoop) {
  ResetFloatingPointUnit();
  for (std::int32_t radius : {1, 5, 63, 64, 65, 1000, 1105, 46341, 2147483647}) {
    for (std::uint32_t state : {0u, 86399999u, 4294967295u}) {
      RandomState = state;
      EXPECT_EQ(CountBlockWith<SixteenLanes>(state, FilterFor(radius, SquareOfRadius(radius))).inside,
                CountBlockPointByPoint(radius, SquareOfRadius(radius))) << radius << " " << state;
    }
  }
}

}  // namespace
}  // namespace dartcirc
