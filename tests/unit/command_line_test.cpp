#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "runtime/command_line.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakePlatformScope;
using Arguments = std::vector<std::string>;

// The arguments after the program name, as ArgumentCount and ArgumentText see them.
Arguments CurrentArguments() {
  Arguments arguments;
  for (std::int32_t index = 1; index <= ArgumentCount(); ++index) {
    arguments.push_back(ArgumentText(index));
  }
  EXPECT_EQ(ArgumentText(ArgumentCount() + 1), "");
  EXPECT_EQ(ArgumentText(-1), "");
  return arguments;
}

Arguments ArgumentsOf(const std::string& commandLine) {
  FakePlatformScope scope;
  scope.fake.commandLine = commandLine;
  return CurrentArguments();
}

TEST(CommandLine, SplitsByItsOwnRules) {
  const struct {
    std::string commandLine;
    Arguments arguments;
  } cases[] = {
      {"dartcirc 1000 1000000", {"1000", "1000000"}},
      {"  dartcirc\t1000\t\t1000000  ", {"1000", "1000000"}},
      {"\"C:\\Program Files\\dartcirc.exe\" 1000 1000000", {"1000", "1000000"}},
      {"dartcirc \"\" 1000 1000000", {"1000", "1000000"}},
      {"dartcirc 1000 \"\"", {"1000"}},
      {"dartcirc \"10\"00 1\"000 00\"0", {"1000", "1000 000"}},
      {"dartcirc \"1000 1000000\"", {"1000 1000000"}},
      {"dartcirc a\\\"b c\" d", {"a\\b c", "d"}},
      {"dartcirc \"abc", {"abc"}},
      {"dartcirc x\"\"y", {"xy"}},
      {"dartcirc \"\"\"a b\"\"\"", {"a b"}},
      {"dartcirc \"", {}},
      {"dartcirc 1000,1000000", {"1000,1000000"}},
      {"dartcirc", {}},
      {"", {}},
      {"dartcirc\r\n1\x01\x1f" "2\x7f", {"1", "2\x7f"}},
      {"dartcirc \"\"\"\" 1", {"1"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentsOf(c.commandLine), c.arguments) << c.commandLine;
}

TEST(CommandLine, DoubleByteCharactersStayWholeAndStrayLeadBytesStandAlone) {
  const struct {
    std::string commandLine;
    Arguments arguments;
  } cases[] = {
      {"dartcirc \x93\xFA\x96\x7B 5", {"\x93\xFA\x96\x7B", "5"}},
      {"dartcirc \"\x95\x5C\" 5", {"\x95\x5C", "5"}},
      // A lead byte without a trail byte: before a separator, a quote, the end.
      {"dartcirc \x82 5", {"\x82", "5"}},
      {"dartcirc \"\x82\" 5", {"\x82", "5"}},
      {"dartcirc 5 \x82", {"5", "\x82"}},
      {"dartcirc \"5 \x82", {"5 \x82"}},
      {"dartcirc \xE3\x81\x82 5", {"\xE3\x81\x82", "5"}},  // UTF-8 text
  };
  for (const auto& c : cases) EXPECT_EQ(ArgumentsOf(c.commandLine), c.arguments) << c.commandLine;
}

TEST(CommandLine, NextArgumentStopsAtTheSeparatorAndLeavesIt) {
  const char line[] = "ab \"c d\"e\t\"\"";
  const ArgumentScan first = NextArgument(line);
  EXPECT_EQ(first.argument, "ab");
  EXPECT_EQ(first.next, line + 2);
  const ArgumentScan second = NextArgument(first.next);
  EXPECT_EQ(second.argument, "c de");
  EXPECT_EQ(second.next, line + 9);
  const ArgumentScan last = NextArgument(second.next);
  EXPECT_EQ(last.argument, "");
  EXPECT_EQ(last.next, line + 12);
}

TEST(CommandLine, IndexZeroIsTheModulePathCutTo260Bytes) {
  FakePlatformScope scope;
  scope.fake.commandLine = "other 1";
  EXPECT_EQ(ArgumentText(0), "/opt/dartcirc/dartcirc");
  scope.fake.moduleFileName = std::string(300, 'p');
  EXPECT_EQ(ArgumentText(0), std::string(260, 'p'));
}

TEST(CommandLine, RealModulePathIsCutAndTerminated) {
  char full[261];
  const std::uint32_t fullLength = PosixPlatform.getModuleFileNameA(full, sizeof full);
  ASSERT_GT(fullLength, 8u);
  char cut[9];
  ASSERT_EQ(PosixPlatform.getModuleFileNameA(cut, sizeof cut), 8u);
  EXPECT_EQ(std::string(cut), std::string(full, 8));
}

TEST(CommandLine, EveryCallReadsTheCommandLineAgain) {
  FakePlatformScope scope;
  scope.fake.commandLine = "dartcirc 1 2";
  EXPECT_EQ(CurrentArguments(), (Arguments{"1", "2"}));
  scope.fake.commandLine = "dartcirc 3";
  EXPECT_EQ(CurrentArguments(), Arguments{"3"});
}

TEST(CommandLineJoin, RealCommandLineIsThisProcessesArgumentVector) {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> elements;
  for (std::string element; std::getline(file, element, '\0');) elements.push_back(element);
  std::vector<const char*> argv;
  for (const std::string& element : elements) argv.push_back(element.c_str());
  EXPECT_EQ(PosixPlatform.getCommandLineA(),
            JoinCommandLine(static_cast<int>(argv.size()), argv.data()));
}

TEST(CommandLineJoin, QuotesEmptyElementsAndThoseWithSeparators) {
  const char* const arguments[] = {"dartcirc", "1000 1000000", "", "a\tb", "\x01", "x\x7f\xff"};
  EXPECT_EQ(JoinCommandLine(6, arguments),
            "dartcirc \"1000 1000000\" \"\" \"a\tb\" \"\x01\" x\x7f\xff");
  EXPECT_EQ(JoinCommandLine(0, arguments), "");
}

// An argument vector without quote bytes comes back from the splitter unchanged,
// except that empty elements are dropped.
TEST(CommandLineJoin, ArgumentVectorsComeBackThroughTheSplitter) {
  std::mt19937 random(5);
  auto randomByte = [&] {
    static const std::string common = " \t09$-+xX";
    for (;;) {
      const auto byte = static_cast<char>(random() % 4 == 0 ? common[random() % common.size()]
                                                            : 1 + random() % 255);
      if (byte != '"') return byte;
    }
  };
  auto randomElement = [&](std::size_t shortest) {
    std::string element(shortest + random() % 6, ' ');
    for (char& byte : element) byte = randomByte();
    return element;
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> elements{randomElement(1)};
    for (std::size_t count = random() % 6; count > 0; --count) elements.push_back(randomElement(0));
    std::vector<const char*> argv;
    for (const std::string& element : elements) argv.push_back(element.c_str());

    FakePlatformScope scope;
    scope.fake.commandLine = JoinCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(NextArgument(scope.fake.commandLine.c_str()).argument, elements[0]);
    Arguments expected;
    for (std::size_t index = 1; index < elements.size(); ++index) {
      if (!elements[index].empty()) expected.push_back(elements[index]);
    }
    ASSERT_EQ(CurrentArguments(), expected) << scope.fake.commandLine;
  }
}

}  // namespace
}  // namespace dartcirc
