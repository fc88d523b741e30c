// Threads beyond the processors the process may use only take turns on them: a
// container may see every processor of its host and be given the time of two.
#include "platform/processor_count.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace dartcirc {

namespace {

// ceil(quota / period) from a cpu.max file, "quota period" or "max period"; 0 for
// none.
int LimitOfCpuMax(const std::string& path) {
  std::ifstream file(path);
  std::string quota;
  long long period = 0;
  if (!(file >> quota >> period) || quota == "max" || period <= 0) return 0;
  long long quotaValue = 0;
  try {
    quotaValue = std::stoll(quota);
  } catch (const std::exception&) {
    return 0;
  }
  if (quotaValue <= 0) return 0;
  return static_cast<int>(std::min<long long>((quotaValue + period - 1) / period, 1 << 20));
}

// The process's group under the cgroup v2 hierarchy, from its "0::/path" line.
std::string ControlGroupPath(const std::string& root) {
  std::ifstream file(root + "/proc/self/cgroup");
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with("0::")) return line.substr(3);
  }
  return {};
}

}  // namespace

int ControlGroupProcessorLimit(const std::string& root) {
  std::string group = ControlGroupPath(root);
  if (group.empty() || group.front() != '/') return 0;
  int limit = 0;
  for (;;) {
    const int here = LimitOfCpuMax(root + "/sys/fs/cgroup" + group + "/cpu.max");
    if (here > 0 && (limit == 0 || here < limit)) limit = here;
    if (group.empty()) return limit;
    group.erase(group.rfind('/'));  // one group up; "" is the hierarchy's root
  }
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
