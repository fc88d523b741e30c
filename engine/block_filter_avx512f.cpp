// The block filter on sixteen points at a time with AVX-512F, DQ and BW. It runs the
// same kernel as the AVX2 path at twice the width, with the coarse test's verdicts
// kept in mask registers; the kernel's form for those is tested at 16 lanes wherever
// the kernel runs, so what is this path's own is the record of block_filter_avx512.h.
//
// Cost of a group of 16 points in the coarse test: the states 2 x (vpmulld, vpaddd),
// the coarse square 2 x (vpsrld, vcvtdq2ps) + vmulps + vfmadd, its verdict 2 vcmpps
// into masks, a masked vpsubd and 2 moves of the masks to scalar registers, where
// they are compared and noted: 15 operations on the vector units, 0.94 a point.
// Packing the open points of a group takes its states found again,
// 2 x (vpmulld, vpaddd), and 2 vpcompressd; 16 packed points cost about 60 more: the
// states stepped back, 2 x (vpmulld, vpaddd); 8 x (vpmuludq, vpsrlq, vporq, vsubpd)
// and 4 vpsrlq for the draws of the even and the odd lanes; the fine test of 2 x 8
// points, 16.
//
// The grid test of a group of 16 points: the states 4 x (vpmulld, vpaddd), their
// high halves paired by 2 x (vpsrld, vpternlogd), the draws and the low products
// 2 x (vpmulhuw, vpmullw), the carries a vpmaxuw and a compare, the places on the
// grid vpmullw and vpaddw, their squares a vpmaddwd, the verdict a compare counted
// in a scalar register: 22 operations, 1.4 a point, and a store of the squares for
// the lanes it notes; 18 where R is a power of two and nothing carries. Ten are
// multiplies, which some cores run on two of their four vector ports only.
#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq,avx512bw,bmi2"
#include "engine/block_filter_avx512.h"

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {

BlockTally CountBlockAvx512F(BlockMethod method, std::uint32_t stateBefore, const BlockFilter& filter) {
  return CountBlockBy<Avx512FPath>(method, stateBefore, filter);
}

}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
