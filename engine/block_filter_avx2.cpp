// The block filter on four points at a time with AVX2. Each 64-bit lane holds a
// state in its low half (the 32 x 32 -> 64 multiply ignores the high half), and a
// draw, the high half of state x R, is shifted down into the mantissa bits of 2^52
// so that it arrives as the double 2^52 + draw.
#include <immintrin.h>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {

namespace {

constexpr int Lanes = 4;
constexpr std::uint64_t BitsOfTwoTo52 = 0x4330000000000000;

}  // namespace

__attribute__((target("avx2,fma,popcnt"))) BlockTally CountBlockAvx2(std::uint32_t stateBefore,
                                                                     const BlockFilter& filter) {
  // Lane i tests points i, i + 4, i + 8, ...; state[k] holds the state of draw k of
  // the lane's point.
  __m256i state[4];
  for (int k = 0; k < 4; ++k) {
    alignas(32) std::uint64_t lanes[Lanes];
    for (int i = 0; i < Lanes; ++i) lanes[i] = Advance(stateBefore, StepsAhead(4 * i + k + 1));
    state[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
  }
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const __m256i jumpMultiplier = _mm256_set1_epi64x(jump.multiplier);
  const __m256i jumpIncrement = _mm256_set1_epi64x(jump.increment);
  const __m256i radius = _mm256_set1_epi64x(filter.radius);
  const __m256i twoTo52Bits = _mm256_set1_epi64x(BitsOfTwoTo52);
  const __m256d twoTo52 = _mm256_set1_pd(0x1p52);
  const __m256d reciprocal = _mm256_set1_pd(filter.reciprocal);
  const __m256d surelyInside = _mm256_set1_pd(filter.surelyInside);
  const __m256d surelyOutside = _mm256_set1_pd(filter.surelyOutside);

  std::int64_t inside = 0;
  BlockTally exact{0, 0};
  for (int group = 0; group < BlockSize / Lanes; ++group) {
    __m256d draw[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const __m256i product = _mm256_mul_epu32(state[k], radius);
      const __m256i biased = _mm256_or_si256(_mm256_srli_epi64(product, 32), twoTo52Bits);
      draw[k] = _mm256_sub_pd(_mm256_castsi256_pd(biased), twoTo52);
      state[k] = _mm256_add_epi64(_mm256_mul_epu32(state[k], jumpMultiplier), jumpIncrement);
    }
    const __m256d x = _mm256_fmadd_pd(draw[0], reciprocal, draw[1]);
    const __m256d y = _mm256_fmadd_pd(draw[2], reciprocal, draw[3]);
    const __m256d square = _mm256_fmadd_pd(x, x, _mm256_mul_pd(y, y));
    const unsigned surelyIn = _mm256_movemask_pd(_mm256_cmp_pd(square, surelyInside, _CMP_LE_OQ));
    const unsigned notOutside =
        _mm256_movemask_pd(_mm256_cmp_pd(square, surelyOutside, _CMP_LE_OQ));
    inside += __builtin_popcount(surelyIn);
    if (surelyIn != notOutside) {
      alignas(32) double draws[4 * Lanes];
      for (int k = 0; k < 4; ++k) _mm256_store_pd(draws + k * Lanes, draw[k]);
      exact += TallyExactLanes(notOutside & ~surelyIn, draws, Lanes, filter);
    }
  }
  return {inside + exact.inside, exact.exactPoints};
}

}  // namespace dartcirc
