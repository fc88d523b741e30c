// Where the running executable lies in memory.
#include <csignal>

#include "platform/platform.h"

extern "C" const char __ehdr_start;  // the linker places it at the executable's load base

namespace dartcirc {

std::uintptr_t ModuleBase() { return reinterpret_cast<std::uintptr_t>(&__ehdr_start); }

std::uint32_t CodeOffset(std::uintptr_t place) {
  return place == 0 ? 0 : static_cast<std::uint32_t>(place - ModuleBase());
}

void StartPlatform() {
  // A write to a pipe whose reader has gone then fails with a code instead of
  // killing the process, and takes the runtime's failure path.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace dartcirc
