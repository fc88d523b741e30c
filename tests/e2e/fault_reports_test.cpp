// Exception reports of real processes: the product on broken outputs, and a
// program of the runtime that faults on purpose.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/cp932.h"
#include "tests/support/run_binary.h"

namespace dartcirc::testing {
namespace {

// The sanitizers would otherwise take the faults for themselves.
const std::vector<std::string> LeaveFaultsToTheProgram = {
    "ASAN_OPTIONS=handle_segv=0:handle_sigfpe=0:handle_sigbus=0:handle_sigill=0"};

RunResult RunFaultProgram(const std::string& mode, OutputKind output = OutputKind::Pipe) {
  RunOptions options;
  options.program = FAULT_PROGRAM;
  options.arguments = {mode};
  options.output = output;
  options.environment = LeaveFaultsToTheProgram;
  return RunDartcirc(options);
}

TEST(BrokenOutput, FailedWriteDuringTheRunEndsWithExitCodeOne) {
  for (OutputKind kind : {OutputKind::DevFull, OutputKind::ReaderGone}) {
    const RunResult result = RunFaultProgram("write-lines", kind);
    EXPECT_EQ(result.exitCode, 1) << static_cast<int>(kind);
    EXPECT_EQ(result.signal, 0);
  }
}

TEST(ProcessorFaults, EachFaultIsReportedAndEndsWithExitCodeOne) {
  const std::string hex = "[0-9A-F]";
  struct Case {
    const char* mode;
    std::string className;
    std::string message;  // a pattern
  } cases[] = {
      {"read", "EAccessViolation",
       "モジュール 'fault_program' のアドレス " + hex + "{8,16} でアドレス 00000000 に対する読み込み違反がおきました。\\."},
      {"write", "EAccessViolation",
       "モジュール 'fault_program' のアドレス " + hex + "{8,16} でアドレス 00000000 に対する書き込み違反がおきました。\\."},
#if defined(__x86_64__)  // aarch64 does not trap: see untrapped_division_test
      {"int-divide", "EDivByZero", "ゼロによる除算\\."},
#endif
      {"x87-divide", "EZeroDivide", "0 による浮動小数点数除算\\."},
      {"x87-invalid", "EInvalidOp", "不正な浮動小数点数演算命令\\."},
      {"x87-overflow", "EOverflow", "浮動小数点数のオーバーフロー\\."},
      {"privileged", "EPrivilege", "特権命令違反\\."},
      {"illegal", "EExternalException", "外部例外 C000001D\\."},
      {"stack-overflow", "EStackOverflow", "スタック オーバーフロー\\."},
      {"out-of-memory", "EOutOfMemory", "メモリが足りません\\."},
  };
  for (const Case& c : cases) {
    const RunResult result = RunFaultProgram(c.mode);
    EXPECT_EQ(result.exitCode, 1) << c.mode;
    const std::string output = Utf8FromCp932(result.output);
    const std::regex expected("before\r\n" + c.className + "がモジュール fault_program の " + hex +
                              "{8} で発生しました。\n" + c.message + "\r\n");
    EXPECT_TRUE(std::regex_match(output, expected)) << c.mode << ": " << output;
  }
}

}  // namespace
}  // namespace dartcirc::testing
