// The exception report byte for byte, written through the recording fake.
#include <string>

#include <gtest/gtest.h>

#include "runtime/console_stream.h"
#include "runtime/error_handling.h"
#include "runtime/exception_report.h"
#include "runtime/message_table.h"
#include "tests/support/cp932.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::Cp932FromUtf8;
using testing::FakePlatformScope;

CodePlace PlaceAtOffset(std::uint32_t offset) { return ModuleBase() + offset; }

struct Owned {
  explicit Owned(TObject* made) : object(made) {}
  ~Owned() { delete object; }
  TObject* object;
};

std::string FirstLine(const char* className, const char* offset) {
  return className + Cp932FromUtf8("がモジュール dartcirc.exe の ") + offset +
         Cp932FromUtf8(" で発生しました。") + "\n";
}

TEST(ExceptionReport, TwoLinesWithTheMessageAndItsPeriod) {
  struct Case {
    ExceptionClass of;
    const char* utf8Message;
    const char* secondLine;
  } cases[] = {
      {ExceptionClass::EInOutError, "ディスクがいっぱいです", "ディスクがいっぱいです."},  // ends in a double-byte character
      {ExceptionClass::EConvertError, "abc.", "abc."},                                  // no second period
      {ExceptionClass::Exception, "abc", "abc."},
      {ExceptionClass::Exception, "", ""},
      {ExceptionClass::EAssertionFailed, "終わり。", "終わり。."},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    scope.fake.moduleFileName = "/opt/dart circ/dartcirc.exe";
    Owned owned(MakeException(c.of, Cp932FromUtf8(c.utf8Message)));
    WriteExceptionReport(owned.object, PlaceAtOffset(0xABCD));
    EXPECT_EQ(scope.fake.Output(), FirstLine(ClassTable[static_cast<int>(c.of)].name, "0000ABCD") +
                                       Cp932FromUtf8(c.secondLine) + "\r\n")
        << c.utf8Message;
    EXPECT_EQ(scope.fake.writes.back().bytes, "\r\n");  // the line end is a write of its own
  }
}

TEST(ExceptionReport, ObjectThatIsNoExceptionGivesAnEmptySecondLine) {
  FakePlatformScope scope;
  scope.fake.moduleFileName = "/x/dartcirc.exe";
  Owned owned(new TObject(ExceptionClass::TObject));
  WriteExceptionReport(owned.object, PlaceAtOffset(0x10));
  EXPECT_EQ(scope.fake.Output(), FirstLine("TObject", "00000010") + "\r\n");
}

TEST(ExceptionReport, PlaceOutsideEveryModuleCountsFromTheExecutable) {
  for (CodePlace place : {PlaceAtOffset(0x7FFFFFF0), CodePlace{0}}) {
    FakePlatformScope scope;
    scope.fake.moduleFileName = "dartcirc.exe";
    Owned owned(new TObject(ExceptionClass::TObject));
    WriteExceptionReport(owned.object, place);
    EXPECT_EQ(scope.fake.Output(), FirstLine("TObject", place == 0 ? "00000000" : "7FFFFFF0") + "\r\n");
  }
}

TEST(ExceptionReport, LongMessageIsCutWholeCharactersAtTheBufferEnd) {
  FakePlatformScope scope;
  std::string message;
  for (int i = 0; i < 600; ++i) message += "\x82\xA0";
  Owned owned(MakeException(ExceptionClass::Exception, message));
  char text[ReportCapacity];
  const std::uint32_t length = FormatExceptionReport(owned.object, PlaceAtOffset(0x10), text);
  const std::string report(text, length);
  EXPECT_GE(length, ReportCapacity - 1);
  EXPECT_LE(length, ReportCapacity);
  const std::string secondLine = report.substr(report.find('\n') + 1);
  std::string whole;
  while (whole.size() < secondLine.size()) whole += "\x82\xA0";
  EXPECT_EQ(secondLine, whole);
}

TEST(ExceptionReport, WaitingOutputStandsAheadAndNothingWithoutTheConsoleFlag) {
  for (bool console : {true, false}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = FileTypeDisk;
    ConsoleProgramFlag = console;
    EndOutputLine(WriteText(ConsoleOut, "before"));
    Owned owned(new TObject(ExceptionClass::TObject));
    WriteExceptionReport(owned.object, PlaceAtOffset(0x10));
    EXPECT_EQ(scope.fake.Output().starts_with("before\r\nTObject"), console);
    EXPECT_EQ(scope.fake.writes.empty(), !console);
  }
}

TEST(ExceptionReport, ReportOfAFailedStatementEndsWithExitCodeOne) {
  FakePlatformScope scope;
  scope.fake.moduleFileName = "C:/dartcirc.exe";
  const std::int32_t code = testing::ExitCodeOf([] {
    RunUnderTopLevelHandler([] {
      StartModules();
      IoResultCode = ResultNotReadable;  // standard input could not be opened
      CheckIoResult();
    });
  });
  EXPECT_EQ(code, 1);
  std::string output = scope.fake.Output();
  const std::size_t offset = std::string("EInOutError" + Cp932FromUtf8("がモジュール dartcirc.exe の ")).size();
  ASSERT_GT(output.size(), offset + 8);
  EXPECT_EQ(output.find_first_not_of("0123456789ABCDEF", offset), offset + 8);
  output.replace(offset, 8, "XXXXXXXX");
  EXPECT_EQ(output, FirstLine("EInOutError", "XXXXXXXX") + Cp932FromUtf8("I/O エラー (104).\r\n"));
}

}  // namespace
}  // namespace dartcirc
