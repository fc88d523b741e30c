// The real binary with its standard output on each kind of file.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

const std::string Banner =
    "\x8A\x6D\x97\xA6\x82\xC5\x89\x7E\x8E\xFC\x97\xA6\x82\xF0\x8B\x81\x82\xDF\x82\xE9\r\n"
    "2004/11/6 Ver.1.00\r\n"
    "Rebuilt for Linux by the dartcirc team\r\n"
    "\r\n";
const std::string Lines = "3.14240000\r\n3.13420000\r\n3.13773333\r\n";

RunResult RunWithOutputOn(OutputKind kind) {
  RunOptions options;
  options.arguments = {"1000", "30000"};
  options.output = kind;
  // The clock library would take a closed descriptor 1 for itself.
  if (kind != OutputKind::Closed) options.fakeTime = "2026-12-06 00:00:00";
  return RunDartcirc(options);
}

TEST(OutputDevices, EveryByteReachesPipeFileAndTerminal) {
  for (OutputKind kind : {OutputKind::Pipe, OutputKind::File, OutputKind::Terminal}) {
    const RunResult result = RunWithOutputOn(kind);
    EXPECT_EQ(result.output, Banner + Lines) << static_cast<int>(kind);
    EXPECT_EQ(result.exitCode, 0) << static_cast<int>(kind);
  }
}

TEST(OutputDevices, DevNullTakesEverything) {
  EXPECT_EQ(RunWithOutputOn(OutputKind::DevNull).exitCode, 0);
}

TEST(OutputDevices, FullDeviceAndClosedOutputEndWithExitCodeOne) {
  for (OutputKind kind : {OutputKind::DevFull, OutputKind::Closed}) {
    const RunResult result = RunWithOutputOn(kind);
    EXPECT_EQ(result.exitCode, 1) << static_cast<int>(kind);
    EXPECT_EQ(result.signal, 0);
  }
}

}  // namespace
}  // namespace dartcirc::testing
