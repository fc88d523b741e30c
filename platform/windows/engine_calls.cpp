#include "platform/engine_calls.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace dartcirc {

std::string_view ForcedEnginePath() {
  const char* value = std::getenv("DARTCIRC_ENGINE_PATH");
  return value == nullptr ? std::string_view{} : std::string_view{value};
}

std::int64_t SteadyNanoseconds() {
  LARGE_INTEGER count, frequency;
  if (!::QueryPerformanceCounter(&count) || !::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) {
    return -1;
  }
  // In two parts, so that the product stays within 64 bits for any uptime.
  const std::int64_t seconds = count.QuadPart / frequency.QuadPart, rest = count.QuadPart % frequency.QuadPart;
  return seconds * 1000000000 + rest * 1000000000 / frequency.QuadPart;
}

void WriteErrorLine(std::string_view line) {
  const std::string text = std::string(line) + '\n';
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  for (std::size_t done = 0; done < text.size();) {
    DWORD put = 0;
    if (!::WriteFile(error, text.data() + done, static_cast<DWORD>(text.size() - done), &put, nullptr) || put == 0) {
      return;  // a closed or full standard error
    }
    done += put;
  }
}

}  // namespace dartcirc
