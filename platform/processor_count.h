// How many processors the process may keep busy at once.
#pragma once

namespace dartcirc {

// The processors of the process's affinity mask, on Linux capped by the CPU quotas
// of its control group; at least 1.
int UsableProcessorCount();

}  // namespace dartcirc
