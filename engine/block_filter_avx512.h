// The AVX-512F record of instructions, shared by the two AVX-512 paths, each of
// which defines BLOCK_KERNEL_TARGET (avx512f and avx512dq at least) before it
// includes this.
#pragma once

#include <immintrin.h>

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
  // A compare into a mask register, not a vector of masks for LaneBits to undo.
  static unsigned LanesAtMost(Vectors::Reals a, Vectors::Reals b) {
    return _mm512_cmp_pd_mask(reinterpret_cast<__m512d>(a), reinterpret_cast<__m512d>(b), _CMP_LE_OQ);
  }
  static bool AnyLane(Vectors::Masks m) {
    const auto bits = reinterpret_cast<__m512i>(m);
    return _mm512_test_epi64_mask(bits, bits) != 0;
  }
};

}  // namespace
}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
