// The real binary with its standard output on each kind of file.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

const std::string Banner =
    "\x8A\x6D\x97\xA6\x82\xC5\x89\x7E\x8E\xFC\x97\xA6\x82\xF0\x8B\x81\x82\xDF\x82\xE9\r\n"
    "2004/11/6 Ver.1.00\r\n";

TEST(OutputDevices, BannerReachesPipeFileAndTerminalByteForByte) {
  for (OutputKind kind : {OutputKind::Pipe, OutputKind::File, OutputKind::Terminal}) {
    RunOptions options;
    options.output = kind;
    const RunResult result = RunDartcirc(options);
    EXPECT_EQ(result.exitCode, 0) << static_cast<int>(kind);
    EXPECT_TRUE(result.output.starts_with(Banner)) << static_cast<int>(kind);
  }
}

TEST(OutputDevices, DevNullTakesEverything) {
  RunOptions options;
  options.output = OutputKind::DevNull;
  EXPECT_EQ(RunDartcirc(options).exitCode, 0);
}

}  // namespace
}  // namespace dartcirc::testing
