// A Windows program of the runtime that writes what the command-line splitter makes
// of its command line: the ANSI code page, the argument count and each argument in
// brackets, apart by spaces ("932 2 [1000] [1000000]"). A line to split comes in
// hexadecimal, in one of two variables:
//   DARTCIRC_STARTED_WITH  the program starts itself with exactly those bytes through
//                          CreateProcessA, its standard handles inherited, and ends
//                          with the exit code of that run
//   DARTCIRC_GIVEN_LINE    the splitter reads those bytes in place of the system's
//                          line, stepping with the system's CharNextA
// The system hands a line to GetCommandLineA through UTF-16 in the ANSI code page,
// which keeps the bytes of every line that is text in that code page; the given line
// shows how CharNextA steps through bytes that are not.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "runtime/command_line.h"

namespace {

std::string GivenLine;

// The bytes a variable holds in hexadecimal, taken out of the environment; false
// when it is not set.
bool TakeHexVariable(const char* name, std::string& bytes) {
  char hex[4096];
  const DWORD length = GetEnvironmentVariableA(name, hex, sizeof hex);
  for (DWORD at = 0; at + 1 < length && length < sizeof hex; at += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex + at, 2), nullptr, 16));
  }
  SetEnvironmentVariableA(name, nullptr);
  return length > 0;
}

}  // namespace

int main() {
  std::string line;
  if (TakeHexVariable("DARTCIRC_STARTED_WITH", line)) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    DWORD code = 127;
    if (CreateProcessA(path, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      GetExitCodeProcess(process.hProcess, &code);
    }
    return static_cast<int>(code);
  }
  dartcirc::PlatformCalls calls = dartcirc::SystemPlatform;
  if (TakeHexVariable("DARTCIRC_GIVEN_LINE", GivenLine)) calls.getCommandLineA = [] { return GivenLine.c_str(); };
  dartcirc::Platform = &calls;
  std::string shown = std::to_string(GetACP()) + " " + std::to_string(dartcirc::ArgumentCount());
  for (std::int32_t index = 1; index <= dartcirc::ArgumentCount(); ++index) shown += " [" + dartcirc::ArgumentText(index) + "]";
  std::fwrite(shown.data(), 1, shown.size(), stdout);
}
