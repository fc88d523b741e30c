// The real binary under conditions that Linux allows: a terminal that reads UTF-8,
// a program path too long for a report or removed, and a file-size limit.
#include <filesystem>
#include <regex>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/cp932.h"
#include "tests/support/expected_output.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

// With input closed; code offsets, which differ from build to build, show as ########.
std::string ClosedInputOutput(const std::string& program, OutputKind output, const std::string& locale = "C") {
  RunOptions options;
  options.input = InputKind::Closed;
  options.output = output;
  options.program = program;
  options.environment = {"LC_ALL=" + locale};
  return std::regex_replace(RunDartcirc(options).output, std::regex("[0-9A-F]{8} "), "######## ");
}
std::string ClosedInputReport(const std::string& module = "dartcirc") {
  return Banner + RadiusPrompt + Cp932FromUtf8("EInOutErrorがモジュール " + module + " の ######## で発生しました。\nI/O エラー (6).\r\n");
}

TEST(Utf8Terminal, TextsArriveAsUtf8AndEachPromptBeforeTheProgramReads) {
  EXPECT_EQ(ClosedInputOutput("", OutputKind::Terminal, "C.UTF-8"), Utf8FromCp932(ClosedInputReport()));
  InteractiveRun run({}, Midnight, {"LC_ALL=C.UTF-8"});
  ASSERT_TRUE(run.WaitForOutputEnding(Utf8FromCp932(Banner) + RadiusPrompt));
  run.Answer("1000\n");
  ASSERT_TRUE(run.WaitForOutputEnding("Max count:"));
  run.Answer("30000\n");
  EXPECT_EQ(run.Finish().output, Utf8FromCp932(Banner + Prompts + ThreeLinesOfR1000));
}

// The report names the program by the file it was started from, however it is reached.
TEST(ProgramPath, ReportNamesTheFileStartedHoweverItIsReached) {
  char scratch[] = "/tmp/dartcirc-path-XXXXXX";
  const std::string base = mkdtemp(scratch), removed = base + "/gone/dartcirc", named = base + "/kept/dartcirc (deleted)";
  const std::string longPath = base + "/" + std::string(200, 'd') + "/" + std::string(100, 'e') + "/dartcirc";
  for (const std::string& path : {longPath, removed, named}) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(DARTCIRC_BINARY, path);
  }
  const int held = open(removed.c_str(), O_RDONLY);  // inherited: the child runs it by descriptor
  unlink(removed.c_str());
  EXPECT_EQ(ClosedInputOutput(longPath, OutputKind::Pipe), ClosedInputReport());
#ifndef PROGRAM_EMULATOR  // an emulator shows its guest a path of its own for a removed program
  EXPECT_EQ(ClosedInputOutput("/proc/self/fd/" + std::to_string(held), OutputKind::Pipe), ClosedInputReport());
#endif
  EXPECT_EQ(ClosedInputOutput(named, OutputKind::Pipe), ClosedInputReport("dartcirc (deleted)"));  // really named so
  close(held);
  std::filesystem::remove_all(base);
}

TEST(FileSizeLimit, WritePastTheLimitFailsTheRunInsteadOfKillingIt) {
#ifdef PROGRAM_EMULATOR
  GTEST_SKIP() << "the shell that sets the limit would start under the emulator too";
#endif
  RunOptions options;
  options.arguments = {"-c", "ulimit -f 1 && exec \"$0\" 1 2000000", DARTCIRC_BINARY};
  options.output = OutputKind::File;
  options.program = "/bin/sh";
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.exitCode, 1);  // not ended by the signal
  std::string expected = Banner;
  while (expected.size() < result.output.size()) expected += "4.00000000\r\n";
  EXPECT_EQ(result.output, expected.substr(0, result.output.size()));
  EXPECT_GE(result.output.size(), 512u);
  EXPECT_EQ(result.output.size() % 128, 0u);  // whole buffers reached the file, the report did not
}

}  // namespace
}  // namespace dartcirc::testing
