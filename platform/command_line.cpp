// The command line as one string, rebuilt from the arguments Linux hands over
// already split, and the running program's path.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace dartcirc {

namespace {

// Joined at start, while the argument vector is as the system handed it over: the
// program may rearrange the vector later (a test framework takes its own options
// out of it). Never freed, so that it outlives every other user.
const std::string* CommandLine = nullptr;

// Read whole at start into fixed storage, so that a report written from a signal
// handler can name the program.
char ExecutablePath[PathCapacity + 1];
std::uint32_t ExecutablePathLength = 0;

bool IsRunningExecutable(const char* path) {
  struct stat named, running;
  return stat(path, &named) == 0 && stat("/proc/self/exe", &running) == 0 &&
         named.st_dev == running.st_dev && named.st_ino == running.st_ino;
}

// Linux shows an executable removed since it started as its path and
// " (deleted)"; the name is what the file was called. A file really named so is
// still there, and is the running one.
void SaveExecutablePath() {
  const ssize_t length = readlink("/proc/self/exe", ExecutablePath, PathCapacity);
  ExecutablePathLength = static_cast<std::uint32_t>(length < 0 ? 0 : length);
  ExecutablePath[ExecutablePathLength] = '\0';
  constexpr std::string_view Deleted = " (deleted)";
  if (std::string_view(ExecutablePath, ExecutablePathLength).ends_with(Deleted) &&
      !IsRunningExecutable(ExecutablePath)) {
    ExecutablePathLength -= Deleted.size();
    ExecutablePath[ExecutablePathLength] = '\0';
  }
}

// glibc calls the functions of .init_array with the process's arguments before main.
void SaveCommandLine(int argc, char** argv, char**) {
  CommandLine = new std::string(JoinCommandLine(argc, argv));
  SaveExecutablePath();
}
__attribute__((section(".init_array"), used)) void (*const SaveCommandLineAtStart)(int, char**,
                                                                                   char**) =
    SaveCommandLine;

std::string ProgramNameOf(std::string_view argument) {
  std::string name;
  for (char byte : argument) {
    if (byte != '"') name += byte;
  }
  return name.empty() ? "dartcirc" : name;
}

}  // namespace

std::string JoinCommandLine(int count, const char* const* arguments) {
  std::string line;
  for (int index = 0; index < count; ++index) {
    if (index > 0) line += ' ';
    const std::string element = index == 0 ? ProgramNameOf(arguments[0]) : arguments[index];
    bool needsQuotes = element.empty();
    for (unsigned char byte : element) needsQuotes = needsQuotes || (byte >= 0x01 && byte <= 0x20);
    line += needsQuotes ? '"' + element + '"' : element;
  }
  return line;
}

const char* PosixGetCommandLineA() { return CommandLine != nullptr ? CommandLine->c_str() : ""; }

// A path longer than the buffer is cut to size - 1 bytes and terminated.
std::uint32_t PosixGetModuleFileNameA(char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  const std::uint32_t stored = std::min(size - 1, ExecutablePathLength);
  std::memcpy(buffer, ExecutablePath, stored);
  buffer[stored] = '\0';
  return stored;
}

}  // namespace dartcirc
