#include "platform/posix/control_group.h"

#include <charconv>
#include <fstream>

namespace dartcirc {

std::optional<std::uint64_t> DigitsValue(std::string_view field) {
  std::uint64_t value = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (field.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::optional<std::string> ControlGroupFileText(const std::string& path) {
  std::ifstream file(path);
  char bytes[64];
  file.read(bytes, sizeof bytes);
  std::string_view text(bytes, static_cast<std::size_t>(file.gcount()));
  if (!file.is_open() || text.size() == sizeof bytes) return std::nullopt;
  if (text.ends_with('\n')) text.remove_suffix(1);
  return std::string(text);
}

namespace {

// The group of the process in the hierarchy that /proc/self/cgroup lists with
// controllers: "" for cgroup v2, else a cgroup v1 controller among its comma-separated
// list.
std::string GroupPath(const std::string& root, std::string_view controller) {
  std::ifstream file(root + "/proc/self/cgroup");
  for (std::string line; std::getline(file, line);) {
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string_view listed = std::string_view(line).substr(first + 1, second - first - 1);
    const bool matches = controller.empty() ? line.starts_with("0::")
                                            : ("," + std::string(listed) + ",").find("," + std::string(controller) + ",") != std::string::npos;
    if (matches) return line.substr(second + 1);
  }
  return {};
}

}  // namespace

std::vector<std::string> ControlGroupDirectories(const std::string& root, std::string_view controller) {
  std::string group = GroupPath(root, controller);
  if (group.empty() || group.front() != '/') return {};
  std::string hierarchy = root + "/sys/fs/cgroup";
  if (!controller.empty()) hierarchy.append("/").append(controller);
  std::vector<std::string> directories;
  for (;;) {
    directories.push_back(hierarchy + group);
    if (group.empty()) return directories;
    group.erase(group.rfind('/'));  // one group up; "" is the hierarchy's root
  }
}

}  // namespace dartcirc
