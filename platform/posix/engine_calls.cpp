#include "platform/engine_calls.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#include <unistd.h>

namespace dartcirc {

std::string_view ForcedEnginePath() {
  const char* value = std::getenv("DARTCIRC_ENGINE_PATH");
  return value == nullptr ? std::string_view{} : std::string_view{value};
}

std::int64_t SteadyNanoseconds() {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return -1;
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

void WriteErrorLine(std::string_view line) {
  const std::string text = std::string(line) + '\n';
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = write(2, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a closed or full standard error
    done += static_cast<std::size_t>(written);
  }
}

}  // namespace dartcirc
