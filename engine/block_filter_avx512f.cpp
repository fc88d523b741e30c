// The block filter on sixteen points at a time with AVX-512F and DQ. It runs the
// same kernel as the AVX2 path at twice the width, with the coarse test's verdicts
// kept in mask registers; the kernel's form for those is tested at 16 lanes wherever
// the kernel runs, so what is this path's own is the record of block_filter_avx512.h.
//
// Cost of a group of 16 points in the coarse test: the states 2 x (vpmulld, vpaddd),
// the coarse square 2 x (vpsrld, vcvtdq2ps) + vmulps + vfmadd, its verdict 2 vcmpps
// into masks, a masked vpsubd and 2 moves of the masks to scalar registers, where
// they are compared and stored: 15 operations on the vector units and 4 stores,
// 0.94 a point (turning the masks back into vectors, as the AVX2 path's compares
// give them, took 17). A core with 2 512-bit units (Skylake-SP, Sapphire Rapids)
// issues 2 a cycle, so at least 0.47 cycles a point, where the AVX2 path on its 3
// 256-bit units needs 0.63: about 1.3 times as fast at best. An open group costs
// about 56 operations more: the states stepped back, 2 x (vpmulld, vpaddd);
// 8 x (vpmuludq, vpsrlq, vporq, vsubpd) and 4 vpsrlq for the draws of the even and
// the odd lanes; the fine test of 2 x 8 points, 16.
#include "engine/block_filter.h"

#define BLOCK_KERNEL_TARGET "avx512f,avx512dq"
#include "engine/block_filter_avx512.h"

BLOCK_KERNEL_TARGET_BEGIN

namespace dartcirc {

BlockTally CountBlockAvx512F(std::uint32_t stateBefore, const BlockFilter& filter) {
  return CountBlockWith<Avx512FPath>(stateBefore, filter);
}

}  // namespace dartcirc

BLOCK_KERNEL_TARGET_END
