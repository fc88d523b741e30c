// Where the running executable and the other loaded modules lie in memory, and the
// names the reports give them.
#include <windows.h>

#include "platform/platform.h"
#include "platform/windows/windows_calls.h"

namespace dartcirc {

namespace {

// The part of path behind its last separator: the string is walked by characters
// of the ANSI code page, so that the trail byte of a double-byte character (0x5C
// is one in code page 932) is never taken for a backslash.
std::string_view BehindLast(std::string_view path, std::string_view separators) {
  const char* const end = path.data() + path.size();
  const char* name = path.data();
  for (const char* at = path.data(); at < end && *at != '\0'; at = ::CharNextA(at)) {
    if (separators.find(*at) != std::string_view::npos) name = at + 1;
  }
  return {name, static_cast<std::size_t>(end - name)};
}

}  // namespace

std::uintptr_t ModuleBase() { return reinterpret_cast<std::uintptr_t>(::GetModuleHandleA(nullptr)); }

std::uint32_t ReportedCodeAddress(std::uintptr_t place) { return static_cast<std::uint32_t>(place); }

// The program's code begins a page above its base.
std::uint32_t OffsetOutsideModules(std::uintptr_t place) {
  return place == 0 ? 0 : static_cast<std::uint32_t>(place - 0x1000);
}

// A module is the allocation that holds the address, when it has a file name.
bool FindModuleOf(std::uintptr_t address, ModuleLocation& module) {
  MEMORY_BASIC_INFORMATION region;
  if (address == 0 || ::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0 ||
      region.State != MEM_COMMIT) {
    return false;
  }
  const auto base = static_cast<HMODULE>(region.AllocationBase);
  module.base = reinterpret_cast<std::uintptr_t>(base);
  module.pathLength = module.base == ModuleBase() ? GetModuleFileNameA(module.path, sizeof module.path)
                                                  : ModuleFileName(base, module.path, sizeof module.path);
  return module.pathLength > 0;
}

std::string_view FileNameOf(std::string_view path) { return BehindLast(path, "\\").substr(0, 260); }

std::string_view FileNameInAccessViolation(std::string_view path) { return BehindLast(path, "\\:"); }

}  // namespace dartcirc
