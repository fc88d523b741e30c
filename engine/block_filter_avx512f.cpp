// The block filter on sixteen points at a time with AVX-512F and DQ, for processors
// without the 52-bit multiply-adds. It runs the same kernel as the AVX2 path at
// twice the width, so whatever the two share is tested wherever AVX2 is; what is
// its own is the three functions below and the compiler's lowering to mask
// registers.
//
// Cost of a group of 16 points in the coarse test: as the AVX2 path's group of 8,
// with each compare's mask turned back into a vector (2 more): 17 vector
// operations and 3 stores, 1.06 a point. A core with 2 512-bit units (Skylake-SP,
// Cascade Lake) issues 2 a cycle, so at least 0.53 cycles a point, where the AVX2
// path on its 3 256-bit units needs 0.63: about 1.2 times as fast at best.
#include <immintrin.h>

#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq"
#include "engine/block_kernel.h"

BLOCK_KERNEL_TARGET_BEGIN

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

BLOCK_KERNEL_TARGET_END
