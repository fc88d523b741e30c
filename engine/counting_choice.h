// How a run counts its blocks: the vector path and the method. Their speeds differ
// with the radius and from one processor generation to the next, so a run long
// enough to pay for it times each path the processor has with each method that
// applies, on a few blocks of its radius, and takes the fastest; a shorter run takes
// the fixed order's first. DARTCIRC_ENGINE_PATH forces a path, for diagnosis and
// tests. Every path and method counts exactly, so the choice changes the speed alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/block_filter.h"

namespace dartcirc {

// The name DARTCIRC_ENGINE_PATH gives the path: baseline, avx2, avx512f, avx512ifma.
std::string_view PathName(VectorPath path);

// The paths this processor has, in the fixed order: the one expected fastest first.
std::vector<VectorPath> MachinePaths();

// The name of a method in the engine's benchmark: grid, fractions, coarse.
std::string_view MethodName(BlockMethod method);

// The methods that apply to the filter's radius, the one expected fastest first.
std::vector<BlockMethod> MethodsFor(const BlockFilter& filter);

// Timing costs 3 blocks on each candidate, up to 12 of them: on a processor with
// AVX-512 about 100 of the fastest candidate's blocks, the baseline path's taking 7
// times as long as the AVX-512 paths' (R = 100, where three methods apply), 0.2 ms.
// From 4096 blocks a thread that is under 3% of a run that the fixed order already
// had right, where a wrong order can cost half the run.
inline constexpr std::int64_t MeasuringPaysFromBlocks = 4096;

// The counting of a run that counts blocksPerThread blocks on each thread.
BlockCounting CountingForRun(const BlockFilter& filter, std::int64_t blocksPerThread);

// The index of the candidate (each a path the processor has and a method that
// applies) whose least timing by clock is the least, each timed a few times, in
// turns, on blocks that are not the run's; 0, the fixed order's first, when a
// candidate could not be timed. clock gives nanoseconds, or a negative number when
// it cannot be read.
std::size_t QuickestCounting(std::span<const BlockCounting> candidates, const BlockFilter& filter,
                             const std::function<std::int64_t()>& clock);

}  // namespace dartcirc
