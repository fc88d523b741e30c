// Run-time errors, processor faults and exceptions through the recording fake: the
// classes and messages of each error kind and exception code against the tables in
// tests/data (messages as readable text, compared as their code page 932 bytes),
// the numbered report without error handling, and the exception report's rules.
#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "runtime/console_stream.h"
#include "runtime/error_handling.h"
#include "runtime/exception_report.h"
#include "runtime/extended.h"
#include "runtime/message_table.h"
#include "runtime/soft_extended.h"
#include "tests/support/cp932.h"
#include "tests/support/data_table.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

// A place in the program, and how the run-time error report shows it: as the
// address itself on Windows, as the offset from the load base on Linux.
const CodePlace InProgram = ModuleBase() + 0xABC;
#if defined(_WIN32)
const std::string InProgramShown = [] {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(InProgram));
  return std::string(digits);
}();
const char* const ProgramPath = "C:\\opt\\dart circ\\dartcirc.exe";
#else
const std::string InProgramShown = "00000ABC";
const char* const ProgramPath = "/opt/dart circ/dartcirc.exe";
#endif

std::string ClassAndMessage(const TObject* object) {
  return std::string(object->ClassName()) + " " + std::string(dynamic_cast<const Exception&>(*object).MessageText.View());
}

TEST(StringTable, EveryTextIsItsCodePage932Bytes) {
  std::set<std::uint16_t> identifiers;
  for (const TableRow& row : ReadTable("string_table.tsv")) {
    EXPECT_EQ(LoadResourceString(static_cast<std::uint16_t>(std::stoi(row[0]))), Cp932FromUtf8(row[1])) << row[0];
    identifiers.insert(static_cast<std::uint16_t>(std::stoi(row[0])));
  }
  EXPECT_EQ(identifiers.size(), StringTableSize);
  EXPECT_EQ(LoadResourceString(65497), "");  // a month name, no message
}

TEST(RuntimeErrors, EachKindRaisesItsExceptionOrEndsWithItsNumber) {
  for (const TableRow& row : ReadTable("error_kinds.tsv")) {
    const auto kind = static_cast<std::uint8_t>(std::stoi(row[0]));
    FakePlatformScope scope;
    InstallErrorHandling();
    IoResultCode = 2;
    try {
      RaiseForRuntimeError(kind, 0x1234);
    } catch (const RaisedException& raised) {
      EXPECT_EQ(raised.place, 0x1234u);
      EXPECT_EQ(ClassAndMessage(raised.object), row[1] + " " + Cp932FromUtf8(row[2])) << row[0];
      if (raised.object != OutOfMemoryInstance && raised.object != InvalidPointerInstance) delete raised.object;
    }
    RemoveErrorHandling();
    IoResultCode = 2;
    EXPECT_EQ(ExitCodeOf([&] { SignalRuntimeError(kind, InProgram); }), std::stoi(row[3])) << row[0];
    EXPECT_EQ(scope.fake.Output(), "Runtime error " + std::string(3 - row[3].size(), ' ') + row[3] +
                                       " at " + InProgramShown + std::string("\0\r\n", 3));
    EXPECT_EQ(ErrorAddress, 0u);
  }
}

TEST(RuntimeErrors, IoErrorMessagesTakeTheCode) {
  for (const TableRow& row : ReadTable("io_errors.tsv")) {
    IoResultCode = std::stoi(row[0]);
    EInOutError* made = MakeIoErrorException();
    EXPECT_EQ(made->IoErrorCode, std::stoi(row[0]));
    EXPECT_EQ(ClassAndMessage(made), "EInOutError " + Cp932FromUtf8(row[1]));
    EXPECT_EQ(IoResultCode, 0);
    delete made;
  }
}

TEST(ProcessorFaults, EachCodeBecomesItsExceptionOrEndsWithItsNumber) {
  for (const TableRow& row : ReadTable("os_exceptions.tsv")) {
    FakePlatformScope scope;
    const OsExceptionRecord record{static_cast<std::uint32_t>(std::stoul(row[0], nullptr, 16)), InProgram, {0, 0}};
    TObject* made = TranslateOsException(record);
    EXPECT_EQ(dynamic_cast<EExternal&>(*made).OsExceptionRecord, &record);
    EXPECT_EQ(ClassAndMessage(made).substr(0, row[1].size()), row[1]);
    EXPECT_TRUE(row[2] == "-" || ClassAndMessage(made) == row[1] + " " + Cp932FromUtf8(row[2])) << row[0];
    delete made;
    EXPECT_EQ(ExitCodeOf([&] { TopLevelExceptionHandler(record); }), std::stoi(row[3])) << row[0];
    EXPECT_EQ(scope.fake.Output().substr(13, 16), " " + row[3] + " at " + InProgramShown) << row[0];
  }
  FakePlatformScope scope;
  const OsExceptionRecord program{ProgramExceptionCode, InProgram, {InProgram, 0}};
  EXPECT_EQ(ExitCodeOf([&] { TopLevelExceptionHandler(program); }), 217);
#if defined(__SIZEOF_INT128__)  // the software extended real is built where 128-bit integers are
  // The software extended real raises what the x87 faults with; invalid goes first.
  for (const auto& [conditions, exitCode] : {std::pair{ConditionInvalid | ConditionZeroDivide | ConditionOverflow, 207},
                                             {ConditionZeroDivide | ConditionOverflow, 200}, {ConditionOverflow, 205}}) {
    EXPECT_EQ(ExitCodeOf([raised = conditions] { RaiseFloatingPointConditions(raised); }), exitCode);
  }
#endif
}

// Within a module the message names it (the fault program's reports show that).
TEST(ProcessorFaults, AccessViolationOutsideEveryModuleNamesAccessAndTarget) {
  FakePlatformScope scope;
  const auto target = static_cast<std::uintptr_t>(0x123456789A);  // 0x3456789A where addresses have 32 bits
  TObject* made = TranslateOsException({0xC0000005, 0x20, {1, target}});
  const std::string shown = sizeof target > 4 ? "123456789A" : "3456789A";
  EXPECT_EQ(ClassAndMessage(made), "EAccessViolation " + Cp932FromUtf8("アドレス 00000020 でアドレス " + shown + " に対する書き込み違反がおきました。"));
  delete made;
}

// The report: class, module and offset, a single LF, the message with a period
// unless it ends in one, CR LF; what waited in the buffer goes first.
TEST(ExceptionReport, LinesOfTheReport) {
  for (const auto& [message, secondLine] : {std::pair{"ディスクがいっぱいです", "ディスクがいっぱいです."}, {"abc.", "abc."}, {"", ""}}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = FileTypeDisk;
    scope.fake.moduleFileName = ProgramPath;
    EndOutputLine(WriteText(ConsoleOut, "before"));
    TObject* made = MakeException(ExceptionClass::EConvertError, Cp932FromUtf8(message));
    WriteExceptionReport(made, InProgram);
    delete made;
    const std::string firstLine = "EConvertErrorがモジュール dartcirc.exe の 00000ABC で発生しました。\n";
    EXPECT_EQ(scope.fake.Output(), "before\r\n" + Cp932FromUtf8(firstLine + secondLine + "\r\n"));
    EXPECT_EQ(scope.fake.writes.back().bytes, "\r\n");  // a write of its own
  }
  FakePlatformScope scope;
  ConsoleProgramFlag = false;
  TObject object(ExceptionClass::TObject);
  WriteExceptionReport(&object, 0);
  WriteRuntimeErrorReport();
  EXPECT_TRUE(scope.fake.writes.empty());
  ConsoleProgramFlag = true;
  scope.fake.moduleFileName = "dartcirc.exe";
  WriteExceptionReport(&object, 0);  // no exception, no message; outside every module
  EXPECT_EQ(scope.fake.Output(), Cp932FromUtf8("TObjectがモジュール dartcirc.exe の 00000000 で発生しました。\n\r\n"));
}

TEST(ExceptionReport, LongMessageIsCutWholeCharactersAtTheBufferEnd) {
  std::string message;
  for (int i = 0; i < 600; ++i) message += "\x82\xA0";
  TObject* made = MakeException(ExceptionClass::Exception, message);
  char text[ReportCapacity];
  const std::string report(text, FormatExceptionReport(made, InProgram, text));
  delete made;
  EXPECT_GE(report.size(), ReportCapacity - 1);
  const std::string secondLine = report.substr(report.find('\n') + 1);
  EXPECT_EQ(secondLine.size() % 2, 0u);
  EXPECT_EQ(secondLine, message.substr(0, secondLine.size()));
}

// A failing final write fails the run too; the end-to-end runs on /dev/full show it.
TEST(Termination, ModulesAndTheEndOfTheProcess) {
  FakePlatformScope scope;
  scope.fake.outputFileType = FileTypeDisk;
  StartModules();
  EXPECT_EQ(StartedModuleCount, ModuleCount);
  EXPECT_EQ(CurrentControlWord() & 0x1F3F, StartupControlWord);
  WriteText(ConsoleOut, "waiting");  // written at the end
  EXPECT_EQ(ExitCodeOf([&] { EndProcess(0); }), 0);
  EXPECT_EQ(scope.fake.Output(), "waiting");
  EXPECT_EQ(StartedModuleCount, 0);
  RuntimeErrorHook = [](std::uint8_t kind, CodePlace) { EndProcess(kind); };
  EXPECT_EQ(ExitCodeOf([] { SignalRuntimeError(0x80 | 7, 0x1234); }), 7);  // the low 7 bits only
}

}  // namespace
}  // namespace dartcirc::testing
