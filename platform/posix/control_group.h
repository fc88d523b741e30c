// The files of the control groups a process belongs to, as Linux shows them under
// /proc and /sys/fs/cgroup (below root, "/" for the running system). Their values
// are read strictly: a text that is not what the kernel writes limits nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dartcirc {

// A whole field of decimal digits as a number; nothing for a sign, an exponent, a
// letter, an empty field or a value beyond 64 bits.
std::optional<std::uint64_t> DigitsValue(std::string_view field);

// The text of a control-group file without its line end; nothing when it is missing
// or longer than any value of two 64-bit fields can be.
std::optional<std::string> ControlGroupFileText(const std::string& path);

// The directories of the process's groups, its own first, then each group above it
// up to the hierarchy's root: under cgroup v2 ("0::/path"), or, when controller is
// named, under its cgroup v1 hierarchy ("N:cpu,memory:/path"); none when the
// process is in no such group.
std::vector<std::string> ControlGroupDirectories(const std::string& root, std::string_view controller = {});

}  // namespace dartcirc
