// The real binaries, one run per row of tests/data/runs.tsv: arguments, standard
// input, the kind of standard output, the clock, the exit code and every byte
// written. Expected texts are UTF-8 there and are compared as their code page 932
// bytes; '#' stands for a hexadecimal digit, '*' for a run of them. A reader that leaves early
// sees a prefix of the expected text, whose last progress line (12 bytes) repeats.
// Rows named Aarch64_ hold where that processor differs (an integer division by zero
// does not trap there).
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/cp932.h"
#include "tests/support/data_table.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

struct Row {
  TableRow fields;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.fields[0]; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Whether output matches pattern, or for a prefix, matches its beginning.
bool Matches(const std::string& pattern, const std::string& output, bool prefix) {
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
  const std::vector<std::string> outputs{"pipe",    "file",   "terminal",     "devnull",
                                         "devfull", "closed", "readerleaves", "readergone"};
  const std::vector<std::string> inputs{"pipe", "file", "closed"};
  RunOptions options;
  if (row[1] == "fault_program") {
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
  options.readerLeavesAfter = 1;
  options.fakeTime = row[6];
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, std::stoi(row[7]));
  std::string expected = Cp932FromUtf8(row[8]);
  const std::string lastLine = expected.substr(expected.size() - std::min<std::size_t>(12, expected.size()));
  while (options.output == OutputKind::ReaderLeaves && expected.size() < 2 * result.output.size()) expected += lastLine;
  EXPECT_TRUE(Matches(expected, result.output, options.output == OutputKind::ReaderLeaves)) << result.output;
  EXPECT_TRUE(options.output != OutputKind::ReaderLeaves || !result.output.empty());
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  for (const TableRow& fields : ReadTable("runs.tsv")) rows.push_back({fields});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, Runs, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.fields[0]; });

}  // namespace
}  // namespace dartcirc::testing
