// The block filter with AVX-512 and its 52-bit multiply-adds (IFMA): the AVX-512F
// path's record, with the multiply-adds doing the fine test's integer work
// (block_kernel.h). Everything but these two instructions is tested wherever the
// kernel runs at 16 lanes.
//
// Cost of the fine test of a group of 8 points: 4 x (vpmadd52huq, vsubpd,
// vpmadd52luq), 3 vfmadd and vmulpd, 2 compares into masks: 18 vector operations,
// 2.25 a point.
//
// The coarse test of a group of 16 points is the AVX-512F path's, 15 operations
// (0.94 a point). An open group costs about 48 more, where the AVX-512F path's
// costs 56: the states stepped back, 2 x (vpmulld, vpaddd); the draws of the even
// lanes 4 x (vpsllq, vpmadd52huq, vsubpd), of the odd lanes 4 x (vpsrlq, vpsllq,
// vpmadd52huq, vsubpd); the fine test of 2 x 8 points, 16. So this path never
// takes more operations than the AVX-512F path, and a few percent fewer where
// groups are often open (3.5% at R = 1000, 16 x 7 / R of the groups); whether
// that wins depends on how fast a core's multiply-adds are, which the run
// measures. A group of 16 in the fine test alone costs 36, so the coarse test
// goes first from 15 + 48 p < 36, p the share of open groups, 1 - (1 - 7 / R)^16:
// R above about 200, and 256 for the loop's own costs.
#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq,avx512ifma"
#include "engine/block_filter_avx512.h"

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {

namespace {

struct Avx512IfmaPath : Avx512FPath {
  static Vectors::Wide MultiplyAddLow52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) {
    return reinterpret_cast<Vectors::Wide>(_mm512_madd52lo_epu64(
        reinterpret_cast<__m512i>(c), reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
  static Vectors::Wide MultiplyAddHigh52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) {
    return reinterpret_cast<Vectors::Wide>(_mm512_madd52hi_epu64(
        reinterpret_cast<__m512i>(c), reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
};

constexpr std::int32_t CoarseTestFromRadius = 256;

}  // namespace

BlockTally CountBlockAvx512Ifma(std::uint32_t stateBefore, const BlockFilter& filter) {
  return filter.radius >= CoarseTestFromRadius
             ? CountBlockCoarselyFirst<Avx512IfmaPath>(stateBefore, filter)
             : CountBlockFinely<Avx512IfmaPath>(stateBefore, filter);
}

}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
