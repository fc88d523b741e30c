#include <string>

#include <gtest/gtest.h>

#include "runtime/console_stream.h"
#include "runtime/termination.h"
#include "tests/support/fake_platform.h"

namespace dartcirc {
namespace {

using testing::FakePlatformScope;
using Sizes = std::vector<std::size_t>;

void WriteLine(std::string_view text) { EndOutputLine(WriteText(ConsoleOut, text)); }

TEST(ConsoleOutput, ConsoleLineLengthsAroundTheBufferSize) {
  struct Case {
    std::size_t textLength;
    Sizes writes;
  } cases[] = {
      {3, {5}},          // a console line is one write of exactly its bytes
      {126, {128}},      // exactly fills the buffer: written at once, the flush adds nothing
      {127, {128, 1}},   // 129 bytes with the line end
      {300, {128, 128, 46}},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    WriteLine(std::string(c.textLength, 'x'));
    EXPECT_EQ(scope.fake.WriteSizes(), c.writes) << c.textLength;
    EXPECT_EQ(scope.fake.Output(), std::string(c.textLength, 'x') + "\r\n");
    EXPECT_EQ(ConsoleOut.bufferCursor, 0u);
    EXPECT_EQ(IoResultCode, 0);
  }
}

TEST(ConsoleOutput, FileOutputGoesInFullBuffersAndTheRestAtClose) {
  for (std::uint32_t type : {FileTypeDisk, FileTypePipe}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = type;
    std::string expected;
    for (int line = 0; line < 30; ++line) {
      WriteLine("3.14159265");
      expected += "3.14159265\r\n";
    }
    EXPECT_EQ(scope.fake.WriteSizes(), Sizes(360 / 128, 128));
    EXPECT_EQ(CloseStream(ConsoleOut), 0);
    EXPECT_EQ(scope.fake.WriteSizes().back(), 360u % 128);
    EXPECT_EQ(scope.fake.Output(), expected);
  }
}

TEST(ConsoleOutput, PromptOnAFileWaitsButOnAConsoleGoesOutAtOnce) {
  for (std::uint32_t type : {FileTypeDisk, FileTypeChar}) {
    FakePlatformScope scope;
    scope.fake.outputFileType = type;
    FlushAfterWrite(WriteText(ConsoleOut, "Random Range:"));
    EXPECT_EQ(scope.fake.writes.size(), type == FileTypeChar ? 1u : 0u);
  }
}

TEST(ConsoleOutput, WritePaddedRightAlignsAndNeverCuts) {
  struct Case {
    std::string text;
    std::int32_t width;
    std::size_t spaces;
  } cases[] = {
      {"0123456789", 10, 0}, {"abc", 10, 7},  {"0123456789ab", 10, 0},
      {"abc", 0, 0},         {"abc", -5, 0},  {"abc", 200, 197},
      {"", 64, 64},          {"", 65, 65},    {"x", INT32_MIN, 0},
  };
  for (const Case& c : cases) {
    FakePlatformScope scope;
    scope.fake.outputFileType = FileTypeDisk;
    WritePadded(ConsoleOut, c.text, c.width);
    CloseStream(ConsoleOut);
    EXPECT_EQ(scope.fake.Output(), std::string(c.spaces, ' ') + c.text) << c.width;
  }
}

TEST(ConsoleOutput, PutSpacesStopsAfterAPieceWhileACodeIsPendingButTheTextFollows) {
  FakePlatformScope scope;
  scope.fake.outputFileType = FileTypeDisk;
  IoResultCode = 5;
  WritePadded(ConsoleOut, "abc", 103);
  CloseStream(ConsoleOut);
  EXPECT_EQ(scope.fake.Output(), std::string(64, ' ') + "abc");
}

TEST(ConsoleOutput, FailedWriteDropsWaitingBytesAndStoresItsCode) {
  FakePlatformScope scope;
  scope.fake.writeError = ErrorDiskFull;
  // The text fails at its first full buffer and its other 72 bytes are not put; the
  // line end of the same statement is still put and flushed, and fails again.
  WriteLine(std::string(200, 'x'));
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorDiskFull));
  EXPECT_EQ(scope.fake.WriteSizes(), (Sizes{128, 2}));
  EXPECT_EQ(scope.fake.Output(), "");
  EXPECT_EQ(ConsoleOut.bufferCursor, 0u);
}

TEST(ConsoleOutput, LastFailureWins) {
  FakePlatformScope scope;
  scope.fake.writeError = ErrorDiskFull;
  WriteLine("abc");
  scope.fake.writeError = ErrorNoData;
  WriteLine("def");
  EXPECT_EQ(IoResultCode, static_cast<std::int32_t>(ErrorNoData));
}

TEST(ConsoleOutput, InvalidOutputHandleGives105AndIsTriedAgain) {
  FakePlatformScope scope;
  scope.fake.stdOutputHandle = InvalidHandleValue;
  scope.fake.stdGetError = ErrorInvalidHandle;
  WriteLine("abc");
  EXPECT_EQ(IoResultCode, ResultNotWritable);
  EXPECT_EQ(ConsoleOut.streamState, StreamClosed);
  EXPECT_TRUE(scope.fake.writes.empty());

  scope.fake.stdOutputHandle = 1;
  IoResultCode = 0;
  WriteLine("def");
  EXPECT_EQ(IoResultCode, 0);
  EXPECT_EQ(scope.fake.Output(), "def\r\n");
}

TEST(ConsoleOutput, UnknownOutputTypeClosesTheHandleAndGives105) {
  FakePlatformScope scope;
  scope.fake.outputFileType = FileTypeUnknown;
  WriteLine("abc");
  EXPECT_EQ(IoResultCode, ResultNotWritable);
  // Each of the statement's two puts tries the open again.
  EXPECT_EQ(scope.fake.closedHandles, (std::vector<Handle>{1, 1}));
  EXPECT_TRUE(scope.fake.writes.empty());
}

TEST(ConsoleOutput, LineEndOnANeverOpenedStreamIsASingleLineFeed) {
  FakePlatformScope scope;
  EndOutputLine(ConsoleOut);
  EXPECT_EQ(scope.fake.Output(), "\n");
  EndOutputLine(ConsoleOut);
  EXPECT_EQ(scope.fake.Output(), "\n\r\n");
}

TEST(ConsoleOutput, ClosingAndFlushingClosedStreams) {
  FakePlatformScope scope;
  EXPECT_EQ(CloseStream(ConsoleIn), 0);
  EXPECT_EQ(IoResultCode, 0);
  EXPECT_EQ(FlushAfterWrite(ConsoleOut), 0);
  EXPECT_EQ(FlushStream(ConsoleOut), 0);
  EXPECT_EQ(IoResultCode, 0);
  EXPECT_EQ(CloseStream(ConsoleOut), 0);
  EXPECT_EQ(IoResultCode, ResultNotOpen);
}

TEST(ConsoleOutput, UnpreparedRecordIsRefused) {
  FakePlatformScope scope;
  ConsoleOut.streamState = 0;
  EXPECT_EQ(OpenForWriting(ConsoleOut), ResultNotPrepared);
  EXPECT_EQ(IoResultCode, ResultNotPrepared);
}

TEST(ConsoleOutput, CheckIoResultEndsWithTheNumberedReport) {
  FakePlatformScope scope;
  scope.fake.outputFileType = FileTypeDisk;
  WriteText(ConsoleOut, "waiting");
  IoResultCode = 1784;
  EXPECT_EQ(testing::ExitCodeOf(CheckIoResult), 248);
  const std::string out = scope.fake.Output();
  ASSERT_EQ(out.size(), 7u + 32u);
  EXPECT_EQ(out.substr(0, 7), "waiting");  // what waited goes ahead of the report
  EXPECT_EQ(out.substr(7, 21), "Runtime error 248 at ");
  EXPECT_EQ(out.substr(36), std::string("\0\r\n", 3));
}

}  // namespace
}  // namespace dartcirc
