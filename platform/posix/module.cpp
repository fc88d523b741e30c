// Where the running executable and the other loaded modules lie in memory.
#include <cstring>

#include <dlfcn.h>

#include "platform/platform.h"

extern "C" const char __ehdr_start;  // the linker places it at the executable's load base

namespace dartcirc {

std::uintptr_t ModuleBase() { return reinterpret_cast<std::uintptr_t>(&__ehdr_start); }

std::uint32_t ReportedCodeAddress(std::uintptr_t place) {
  return place == 0 ? 0 : static_cast<std::uint32_t>(place - ModuleBase());
}

std::uint32_t OffsetOutsideModules(std::uintptr_t place) { return ReportedCodeAddress(place); }

std::string_view FileNameOf(std::string_view path) {
  const std::size_t separator = path.rfind('/');
  return (separator == std::string_view::npos ? path : path.substr(separator + 1)).substr(0, 260);
}

std::string_view FileNameInAccessViolation(std::string_view path) { return FileNameOf(path); }

bool FindModuleOf(std::uintptr_t address, ModuleLocation& module) {
  Dl_info found;
  if (address == 0 || dladdr(reinterpret_cast<const void*>(address), &found) == 0) return false;
  module.base = reinterpret_cast<std::uintptr_t>(found.dli_fbase);
  const std::uint32_t room = sizeof module.path;
  if (module.base == ModuleBase()) {
    module.pathLength = GetModuleFileNameA(module.path, room);
  } else {
    const char* path = found.dli_fname != nullptr ? found.dli_fname : "";
    module.pathLength = static_cast<std::uint32_t>(strnlen(path, room));
    std::memcpy(module.path, path, module.pathLength);
  }
  return module.pathLength > 0;  // a module is known by its file name
}

}  // namespace dartcirc
