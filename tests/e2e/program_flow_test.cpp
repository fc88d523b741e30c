// The whole program, byte for byte, with the clock pinned so the seed is known.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimator/estimation.h"
#include "runtime/fixed_real_output.h"
#include "runtime/random_source.h"
#include "tests/support/expected_output.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

RunResult RunProgramWith(std::vector<std::string> arguments, std::string input = "",
              OutputKind output = OutputKind::Pipe) {
  RunOptions options;
  options.arguments = std::move(arguments);
  options.inputBytes = std::move(input);
  options.output = output;
  options.fakeTime = Midnight;
  return RunDartcirc(options);
}

TEST(ProgramFlow, PromptsWithNoOneOrThreeArguments) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"5"}, {"5", "6", "7"}}) {
    const RunResult result = RunProgramWith(arguments, "1000\r\n30000\r\n");
    EXPECT_EQ(result.output, Banner + Prompts + ThreeLinesOfR1000) << arguments.size();
    EXPECT_EQ(result.exitCode, 0);
  }
}

TEST(ProgramFlow, RejectedCommandLineValues) {
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"0", "100"}, RadiusError},
      {{"1000", "0"}, TrialCountError},
      {{"-5", "x"}, RadiusError},  // only the radius is reported
      {{"2147483648", "1"}, RadiusError},
      {{"1000", "9223372036854775808"}, TrialCountError},
      {{"1000 ", "1"}, RadiusError},
      {{"1000", "1e6"}, TrialCountError},
  };
  for (const auto& c : cases) {
    const RunResult result = RunProgramWith(c.arguments);
    EXPECT_EQ(result.output, Banner + c.error) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(result.exitCode, 1);
  }
}

TEST(ProgramFlow, EmptyArgumentIsNoArgument) {
  const RunResult result = RunProgramWith({"1000", ""}, "");
  EXPECT_EQ(result.output, Banner + RadiusPrompt + RadiusError);
  EXPECT_EQ(result.exitCode, 1);
}

// A reply the program accepts leads to its progress lines; one it rejects, to the
// error of that prompt.
TEST(ProgramFlow, Replies) {
  const std::string badRadius = Banner + RadiusPrompt + RadiusError;
  const std::string badTrials = Banner + Prompts + TrialCountError;
  const struct {
    std::string input;
    std::size_t lines;
    std::string rejected;
  } cases[] = {
      {" 1000\r\n10000\r\n", 1, ""},   {"1000 \r\n10000\r\n", 0, badRadius},
      {"1000\t\r\n10000\r\n", 0, badRadius}, {"\t1000\r\n10000\r\n", 0, badRadius},
      {"1.0\r\n10000\r\n", 0, badRadius},    {"1e6\r\n10000\r\n", 0, badRadius},
      {"1,000\r\n10000\r\n", 0, badRadius},  {"$3E8\r\n10000\r\n", 1, ""},
      {"0x3E8\r\n10000\r\n", 1, ""},         {"$FFFFFFFF\r\n10000\r\n", 0, badRadius},
      {"1\r\n10000\r\n", 1, ""},             {"0\r\n10000\r\n", 0, badRadius},
      {"-5\r\n10000\r\n", 0, badRadius},     {"2147483647\r\n10000\r\n", 1, ""},
      {"2147483648\r\n10000\r\n", 0, badRadius}, {"\r\n10000\r\n", 0, badRadius},
      {"1000 1000000\r\n10000\r\n", 0, badRadius},
      {"1000\n1\n", 1, ""},      {"1000\n10000\n", 1, ""},  {"1000\n10001\n", 2, ""},
      {"1000\n15000\n", 2, ""},  {"1000\n$2710\n", 1, ""},  {"1000\n0x2710\n", 1, ""},
      {"1000\n-$10\n", 0, badTrials}, {"1000\n0\n", 0, badTrials}, {"1000\n 7\n", 1, ""},
      {"1000\n7 \n", 0, badTrials},   {"1000\n\n", 0, badTrials},
      {"1000\n9223372036854775808\n", 0, badTrials},
      {"1000", 0, badTrials},  // no line end, then the end of input
  };
  for (const auto& c : cases) {
    const RunResult result = RunProgramWith({}, c.input);
    if (c.lines > 0) {
      EXPECT_TRUE(result.output.starts_with(Banner + Prompts)) << c.input;
      EXPECT_EQ(result.output.size(), Banner.size() + Prompts.size() + 12 * c.lines) << c.input;
      EXPECT_EQ(result.exitCode, 0) << c.input;
    } else {
      EXPECT_EQ(result.output, c.rejected) << c.input;
      EXPECT_EQ(result.exitCode, 1) << c.input;
    }
  }
}

TEST(ProgramFlow, LargestValuesPassTheChecks) {
  RunOptions options;
  options.inputBytes = "2147483647\n9223372036854775807\n";
  options.output = OutputKind::ReaderLeaves;
  options.readerLeavesAfter = Banner.size() + Prompts.size() + 12;
  options.fakeTime = Midnight;
  const RunResult result = RunDartcirc(options);
  ASSERT_GE(result.output.size(), options.readerLeavesAfter);
  EXPECT_EQ(result.output.substr(0, Banner.size() + Prompts.size()), Banner + Prompts);
  EXPECT_EQ(result.output.substr(Banner.size() + Prompts.size() + 1, 3), ".14");
  EXPECT_EQ(result.exitCode, 1);  // its output went away
}

TEST(ProgramFlow, EachPromptIsVisibleOnATerminalBeforeTheProgramReads) {
  InteractiveRun run({}, Midnight);
  ASSERT_TRUE(run.WaitForOutputEnding(Banner + RadiusPrompt));
  run.Answer("1000\n");
  ASSERT_TRUE(run.WaitForOutputEnding("Max count:"));
  run.Answer("30000\n");
  const RunResult result = run.Finish();
  EXPECT_EQ(result.output, Banner + Prompts + ThreeLinesOfR1000);
  EXPECT_EQ(result.exitCode, 0);
}

TEST(ProgramFlow, PinnedRunMatchesTheReferenceLoop) {
  RunOptions options;
  options.arguments = {"777", "50000"};
  options.fakeTime = "2026-12-06 12:34:56.7895";
  const RunResult result = RunDartcirc(options);

  ResetFloatingPointUnit();
  RandomState = 45296789;  // 12:34:56.789
  std::string expected = Banner;
  std::int64_t inside = 0;
  for (std::int64_t block = 1; block <= 5; ++block) {
    inside += CountBlockPointByPoint(777, SquareOfRadius(777));
    ShortText text;
    FormatFixedReal(RunningEstimate(inside, block), 10, 8, text);
    expected += std::string(text.View()) + "\r\n";
  }
  EXPECT_EQ(result.output, expected);
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
}  // namespace dartcirc::testing
