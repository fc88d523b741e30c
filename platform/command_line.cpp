// The command line as one string, rebuilt from the arguments Linux hands over
// already split, and the running program's path.
#include <string>

#include <unistd.h>

#include "platform/platform.h"

namespace dartcirc {

namespace {

int SavedArgumentCount = 0;
char** SavedArguments = nullptr;

// glibc calls the functions of .init_array with the process's arguments before main.
void SaveArguments(int argc, char** argv, char**) {
  SavedArgumentCount = argc;
  SavedArguments = argv;
}
__attribute__((section(".init_array"), used)) void (*const SaveArgumentsAtStart)(int, char**,
                                                                                 char**) =
    SaveArguments;

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

const char* PosixGetCommandLineA() {
  static const std::string line = JoinCommandLine(SavedArgumentCount, SavedArguments);
  return line.c_str();
}

std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size) {
  ssize_t length = readlink("/proc/self/exe", buffer, size);
  return length < 0 ? 0 : static_cast<std::uint32_t>(length);
}

}  // namespace dartcirc
