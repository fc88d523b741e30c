// The AVX-512F record of instructions, shared by the two AVX-512 paths, each of
// which defines BLOCK_KERNEL_TARGET (avx512f, avx512dq, avx512bw and bmi2 at least)
// before it includes this.

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
  // Compares into mask registers, not vectors of masks to turn into bits.
  static unsigned LanesAtMost(Vectors::Reals a, Vectors::Reals b) {
    return _mm512_cmp_pd_mask(reinterpret_cast<__m512d>(a), reinterpret_cast<__m512d>(b), _CMP_LE_OQ);
  }
  static Vectors::Shorts MultiplyShortsHigh(Vectors::Shorts a, Vectors::Shorts b) {
    return reinterpret_cast<Vectors::Shorts>(
        _mm512_mulhi_epu16(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
  static Vectors::Words MultiplyAddShorts(Vectors::Words a, Vectors::Words b) {
    return reinterpret_cast<Vectors::Words>(
        _mm512_madd_epi16(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
  static unsigned WordLaneBits(Vectors::Integers m) {
    return _mm512_movepi32_mask(reinterpret_cast<__m512i>(m));
  }
  // A compare of the halves, and its bits paired in a scalar register: a saturating
  // subtract would take a port of the multiplies, which the grid test keeps busy.
  static unsigned PairsAbove(Vectors::Shorts a, Vectors::Shorts b) {
    const unsigned halves = _mm512_cmpgt_epu16_mask(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b));
    return _pext_u32(halves | halves >> 1, 0x55555555);
  }
  static Vectors::Words PackedLanes(Vectors::Words values, unsigned lanes) {
    return reinterpret_cast<Vectors::Words>(
        _mm512_maskz_compress_epi32(static_cast<__mmask16>(lanes), reinterpret_cast<__m512i>(values)));
  }
  static Vectors::Singles UnsignedToSingles(Vectors::Words w) {
    // By mask for the same reason as the multiply above.
    return reinterpret_cast<Vectors::Singles>(_mm512_maskz_cvtepu32_ps(0xFFFF, reinterpret_cast<__m512i>(w)));
  }
  static unsigned SinglesAtMost(Vectors::Singles a, Vectors::Singles b) {
    return _mm512_cmp_ps_mask(reinterpret_cast<__m512>(a), reinterpret_cast<__m512>(b), _CMP_LE_OQ);
  }
  static unsigned IntegersBelow(Vectors::Integers a, Vectors::Integers b) {
    return _mm512_cmplt_epi32_mask(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b));
  }
  static unsigned IntegersEqual(Vectors::Integers a, Vectors::Integers b) {
    return _mm512_cmpeq_epi32_mask(reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b));
  }
  static Vectors::Integers MinusOneIn(Vectors::Integers counts, unsigned lanes) {
    const auto bits = reinterpret_cast<__m512i>(counts);
    return reinterpret_cast<Vectors::Integers>(
        _mm512_mask_sub_epi32(bits, static_cast<__mmask16>(lanes), bits, _mm512_set1_epi32(1)));
  }
};

}  // namespace
}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
