// How much more memory the process may touch before a limit of its container makes
// the system kill it. An allocation that such a limit cannot hold still succeeds: the
// process is killed later, when it touches the pages.
#pragma once

#include <cstdint>
#include <string>

namespace dartcirc {

inline constexpr std::uint64_t NoMemoryLimit = UINT64_MAX;

// The bytes the process may still take under the memory limits of its control
// group and of every group above it: the least of limit minus usage; NoMemoryLimit
// when none has a limit.
std::uint64_t UsableMemoryRoom();

// The same for the process whose /proc and /sys/fs/cgroup lie under root, from
// cgroup v2's memory.max and memory.current, or cgroup v1's memory.limit_in_bytes and
// memory.usage_in_bytes. A limit whose usage cannot be read leaves no room.
std::uint64_t ControlGroupMemoryRoom(const std::string& root);

}  // namespace dartcirc
