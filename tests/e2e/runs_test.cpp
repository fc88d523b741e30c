// The real binaries, one run per row of tests/data/runs.tsv: arguments, standard
// input, the kind of standard output, the clock, the exit code and every byte
// written. Expected texts are UTF-8 there and are compared as their code page 932
// bytes, except at a UTF-8 terminal; '#' stands for a hexadecimal digit, '*' for a
// run of them. A reader that leaves early sees a prefix of the expected text, whose
// last progress line (12 bytes) repeats. Rows named Aarch64_ hold where that
// processor differs (an integer division by zero does not trap there). With
// DARTCIRC_WINDOWS_BUILD naming a Windows build, its programs run instead, under
// Wine (tests/cross_windows.sh): every row but those marked for Linux alone, with
// the module names of the reports ending in .exe, and the raw command lines. Then
// the runs that need a program path or a limit of their own.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/exact_point.h"
#include "engine/counting_choice.h"
#include "platform/processor_count.h"
#include "tests/support/cp932.h"
#include "tests/support/data_table.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

struct Row {
  TableRow fields;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.fields[0]; }

std::vector<Row> Rows() {
  std::vector<Row> rows;
  for (const TableRow& fields : ReadTable("runs.tsv")) rows.push_back({fields});
  return rows;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Whether output matches the expected text of a row, or for a prefix, its beginning
// (whose last line repeats).
bool Matches(std::string pattern, const std::string& output, bool prefix = false) {
  const std::string lastLine = pattern.substr(pattern.size() - std::min<std::size_t>(12, pattern.size()));
  while (prefix && pattern.size() < 2 * output.size()) pattern += lastLine;
  std::size_t p = 0, o = 0;
  for (; p < pattern.size() && o < output.size(); ++p) {
    if (pattern[p] != '#' && pattern[p] != '*') {
      if (pattern[p] != output[o++]) return false;
    } else if (!IsHexDigit(output[o++])) {
      return false;
    } else {
      while (pattern[p] == '*' && o < output.size() && IsHexDigit(output[o])) ++o;
    }
  }
  return o == output.size() && (prefix || p == pattern.size());
}

const char* const WindowsBuild = std::getenv("DARTCIRC_WINDOWS_BUILD");

std::string ExpectedOnThisSystem(std::string text) {
  for (const std::string name : {"dartcirc", "fault_program"}) {
    for (const std::string around : {"モジュール # ", "モジュール '#'"}) {
      const std::string linux = around.substr(0, around.find('#')) + name + around.substr(around.find('#') + 1);
      for (std::size_t at; WindowsBuild != nullptr && (at = text.find(linux)) != std::string::npos;) {
        text.insert(at + linux.size() - 1, ".exe");
      }
    }
  }
  return text;
}

std::string ExpectedOf(const std::string& name) {
  for (const Row& row : Rows()) {
    if (row.fields[0] == name) return Cp932FromUtf8(row.fields[8]);
  }
  return "no such row";
}

class Runs : public ::testing::TestWithParam<Row> {};

TEST_P(Runs, ExitCodeAndEveryByteWritten) {
  const TableRow& row = GetParam().fields;
#if defined(__x86_64__)
  if (row[0].starts_with("Aarch64_")) GTEST_SKIP();
#else
  // aarch64 does not trap an integer division by zero, and has neither I/O ports
  // nor non-canonical addresses.
  if (row[0] == "Fault_int_divide" || row[0] == "Fault_port_string" || row[0] == "Fault_non_canonical") {
    GTEST_SKIP();
  }
#endif
  const std::vector<std::string> outputs{"pipe",    "file",   "terminal",     "devnull",    "devfull",
                                         "closed",  "readerleaves", "readergone", "utf8terminal"};
  const std::vector<std::string> inputs{"pipe", "file", "closed"};
  RunOptions options;
  if (WindowsBuild != nullptr) {
    if (row.size() > 9 && row[9] == "linux") GTEST_SKIP() << "Linux alone";
    options.program = std::string(WindowsBuild) + (row[1] == "fault_program" ? "/tests/fault_program.exe" : "/dartcirc.exe");
  } else if (row[1] == "fault_program") {
    options.program = FAULT_PROGRAM;
    // The sanitizers would otherwise take the faults for themselves.
    options.environment = {"ASAN_OPTIONS=handle_segv=0:handle_sigfpe=0:handle_sigbus=0:handle_sigill=0"};
  }
  for (std::size_t start = 0, bar = 0; !row[2].empty() && bar != std::string::npos; start = bar + 1) {
    bar = row[2].find('|', start);
    options.arguments.push_back(row[2].substr(start, bar - start));
  }
  options.input = static_cast<InputKind>(std::find(inputs.begin(), inputs.end(), row[3]) - inputs.begin());
  options.inputBytes = row[4];
  options.output = static_cast<OutputKind>(std::find(outputs.begin(), outputs.end(), row[5]) - outputs.begin());
  options.fakeTime = row[6];
  // A run with a pinned clock goes through every path the processor has.
  std::vector<std::string> paths{""};
  if (!options.fakeTime.empty() && row[1] == "dartcirc") {
    paths.clear();
    for (VectorPath path : MachinePaths()) paths.emplace_back(PathName(path));
  }
  const std::vector<std::string> environment = options.environment;
  for (const std::string& path : paths) {
    options.environment = environment;
    if (!path.empty()) options.environment.push_back("DARTCIRC_ENGINE_PATH=" + path);
    const RunResult result = RunDartcirc(options);
    EXPECT_EQ(result.signal != 0 ? -result.signal : result.exitCode, std::stoi(row[7])) << path;  // -N: ended by signal N
    const bool leaves = options.output == OutputKind::ReaderLeaves;
    const std::string expected = ExpectedOnThisSystem(row[8]);
    EXPECT_TRUE(Matches(options.output == OutputKind::Utf8Terminal ? expected : Cp932FromUtf8(expected), result.output, leaves))
        << path << ": " << result.output;
    EXPECT_TRUE(!leaves || !result.output.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, Runs, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.fields[0]; });

// The splitter of the Windows build over the system's own CharNextA, one run of
// tests/support/arguments_program.cpp per row of tests/data/command_lines.tsv, under
// Wine in the row's ANSI code page (932 from the locale ja_JP.UTF-8, 1252 from C):
// started with the row's command line, which it reads through GetCommandLineA, or
// given it in place of that.
TEST(CommandLines, SplitByTheSystemsCallsInEachCodePage) {
  if (WindowsBuild == nullptr) GTEST_SKIP() << "for a Windows build";
  for (const TableRow& row : ReadTable("command_lines.tsv")) {
    std::string hex;
    for (const unsigned char byte : row[3]) hex += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
    const RunOptions options{.program = std::string(WindowsBuild) + "/tests/arguments_program.exe",
                             .environment = {row[1] == "932" ? "LC_ALL=ja_JP.UTF-8" : "LC_ALL=C",
                                             (row[2] == "started" ? "DARTCIRC_STARTED_WITH=" : "DARTCIRC_GIVEN_LINE=") + hex}};
    EXPECT_EQ(RunDartcirc(options).output, row[1] + " " + row[4]) << row[0];
  }
}

// The report names the program by the file it was started from, however it is
// reached: a path longer than a report holds, a removed file, a file really so
// named, a path past the longest that Linux gives (by the name it was started by),
// a name in UTF-8 (in code page 932, as the report's own text).
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
  const std::string report = ExpectedOf("Pipe_PromptInputClosed");
  const auto reportNaming = [&](const std::string& name) {
    std::string renamed = report;
    return renamed.replace(report.find("dartcirc \x82\xCC "), 8, name);  // before "の"
  };
  RunOptions options{.input = InputKind::Closed, .program = longPath};
  EXPECT_TRUE(Matches(report, RunDartcirc(options).output));
  // Japanese converts; a character code page 932 lacks becomes "?"; bytes that are not UTF-8 stay.
  for (const auto& [name, shown] : {std::pair{"ダーツ", Cp932FromUtf8("ダーツ")},
                                    {"😀éd", "??d"}, {"\x80ツ", "\x80ツ"}}) {
    options.program = base + "/日本/" + name;
    std::filesystem::create_directories(base + "/日本");
    std::filesystem::copy_file(DARTCIRC_BINARY, options.program);
    EXPECT_TRUE(Matches(reportNaming(shown), RunDartcirc(options).output)) << shown;
  }
#ifndef PROGRAM_EMULATOR  // an emulator shows its guest /proc/self/exe as a path of its own
  options.program = "/proc/self/fd/" + std::to_string(held);
  EXPECT_TRUE(Matches(report, RunDartcirc(options).output));
  options.program = named;
  EXPECT_TRUE(Matches(reportNaming("dartcirc (deleted)"), RunDartcirc(options).output));
  const std::string part(250, 'p'), home = std::filesystem::current_path();
  ASSERT_EQ(chdir(base.c_str()), 0);
  for (int depth = 0; depth < 17; ++depth) ASSERT_TRUE(mkdir(part.c_str(), 0700) == 0 && chdir(part.c_str()) == 0);
  std::filesystem::copy_file(DARTCIRC_BINARY, "deep");
  options.program = "./deep";
  EXPECT_TRUE(Matches(reportNaming("deep"), RunDartcirc(options).output));
  unlink("deep");
  for (int depth = 0; depth < 17; ++depth) ASSERT_TRUE(chdir("..") == 0 && rmdir(part.c_str()) == 0);
  ASSERT_EQ(chdir(home.c_str()), 0);
#endif
  close(held);
  std::filesystem::remove_all(base);
}

// An answer is converted as it is read, not kept: 64 MB of zero bytes in 32 MiB of
// address space get the radius error, not an out-of-memory report.
TEST(LongAnswer, ConvertedAsItIsReadInBoundedMemory) {
#if defined(PROGRAM_EMULATOR) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an emulator or a sanitizer needs more address space than the limit leaves";
#endif
  const RunResult result = RunDartcirc(
      {.arguments = {"-c", "ulimit -v 32768 && head -c 64000000 /dev/zero | \"$0\"", DARTCIRC_BINARY}, .program = "/bin/sh"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(Matches(ExpectedOf("Pipe_PromptInputEmpty"), result.output)) << result.output;
}

// A locale that is named but not installed is judged by the codeset in the name that
// the C library would have used.
TEST(Locale, NamedButNotInstalledUtf8LocaleGetsUtf8) {
  const std::pair<std::array<std::string, 3>, bool> cases[] = {  // LC_ALL, LC_CTYPE, LANG
      {{"", "", "xx_XX.UTF-8"}, true}, {{"", "", "xx_XX.utf8@euro"}, true}, {{"xx_XX.Utf-8", "", "C"}, true},
      {{"", "xx_XX.eucJP", "xx_XX.UTF-8"}, false}, {{"", "", "xx_XX"}, false}, {{"", "", "xx_XX.utf-16"}, false}};
  for (const auto& [names, utf8] : cases) {
    const std::vector<std::string> environment{"LC_ALL=" + names[0], "LC_CTYPE=" + names[1], "LANG=" + names[2]};
    const std::string output = RunDartcirc({.arguments = {"0", "1"}, .output = OutputKind::Terminal, .environment = environment}).output;
    EXPECT_EQ(output.starts_with("確率で円周率を求める\r\n"), utf8) << names[0] << "/" << names[1] << "/" << names[2];
  }
}

// A path the processor lacks, or no path at all, is one line on standard error, and
// the run goes on with its own choice.
TEST(EnginePath, PathNotHadIsOneLineOnStandardErrorAndTheRunGoesOn) {
  std::string line = "dartcirc: DARTCIRC_ENGINE_PATH ignored; this processor's paths are";
  for (VectorPath path : MachinePaths()) line.append(" ").append(PathName(path));
  std::vector<std::string> values{"fastest"};
  for (VectorPath path : {VectorPath::Avx2, VectorPath::Avx512F, VectorPath::Avx512Ifma}) {
    if (!MachineHasPath(path)) values.emplace_back(PathName(path));
  }
  for (const std::string& value : values) {
    const RunResult result = RunDartcirc({.arguments = {"1", "30000"}, .environment = {"DARTCIRC_ENGINE_PATH=" + value},
                                          .errorsToOutput = true});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Matches(line + "\n" + ExpectedOf("Pipe_CommandLineInputClosed"), result.output)) << result.output;
  }
}

// A run long enough to time the paths writes what each path forced writes.
TEST(EnginePath, TimedChoiceWritesWhatEveryPathWrites) {
  const std::string trials = std::to_string(MeasuringPaysFromBlocks * BlockSize * UsableProcessorCount());
  RunOptions options{.arguments = {"1000", trials}, .fakeTime = "2026-12-06 00:00:00"};
  const std::string chosen = RunDartcirc(options).output;
  EXPECT_EQ(std::count(chosen.begin(), chosen.end(), '\n'), 4 + MeasuringPaysFromBlocks * UsableProcessorCount());
  for (VectorPath path : MachinePaths()) {
    options.environment = {"DARTCIRC_ENGINE_PATH=" + std::string(PathName(path))};
    EXPECT_EQ(RunDartcirc(options).output, chosen) << PathName(path);
  }
}

}  // namespace
}  // namespace dartcirc::testing
