#include "platform/memory_room.h"

namespace dartcirc {

// A job's memory limit on Windows refuses the allocation itself, which the
// allocation's own failure tells.
std::uint64_t UsableMemoryRoom() { return NoMemoryLimit; }

}  // namespace dartcirc
