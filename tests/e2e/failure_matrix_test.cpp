// The real binary over every kind of standard output and standard input, in
// command-line and in prompt mode: each run ends with the exit code of its course
// (1 whenever standard output fails), and what it wrote is exactly the bytes of
// that course, or a prefix of them when the reader left early.
#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/expected_output.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

// EInOutErrorがモジュール dartcirc の ######## で発生しました。 LF I/O エラー (6). CR LF,
// where each # stands for a hexadecimal digit of the code offset.
const std::string ClosedInputReport =
    "EInOutError\x82\xAA\x83\x82\x83\x57\x83\x85\x81\x5B\x83\x8B dartcirc \x82\xCC ######## "
    "\x82\xC5\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\n"
    "I/O \x83\x47\x83\x89\x81\x5B (6).\r\n";

// The parameters of a run and the progress lines it writes.
struct Estimation {
  std::string radius;
  std::string trials;
  std::string lines;
  bool pinned;  // the lines hold only from seed 0
};
const Estimation FromSeedZero{"1000", "30000", ThreeLinesOfR1000, true};
// With radius 1 every point is inside, whatever the seed: where a closed handle
// rules out the pinned clock.
const std::string Four = "4.00000000\r\n";
const Estimation AnySeed{"1", "30000", Four + Four + Four, false};
// Runs until its output fails; its lines are Four, as many as were written.
const Estimation Endless{"1", "1000000000000", "", false};

enum class Mode { CommandLine, Prompt };
enum class Input { Closed, Empty, File, Pipe };

// How each kind of standard output takes what the program writes.
enum class Delivery { Everything, Nothing, Prefix };
struct OutputRow {
  OutputKind kind;
  const char* name;
  Delivery delivery;
  bool fails;  // a write fails, and the run ends with exit code 1
};
const OutputRow Outputs[] = {
    {OutputKind::Terminal, "Terminal", Delivery::Everything, false},
    {OutputKind::Pipe, "Pipe", Delivery::Everything, false},
    {OutputKind::File, "File", Delivery::Everything, false},
    {OutputKind::DevNull, "DevNull", Delivery::Nothing, false},
    {OutputKind::DevFull, "DevFull", Delivery::Nothing, true},
    {OutputKind::Closed, "Closed", Delivery::Nothing, true},
    {OutputKind::ReaderGone, "ReaderGone", Delivery::Nothing, true},
    {OutputKind::ReaderLeaves, "ReaderLeaves", Delivery::Prefix, true},
};

// The course of a run on an output that takes everything.
struct CourseRow {
  Mode mode;
  Input input;
  const char* name;
};
const CourseRow Courses[] = {
    {Mode::CommandLine, Input::Closed, "CommandLineInputClosed"},
    {Mode::CommandLine, Input::Empty, "CommandLineInputEmpty"},
    {Mode::CommandLine, Input::File, "CommandLineInputFile"},
    {Mode::CommandLine, Input::Pipe, "CommandLineInputPipe"},
    {Mode::Prompt, Input::Closed, "PromptInputClosed"},
    {Mode::Prompt, Input::Empty, "PromptInputEmpty"},
    {Mode::Prompt, Input::File, "PromptInputFile"},
    {Mode::Prompt, Input::Pipe, "PromptInputPipe"},
};

void PrintTo(const OutputRow& row, std::ostream* out) { *out << row.name; }
void PrintTo(const CourseRow& row, std::ostream* out) { *out << row.name; }

struct Expectation {
  std::string output;  // '#' stands for any hexadecimal digit
  int exitCode;
};

Expectation ExpectedOnAWorkingOutput(const CourseRow& course, const Estimation& estimation) {
  if (course.mode == Mode::CommandLine) return {Banner + estimation.lines, 0};  // input unread
  switch (course.input) {
    case Input::Closed: return {Banner + RadiusPrompt + ClosedInputReport, 1};
    case Input::Empty: return {Banner + RadiusPrompt + RadiusError, 1};  // end of input at the prompt
    default: return {Banner + Prompts + estimation.lines, 0};
  }
}

bool Matches(const std::string& pattern, const std::string& output, bool prefixOnly) {
  if (prefixOnly ? output.size() > pattern.size() : output.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < output.size(); ++i) {
    const bool hexDigit = (output[i] >= '0' && output[i] <= '9') || (output[i] >= 'A' && output[i] <= 'F');
    if (pattern[i] == '#' ? !hexDigit : pattern[i] != output[i]) return false;
  }
  return true;
}

class FailureMatrix : public ::testing::TestWithParam<std::tuple<OutputRow, CourseRow>> {};

TEST_P(FailureMatrix, ExitCodeAndBytesWritten) {
  const auto& [output, course] = GetParam();
  const bool anyClosed = output.kind == OutputKind::Closed || course.input == Input::Closed;
  const Estimation& estimation = output.delivery == Delivery::Prefix ? Endless
                                 : anyClosed                        ? AnySeed
                                                                    : FromSeedZero;
  RunOptions options;
  options.output = output.kind;
  options.readerLeavesAfter = 1;  // the reader leaves after its first read
  if (estimation.pinned) options.fakeTime = Midnight;
  if (course.mode == Mode::CommandLine) options.arguments = {estimation.radius, estimation.trials};
  switch (course.input) {
    case Input::Closed: options.input = InputKind::Closed; break;
    case Input::Empty: options.input = InputKind::Pipe; break;
    case Input::File: options.input = InputKind::File; break;
    case Input::Pipe: options.input = InputKind::Pipe; break;
  }
  // In command-line mode the input holds answers that must stay unread.
  if (course.input == Input::File || course.input == Input::Pipe) {
    options.inputBytes = estimation.radius + "\r\n" + estimation.trials + "\r\n";
  }

  const RunResult result = RunDartcirc(options);
  Expectation expected = ExpectedOnAWorkingOutput(course, estimation);
  if (output.fails) expected.exitCode = 1;
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, expected.exitCode);
  switch (output.delivery) {
    case Delivery::Everything:
      EXPECT_TRUE(Matches(expected.output, result.output, false)) << result.output;
      break;
    case Delivery::Nothing: EXPECT_EQ(result.output, ""); break;
    case Delivery::Prefix:
      while (expected.output.size() < result.output.size()) expected.output += Four;
      EXPECT_FALSE(result.output.empty());
      EXPECT_TRUE(Matches(expected.output, result.output, true)) << result.output;
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    OutputsInputsAndModes, FailureMatrix,
    ::testing::Combine(::testing::ValuesIn(Outputs), ::testing::ValuesIn(Courses)),
    [](const ::testing::TestParamInfo<FailureMatrix::ParamType>& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// A small file system of its own, mounted for the test and filled to the last
// block; skipped where mounting is not allowed.
class FullFileSystem {
 public:
  FullFileSystem() {
    char name[] = "/tmp/dartcirc-full-XXXXXX";
    if (geteuid() != 0 || mkdtemp(name) == nullptr) return;
    directory_ = name;
    if (mount("tmpfs", name, "tmpfs", 0, "size=16k") != 0) return;
    mounted_ = true;
    const int output = open(OutputPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int filler = open((directory_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const std::string block(4096, 'x');
    while (filler >= 0 && write(filler, block.data(), block.size()) > 0) {
    }
    full_ = output >= 0 && filler >= 0 && errno == ENOSPC;
    if (output >= 0) close(output);
    if (filler >= 0) close(filler);
  }
  ~FullFileSystem() {
    if (mounted_) umount2(directory_.c_str(), MNT_DETACH);
    if (!directory_.empty()) rmdir(directory_.c_str());
  }
  FullFileSystem(const FullFileSystem&) = delete;
  FullFileSystem& operator=(const FullFileSystem&) = delete;

  bool Ready() const { return full_; }
  std::string OutputPath() const { return directory_ + "/output"; }

 private:
  std::string directory_;
  bool mounted_ = false;
  bool full_ = false;
};

TEST(ShutDown, OutputThatCannotBeWrittenAtTheEndFailsTheRun) {
  FullFileSystem fileSystem;
  if (!fileSystem.Ready()) GTEST_SKIP() << "needs root and a tmpfs mount";
  RunOptions options;
  // Fewer than 128 bytes: all of it waits in the buffer until the shut-down writes it.
  options.arguments = {FromSeedZero.radius, FromSeedZero.trials};
  ASSERT_LT(Banner.size() + FromSeedZero.lines.size(), 128u);
  options.fakeTime = Midnight;
  options.output = OutputKind::File;
  options.outputPath = fileSystem.OutputPath();
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.signal, 0);
}

}  // namespace
}  // namespace dartcirc::testing
