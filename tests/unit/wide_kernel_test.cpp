// The block kernel at the AVX-512 paths' width, in plain vector code that any
// processor runs: the 16 lanes, the odd number of groups in a block and the 8-bit
// lane masks are those of the AVX-512F path, which this machine may not have.
#include <gtest/gtest.h>

// 64-byte vectors passed by value change the calling convention without AVX-512;
// every function that passes them is internal to this file.
#pragma GCC diagnostic ignored "-Wpsabi"
#include "engine/block_kernel.h"
#include "estimator/estimation.h"
#include "runtime/random_source.h"

namespace dartcirc {
namespace {

struct SixteenLanes {
  static constexpr int Bytes = 64;
  using Vectors = VectorsOf<Bytes>;

  static Vectors::Wide MultiplyLowHalves(Vectors::Wide a, Vectors::Wide b) {
    return (a & 0xFFFFFFFFu) * (b & 0xFFFFFFFFu);
  }
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
    const BlockFilter filter = FilterFor(radius, SquareOfRadius(radius));
    for (std::uint32_t state : {0u, 86399999u, 4294967295u}) {
      RandomState = state;
      EXPECT_EQ(CountBlockWith<SixteenLanes>(state, filter).inside,
                CountBlockPointByPoint(radius, SquareOfRadius(radius)))
          << radius << " " << state;
    }
  }
}

}  // namespace
}  // namespace dartcirc
