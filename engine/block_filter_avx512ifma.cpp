// The block filter with AVX-512 and its 52-bit multiply-adds (IFMA): the AVX-512F
// path's record, with the high multiply-add giving each draw of the fine test at
// once (block_kernel.h): 2 operations a draw (vpmadd52huq, vsubpd) where the
// AVX-512F path takes 4 (vpmuludq, vpsrlq, vporq, vsubpd), so 16 packed open points
// of the coarse test cost about 44 operations instead of 60. Everything but this
// instruction is tested wherever the kernel runs at 16 lanes; whether it wins
// depends on how fast a core's multiply-adds are and on how many points the coarse
// test leaves open, which the run measures.
#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq,avx512bw,bmi2,avx512ifma"
#include "engine/block_filter_avx512.h"

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {

namespace {

struct Avx512IfmaPath : Avx512FPath {
  static Vectors::Wide MultiplyAddHigh52(Vectors::Wide c, Vectors::Wide a, Vectors::Wide b) {
    return reinterpret_cast<Vectors::Wide>(_mm512_madd52hi_epu64(
        reinterpret_cast<__m512i>(c), reinterpret_cast<__m512i>(a), reinterpret_cast<__m512i>(b)));
  }
};

}  // namespace

BlockTally CountBlockAvx512Ifma(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter) {
  return CountBlockBy<Avx512IfmaPath>(method, stateBefore, filter);
}

}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
