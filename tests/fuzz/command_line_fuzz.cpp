// The command-line splitter on arbitrary bytes, held in a buffer of exactly their
// size plus the terminating zero, so that a read past the end is caught. The count
// is the number of nonempty arguments ArgumentText yields, in order, and no
// argument is empty or holds a quote.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "runtime/command_line.h"

namespace dartcirc {
namespace {

const char* CommandLine = nullptr;

const char* FuzzedCommandLine() { return CommandLine; }

void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  std::abort();
}

}  // namespace
}  // namespace dartcirc

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  const auto exact = std::make_unique<char[]>(size + 1);
  std::memcpy(exact.get(), data, size);
  exact[size] = '\0';
  CommandLine = exact.get();
  PlatformCalls calls = PosixPlatform;
  calls.getCommandLineA = FuzzedCommandLine;
  Platform = &calls;

  const std::int32_t count = ArgumentCount();
  std::int32_t yielded = 0;
  const char* position = NextArgument(CommandLine).next;  // past the program name
  for (std::int32_t index = 1;; ++index) {
    const Text argument = ArgumentText(index);
    const ArgumentScan scan = NextArgument(position);
    position = scan.next;
    Require(argument == scan.argument, "ArgumentText gives the arguments in order");
    if (argument.empty()) break;
    Require(argument.find('"') == Text::npos, "no argument holds a quote");
    ++yielded;
  }
  Require(yielded == count, "ArgumentCount counts the nonempty arguments");
  Require(*position == '\0', "the empty argument stands at the end of the command line");
  Require(ArgumentText(count + 2).empty(), "past the last argument is empty");
  Require(ArgumentText(-1).empty(), "a negative index is empty");

  Platform = &PosixPlatform;
  return 0;
}
