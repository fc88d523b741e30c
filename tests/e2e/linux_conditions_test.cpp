// The real binary under conditions that Linux allows: a terminal that reads UTF-8,
// a program path that holds a quote, is too long for a report or was removed, and
// a file-size limit.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/cp932.h"
#include "tests/support/expected_output.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

// EInOutErrorがモジュール dartcirc の ######## で発生しました。 LF I/O エラー (6). CR LF
const std::string ClosedInputReport = Cp932FromUtf8(
    "EInOutErrorがモジュール dartcirc の ######## で発生しました。\nI/O エラー (6).\r\n");

std::string WithoutOffsets(const std::string& output) {
  return std::regex_replace(output, std::regex("[0-9A-F]{8} "), "######## ");
}

TEST(Utf8Terminal, TextsArriveAsUtf8AndAsBytesInTheCLocale) {
  struct Case {
    std::vector<std::string> arguments;
    InputKind input;
    std::string expected;
  } cases[] = {
      {{"1000", "30000"}, InputKind::Pipe, Banner + ThreeLinesOfR1000},
      {{"0", "1"}, InputKind::Pipe, Banner + RadiusError},
      {{}, InputKind::Closed, Banner + RadiusPrompt + ClosedInputReport},
  };
  for (const Case& c : cases) {
    for (const char* locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
      RunOptions options;
      options.arguments = c.arguments;
      options.input = c.input;
      options.output = OutputKind::Terminal;
      if (c.input != InputKind::Closed) options.fakeTime = Midnight;
      options.environment = {locale};
      const std::string output = WithoutOffsets(RunDartcirc(options).output);
      EXPECT_EQ(output, locale == std::string("LC_ALL=C") ? c.expected : Utf8FromCp932(c.expected));
    }
  }
}

TEST(Utf8Terminal, EachPromptIsVisibleBeforeTheProgramReads) {
  InteractiveRun run({}, Midnight, {"LC_ALL=C.UTF-8"});
  ASSERT_TRUE(run.WaitForOutputEnding(Utf8FromCp932(Banner) + RadiusPrompt));
  run.Answer("1000\n");
  ASSERT_TRUE(run.WaitForOutputEnding("Max count:"));
  run.Answer("30000\n");
  const RunResult result = run.Finish();
  EXPECT_EQ(result.output, Utf8FromCp932(Banner + Prompts + ThreeLinesOfR1000));
  EXPECT_EQ(result.exitCode, 0);
}

class ProgramPath : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(scratch_); }
  // A copy of the binary, named dartcirc, in a new directory under a fresh one.
  std::string CopyInto(const std::string& directory) {
    std::filesystem::create_directories(scratch_ + directory);
    std::filesystem::copy_file(DARTCIRC_BINARY, scratch_ + directory + "/dartcirc");
    return scratch_ + directory + "/dartcirc";
  }

 private:
  std::string scratch_ = [] {
    char name[] = "/tmp/dartcirc-path-XXXXXX";
    return std::string(mkdtemp(name));
  }();
};

TEST_F(ProgramPath, QuoteInTheDirectoryKeepsTheArguments) {
  RunOptions options;
  options.arguments = {"1000", "30000"};
  options.fakeTime = Midnight;
  options.program = CopyInto("/a\"b");
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.output, Banner + ThreeLinesOfR1000);
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ProgramPath, ReportNamesTheProgramWhenItsPathIsLongOrRemoved) {
  const std::string longPath = CopyInto("/" + std::string(200, 'd') + "/" + std::string(100, 'e'));
  const std::string removed = CopyInto("/gone");
  const int held = open(removed.c_str(), O_RDONLY);  // inherited: the child runs it by descriptor
  unlink(removed.c_str());
  for (const std::string& program : {longPath, "/proc/self/fd/" + std::to_string(held)}) {
    RunOptions options;
    options.input = InputKind::Closed;
    options.program = program;
    const RunResult result = RunDartcirc(options);
    EXPECT_EQ(WithoutOffsets(result.output), Banner + RadiusPrompt + ClosedInputReport) << program;
    EXPECT_EQ(result.exitCode, 1);
  }
  close(held);
}

TEST(FileSizeLimit, WritePastTheLimitFailsTheRunInsteadOfKillingIt) {
  RunOptions options;
  options.program = "/bin/sh";
  options.arguments = {"-c", "ulimit -f 1 && exec \"$0\" 1 2000000", DARTCIRC_BINARY};
  options.output = OutputKind::File;
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 1);
  std::string expected = Banner;
  while (expected.size() < result.output.size()) expected += "4.00000000\r\n";
  EXPECT_EQ(result.output, expected.substr(0, result.output.size()));
  EXPECT_EQ(result.output.size() % 128, 0u);  // whole buffers reached the file, the report did not
  EXPECT_GT(result.output.size(), 0u);
}

}  // namespace
}  // namespace dartcirc::testing
