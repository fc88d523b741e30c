#include "platform/posix/control_group.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace dartcirc {

std::optional<std::uint64_t> DigitsValue(std::string_view field) {
  std::uint64_t value = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  if (field.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// Read with the system's calls into fixed room: a stream of the C++ library would
// hide a failed allocation as a file that could not be read.
std::optional<std::string> ControlGroupFileText(const std::string& path) {
  char bytes[64];
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  std::size_t size = 0;
  for (ssize_t got; size < sizeof bytes && (got = read(file, bytes + size, sizeof bytes - size)) != 0;) {
    if (got < 0 && errno != EINTR) break;
    size += got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  close(file);
  std::string_view text(bytes, size);
  if (text.size() == sizeof bytes) return std::nullopt;
  if (text.ends_with('\n')) text.remove_suffix(1);
  return std::string(text);
}

namespace {

// Whether a comma-separated list holds name.
bool Lists(std::string_view list, std::string_view name) {
  for (std::size_t start = 0, end; start <= list.size(); start = end + 1) {
    end = std::min(list.find(',', start), list.size());
    if (list.substr(start, end - start) == name) return true;
  }
  return false;
}

// The group of the process in the hierarchy that /proc/self/cgroup lists with
// controllers: "" for cgroup v2, else a cgroup v1 controller among its comma-separated
// list.
std::string GroupPath(const std::string& root, std::string_view controller) {
  std::string lines;
  const int file = open((root + "/proc/self/cgroup").c_str(), O_RDONLY | O_CLOEXEC);
  char bytes[4096];
  for (ssize_t got; file >= 0 && (got = read(file, bytes, sizeof bytes)) != 0;) {
    if (got < 0 && errno != EINTR) break;
    lines.append(bytes, got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  if (file >= 0) close(file);
  for (std::size_t start = 0, end; start < lines.size(); start = end + 1) {
    end = std::min(lines.find('\n', start), lines.size());
    const std::string line = lines.substr(start, end - start);
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string_view listed = std::string_view(line).substr(first + 1, second - first - 1);
    const bool matches = controller.empty() ? line.starts_with("0::") : Lists(listed, controller);
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
