// The command-line splitter on arbitrary bytes, held in a buffer of exactly their
// size plus the terminating zero so that a read past the end is caught, against a
// splitter written here: the line is cut into characters first (a lead byte and a
// byte that can trail it are one, the character step the splitter is given), then
// into arguments. And on Linux the same bytes cut at their zero bytes as an
// argument vector: the line joined from it, split with the system's own character
// step, gives back each element after the program name as one argument without its
// quotes, and nothing for an element that is empty or all quotes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#if !defined(_WIN32)
#include "platform/posix/posix_calls.h"
#endif
#include "runtime/command_line.h"
#include "tests/support/require.h"

namespace {

const char* CommandLine = nullptr;
const char* FuzzedCommandLine() { return CommandLine; }

bool IsPair(unsigned char lead, unsigned char trail) {
  return ((lead >= 0x81 && lead <= 0x9F) || lead >= 0xE0) && lead <= 0xFC && trail >= 0x40 && trail <= 0xFC &&
         trail != 0x7F;
}
const char* CharacterStep(const char* at) { return at + (IsPair(at[0], at[1]) ? 2 : 1); }

std::vector<std::string> Characters(const std::string& line) {
  std::vector<std::string> characters;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const bool pair = i + 1 < line.size() && IsPair(line[i], line[i + 1]);
    characters.push_back(line.substr(i, pair ? 2 : 1));
    i += pair;
  }
  return characters;
}

// The program name and the arguments after it: separators are the single bytes 1 to
// 32, a quote pair before an argument is a separator too, quoted pieces join the
// pieces around them, and an empty argument comes only at the end of the line.
std::vector<std::string> Split(const std::string& line) {
  const std::vector<std::string> c = Characters(line);
  const auto separator = [&](std::size_t i) { return static_cast<unsigned char>(c[i][0]) <= ' '; };
  std::vector<std::string> arguments;
  for (std::size_t i = 0;;) {
    while (i < c.size() && (separator(i) || (c[i] == "\"" && i + 1 < c.size() && c[i + 1] == "\"")))
      i += separator(i) ? 1 : 2;
    std::string argument;
    while (i < c.size() && !separator(i)) {
      if (c[i] != "\"") {
        argument += c[i++];
        continue;
      }
      for (++i; i < c.size() && c[i] != "\""; ++i) argument += c[i];
      i += i < c.size();
    }
    if (argument.empty() && !arguments.empty()) return arguments;
    arguments.push_back(argument);
  }
}

void RequireArguments(const std::vector<std::string>& expected) {
  using namespace dartcirc;
  using testing::Require;
  Require(ArgumentCount() == static_cast<std::int32_t>(expected.size()), "ArgumentCount");
  for (std::int32_t index = 1; index <= ArgumentCount(); ++index)
    Require(ArgumentText(index) == expected[index - 1], "ArgumentText");
  Require(ArgumentText(ArgumentCount() + 1).empty() && ArgumentText(-1).empty(), "past the last");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dartcirc;
  const auto exact = std::make_unique<char[]>(size + 1);
  std::memcpy(exact.get(), data, size);
  exact[size] = '\0';
  CommandLine = exact.get();
  PlatformCalls calls = SystemPlatform;
  calls.getCommandLineA = FuzzedCommandLine;
  calls.charNextA = CharacterStep;
  Platform = &calls;

  std::vector<std::string> expected = Split(std::string(CommandLine));
  if (!expected.empty()) expected.erase(expected.begin());  // the program name
  RequireArguments(expected);
#if !defined(_WIN32)
  calls.charNextA = SystemPlatform.charNextA;

  std::vector<std::string> elements{""}, arguments;
  for (std::size_t at = 0; at < size; ++at) {
    if (data[at] == 0) elements.emplace_back();
    else elements.back() += static_cast<char>(data[at]);
  }
  std::vector<const char*> vector;
  for (const std::string& element : elements) {
    std::string argument = element;
    std::erase(argument, '"');
    if (!vector.empty() && !argument.empty()) arguments.push_back(argument);
    vector.push_back(element.c_str());
  }
  const std::string joined = JoinCommandLine(static_cast<int>(vector.size()), vector.data());
  CommandLine = joined.c_str();
  RequireArguments(arguments);
#endif
  Platform = &SystemPlatform;
  return 0;
}
