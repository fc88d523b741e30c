#include "platform/processor_count.h"

#include <windows.h>

#include <algorithm>
#include <bit>

namespace dartcirc {

int UsableProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
  return std::max(std::popcount(process), 1);
}

}  // namespace dartcirc
