// Counting the blocks of a run on all cores: workers count blocks ahead within a
// bounded window while the calling thread hands the tallies out in block order,
// counting blocks itself whenever the next one is not ready yet. The blocks of a run
// repeat after one period of the generator, and so are counted once at most.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>

#include "engine/block_filter.h"
#include "engine/exact_point.h"
#include "runtime/random_jump.h"

namespace dartcirc {

// Blocks after which the generator's states before a block, and so the tallies,
// repeat: a block takes 4 x 10,000 = 2^6 x 625 draws of a generator of period 2^32.
inline constexpr std::int64_t GeneratorPeriodBlocks =
    std::int64_t{1} << (32 - std::countr_zero(static_cast<std::uint64_t>(4 * BlockSize)));
static_assert(GeneratorPeriodBlocks == std::int64_t{1} << 26);

// The steps of `blocks` blocks of draws (any count of them: the states repeat after
// one period).
RandomSteps StepsOfBlocks(std::int64_t blocks);

struct EngineSetting {
  BlockCounting counting;  // a path the machine has, a method that applies
  int threads;      // the calling thread included
  // The tallies repeat after this many blocks; 0 counts every block, to compare.
  std::int64_t periodBlocks = GeneratorPeriodBlocks;
};

// A thread for every processor the process may use, and the path and method for a
// run of `blocks` blocks with the filter's radius (engine/counting_choice.h).
EngineSetting MachineEngineSetting(const BlockFilter& filter, std::int64_t blocks);

// Counts `blocks` blocks, the first drawing after firstState, and calls onBlock with
// each block's tally in block order on the calling thread, as soon as that block and
// every one before it are counted. Workers touch nothing but the engine's own data.
// When onBlock throws, the workers stop and the exception goes on. A run of more
// than one period counts the blocks of its first period only, when there is memory
// to keep their inside counts; a later block gets the inside count of the block
// whole periods before it, and no exact points, since none was tested.
void CountBlocksInOrder(std::uint32_t firstState, const BlockFilter& filter, std::int64_t blocks,
                        EngineSetting setting,
                        const std::function<void(const BlockTally&)>& onBlock);

}  // namespace dartcirc
