// How much more memory the process may touch before a limit of its container makes
// the system kill it. An allocation that such a limit cannot hold still succeeds: the
// process is killed later, when it touches the pages.
#pragma once

#include <cstdint>

namespace dartcirc {

inline constexpr std::uint64_t NoMemoryLimit = UINT64_MAX;

// The bytes the process may still take under the memory limits of its control
// group and of every group above it (on Linux): the least of limit minus usage;
// NoMemoryLimit when none has a limit.
std::uint64_t UsableMemoryRoom();

}  // namespace dartcirc
