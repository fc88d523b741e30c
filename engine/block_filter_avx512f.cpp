// The block filter on sixteen points at a time with AVX-512F and DQ. It runs the
// same kernel as the AVX2 path at twice the width, so whatever the two share is
// tested wherever AVX2 is; what is its own is the record of block_filter_avx512.h
// and the compiler's lowering to mask registers.
//
// Cost of a group of 16 points in the coarse test: as the AVX2 path's group of 8,
// with each compare's mask turned back into a vector (2 more): 17 vector
// operations and 3 stores, 1.06 a point. A core with 2 512-bit units (Skylake-SP,
// Cascade Lake) issues 2 a cycle, so at least 0.53 cycles a point, where the AVX2
// path on its 3 256-bit units needs 0.63: about 1.2 times as fast at best. An open
// group costs about 56 operations more: the states stepped back, 2 x (vpmulld,
// vpaddd); 8 x (vpmuludq, vpsrlq, vporq, vsubpd) and 4 vpsrlq for the draws of the
// even and the odd lanes; the fine test of 2 x 8 points, 16.
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
