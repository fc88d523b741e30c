// Threads beyond the processors the process may use only take turns on them: a
// container may see every processor of its host and be given the time of two.
#include "platform/processor_count.h"
#include "platform/posix/posix_calls.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/posix/control_group.h"

namespace dartcirc {

namespace {

// ceil(quota / period) from a cpu.max file, "quota period" or "max period"; 0 for
// none, and for any other text.
int LimitOfCpuMax(const std::string& path) {
  const std::optional<std::string> text = ControlGroupFileText(path);
  const std::size_t space = text ? text->find(' ') : std::string::npos;
  if (space == std::string::npos) return 0;
  const std::string_view fields = *text;
  const auto quota = DigitsValue(fields.substr(0, space)), period = DigitsValue(fields.substr(space + 1));
  if (!quota || !period || *quota == 0 || *period == 0) return 0;
  const std::uint64_t limit = *quota / *period + (*quota % *period != 0);
  return static_cast<int>(std::min<std::uint64_t>(limit, 1 << 20));
}

}  // namespace

int ControlGroupProcessorLimit(const std::string& root) {
  int limit = 0;
  for (const std::string& directory : ControlGroupDirectories(root)) {
    const int here = LimitOfCpuMax(directory + "/cpu.max");
    if (here > 0 && (limit == 0 || here < limit)) limit = here;
  }
  return limit;
}

int UsableProcessorCount() {
  cpu_set_t mask;
  int count = sched_getaffinity(0, sizeof mask, &mask) == 0
                  ? CPU_COUNT(&mask)
                  : static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));  // a mask of >1024
  const int limit = ControlGroupProcessorLimit("/");
  if (limit > 0) count = std::min(count, limit);
  return std::max(count, 1);
}

}  // namespace dartcirc
