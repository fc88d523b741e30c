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

const std::string ClosedInputReport =
    Cp932FromUtf8("EInOutErrorがモジュール dartcirc の ######## で発生しました。\n"
                  "I/O エラー (6).\r\n");

// The clock is pinned to seed 0 unless input is closed; code offsets, which differ
// from build to build, show as ########.
RunResult RunCase(const std::vector<std::string>& arguments, InputKind input, OutputKind output,
                  const std::vector<std::string>& environment = {}, const std::string& program = "") {
  RunOptions options;
  options.arguments = arguments;
  options.input = input;
  options.output = output;
  options.environment = environment;
  options.program = program;
  if (input != InputKind::Closed) options.fakeTime = Midnight;
  RunResult result = RunDartcirc(options);
  result.output = std::regex_replace(result.output, std::regex("[0-9A-F]{8} "), "######## ");
  return result;
}

TEST(Utf8Terminal, TextsArriveAsUtf8AndAsBytesInTheCLocale) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"1000", "30000"}, Banner + ThreeLinesOfR1000},
      {{"0", "1"}, Banner + RadiusError},
      {{}, Banner + RadiusPrompt + ClosedInputReport},  // input closed
  };
  for (const auto& [arguments, expected] : cases) {
    const InputKind input = arguments.empty() ? InputKind::Closed : InputKind::Pipe;
    EXPECT_EQ(RunCase(arguments, input, OutputKind::Terminal, {"LC_ALL=C.UTF-8"}).output,
              Utf8FromCp932(expected));
    EXPECT_EQ(RunCase(arguments, input, OutputKind::Terminal, {"LC_ALL=C"}).output, expected);
  }
}

TEST(Utf8Terminal, EachPromptIsVisibleBeforeTheProgramReads) {
  InteractiveRun run({}, Midnight, {"LC_ALL=C.UTF-8"});
  ASSERT_TRUE(run.WaitForOutputEnding(Utf8FromCp932(Banner) + RadiusPrompt));
  run.Answer("1000\n");
  ASSERT_TRUE(run.WaitForOutputEnding("Max count:"));
  run.Answer("30000\n");
  EXPECT_EQ(run.Finish().output, Utf8FromCp932(Banner + Prompts + ThreeLinesOfR1000));
}

std::string CopyOfProgramIn(const std::string& directory) {
  std::filesystem::create_directories(directory);
  std::filesystem::copy_file(DARTCIRC_BINARY, directory + "/dartcirc");
  return directory + "/dartcirc";
}

TEST(ProgramPath, QuoteLengthOrRemovalOfThePathChangesNothing) {
  char scratch[] = "/tmp/dartcirc-path-XXXXXX";
  const std::string base = mkdtemp(scratch);
  const std::string quoted = CopyOfProgramIn(base + "/a\"b");
  EXPECT_EQ(RunCase({"1000", "30000"}, InputKind::Pipe, OutputKind::Pipe, {}, quoted).output,
            Banner + ThreeLinesOfR1000);

  const std::string longPath =
      CopyOfProgramIn(base + "/" + std::string(200, 'd') + "/" + std::string(100, 'e'));
  const std::string removed = CopyOfProgramIn(base + "/gone");
  const int held = open(removed.c_str(), O_RDONLY);  // inherited: the child runs it by descriptor
  unlink(removed.c_str());
  for (const std::string& program : {longPath, "/proc/self/fd/" + std::to_string(held)}) {
    EXPECT_EQ(RunCase({}, InputKind::Closed, OutputKind::Pipe, {}, program).output,
              Banner + RadiusPrompt + ClosedInputReport)
        << program;
  }
  close(held);
  std::filesystem::remove_all(base);
}

TEST(FileSizeLimit, WritePastTheLimitFailsTheRunInsteadOfKillingIt) {
  const RunResult result = RunCase({"-c", "ulimit -f 1 && exec \"$0\" 1 2000000", DARTCIRC_BINARY},
                               InputKind::Pipe, OutputKind::File, {}, "/bin/sh");
  EXPECT_EQ(result.exitCode, 1);  // not ended by the signal
  std::string expected = Banner;
  while (expected.size() < result.output.size()) expected += "4.00000000\r\n";
  EXPECT_EQ(result.output, expected.substr(0, result.output.size()));
  EXPECT_GE(result.output.size(), 512u);
  EXPECT_EQ(result.output.size() % 128, 0u);  // whole buffers reached the file, the report did not
}

}  // namespace
}  // namespace dartcirc::testing
