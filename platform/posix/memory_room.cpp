#include "platform/memory_room.h"

#include <algorithm>
#include <optional>

#include "platform/posix/control_group.h"
#include "platform/posix/posix_calls.h"

namespace dartcirc {

namespace {

// The room a group's limit leaves; NoMemoryLimit for "max", and for any text that is
// not a number.
std::uint64_t RoomInGroup(const std::string& directory, const char* limitFile, const char* usageFile) {
  const std::optional<std::string> limitText = ControlGroupFileText(directory + "/" + limitFile);
  const std::optional<std::uint64_t> limit = limitText ? DigitsValue(*limitText) : std::nullopt;
  if (!limit) return NoMemoryLimit;
  const std::optional<std::string> usageText = ControlGroupFileText(directory + "/" + usageFile);
  const std::optional<std::uint64_t> usage = usageText ? DigitsValue(*usageText) : std::nullopt;
  return usage && *usage < *limit ? *limit - *usage : 0;
}

}  // namespace

std::uint64_t ControlGroupMemoryRoom(const std::string& root) {
  std::uint64_t room = NoMemoryLimit;
  for (const std::string& directory : ControlGroupDirectories(root)) {
    room = std::min(room, RoomInGroup(directory, "memory.max", "memory.current"));
  }
  for (const std::string& directory : ControlGroupDirectories(root, "memory")) {
    room = std::min(room, RoomInGroup(directory, "memory.limit_in_bytes", "memory.usage_in_bytes"));
  }
  return room;
}

std::uint64_t UsableMemoryRoom() { return ControlGroupMemoryRoom("/"); }

}  // namespace dartcirc
