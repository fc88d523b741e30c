// The block filter for any x86-64 processor: SSE2, two points at a time, laid out
// as the AVX2 path but without fused multiply-adds.
#include <emmintrin.h>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {

namespace {

constexpr int Lanes = 2;
constexpr std::uint64_t BitsOfTwoTo52 = 0x4330000000000000;

}  // namespace

BlockTally CountBlockBaseline(std::uint32_t stateBefore, const BlockFilter& filter) {
  // Lane i tests points i, i + 2, i + 4, ...; state[k] holds the state of draw k of
  // the lane's point in the low half of the lane.
  __m128i state[4];
  for (int k = 0; k < 4; ++k) {
    state[k] = _mm_set_epi64x(Advance(stateBefore, StepsAhead(k + 5)),
                              Advance(stateBefore, StepsAhead(k + 1)));
  }
  constexpr RandomSteps jump = StepsAhead(4 * Lanes);
  const __m128i jumpMultiplier = _mm_set1_epi64x(jump.multiplier);
  const __m128i jumpIncrement = _mm_set1_epi64x(jump.increment);
  const __m128i radius = _mm_set1_epi64x(filter.radius);
  const __m128i twoTo52Bits = _mm_set1_epi64x(BitsOfTwoTo52);
  const __m128d twoTo52 = _mm_set1_pd(0x1p52);
  const __m128d reciprocal = _mm_set1_pd(filter.reciprocal);
  const __m128d surelyInside = _mm_set1_pd(filter.surelyInside);
  const __m128d surelyOutside = _mm_set1_pd(filter.surelyOutside);

  std::int64_t inside = 0;
  BlockTally exact{0, 0};
  for (int group = 0; group < BlockSize / Lanes; ++group) {
    __m128d draw[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      const __m128i product = _mm_mul_epu32(state[k], radius);
      const __m128i biased = _mm_or_si128(_mm_srli_epi64(product, 32), twoTo52Bits);
      draw[k] = _mm_sub_pd(_mm_castsi128_pd(biased), twoTo52);
      state[k] = _mm_add_epi64(_mm_mul_epu32(state[k], jumpMultiplier), jumpIncrement);
    }
    const __m128d x = _mm_add_pd(_mm_mul_pd(draw[0], reciprocal), draw[1]);
    const __m128d y = _mm_add_pd(_mm_mul_pd(draw[2], reciprocal), draw[3]);
    const __m128d square = _mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y));
    const unsigned surelyIn = _mm_movemask_pd(_mm_cmple_pd(square, surelyInside));
    const unsigned notOutside = _mm_movemask_pd(_mm_cmple_pd(square, surelyOutside));
    inside += (surelyIn & 1) + (surelyIn >> 1);
    if (surelyIn != notOutside) {
      alignas(16) double draws[4 * Lanes];
      for (int k = 0; k < 4; ++k) _mm_store_pd(draws + k * Lanes, draw[k]);
      exact += TallyExactLanes(notOutside & ~surelyIn, draws, Lanes, filter);
    }
  }
  return {inside + exact.inside, exact.exactPoints};
}

}  // namespace dartcirc
