#include "runtime/random_source.h"

#include "platform/platform.h"

namespace dartcirc {

std::uint32_t RandomState = 0;

void SeedFromClock() {
  const SystemTime now = GetSystemTime();
  RandomState = ((now.hour * 60u + now.minute) * 60u + now.second) * 1000u + now.milliseconds;
}

}  // namespace dartcirc
