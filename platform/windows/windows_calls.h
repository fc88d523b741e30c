// What the Windows implementation of the platform shares between its files.
#pragma once

#include <windows.h>

#include <cstdint>

namespace dartcirc {

// GetModuleFileNameA of module into buffer, giving the number of path bytes
// stored, also when the path was cut to the buffer.
std::uint32_t ModuleFileName(HMODULE module, char* buffer, std::uint32_t size);

}  // namespace dartcirc
