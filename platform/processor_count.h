// How many processors the process may keep busy at once.
#pragma once

#include <string>

namespace dartcirc {

// The processors of the process's affinity mask, capped by the CPU quotas of its
// control group; at least 1.
int UsableProcessorCount();

// The cap that the cgroup v2 CPU quotas put on the process whose /proc and
// /sys/fs/cgroup lie under root ("/" for the running system): the smallest
// quota / period, rounded up, of its control group and of every group above it;
// 0 when none has a quota.
int ControlGroupProcessorLimit(const std::string& root);

}  // namespace dartcirc
