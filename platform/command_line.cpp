// The command line as one string, rebuilt from the arguments Linux hands over
// already split, and the running program's path.
#include <string>

#include <unistd.h>

#include "platform/platform.h"

namespace dartcirc {

namespace {

// Joined at start, while the argument vector is as the system handed it over: the
// program may rearrange the vector later (a test framework takes its own options
// out of it). Never freed, so that it outlives every other user.
const std::string* CommandLine = nullptr;

// glibc calls the functions of .init_array with the process's arguments before main.
void SaveCommandLine(int argc, char** argv, char**) {
  CommandLine = new std::string(JoinCommandLine(argc, argv));
}
__attribute__((section(".init_array"), used)) void (*const SaveCommandLineAtStart)(int, char**,
                                                                                   char**) =
    SaveCommandLine;

}  // namespace

std::string JoinCommandLine(int count, const char* const* arguments) {
  std::string line;
  for (int index = 0; index < count; ++index) {
    if (index > 0) line += ' ';
    std::string element = arguments[index];
    bool needsQuotes = element.empty();
    for (unsigned char byte : element) needsQuotes = needsQuotes || (byte >= 0x01 && byte <= 0x20);
    line += needsQuotes ? '"' + element + '"' : element;
  }
  return line;
}

const char* PosixGetCommandLineA() { return CommandLine != nullptr ? CommandLine->c_str() : ""; }

// readlink fills the whole buffer with a path that does not fit; one byte is kept
// back for the terminating zero, so a long path is cut to size - 1 bytes.
std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  const ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
  const auto stored = static_cast<std::uint32_t>(length < 0 ? 0 : length);
  buffer[stored] = '\0';
  return stored;
}

}  // namespace dartcirc
