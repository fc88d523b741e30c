// An integer division by zero traps on x86-64 only (its report is checked with the
// other faults); on aarch64 it gives 0 and the program runs on to a normal end.
#include <gtest/gtest.h>

#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

TEST(IntegerDivisionByZero, RunsOnWithoutReportOnAarch64) {
#if !defined(__aarch64__)
  GTEST_SKIP() << "traps on this processor";
#endif
  RunOptions options;
  options.program = FAULT_PROGRAM;
  options.arguments = {"int-divide"};
  const RunResult result = RunDartcirc(options);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "before\r\n");
}

}  // namespace
}  // namespace dartcirc::testing
