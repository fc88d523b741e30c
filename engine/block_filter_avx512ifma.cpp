// The block filter with AVX-512 and its 52-bit multiply-adds (IFMA): the AVX-512F
// path's record, with the high multiply-add giving each draw of the fine test at
// once (block_kernel.h): 2 operations a draw (vpmadd52huq, vsubpd) where the
// AVX-512F path takes 4 (vpmuludq, vpsrlq, vporq, vsubpd), so 16 packed open points
// of the coarse test cost about 44 operations instead of 60.
//
// It also pairs the high halves of the grid test's states with one two-source
// shuffle (vpermt2w) where the AVX-512F path takes a shift and a bitwise select.
// On Zen 5 the shuffle takes the port of the compares and of the moves of mask bits
// to scalar registers, which the grid test keeps busy, and the AVX-512F path counts
// 2 to 5% faster; where shifts share the port of the multiplies instead, the
// shuffle should win.
//
// Everything but these two instructions is tested wherever the kernel runs at 16
// lanes; which path wins depends on the core, and on how many points the coarse
// test leaves open, which the run measures.
#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq,avx512bw,bmi2,avx512ifma"
#include "engine/block_filter_avx512.h"

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {

namespace {

struct Avx512IfmaPath : Avx512FPath {
  static Vectors::Words HighHalvesPaired(Vectors::Words ofX, Vectors::Words ofY) {
    static constexpr auto order = [] {
      std::array<std::uint16_t, 32> shorts{};
      for (int i = 0; i < 16; ++i) shorts[2 * i] = 2 * i + 1, shorts[2 * i + 1] = 32 + 2 * i + 1;
      return shorts;
    }();
    return reinterpret_cast<Vectors::Words>(_mm512_permutex2var_epi16(
        reinterpret_cast<__m512i>(ofX), _mm512_loadu_si512(order.data()), reinterpret_cast<__m512i>(ofY)));
  }
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
