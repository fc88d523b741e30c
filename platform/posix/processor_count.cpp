// Threads beyond the processors the process may use only take turns on them: a
// container may see every processor of its host and be given the time of two.
#include "platform/processor_count.h"
#include "platform/posix/posix_calls.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string_view>

namespace dartcirc {

namespace {

// A whole field of decimal digits as a number; nothing for a sign, an exponent, a
// letter, an empty field or a value beyond 64 bits.
std::optional<std::uint64_t> DigitsValue(std::string_view field) {
  std::uint64_t value = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (field.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// ceil(quota / period) from a cpu.max file, "quota period" or "max period"; 0 for
// none, and for any other text.
int LimitOfCpuMax(const std::string& path) {
  std::ifstream file(path);
  char bytes[64];
  file.read(bytes, sizeof bytes);
  std::string_view text(bytes, static_cast<std::size_t>(file.gcount()));
  if (text.size() == sizeof bytes) return 0;  // longer than two fields of 64 bits can be
  if (text.ends_with('\n')) text.remove_suffix(1);
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return 0;
  const auto quota = DigitsValue(text.substr(0, space)), period = DigitsValue(text.substr(space + 1));
  if (!quota || !period || *quota == 0 || *period == 0) return 0;
  const std::uint64_t limit = *quota / *period + (*quota % *period != 0);
  return static_cast<int>(std::min<std::uint64_t>(limit, 1 << 20));
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
