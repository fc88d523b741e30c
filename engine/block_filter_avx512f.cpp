// The block filter on sixteen points at a time with AVX-512F and DQ, for processors
// without the 52-bit multiply-adds. It is the kernel of the AVX2 path at twice the
// width: whatever the two share is tested wherever AVX2 is.
//
// Cost a group of 16 points: as the AVX2 path's group of 8, 64 vector operations,
// 4 a point, with the compares into mask registers. A core that issues 2 512-bit
// operations a cycle needs at least 2 cycles a point, as with AVX2 at 4 a cycle;
// the gain comes where AVX2 is held to 2 or 3 a cycle (2 ports with 512-bit units).
#include <immintrin.h>

#include "engine/block_filter.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq")
#include "engine/block_kernel.h"

namespace dartcirc {

namespace {

struct Avx512FPath {
  static constexpr int Bytes = 64;
  using Vectors = VectorsOf<Bytes>;

  static Vectors::Wide MultiplyLowHalves(Vectors::Wide a, Vectors::Wide b) {
    // The all-lanes form of this multiply trips an uninitialised-variable warning in
    // the compiler's own header; keeping all 8 lanes by mask is the same instruction.
    return reinterpret_cast<Vectors::Wide>(
        _mm512_maskz_mul_epu32(0xFF, reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
  static Vectors::Words MultiplyWords(Vectors::Words a, std::uint32_t m) { return a * m; }
  static unsigned LaneBits(Vectors::Masks m) {
    return _mm512_movepi64_mask(reinterpret_cast<__m512i>(m));
  }
  static bool AnyLane(Vectors::Masks m) {
    const auto bits = reinterpret_cast<__m512i>(m);
    return _mm512_test_epi64_mask(bits, bits) != 0;
  }
};

}  // namespace

BlockTally CountBlockAvx512F(std::uint32_t stateBefore, const BlockFilter& filter) {
  return CountBlockWith<Avx512FPath>(stateBefore, filter);
}

}  // namespace dartcirc
#pragma GCC pop_options
