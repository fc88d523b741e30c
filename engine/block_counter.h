// Counting the blocks of a run on all cores: workers count blocks ahead within a
// bounded window while the calling thread hands the tallies out in block order,
// counting blocks itself whenever the next one is not ready yet.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/block_filter.h"

namespace dartcirc {

struct EngineSetting {
  VectorPath path;  // one the machine has
  int threads;      // the calling thread included
};

// A thread for every processor the process may use, and the path for a run of
// `blocks` blocks with the filter's radius (engine/path_choice.h).
EngineSetting MachineEngineSetting(const BlockFilter& filter, std::int64_t blocks);

// Counts `blocks` blocks, the first drawing after firstState, and calls onBlock with
// each block's tally in block order on the calling thread, as soon as that block and
// every one before it are counted. Workers touch nothing but the engine's own data.
// When onBlock throws, the workers stop and the exception goes on.
void CountBlocksInOrder(std::uint32_t firstState, const BlockFilter& filter, std::int64_t blocks,
                        EngineSetting setting,
                        const std::function<void(const BlockTally&)>& onBlock);

}  // namespace dartcirc
