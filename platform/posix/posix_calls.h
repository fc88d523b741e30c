// What the POSIX implementation of the platform has of its own: the rules by which
// it stands in for Windows calls, which its tests drive directly.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace dartcirc {

// The UTC time of day of a moment in seconds and nanoseconds since 1970, also
// for a moment before it.
SystemTime TimeOfDayAt(std::int64_t seconds, std::int64_t nanoseconds);

// The command line that an argument vector stands for, the line that, typed, gives
// each element as one argument: the shell has already grouped the words, so the
// quote bytes of each element are left out (a quote is never part of an
// argument), and an element is then quoted when it holds a byte from 0x01 to 0x20.
// Elements are joined by one space. An empty element, or one of quotes alone,
// adds nothing but its space and counts for nothing, as an empty pair of quotes
// typed; a program name left empty stands as dartcirc.
std::string JoinCommandLine(int count, const char* const* arguments);

// The character step of code page 932 on any bytes: a lead byte pairs only with a
// byte that can follow one, so a stray lead byte (from text in another encoding,
// such as UTF-8) stands alone and neither swallows a separator or a quote nor
// steps over the terminating zero.
const char* Cp932CharNext(const char* position);

// The Windows error code of a POSIX errno value.
std::uint32_t ErrorCodeForErrno(int errnoValue);

// The cap that the cgroup v2 CPU quotas put on the process whose /proc and
// /sys/fs/cgroup lie under root ("/" for the running system): the smallest
// quota / period, rounded up, of its control group and of every group above it;
// 0 when none has a quota.
int ControlGroupProcessorLimit(const std::string& root);

// The memory room (platform/memory_room.h) of the process whose /proc and
// /sys/fs/cgroup lie under root, from cgroup v2's memory.max and memory.current, or
// cgroup v1's memory.limit_in_bytes and memory.usage_in_bytes. A limit whose usage
// cannot be read leaves no room.
std::uint64_t ControlGroupMemoryRoom(const std::string& root);

}  // namespace dartcirc
